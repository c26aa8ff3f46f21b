#include "bench/SocketHooks.h"

#include "bench/BenchSupport.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr uint16_t kRequestPort = 22222;
std::atomic<int64_t> g_lastRequestNs{0};
std::atomic<int64_t> g_cpuAtLastRequestNs{0};
std::atomic<int> g_receiveBufferCap{0};

int64_t ProcessCpuNs()
{
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return static_cast<int64_t>(cpu.tv_sec) * 1000000000 + cpu.tv_nsec;
}

} // namespace

namespace SocketHooks {

int64_t LastRequestNs()
{
    return g_lastRequestNs.load();
}

int64_t CpuAtLastRequestNs()
{
    return g_cpuAtLastRequestNs.load();
}

void ResetRequestClock()
{
    g_lastRequestNs.store(0);
    g_cpuAtLastRequestNs.store(0);
}

void SetReceiveBufferCap(int bytes)
{
    g_receiveBufferCap.store(bytes);
}

} // namespace SocketHooks

extern "C" ssize_t sendto(int fd, const void* buffer, size_t length, int flags, const sockaddr* to,
                          socklen_t toLength)
{
    const int64_t cpuBefore = ProcessCpuNs();
    const int64_t before = Bench::NowNs();
    const long sent = syscall(SYS_sendto, fd, buffer, length, flags, to, toLength);
    if (sent >= 0 && to != nullptr && toLength >= sizeof(sockaddr_in) && to->sa_family == AF_INET &&
        ntohs(reinterpret_cast<const sockaddr_in*>(to)->sin_port) == kRequestPort) {
        g_lastRequestNs.store(before);
        g_cpuAtLastRequestNs.store(cpuBefore);
    }
    return sent;
}

extern "C" int setsockopt(int fd, int level, int option, const void* value, socklen_t length)
{
    const int cap = g_receiveBufferCap.load();
    if (cap > 0 && level == SOL_SOCKET && option == SO_RCVBUFFORCE) {
        errno = EPERM;
        return -1;
    }
    int capped = 0;
    if (cap > 0 && level == SOL_SOCKET && option == SO_RCVBUF && value != nullptr && length == sizeof(int)) {
        capped = std::min(*static_cast<const int*>(value), cap);
        value = &capped;
    }
    return static_cast<int>(syscall(SYS_setsockopt, fd, level, option, value, length));
}
