#pragma once

#include "core/GpioSettings.h"
#include "core/SerialSettings.h"
#include "core/SnmpTransport.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// The board's enterprise MIB (1.3.6.1.4.1.32473.1.4) as the tool uses it: which variable carries
// which setting of the settings records, with its type, and what each request sends. The one
// table of variables for every front end. Pure; any thread.

inline constexpr std::size_t kMaxMibNameLength = 14;

// One variable of a settings record: its name, the type its value has (ASN_INTEGER or
// ASN_IPADDRESS), the record's field it fills or is written from (an unsigned field through its
// signed alias; an address as its four bytes in network order) and the setting's key.
struct MibVariable
{
    oid name[kMaxMibNameLength];
    std::size_t nameLength;
    u_char type;
    int32_t* field;
    const char* key;
    bool isUnsigned; // the field's value is unsigned (addresses, the period and the trap time)
};

namespace BoardMib {

// Serial: the seven settings that travel together, then the port number, which travels alone.
inline constexpr std::size_t kSerialVariableCount = 8;
inline constexpr std::size_t kSerialPortIndex = 7;
std::array<MibVariable, kSerialVariableCount> SerialVariables(SerialSettings& settings);

// I/O: the manager address and the period (the board's), then port's mode, state, initial state,
// trap state and trap time (the port's, the port being the 12th sub-identifier). port: 1..8.
inline constexpr std::size_t kGpioVariableCount = 7;
std::array<MibVariable, kGpioVariableCount> GpioVariables(int port, GpioSettings& settings);
// The places in GpioVariables of what a SET of a port in mode carries: the manager, the period,
// the mode, and state and initial state (OUTPUT) or trap state and trap time (INPUT). Empty for
// another mode: there is nothing a write of it could send.
std::span<const std::size_t> GpioWrittenVariables(int32_t mode);

// The text a SET carries for the variable's field: a decimal number or a dotted IPv4 address.
std::string ValueText(const MibVariable& variable);

// A GET of the variables, or a SET of their fields' values (type letters 'i' and 'a').
SnmpRequest GetRequest(const std::string& peer, std::span<const MibVariable> variables, long timeoutUs);
SnmpRequest SetRequest(const std::string& peer, std::span<const MibVariable> variables, long timeoutUs);
SnmpRequest CommitRequest(const std::string& peer, long timeoutUs);

} // namespace BoardMib
