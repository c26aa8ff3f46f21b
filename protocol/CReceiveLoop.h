#pragma once

#include "protocol/CNodeReceiver.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <poll.h>

struct mmsghdr;

// The receive thread of CNodeProtocol: drains the engine's sockets a batch of datagrams at a time,
// keeps the 36-byte ones, puts them in the order of their arrival and hands them to the receiver.
//
// With one socket, the socket's queue is the order of arrival. With several (one SO_REUSEPORT
// group, each socket with its own receive buffer), the kernel's receive timestamps give the order:
// a record is handed on once every socket has been looked at so long after its timestamp that
// nothing older can still be on its way into another socket.
//
// A receive that fails is tried again a moment later. A socket that keeps failing leaves the group:
// the loop closes it (all but the first, on which the engine also sends: that one it only stops
// reading) and shares its replies out among the others.
//
// Runs on its own thread and touches nothing but the descriptors, which its owner keeps open until
// the thread has ended, but for those that ClosedSockets() names.
class CReceiveLoop
{
  public:
    // recvmmsg() without waiting: how many datagrams it received, or -1 with errno set. Tests
    // hand in one that fails.
    using ReceiveFunction = std::function<int(int socket, mmsghdr* messages, unsigned count)>;

    // group: the sockets in the kernel's order of their SO_REUSEPORT group (ReplySockets.h), or one
    // socket alone. An empty receive stands for recvmmsg().
    CReceiveLoop(const std::vector<int>& group, int wakeFd, CNodeReceiver& receiver,
                 ReceiveFunction receive = {});
    CReceiveLoop(const CReceiveLoop&) = delete;
    CReceiveLoop& operator=(const CReceiveLoop&) = delete;
    ~CReceiveLoop();

    // Returns when the wake descriptor becomes readable, or when no socket is left to read.
    void Run();

    // How many sockets it reads; any thread.
    int ReadingCount() const { return m_reading.load(); }
    // The sockets that it closed, or found closed already; once Run() has returned.
    const std::vector<int>& ClosedSockets() const { return m_closed; }

  private:
    struct Pending
    {
        ReceivedNode node;
        int64_t stampNs; // kernel receive time, CLOCK_REALTIME
        int64_t readNs;  // when this thread read it, CLOCK_MONOTONIC
    };
    struct Source
    {
        int fd = -1;
        std::deque<Pending> pending;
        bool drained = true;     // read to the end in the last pass
        int64_t lastStampNs = 0; // of the last datagram read
        bool reading = true;
        int lastError = 0; // of the last receive, 0 when it succeeded
        int failures = 0;  // in a row, counting only errors that are not the kernel's passing ones
    };

    // How many sockets are readable (0 when none is within waitNs, -1: forever), or -1 when the
    // thread is to end.
    int Poll(int64_t waitNs);
    // Waits a moment after a failed receive; false when the thread is to end.
    bool Rest();
    void DrainReadable();
    void Drain(Source& source);
    void Failed(Source& source, int error);
    void Retire(std::size_t index);
    void Respread();
    void WatchSockets();
    void Accept(Source& source, const uint8_t* datagram, const struct msghdr& header, int64_t readNs);
    // Hands on every held record up to boundNs, in timestamp order.
    void HandOver(int64_t boundNs);
    Source* Earliest();
    // When the earliest held record may be handed on, from now; -1 when none is held.
    int64_t NextHandOverNs();
    const std::string& InterfaceName(unsigned index);

    struct Batch;

    std::unique_ptr<Batch> m_batch; // the receive buffers
    std::vector<Source> m_sources;
    std::vector<pollfd> m_pollFds; // the wake descriptor, then the sockets
    CNodeReceiver& m_receiver;
    ReceiveFunction m_receive;
    bool m_grouped;
    bool m_failed = false; // a receive failed in this pass
    std::atomic<int> m_reading{0};
    std::vector<int> m_closed;
    std::vector<std::pair<unsigned, std::string>> m_interfaceNames;
};
