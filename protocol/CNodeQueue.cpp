#include "protocol/CNodeQueue.h"

#include <iterator>

void CNodeQueue::OnNodesReceived(ReceivedNodes nodes)
{
    {
        std::lock_guard lock(m_mutex);
        m_nodes.insert(m_nodes.end(), std::make_move_iterator(nodes.begin()),
                       std::make_move_iterator(nodes.end()));
    }
    m_arrived.notify_all();
}

std::optional<ReceivedNode> CNodeQueue::Take(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    if (!m_arrived.wait_until(lock, deadline, [this] { return !m_nodes.empty(); })) {
        return std::nullopt;
    }
    ReceivedNode node = std::move(m_nodes.front());
    m_nodes.pop_front();
    return node;
}

ReceivedNodes CNodeQueue::TakeAll()
{
    std::lock_guard lock(m_mutex);
    ReceivedNodes nodes(std::make_move_iterator(m_nodes.begin()), std::make_move_iterator(m_nodes.end()));
    m_nodes.clear();
    return nodes;
}
