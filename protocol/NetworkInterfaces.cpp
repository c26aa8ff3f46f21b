#include "protocol/NetworkInterfaces.h"

#include <algorithm>
#include <functional>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace NetworkInterfaces {
namespace {

// Every IPv4 address of every interface.
void ForEachIpv4Address(const std::function<void(const ifaddrs&)>& visit)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
            visit(*entry);
        }
    }
    freeifaddrs(list);
}

template <class T> void AddOnce(std::vector<T>& values, T value)
{
    if (std::find(values.begin(), values.end(), value) == values.end()) {
        values.push_back(value);
    }
}

} // namespace

std::vector<unsigned> WithIpv4Broadcast()
{
    std::vector<unsigned> indexes;
    ForEachIpv4Address([&](const ifaddrs& entry) {
        const unsigned flags = entry.ifa_flags;
        if ((flags & IFF_UP) == 0 || (flags & IFF_LOOPBACK) != 0 || (flags & IFF_BROADCAST) == 0) {
            return;
        }
        // Further addresses of an interface carry its name with a label ("eth0:1").
        std::string name = entry.ifa_name;
        name = name.substr(0, name.find(':'));
        if (const unsigned index = if_nametoindex(name.c_str()); index != 0) {
            AddOnce(indexes, index);
        }
    });
    return indexes;
}

std::string Name(unsigned index)
{
    char name[IF_NAMESIZE] = {};
    return index != 0 && if_indextoname(index, name) != nullptr ? std::string(name) : std::string();
}

std::vector<uint32_t> LocalIpv4Addresses()
{
    std::vector<uint32_t> addresses;
    ForEachIpv4Address([&](const ifaddrs& entry) {
        AddOnce(addresses, ntohl(reinterpret_cast<const sockaddr_in*>(entry.ifa_addr)->sin_addr.s_addr));
    });
    return addresses;
}

} // namespace NetworkInterfaces
