#pragma once

#include "protocol/NetworkSettings.h"

#include <QtGlobal>

#include <optional>

// The address rules that a fixed IP setting must pass, on host-order values (first dotted octet in
// the most significant byte), for every front end: the IP settings dialog turns the rule that
// fails into its message, lanfinch-cli into English. Pure and total: any three values give an
// answer.

enum class AddressRule
{
    None,       // the settings are acceptable
    IpAddress,  // the address is none a board can have
    SubnetMask, // not 1 to 31 one bits followed by zero bits
    IpMaskPair, // the address is its subnet's network or broadcast address
    Gateway,    // the gateway is its subnet's network address or outside the board's subnet
};

// The first rule that fails, in the order above. A gateway of 0 means "no gateway" and is always
// acceptable once the address and mask are.
AddressRule FirstFailedAddressRule(quint32 ip, quint32 mask, quint32 gateway);

// The address's own rule (the first of FirstFailedAddressRule): a class A, B or C address that is
// not its classful network's network or broadcast address.
bool IsHostAddress(quint32 ip);

// The classful network mask of an address (class A, B or C), or 0 for class D and E addresses.
quint32 ClassfulMask(quint32 ip);

// True for 1 to 31 leading one bits followed only by zero bits.
bool IsContiguousMask(quint32 mask);

// FirstFailedAddressRule on the fixed addresses of settings held in network byte order.
AddressRule FirstFailedAddressRule(const NetworkSettings& settings);

// What a change of a board's IP settings sends, from the settings the board reported: a switch to
// DHCP keeps the reported addresses on record and sets the flag; fixed settings (which have passed
// the rules) go as they are. nullopt when nothing would change: DHCP is on already, or the fixed
// settings are the reported ones.
std::optional<NetworkSettings> SettingsToSend(const NetworkSettings& reported, bool dhcp,
                                              const NetworkSettings& fixed);
