#pragma once

#include "protocol/CNodeReceiver.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

// A receiver for programs without windows: the receive thread appends what it receives, any other
// thread takes it, oldest first, waiting if it wants to. Thread-safe.
//
// It holds at most its capacity: records that find it full are dropped (a flood from one sender
// must not grow memory without limit) and counted in one trace line once the queue has been taken
// down to half its capacity again, or when it goes away.
class CNodeQueue final : public CNodeReceiver
{
  public:
    static constexpr std::size_t kDefaultCapacity = kMaxHeldRecords;

    explicit CNodeQueue(std::size_t capacity = kDefaultCapacity);
    ~CNodeQueue() override;
    CNodeQueue(const CNodeQueue&) = delete;
    CNodeQueue& operator=(const CNodeQueue&) = delete;

    void OnNodesReceived(ReceivedNodes nodes) override;

    // The oldest node; waits for one until deadline, and gives nothing when none came by then.
    std::optional<ReceivedNode> Take(std::chrono::steady_clock::time_point deadline);
    // Everything received so far, without waiting.
    ReceivedNodes TakeAll();

  private:
    // The drops to report now that records were taken (0 while the queue is still fuller than
    // half); under the lock.
    std::size_t DropsToReport();

    const std::size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<ReceivedNode> m_nodes;
    std::size_t m_dropped = 0;
};
