#include "protocol/CReceiveLoop.h"

#include "protocol/NetworkInterfaces.h"
#include "protocol/ReplySockets.h"
#include "protocol/Trace.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kBatchSize = 64; // datagrams per recvmmsg()
// Per socket and pass, so that a flood on one socket does not hold back the others.
constexpr int kMaxPerPass = 1024;
constexpr std::size_t kMaxHandOver = 1024; // records per call of the receiver
// How long after its timestamp a datagram can still be on its way into its socket (between the
// timestamp and the socket's queue lie only the IP and UDP receive paths).
constexpr int64_t kSettleNs = 1000000;
// A record is handed on after this long whatever the timestamps say (a clock that was set back).
constexpr int64_t kMaxHoldNs = 50000000;
constexpr int64_t kEverything = std::numeric_limits<int64_t>::max();
// A receive that fails is tried again after this long; a socket that fails this often in a row,
// for other reasons than those the kernel reports in passing, leaves the group.
constexpr int64_t kRestNs = 1000000;
constexpr int kMaxFailures = 5;

int64_t Now(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int ReceiveWithoutWaiting(int socket, mmsghdr* messages, unsigned count)
{
    return recvmmsg(socket, messages, count, MSG_DONTWAIT, nullptr);
}

// Short of memory for a moment, or an ICMP error that a send of this socket brought back.
bool IsPassing(int error)
{
    switch (error) {
    case ENOMEM:
    case ENOBUFS:
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case EHOSTDOWN:
    case ENETUNREACH:
    case ENETDOWN:
    case EPROTO:
    case EMSGSIZE:
        return true;
    default:
        return false;
    }
}

} // namespace

struct CReceiveLoop::Batch
{
    // One byte more than a packet, so that a longer datagram shows as such.
    std::array<std::array<uint8_t, NodeInfo::kPacketSize + 1>, kBatchSize> datagrams;
    struct alignas(cmsghdr) Control
    {
        char bytes[CMSG_SPACE(sizeof(timespec)) + CMSG_SPACE(sizeof(in_pktinfo))];
    };
    std::array<Control, kBatchSize> controls;
    std::array<sockaddr_in, kBatchSize> senders;
    std::array<iovec, kBatchSize> vectors;
    std::array<mmsghdr, kBatchSize> messages;

    Batch()
    {
        for (int i = 0; i < kBatchSize; ++i) {
            vectors[i] = {datagrams[i].data(), datagrams[i].size()};
            messages[i] = {};
            messages[i].msg_hdr.msg_iov = &vectors[i];
            messages[i].msg_hdr.msg_iovlen = 1;
            messages[i].msg_hdr.msg_control = controls[i].bytes;
            messages[i].msg_hdr.msg_name = &senders[i];
        }
    }

    // Before each receive: the kernel shortens the room for control messages and the sender's
    // address to what it used.
    void Reset()
    {
        for (mmsghdr& message : messages) {
            message.msg_hdr.msg_namelen = sizeof(sockaddr_in);
            message.msg_hdr.msg_controllen = sizeof(Control);
            message.msg_hdr.msg_flags = 0;
        }
    }
};

CReceiveLoop::CReceiveLoop(const std::vector<int>& group, int wakeFd, CNodeReceiver& receiver,
                           ReceiveFunction receive)
    : m_batch(std::make_unique<Batch>()), m_sources(group.size()), m_receiver(receiver),
      m_receive(receive ? std::move(receive) : ReceiveWithoutWaiting), m_grouped(group.size() > 1)
{
    m_pollFds.push_back({wakeFd, POLLIN, 0});
    for (std::size_t i = 0; i < group.size(); ++i) {
        m_sources[i].fd = group[i];
    }
    const bool usable = wakeFd >= 0 && !group.empty() &&
                        std::all_of(group.begin(), group.end(), [](int fd) { return fd >= 0; });
    if (usable) {
        WatchSockets();
    }
}

CReceiveLoop::~CReceiveLoop() = default;

void CReceiveLoop::Run()
{
    LF_TRACE("Receive Thread Starting!!\n");
    if (m_reading == 0) {
        LF_TRACE("recvfrom() failed, err : %d\n", EBADF);
        return;
    }

    int64_t waitNs = 0;
    while (m_reading > 0) {
        const int64_t checkedNs = Now(CLOCK_REALTIME);
        const int readable = Poll(waitNs);
        if (readable < 0) {
            return;
        }
        if (readable > 0) {
            DrainReadable();
        }
        // Every socket was looked at after checkedNs: what is older than that, by more than a
        // datagram can take to reach its socket, has been read, unless a socket had more than
        // one pass takes.
        int64_t boundNs = checkedNs - kSettleNs;
        bool allDrained = true;
        for (const Source& source : m_sources) {
            if (readable > 0 && !source.drained) {
                boundNs = std::min(boundNs, source.lastStampNs);
                allDrained = false;
            }
        }
        HandOver(boundNs);
        if (m_failed && !Rest()) {
            return;
        }
        waitNs = allDrained ? NextHandOverNs() : 0;
    }
    HandOver(kEverything);
    LF_TRACE("no receive socket left\n");
}

int CReceiveLoop::Poll(int64_t waitNs)
{
    timespec timeout{waitNs / 1000000000, waitNs % 1000000000};
    int ready = 0;
    do {
        ready = ppoll(m_pollFds.data(), m_pollFds.size(), waitNs >= 0 ? &timeout : nullptr, nullptr);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0 || m_pollFds.front().revents != 0) {
        return -1;
    }
    return ready;
}

// Only the wake descriptor is watched meanwhile: a socket whose receive fails stays readable.
bool CReceiveLoop::Rest()
{
    m_failed = false;
    const timespec rest{0, kRestNs};
    int ready = 0;
    do {
        ready = ppoll(m_pollFds.data(), 1, &rest, nullptr);
    } while (ready < 0 && errno == EINTR);
    return ready == 0;
}

void CReceiveLoop::DrainReadable()
{
    for (std::size_t i = 0; i < m_sources.size(); ++i) {
        m_sources[i].drained = true;
        if (m_pollFds[i + 1].revents != 0) {
            Drain(m_sources[i]);
        }
    }
    // From the back: a closed socket's place goes to the last one.
    for (std::size_t i = m_sources.size(); i-- > 0;) {
        if (m_sources[i].failures >= kMaxFailures) {
            Retire(i);
        }
    }
}

void CReceiveLoop::Drain(Source& source)
{
    for (int taken = 0; taken < kMaxPerPass;) {
        m_batch->Reset();
        const int count = m_receive(source.fd, m_batch->messages.data(), kBatchSize);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                Failed(source, errno);
            }
            return;
        }
        source.lastError = 0;
        source.failures = 0;
        const int64_t readNs = Now(CLOCK_MONOTONIC);
        for (int i = 0; i < count; ++i) {
            const mmsghdr& message = m_batch->messages[i];
            if (message.msg_len != NodeInfo::kPacketSize || (message.msg_hdr.msg_flags & MSG_TRUNC) != 0) {
                LF_TRACE("invalid packet received\n");
                continue;
            }
            LF_TRACE("Get new packet!!\n");
            Accept(source, m_batch->datagrams[i].data(), message.msg_hdr, readNs);
        }
        taken += count;
        if (count < kBatchSize) {
            return;
        }
    }
    source.drained = false;
}

void CReceiveLoop::Failed(Source& source, int error)
{
    if (error != source.lastError) {
        LF_TRACE("recvfrom() failed, err : %d\n", error);
    }
    source.lastError = error;
    if (!IsPassing(error)) {
        ++source.failures;
    }
    m_failed = true;
}

// What the sockets hold goes on first, the one that leaves included.
void CReceiveLoop::Retire(std::size_t index)
{
    HandOver(kEverything);
    Source& source = m_sources[index];
    if (index == 0) {
        LF_TRACE("receive socket %d keeps failing (err : %d), no longer read\n", source.fd, source.lastError);
        source.reading = false;
        source.failures = 0;
    } else {
        LF_TRACE("receive socket %d keeps failing (err : %d), closed\n", source.fd, source.lastError);
        if (source.lastError != EBADF) {
            close(source.fd);
        }
        m_closed.push_back(source.fd);
        // As the kernel does in the group: the last socket takes the closed one's place.
        if (index + 1 < m_sources.size()) {
            source = std::move(m_sources.back());
        }
        m_sources.pop_back();
    }
    if (m_grouped) {
        Respread();
    }
    WatchSockets();
}

void CReceiveLoop::Respread()
{
    std::vector<int> group;
    for (const Source& source : m_sources) {
        group.push_back(source.fd);
    }
    const std::size_t firstSharing = m_sources.front().reading ? 0 : 1;
    if (firstSharing < group.size() && ReplySockets::Spread(group, firstSharing) == 0) {
        // No socket refuses what the kernel hands it then; a broadcast may come more than once.
        LF_TRACE("Can't share replies among %zu sockets\n", group.size() - firstSharing);
        for (std::size_t i = firstSharing; i < group.size(); ++i) {
            ReplySockets::KeepEverything(group[i]);
        }
    }
}

void CReceiveLoop::WatchSockets()
{
    m_pollFds.resize(1);
    int reading = 0;
    for (const Source& source : m_sources) {
        m_pollFds.push_back({source.reading ? source.fd : -1, POLLIN, 0});
        reading += source.reading ? 1 : 0;
    }
    m_reading = reading;
}

void CReceiveLoop::Accept(Source& source, const uint8_t* datagram, const msghdr& header, int64_t readNs)
{
    Pending pending{ReceivedNode{std::make_unique<NodeInfo>(), 0, {}, 0}, 0, readNs};
    pending.node.record->Unpack(datagram);
    const auto* sender = static_cast<const sockaddr_in*>(header.msg_name);
    if (header.msg_namelen >= sizeof(sockaddr_in) && sender->sin_family == AF_INET) {
        pending.node.sourceAddress = ntohl(sender->sin_addr.s_addr);
    }
    for (const cmsghdr* control = CMSG_FIRSTHDR(&header); control != nullptr;
         control = CMSG_NXTHDR(const_cast<msghdr*>(&header), const_cast<cmsghdr*>(control))) {
        if (control->cmsg_level == SOL_SOCKET && control->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(control), sizeof stamp);
            pending.stampNs = static_cast<int64_t>(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
        } else if (control->cmsg_level == IPPROTO_IP && control->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(control), sizeof info);
            pending.node.interfaceIndex = static_cast<unsigned>(info.ipi_ifindex);
        }
    }
    if (m_sources.size() > 1 && pending.stampNs == 0) {
        pending.stampNs = Now(CLOCK_REALTIME);
    }
    pending.node.interfaceName = InterfaceName(pending.node.interfaceIndex);
    source.lastStampNs = pending.stampNs;
    source.pending.push_back(std::move(pending));
}

void CReceiveLoop::HandOver(int64_t boundNs)
{
    const bool ordered = m_sources.size() > 1;
    const int64_t nowNs = ordered ? Now(CLOCK_MONOTONIC) : 0;
    ReceivedNodes batch;
    while (Source* source = Earliest()) {
        Pending& next = source->pending.front();
        if (ordered && next.stampNs > boundNs && nowNs - next.readNs < kMaxHoldNs) {
            break;
        }
        batch.push_back(std::move(next.node));
        source->pending.pop_front();
        if (batch.size() == kMaxHandOver) {
            m_receiver.OnNodesReceived(std::move(batch));
            batch = ReceivedNodes();
        }
    }
    if (!batch.empty()) {
        m_receiver.OnNodesReceived(std::move(batch));
    }
}

CReceiveLoop::Source* CReceiveLoop::Earliest()
{
    Source* earliest = nullptr;
    for (Source& source : m_sources) {
        if (!source.pending.empty() &&
            (earliest == nullptr || source.pending.front().stampNs < earliest->pending.front().stampNs)) {
            earliest = &source;
        }
    }
    return earliest;
}

int64_t CReceiveLoop::NextHandOverNs()
{
    const Source* source = Earliest();
    if (source == nullptr) {
        return -1;
    }
    const Pending& earliest = source->pending.front();
    const int64_t bySettle = earliest.stampNs + kSettleNs - Now(CLOCK_REALTIME);
    const int64_t byHold = earliest.readNs + kMaxHoldNs - Now(CLOCK_MONOTONIC);
    return std::max<int64_t>(0, std::min(bySettle, byHold));
}

const std::string& CReceiveLoop::InterfaceName(unsigned index)
{
    for (const auto& [known, name] : m_interfaceNames) {
        if (known == index) {
            return name;
        }
    }
    m_interfaceNames.emplace_back(index, NetworkInterfaces::Name(index));
    return m_interfaceNames.back().second;
}
