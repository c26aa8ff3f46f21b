#include "protocol/CNodeQueue.h"

#include <iterator>
#include <utility>

CNodeQueue::CNodeQueue(std::size_t capacity) : m_capacity(capacity) {}

CNodeQueue::~CNodeQueue()
{
    ReportDroppedRecords(m_dropped);
}

void CNodeQueue::OnNodesReceived(ReceivedNodes nodes)
{
    {
        std::lock_guard lock(m_mutex);
        m_dropped += AppendUpTo(m_nodes, nodes, m_capacity);
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
    const std::size_t dropped = DropsToReport();
    lock.unlock();
    ReportDroppedRecords(dropped);
    return node;
}

ReceivedNodes CNodeQueue::TakeAll()
{
    std::unique_lock lock(m_mutex);
    ReceivedNodes nodes(std::make_move_iterator(m_nodes.begin()), std::make_move_iterator(m_nodes.end()));
    m_nodes.clear();
    const std::size_t dropped = DropsToReport();
    lock.unlock();
    ReportDroppedRecords(dropped);
    return nodes;
}

// A reader that keeps the queue near full during a flood would otherwise get a line per record.
std::size_t CNodeQueue::DropsToReport()
{
    if (m_nodes.size() > m_capacity / 2) {
        return 0;
    }
    return std::exchange(m_dropped, 0);
}
