#include "protocol/NodePacketEvent.h"

#include <QCoreApplication>
#include <QObject>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <utility>

namespace {

// The event last posted, while it has not been looked at: later records may join it. A recursive
// mutex, since posting may delete the event at once (a receiver on its way out).
std::recursive_mutex g_openMutex;
CNodePacketEvent* g_openEvent = nullptr;
QObject* g_openReceiver = nullptr;

} // namespace

CNodePacketEvent::~CNodePacketEvent()
{
    Seal();
}

void CNodePacketEvent::Post(QObject* receiver, ReceivedNodes nodes)
{
    std::lock_guard lock(g_openMutex);
    if (g_openEvent != nullptr && g_openReceiver == receiver) {
        g_openEvent->Join(std::move(nodes));
        return;
    }
    auto* event = new CNodePacketEvent({});
    event->Join(std::move(nodes));
    g_openEvent = event;
    g_openReceiver = receiver;
    QCoreApplication::postEvent(receiver, event);
}

std::size_t CNodePacketEvent::Count()
{
    Seal();
    return m_nodes.size();
}

ReceivedNodes CNodePacketEvent::TakeNodes()
{
    Seal();
    return std::move(m_nodes);
}

// Under g_openMutex.
void CNodePacketEvent::Join(ReceivedNodes nodes)
{
    const std::size_t kept = std::min(nodes.size(), kMaxJoined - std::min(kMaxJoined, m_nodes.size()));
    m_nodes.insert(m_nodes.end(), std::make_move_iterator(nodes.begin()),
                   std::make_move_iterator(nodes.begin() + static_cast<std::ptrdiff_t>(kept)));
    m_dropped += nodes.size() - kept;
}

void CNodePacketEvent::Seal()
{
    std::size_t dropped = 0;
    {
        std::lock_guard lock(g_openMutex);
        if (g_openEvent == this) {
            g_openEvent = nullptr;
            g_openReceiver = nullptr;
        }
        dropped = std::exchange(m_dropped, 0);
    }
    ReportDroppedRecords(dropped);
}

namespace MainWindowLink {
namespace {

std::mutex g_mutex;
QObject* g_mainWindow = nullptr;

class CMainWindowReceiver final : public CNodeReceiver
{
  public:
    void OnNodesReceived(ReceivedNodes nodes) override { Post(std::move(nodes)); }
};

} // namespace

void Set(QObject* mainWindow)
{
    std::lock_guard lock(g_mutex);
    g_mainWindow = mainWindow;
}

QObject* Get()
{
    std::lock_guard lock(g_mutex);
    return g_mainWindow;
}

bool Post(ReceivedNodes nodes)
{
    std::lock_guard lock(g_mutex);
    if (g_mainWindow == nullptr) {
        return false;
    }
    CNodePacketEvent::Post(g_mainWindow, std::move(nodes));
    return true;
}

CNodeReceiver& Receiver()
{
    static CMainWindowReceiver receiver;
    return receiver;
}

} // namespace MainWindowLink
