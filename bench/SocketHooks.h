#pragma once

#include <cstdint>

// The bench executable defines sendto() and setsockopt() itself, so the product's own calls are
// observed (and, on request, constrained) at the system call without a change to the product.
namespace SocketHooks {

// When the last datagram to port 22222 left this process (CLOCK_MONOTONIC ns, 0 before any), and
// the process CPU time (user + system, all threads) at that moment.
int64_t LastRequestNs();
int64_t CpuAtLastRequestNs();
void ResetRequestClock();

// From now on the process gets receive buffers like an unprivileged one on a kernel whose
// net.core.rmem_max is bytes: SO_RCVBUF asks are capped at bytes (the kernel then doubles the
// value) and SO_RCVBUFFORCE fails with EPERM. 0: the real kernel's answers.
void SetReceiveBufferCap(int bytes);

} // namespace SocketHooks
