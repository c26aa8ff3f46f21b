#pragma once

#include "core/BoardMib.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// A variable a GET asked for, the type its value must have (ASN_INTEGER or ASN_IPADDRESS) and the
// field its value goes into (an IpAddress as its four bytes in network order). Name and field are
// borrowed.
struct ExpectedVariable
{
    const oid* name;
    size_t nameLength;
    u_char type;
    int32_t* field;
};

// The board's variables as such a list; it borrows from them.
std::vector<ExpectedVariable> ExpectedVariables(std::span<const MibVariable> variables);

// How a GET reply is read into a settings record. Pure: each reads the reply and the list and
// writes only the fields (and the absent flags and the problem it is given). Any thread.
//
// The success test of every request: it was sent, its status is STAT_SUCCESS, and a reply came
// with error-status noError.
bool Succeeded(const SnmpResponse& response);
// The same test over a response's parts, for a caller that keeps the reply itself.
bool Succeeded(bool sent, int status, const netsnmp_pdu* reply);

// The settings dialogs' reading: every variable of the reply must carry a value and match one of
// the table (first match wins); its value then goes into that entry's field. Fields that no
// variable names keep their value. 0 at the first variable that fails, which may leave the record
// partly filled.
int ReadReplyLeniently(const netsnmp_pdu* reply, const ExpectedVariable* table, size_t count);

// The strict reading, for a front end that must say what a board answered for each variable:
// every variable asked for comes back exactly once, with its own type, and nothing else comes back.

struct StrictReadProblem
{
    enum class Kind
    {
        None,
        Missing,     // an expected variable is not in the reply
        Repeated,    // it is in the reply twice
        WrongType,   // it came with another type (`type`), endOfMibView included
        BadValue,    // its value does not fit its type: an IpAddress not of 4 bytes, say
        Unrequested, // the reply names a variable nobody asked for (`name`)
    };
    Kind kind = Kind::None;
    size_t index = 0; // the expected variable concerned, unless Unrequested
    u_char type = 0;
    std::vector<oid> name;
};

// 1 when the reply reads. Each field then holds its variable's value, except where the board lacks
// the variable (noSuchObject, noSuchInstance): there absent[i] is set and the field is left alone;
// whether that will do is the caller's to judge. 0 otherwise, with the first problem in the reply's
// order (a missing variable after all the others); the fields may be partly filled then. The reply's
// error-status is not looked at: a reply with one is a failed request, not one to read.
int ReadReplyStrictly(const netsnmp_pdu& reply, const ExpectedVariable* expected, size_t count, bool* absent,
                      StrictReadProblem& problem);
