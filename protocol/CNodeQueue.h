#pragma once

#include "protocol/CNodeReceiver.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

// A receiver for programs without windows: the receive thread appends what it receives, any other
// thread takes it, oldest first, waiting if it wants to. Thread-safe.
class CNodeQueue final : public CNodeReceiver
{
  public:
    void OnNodesReceived(ReceivedNodes nodes) override;

    // The oldest node; waits for one until deadline, and gives nothing when none came by then.
    std::optional<ReceivedNode> Take(std::chrono::steady_clock::time_point deadline);
    // Everything received so far, without waiting.
    ReceivedNodes TakeAll();

  private:
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<ReceivedNode> m_nodes;
};
