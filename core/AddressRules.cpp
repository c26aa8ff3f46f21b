#include "core/AddressRules.h"

#include "protocol/NetworkSettings.h"

#include <arpa/inet.h>

namespace {

constexpr quint32 kAllOnes = 0xffffffffu;

// True when the host part under mask is all zeros or all ones.
bool HostPartIsNetworkOrBroadcast(quint32 address, quint32 mask)
{
    const quint32 merged = address | mask;
    return merged == mask || merged == kAllOnes;
}

} // namespace

quint32 ClassfulMask(quint32 ip)
{
    const quint32 firstOctet = ip >> 24;
    if ((firstOctet & 0x80u) == 0) {
        return 0xff000000u;
    }
    if ((firstOctet & 0x40u) == 0) {
        return 0xffff0000u;
    }
    if ((firstOctet & 0x20u) == 0) {
        return 0xffffff00u;
    }
    return 0;
}

bool IsContiguousMask(quint32 mask)
{
    if (mask == 0 || mask == kAllOnes) {
        return false;
    }
    // Ones followed by zeros: the inverted mask plus one is a single power of two.
    const quint32 hostBits = ~mask;
    return (hostBits & (hostBits + 1)) == 0;
}

bool IsHostAddress(quint32 ip)
{
    if (ip == 0 || ip == kAllOnes) {
        return false;
    }
    const quint32 classMask = ClassfulMask(ip);
    return classMask != 0 && !HostPartIsNetworkOrBroadcast(ip, classMask);
}

AddressRule FirstFailedAddressRule(quint32 ip, quint32 mask, quint32 gateway)
{
    if (!IsHostAddress(ip)) {
        return AddressRule::IpAddress;
    }
    if (!IsContiguousMask(mask)) {
        return AddressRule::SubnetMask;
    }
    if (HostPartIsNetworkOrBroadcast(ip, mask)) {
        return AddressRule::IpMaskPair;
    }
    if (gateway == 0) {
        return AddressRule::None;
    }
    // A gateway whose host part is all ones is let through: only the network address is refused.
    if ((gateway | mask) == mask) {
        return AddressRule::Gateway;
    }
    if ((ip & mask) != (gateway & mask)) {
        return AddressRule::Gateway;
    }
    return AddressRule::None;
}

AddressRule FirstFailedAddressRule(const NetworkSettings& settings)
{
    return FirstFailedAddressRule(ntohl(settings.GetIpAddress()), ntohl(settings.GetSubnetMask()),
                                  ntohl(settings.GetGateway()));
}

std::optional<NetworkSettings> SettingsToSend(const NetworkSettings& reported, bool dhcp,
                                              const NetworkSettings& fixed)
{
    if (!dhcp)
        return fixed == reported ? std::nullopt : std::optional(fixed);
    if (reported.IsDhcp())
        return std::nullopt;
    NetworkSettings settings = reported;
    settings.SetDhcp(1);
    return settings;
}
