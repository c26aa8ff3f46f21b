#pragma once

#include "core/SnmpTransport.h"
#include "core/SnmpVarSpec.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// What every SNMP request of the tool has in common, for the blocking and the asynchronous
// transport alike. Any thread, one request's preparation at a time.

// The boards' agent: SNMPv2c, community "vantile", port 161, no retransmission.
inline constexpr uint16_t kSnmpAgentPort = 161;
inline constexpr char kSnmpCommunity[] = "vantile";
// How long a request waits for its answer: a GET waits the shorter time until the first SET has
// been sent (to that board, or in the window's run); from then on every request waits the longer.
inline constexpr long kGetTimeoutUs = 5000000;
inline constexpr long kSetTimeoutUs = 10000000;
constexpr long RequestTimeoutUs(bool setSentBefore)
{
    return setSentBefore ? kSetTimeoutUs : kGetTimeoutUs;
}

// Tells Net-SNMP, once per process, to read no configuration or MIB files and keep no state.
void InitSnmpLibrary();

// A session template: version, community, retries 0 and the timeout. The peer name is the
// caller's to set (see PeerName), as is anything it needs beyond.
netsnmp_session SessionTemplate(long timeoutUs);
// Net-SNMP 5.9 ignores remote_port: a port other than 161 has to be part of the peer name.
std::string PeerName(const std::string& address, uint16_t agentPort);

// The request's variables as a list that borrows from it (values only in a SET).
std::vector<SnmpVarSpec> VarSpecs(const SnmpRequest& request);
// The request PDU: a GET with null values or a SET with each value converted from its text. A
// variable that cannot be added is left out. Null only when no PDU can be made at all.
netsnmp_pdu* BuildPdu(int command, std::span<const SnmpVarSpec> vars);
