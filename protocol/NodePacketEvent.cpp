#include "protocol/NodePacketEvent.h"

#include <QCoreApplication>
#include <QObject>

#include <utility>

CNodePacketEvent::~CNodePacketEvent()
{
    Seal();
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

// Under the origin's mutex.
void CNodePacketEvent::Join(ReceivedNodes nodes)
{
    m_dropped += AppendUpTo(m_nodes, nodes, kMaxJoined);
}

void CNodePacketEvent::Seal()
{
    if (m_origin != nullptr) {
        std::lock_guard lock(m_origin->m_mutex);
        m_origin->m_open = nullptr;
        m_origin = nullptr;
    }
    // Nothing joins it any more, so its count of drops is final.
    ReportDroppedRecords(std::exchange(m_dropped, 0));
}

CWindowReceiver::~CWindowReceiver()
{
    std::lock_guard lock(m_mutex);
    if (m_open != nullptr) {
        m_open->m_origin = nullptr;
    }
}

void CWindowReceiver::OnNodesReceived(ReceivedNodes nodes)
{
    std::lock_guard lock(m_mutex);
    if (m_open != nullptr) {
        m_open->Join(std::move(nodes));
        return;
    }
    auto* event = new CNodePacketEvent({});
    event->Join(std::move(nodes));
    event->m_origin = this;
    m_open = event;
    QCoreApplication::postEvent(m_window, event);
}
