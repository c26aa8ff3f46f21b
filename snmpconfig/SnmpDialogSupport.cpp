#include "snmpconfig/SnmpDialogSupport.h"

#include "resources/CIpAddressCtrl.h"
#include "snmpconfig/CSnmpAccess.h"
#include "resources/MessageBox.h"
#include "protocol/NetworkSettings.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QEvent>
#include <QEventLoop>
#include <QThread>

#include <arpa/inet.h>

#include <functional>
#include <memory>

namespace {

bool IsOperatorInput(const QEvent* event)
{
    switch (event->type()) {
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Gesture:
    case QEvent::GestureOverride:
        return true;
    default:
        // Mouse, key, wheel, touch, tablet, context menu and the key that may override a shortcut.
        return event->isInputEvent();
    }
}

// While it lives, every window of the application ignores the operator and refuses to close.
// Deferring input (QEventLoop::ExcludeUserInputEvents) would not do: it replays the input once the
// wait is over, and it never sees events sent directly to a widget.
class InputBlocker final : public QObject
{
  public:
    InputBlocker() { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }
    Q_DISABLE_COPY_MOVE(InputBlocker)

  protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        return IsOperatorInput(event);
    }
};

void WaitPainting(const std::function<void()>& exchange)
{
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    {
        const InputBlocker blocker;
        QEventLoop loop;
        const std::unique_ptr<QThread> worker(QThread::create(exchange));
        QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
        worker->start();
        loop.exec();
        // Also the moment from which the exchange's results may be read here.
        worker->wait();
    }
    QApplication::restoreOverrideCursor();
}

} // namespace

void InstallSnmpWaitHook(CSnmpAccess& access)
{
    access.SetWaitHook(WaitPainting);
}

QByteArray DottedAddress(quint32 hostOrder)
{
    return QByteArray::fromStdString(DottedText(htonl(hostOrder)));
}

bool GetCompleteAddress(QWidget* owner, const CIpAddressCtrl* control, int stringId, quint32& hostOrder)
{
    if (control->GetAddress(hostOrder) == 4)
        return true;
    MessageBox::Show(owner, stringId);
    return false;
}

void SelectPosition(QComboBox* list, qint32 position)
{
    list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}
