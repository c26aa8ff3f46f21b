#include "protocol/CReceiveLoop.h"

#include "protocol/NetworkInterfaces.h"
#include "protocol/Trace.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>

#include <netinet/in.h>
#include <sys/socket.h>

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

int64_t Now(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
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
        }
    }

    // Before each receive: the kernel shortens the room for control messages to what it used.
    void Reset()
    {
        for (mmsghdr& message : messages) {
            message.msg_hdr.msg_controllen = sizeof(Control);
            message.msg_hdr.msg_flags = 0;
        }
    }
};

CReceiveLoop::CReceiveLoop(const std::vector<int>& sockets, int wakeFd, CNodeReceiver& receiver)
    : m_batch(std::make_unique<Batch>()), m_sources(sockets.size()), m_receiver(receiver)
{
    m_pollFds.push_back({wakeFd, POLLIN, 0});
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        m_sources[i].fd = sockets[i];
        m_pollFds.push_back({sockets[i], POLLIN, 0});
    }
}

CReceiveLoop::~CReceiveLoop() = default;

void CReceiveLoop::Run()
{
    LF_TRACE("Receive Thread Starting!!\n");
    const bool usable =
        m_pollFds.front().fd >= 0 && !m_sources.empty() &&
        std::all_of(m_sources.begin(), m_sources.end(), [](const Source& s) { return s.fd >= 0; });
    if (!usable) {
        LF_TRACE("recvfrom() failed, err : %d\n", EBADF);
        return;
    }

    int64_t waitNs = 0;
    for (;;) {
        const int64_t checkedNs = Now(CLOCK_REALTIME);
        const int readable = Poll(waitNs);
        if (readable < 0) {
            return;
        }
        if (readable > 0 && !DrainReadable()) {
            HandOver(kEverything);
            return;
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
        waitNs = allDrained ? NextHandOverNs() : 0;
    }
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

bool CReceiveLoop::DrainReadable()
{
    for (std::size_t i = 0; i < m_sources.size(); ++i) {
        m_sources[i].drained = true;
        if (m_pollFds[i + 1].revents != 0 && !Drain(m_sources[i])) {
            return false;
        }
    }
    return true;
}

bool CReceiveLoop::Drain(Source& source)
{
    for (int taken = 0; taken < kMaxPerPass;) {
        m_batch->Reset();
        const int count = recvmmsg(source.fd, m_batch->messages.data(), kBatchSize, MSG_DONTWAIT, nullptr);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return true;
            }
            LF_TRACE("recvfrom() failed, err : %d\n", errno);
            return false;
        }
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
            return true;
        }
    }
    source.drained = false;
    return true;
}

void CReceiveLoop::Accept(Source& source, const uint8_t* datagram, const msghdr& header, int64_t readNs)
{
    Pending pending{ReceivedNode{std::make_unique<NodeInfo>(), 0, {}}, 0, readNs};
    pending.node.record->Unpack(datagram);
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
        DropCopies(next, *source);
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

// A broadcast reaches every socket of the group. The other sockets refuse broadcasts by their
// filter; what a filter cannot tell (a directed broadcast on loopback) shows here as the same bytes
// with the same timestamp at the front of another socket.
void CReceiveLoop::DropCopies(const Pending& kept, const Source& from)
{
    if (m_sources.size() < 2 || kept.stampNs == 0) {
        return;
    }
    uint8_t keptBytes[NodeInfo::kPacketSize];
    kept.node.record->Pack(keptBytes);
    for (Source& source : m_sources) {
        if (&source == &from || source.pending.empty() || source.pending.front().stampNs != kept.stampNs) {
            continue;
        }
        uint8_t bytes[NodeInfo::kPacketSize];
        source.pending.front().node.record->Pack(bytes);
        if (std::memcmp(bytes, keptBytes, sizeof bytes) == 0) {
            source.pending.pop_front();
        }
    }
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
