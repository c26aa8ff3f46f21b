#include "protocol/ReplySockets.h"

#include "protocol/Trace.h"

#include <linux/errqueue.h>
#include <linux/filter.h>
#include <linux/if_packet.h>
#include <linux/net_tstamp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <iterator>

namespace ReplySockets {
namespace {

constexpr int kTimestampWaitMs = 100;

int AttachFilter(int socket, int option, sock_filter* code, unsigned short length)
{
    const sock_fprog program{length, code};
    return setsockopt(socket, SOL_SOCKET, option, &program, sizeof program);
}

// Where a board's MAC address lies in its reply, and what picks its share: the last four bytes, so
// that boards that share an IP address (as they come from the factory) spread all the same. A
// datagram too short to carry them belongs to the first share.
constexpr __u32 kMacWordOffset = 10;
constexpr __u32 kMacWordEnd = kMacWordOffset + 4;
constexpr __u32 kHashFactor = 0x9e3779b1u;
constexpr __u32 kUdpHeader = 8;

// Picks the socket of a datagram sent to this host: shares 0 to sharing - 1 are the group's sockets
// firstSharing and on. Runs on the UDP payload. Broadcasts do not pass through it: the kernel gives
// every socket of the group a copy of those, and each socket's filter keeps its share alone.
int Steer(int socket, unsigned sharing, unsigned firstSharing)
{
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_LEN, 0),
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, kMacWordEnd, 0, 6),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kMacWordOffset),
        BPF_STMT(BPF_ALU | BPF_MUL | BPF_K, kHashFactor),
        BPF_STMT(BPF_ALU | BPF_RSH | BPF_K, 16),
        BPF_STMT(BPF_ALU | BPF_MOD | BPF_K, sharing),
        BPF_STMT(BPF_ALU | BPF_ADD | BPF_K, firstSharing),
        BPF_STMT(BPF_RET | BPF_A, 0),
        BPF_STMT(BPF_RET | BPF_K, firstSharing),
    };
    return AttachFilter(socket, SO_ATTACH_REUSEPORT_CBPF, code, std::size(code));
}

// Keeps the datagrams of one share, by the same hash as Steer(). Runs on the UDP header.
int KeepShare(int socket, unsigned share, unsigned sharing)
{
    const unsigned char tooShort = share == 0 ? 5 : 6;
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_LEN, 0),
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, kUdpHeader + kMacWordEnd, 0, tooShort),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kUdpHeader + kMacWordOffset),
        BPF_STMT(BPF_ALU | BPF_MUL | BPF_K, kHashFactor),
        BPF_STMT(BPF_ALU | BPF_RSH | BPF_K, 16),
        BPF_STMT(BPF_ALU | BPF_MOD | BPF_K, sharing),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, share, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0xffffffffu),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    return AttachFilter(socket, SO_ATTACH_FILTER, code, std::size(code));
}

int KeepNothing(int socket)
{
    sock_filter code[] = {BPF_STMT(BPF_RET | BPF_K, 0)};
    return AttachFilter(socket, SO_ATTACH_FILTER, code, std::size(code));
}

int KeepShareOf(const std::vector<int>& group, std::size_t index, std::size_t firstSharing)
{
    if (index < firstSharing) {
        return KeepNothing(group[index]);
    }
    return KeepShare(group[index], static_cast<unsigned>(index - firstSharing),
                     static_cast<unsigned>(group.size() - firstSharing));
}

// A further socket for the group on local. It keeps nothing until Spread() gives it its share, so
// that nothing reaches it unfiltered. -1 when it cannot be had.
int OpenGroupMember(const sockaddr_in& local)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        return -1;
    }
    SetReceiveBuffer(fd);
    AskForReceiveDetails(fd, true);
    if (SetIntOption(fd, SO_REUSEADDR, 1) < 0 || SetIntOption(fd, SO_REUSEPORT, 1) < 0 ||
        KeepNothing(fd) < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// 1 when a datagram to itself arrives with a kernel receive timestamp, 0 when without, -1 when
// it does not arrive.
int ArrivesStamped(int probe, const sockaddr_in& self)
{
    char data = 0;
    if (sendto(probe, &data, 1, 0, reinterpret_cast<const sockaddr*>(&self), sizeof self) != 1) {
        return -1;
    }
    iovec vector{&data, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(scm_timestamping))] = {};
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (recvmsg(probe, &message, MSG_DONTWAIT) != 1) {
        return -1;
    }
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_TIMESTAMPING) {
            scm_timestamping stamps{};
            std::memcpy(&stamps, CMSG_DATA(header), sizeof stamps);
            return stamps.ts[0].tv_sec != 0 || stamps.ts[0].tv_nsec != 0 ? 1 : 0;
        }
    }
    return 0;
}

} // namespace

int SetIntOption(int socket, int option, int value)
{
    return setsockopt(socket, SOL_SOCKET, option, &value, sizeof value);
}

// Without CAP_NET_ADMIN the kernel caps SO_RCVBUF at net.core.rmem_max (208 KiB by default,
// about 500 replies), and a burst beyond what the buffer holds is dropped whenever the receive
// thread is not scheduled in time.
int SetReceiveBuffer(int socket)
{
    if (SetIntOption(socket, SO_RCVBUFFORCE, kWantedBuffer) < 0) {
        SetIntOption(socket, SO_RCVBUF, kWantedBuffer);
    }
    int granted = 0;
    socklen_t length = sizeof granted;
    return getsockopt(socket, SOL_SOCKET, SO_RCVBUF, &granted, &length) == 0 ? granted : 0;
}

void AskForReceiveDetails(int socket, bool timestamps)
{
    const int on = 1;
    setsockopt(socket, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    if (timestamps) {
        SetIntOption(socket, SO_TIMESTAMPNS, 1);
    }
}

// A socket without SO_REUSEADDR can bind only to a port that nobody holds.
bool PortIsFree(const sockaddr_in& local)
{
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (probe < 0) {
        return false;
    }
    const bool free = bind(probe, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    close(probe);
    return free;
}

std::vector<int> FormGroup(int first, int count)
{
    std::vector<int> group{first};
    sockaddr_in local{};
    socklen_t length = sizeof local;
    // Until the group is complete, the first socket gets every reply.
    if (getsockname(first, reinterpret_cast<sockaddr*>(&local), &length) != 0 || Steer(first, 1, 0) < 0) {
        return group;
    }
    while (static_cast<int>(group.size()) < count) {
        const int fd = OpenGroupMember(local);
        if (fd < 0) {
            break;
        }
        group.push_back(fd);
    }
    if (Spread(group) != 0) {
        return group;
    }
    LF_TRACE("Can't share replies among %zu sockets, receiving on one\n", group.size());
    for (std::size_t i = 1; i < group.size(); ++i) {
        close(group[i]);
    }
    KeepEverything(first);
    return {first};
}

// The first socket last: while a group forms, it is the one that gets every reply.
int Spread(const std::vector<int>& group, std::size_t firstSharing)
{
    if (firstSharing >= group.size()) {
        return 0;
    }
    for (std::size_t index = group.size() - 1; index > 0; --index) {
        if (KeepShareOf(group, index, firstSharing) < 0) {
            return 0;
        }
    }
    const auto sharing = static_cast<unsigned>(group.size() - firstSharing);
    if (Steer(group.front(), sharing, static_cast<unsigned>(firstSharing)) < 0) {
        return 0;
    }
    return KeepShareOf(group, 0, firstSharing) < 0 ? 0 : 1;
}

void KeepEverything(int socket)
{
    const int unused = 0;
    setsockopt(socket, SOL_SOCKET, SO_DETACH_FILTER, &unused, sizeof unused);
}

// The kernel stamps received packets only once a switch for the whole system is on, which it
// turns on a moment after the first socket asks for stamps (in a work item of its own). A packet
// that comes before is stamped when it is read, which says nothing about its arrival.
void WaitForReceiveTimestamps()
{
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (probe < 0) {
        return;
    }
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof self;
    const int flags = SOF_TIMESTAMPING_RX_SOFTWARE | SOF_TIMESTAMPING_SOFTWARE;
    if (setsockopt(probe, SOL_SOCKET, SO_TIMESTAMPING, &flags, sizeof flags) == 0 &&
        bind(probe, reinterpret_cast<const sockaddr*>(&self), sizeof self) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&self), &length) == 0) {
        for (int waited = 0; waited < kTimestampWaitMs && ArrivesStamped(probe, self) == 0; ++waited) {
            usleep(1000);
        }
    }
    close(probe);
}

} // namespace ReplySockets
