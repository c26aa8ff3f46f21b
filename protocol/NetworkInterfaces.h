#pragma once

#include <string>

// The machine's network interfaces, as the node protocol needs them. Any thread.
namespace NetworkInterfaces {

// The name of the interface with that index; empty when there is none.
std::string Name(unsigned index);

} // namespace NetworkInterfaces
