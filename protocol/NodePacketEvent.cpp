#include "protocol/NodePacketEvent.h"

#include <QCoreApplication>
#include <QObject>

#include <iterator>
#include <mutex>

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
        ReceivedNodes& open = g_openEvent->m_nodes;
        open.insert(open.end(), std::make_move_iterator(nodes.begin()), std::make_move_iterator(nodes.end()));
        return;
    }
    auto* event = new CNodePacketEvent(std::move(nodes));
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

void CNodePacketEvent::Seal()
{
    std::lock_guard lock(g_openMutex);
    if (g_openEvent == this) {
        g_openEvent = nullptr;
        g_openReceiver = nullptr;
    }
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
