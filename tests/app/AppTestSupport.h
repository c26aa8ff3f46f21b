#pragma once

#include "CTemplateDialog.h"
#include "CWaitReplyDlg.h"
#include "NodePacketEvent.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace AppTest {

// Runs step from the event loop once ready() holds. If it never does, every dialog is ended so
// that a broken test fails instead of hanging.
inline void WhenReady(std::function<bool()> ready, std::function<void()> step, int timeoutMs = 15000)
{
    auto* timer = new QTimer;
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        const bool met = ready();
        if (!met && !deadline.hasExpired()) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        if (met) {
            step();
            return;
        }
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<CTemplateDialog*>(widget); dialog && dialog->isVisible()) {
                dialog->EndDialog(-1);
            }
        }
    });
    timer->start(5);
}

inline bool IsActiveModal(const QWidget* dialog)
{
    return QApplication::activeModalWidget() == dialog && dialog->isVisible();
}

inline CWaitReplyDlg* ActiveWaitDialog()
{
    auto* dialog = qobject_cast<CWaitReplyDlg*>(QApplication::activeModalWidget());
    return dialog && dialog->isVisible() ? dialog : nullptr;
}

// Counts the WM_NODE_PACKET events that reach target; once control is back in the event loop,
// each counted one has been handled.
class PacketCounter final : public QObject
{
  public:
    explicit PacketCounter(QObject* target) : m_target(target) { target->installEventFilter(this); }
    ~PacketCounter() override
    {
        if (m_target) {
            m_target->removeEventFilter(this);
        }
    }
    int Count() const { return m_count; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        m_count += watched == m_target && event->type() == WM_NODE_PACKET;
        return false;
    }

  private:
    QPointer<QObject> m_target;
    int m_count = 0;
};

} // namespace AppTest
