#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

#include <cstdint>

// One entry of a request list. GET lists use only name and nameLength; SET lists use all four.
// The entry points at storage it does not own: the name array and the value text must outlive the
// request that uses them.
struct SnmpVarSpec
{
    const oid* name;
    uint32_t nameLength;
    char type;         // 'i' INTEGER, 'a' IpAddress; 0 in GET lists
    const char* value; // decimal number or dotted IPv4 text; null in GET lists
};
