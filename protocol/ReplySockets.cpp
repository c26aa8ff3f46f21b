#include "protocol/ReplySockets.h"

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

// Every socket of a group gets its own copy of a broadcast: only the first one keeps them.
int AcceptUnicastOnly(int socket)
{
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_B | BPF_ABS, static_cast<__u32>(SKF_AD_OFF + SKF_AD_PKTTYPE)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PACKET_HOST, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<__u32>(SKF_NET_OFF + 16)), // destination address
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0xffffffffu, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, 0xffffffffu),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    return AttachFilter(socket, SO_ATTACH_FILTER, code, std::size(code));
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

int OpenGroupMember(const sockaddr_in& local)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        return -1;
    }
    SetReceiveBuffer(fd);
    AskForReceiveDetails(fd, true);
    if (SetIntOption(fd, SO_REUSEADDR, 1) < 0 || SetIntOption(fd, SO_REUSEPORT, 1) < 0 ||
        AcceptUnicastOnly(fd) < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The socket is chosen by the last four bytes of the MAC address in the packet: boards that
// share an address (as they come from the factory) spread all the same, and the replies of one
// board stay in one socket, in their order. Without the program the kernel spreads by the
// sender's address and port.
void SpreadByMacAddress(int socket, unsigned count)
{
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, 10),
        BPF_STMT(BPF_ALU | BPF_MUL | BPF_K, 0x9e3779b1u),
        BPF_STMT(BPF_ALU | BPF_RSH | BPF_K, 16),
        BPF_STMT(BPF_ALU | BPF_MOD | BPF_K, count),
        BPF_STMT(BPF_RET | BPF_A, 0),
    };
    AttachFilter(socket, SO_ATTACH_REUSEPORT_CBPF, code, std::size(code));
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
