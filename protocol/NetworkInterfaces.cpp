#include "protocol/NetworkInterfaces.h"

#include <algorithm>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace NetworkInterfaces {

std::vector<unsigned> WithIpv4Broadcast()
{
    std::vector<unsigned> indexes;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return indexes;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        const unsigned flags = entry->ifa_flags;
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET || (flags & IFF_UP) == 0 ||
            (flags & IFF_LOOPBACK) != 0 || (flags & IFF_BROADCAST) == 0) {
            continue;
        }
        // Further addresses of an interface carry its name with a label ("eth0:1").
        std::string name = entry->ifa_name;
        name = name.substr(0, name.find(':'));
        const unsigned index = if_nametoindex(name.c_str());
        if (index != 0 && std::find(indexes.begin(), indexes.end(), index) == indexes.end()) {
            indexes.push_back(index);
        }
    }
    freeifaddrs(list);
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
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return addresses;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        const uint32_t address =
            ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
            addresses.push_back(address);
        }
    }
    freeifaddrs(list);
    return addresses;
}

} // namespace NetworkInterfaces
