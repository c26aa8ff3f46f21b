#pragma once

#include <netinet/in.h>

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

// A further socket for the SO_REUSEPORT group on local (the group's first socket is bound there
// already): same buffer, with timestamps, and taking unicast only. -1 when it cannot be had.
int OpenGroupMember(const sockaddr_in& local);

// Has the group of socket spread unicast replies over its count sockets by the boards' MAC addresses.
void SpreadByMacAddress(int socket, unsigned count);

// Returns once the kernel stamps received packets, or after a short while.
void WaitForReceiveTimestamps();

} // namespace ReplySockets
