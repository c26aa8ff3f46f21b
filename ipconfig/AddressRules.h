#pragma once

#include "protocol/NetworkSettings.h"

#include <QtGlobal>

#include <optional>

// The address rules that a fixed IP setting must pass, on host-order values (first dotted octet in
// the most significant byte). Pure and total: any three values give an answer.

// The string id of the first rule that fails (IDS_BAD_IP_ADDRESS, IDS_BAD_SUBNET_MASK,
// IDS_BAD_IP_MASK_PAIR or IDS_BAD_GATEWAY), or 0 when the settings are acceptable. A gateway of 0
// means "no gateway" and is always acceptable once the address and mask are.
int FirstFailedAddressRule(quint32 ip, quint32 mask, quint32 gateway);

// The address's own rule (the first of FirstFailedAddressRule): a class A, B or C address that is
// not its classful network's network or broadcast address.
bool IsHostAddress(quint32 ip);

// The classful network mask of an address (class A, B or C), or 0 for class D and E addresses.
quint32 ClassfulMask(quint32 ip);

// True for 1 to 31 leading one bits followed only by zero bits.
bool IsContiguousMask(quint32 mask);

// FirstFailedAddressRule on the fixed addresses of settings held in network byte order.
int FirstFailedAddressRule(const NetworkSettings& settings);

// What a change of a board's IP settings sends, from the settings the board reported: a switch to
// DHCP keeps the reported addresses on record and sets the flag; fixed settings (which have passed
// the rules) go as they are. nullopt when nothing would change: DHCP is on already, or the fixed
// settings are the reported ones.
std::optional<NetworkSettings> SettingsToSend(const NetworkSettings& reported, bool dhcp,
                                              const NetworkSettings& fixed);
