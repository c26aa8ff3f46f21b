#pragma once

#include "resources/CTemplateDialog.h"
#include "app/CWaitReplyDlg.h"
#include "protocol/NodePacketEvent.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QTimer>

#include <arpa/inet.h>

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

template <class T> T* ActiveModal()
{
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    return dialog && dialog->isVisible() ? dialog : nullptr;
}

// Runs step on the first active modal window of type T, from the event loop.
template <class T> void WhenActive(std::function<void(T&)> step, int timeoutMs = 15000)
{
    WhenReady([] { return ActiveModal<T>() != nullptr; }, [step] { step(*ActiveModal<T>()); }, timeoutMs);
}

// A search reply from MAC 00:0a:ff:00:00:<id>; addresses in host order.
inline NodeInfo Reply(uint8_t id, uint32_t ip, uint32_t mask = 0xff000000, uint32_t gateway = 0,
                      int32_t dhcp = 0)
{
    NodeInfo record;
    const uint8_t mac[6] = {0x00, 0x0a, 0xff, 0x00, 0x00, id};
    record.SetMacAddress(mac);
    record.SetOpCode(htonl(OP_SEARCH_REPLY));
    record.GetSettings().SetIpAddress(htonl(ip));
    record.GetSettings().SetSubnetMask(htonl(mask));
    record.GetSettings().SetGateway(htonl(gateway));
    record.GetSettings().SetDhcp(dhcp);
    return record;
}

inline QByteArray Datagram(const NodeInfo& record)
{
    QByteArray bytes(NodeInfo::kPacketSize, '\0');
    record.Pack(reinterpret_cast<uint8_t*>(bytes.data()));
    return bytes;
}

// The node protocol requests with op code op that lanfinch-sim's log shows it received.
inline QList<QJsonObject> RequestsReceived(const QList<QJsonObject>& log, uint32_t op)
{
    QList<QJsonObject> requests;
    for (const QJsonObject& entry : log) {
        if (entry.value(QStringLiteral("proto")).toString() == QLatin1String("node") &&
            entry.value(QStringLiteral("dir")).toString() == QLatin1String("in") &&
            entry.value(QStringLiteral("op")).toInt(-1) == int(op)) {
            requests << entry;
        }
    }
    return requests;
}

// Counts the records of the WM_NODE_PACKET events that reach target; once control is back in the
// event loop, each counted one has been handled.
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
        if (watched == m_target && event->type() == WM_NODE_PACKET) {
            m_count += static_cast<int>(static_cast<CNodePacketEvent*>(event)->Count());
        }
        return false;
    }

  private:
    QPointer<QObject> m_target;
    int m_count = 0;
};

} // namespace AppTest
