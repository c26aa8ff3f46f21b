#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The machine's network interfaces, as the node protocol needs them. Any thread.
namespace NetworkInterfaces {

// Indexes of the interfaces that a broadcast to 255.255.255.255 is sent on: up, not loopback, with
// IPv4 broadcast and an IPv4 address; each once, in the system's order.
std::vector<unsigned> WithIpv4Broadcast();

// The name of the interface with that index; empty when there is none.
std::string Name(unsigned index);

// Every IPv4 address of this machine's interfaces, host order, each once.
std::vector<uint32_t> LocalIpv4Addresses();

} // namespace NetworkInterfaces
