#pragma once

#include "protocol/CNodeReceiver.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <poll.h>

// The receive thread of CNodeProtocol: drains the engine's sockets a batch of datagrams at a time,
// keeps the 36-byte ones, puts them in the order of their arrival and hands them to the receiver.
//
// With one socket, the socket's queue is the order of arrival. With several (one SO_REUSEPORT
// group, each socket with its own receive buffer), the kernel's receive timestamps give the order:
// a record is handed on once every socket has been looked at so long after its timestamp that
// nothing older can still be on its way into another socket.
//
// Runs on its own thread and touches nothing but the descriptors, which its owner keeps open until
// the thread has ended.
class CReceiveLoop
{
  public:
    CReceiveLoop(const std::vector<int>& sockets, int wakeFd, CNodeReceiver& receiver);
    CReceiveLoop(const CReceiveLoop&) = delete;
    CReceiveLoop& operator=(const CReceiveLoop&) = delete;
    ~CReceiveLoop();

    // Returns when the wake descriptor becomes readable or a receive fails.
    void Run();

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
    };

    // How many sockets are readable (0 when none is within waitNs, -1: forever), or -1 when the
    // thread is to end.
    int Poll(int64_t waitNs);
    // Reads the readable sockets; false when a receive failed.
    bool DrainReadable();
    bool Drain(Source& source);
    void Accept(Source& source, const uint8_t* datagram, const struct msghdr& header, int64_t readNs);
    // Hands on every held record up to boundNs, in timestamp order.
    void HandOver(int64_t boundNs);
    Source* Earliest();
    void DropCopies(const Pending& kept, const Source& from);
    // When the earliest held record may be handed on, from now; -1 when none is held.
    int64_t NextHandOverNs();
    const std::string& InterfaceName(unsigned index);

    struct Batch;

    std::unique_ptr<Batch> m_batch; // the receive buffers
    std::vector<Source> m_sources;
    std::vector<pollfd> m_pollFds; // the wake descriptor, then the sockets
    CNodeReceiver& m_receiver;
    std::vector<std::pair<unsigned, std::string>> m_interfaceNames;
};
