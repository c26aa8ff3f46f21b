#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <vector>

// Setting up the sockets that receive the boards' replies. Any thread.
namespace ReplySockets {

// setsockopt of an int at SOL_SOCKET level; its result.
int SetIntOption(int socket, int option, int value);

// The receive buffer asked for; the kernel grants it doubled where it may.
inline constexpr int kWantedBuffer = 8 * 1024 * 1024;

// Asks for kWantedBuffer (best effort) and returns the buffer granted, 0 when unknown.
int SetReceiveBuffer(int socket);

// Has the kernel tell the interface of every datagram, and with timestamps also its receive time.
void AskForReceiveDetails(int socket, bool timestamps);

// True when nothing at all is bound to the address's port yet.
bool PortIsFree(const sockaddr_in& local);

// The SO_REUSEPORT group of first (bound already, with SO_REUSEPORT set) grown to count sockets on
// first's address and port, each keeping its share of the replies (Spread). first comes first, the
// others follow in the kernel's order. Where the group cannot be formed, first alone, keeping
// everything. The caller owns every socket returned.
std::vector<int> FormGroup(int first, int count);

// Shares the replies out over the sockets of one group by the boards' MAC addresses, whatever the
// frame and whether the datagram was sent to this host or broadcast: every socket keeps the replies
// of its boards, so that each reply is kept once. group: in the kernel's order, which is the order
// of binding until one of them closes; then the last one takes the closed one's place. The sockets
// before firstSharing keep nothing. 1 when every socket took its share.
int Spread(const std::vector<int>& group, std::size_t firstSharing = 0);

// Takes a socket's filter off: it keeps whatever reaches it.
void KeepEverything(int socket);

// Returns once the kernel stamps received packets, or after a short while.
void WaitForReceiveTimestamps();

} // namespace ReplySockets
