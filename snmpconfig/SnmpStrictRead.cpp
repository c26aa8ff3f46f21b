#include "snmpconfig/SnmpStrictRead.h"

#include <net-snmp/net-snmp-includes.h>

#include <cstring>

namespace {

bool IsAbsence(u_char type)
{
    return type == SNMP_NOSUCHOBJECT || type == SNMP_NOSUCHINSTANCE;
}

// The value of a variable whose type is the expected one; false when it does not fit that type.
bool ReadValue(const netsnmp_variable_list& var, int32_t& value)
{
    if (var.val.string == nullptr)
        return false;
    if (var.type == ASN_IPADDRESS) {
        if (var.val_len != sizeof value)
            return false;
        std::memcpy(&value, var.val.string, sizeof value);
        return true;
    }
    // Net-SNMP keeps an INTEGER within 32 bits as it parses it.
    if (var.val_len != sizeof(long))
        return false;
    value = static_cast<int32_t>(*var.val.integer);
    return true;
}

size_t Find(const netsnmp_variable_list& var, const ExpectedVariable* expected, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (snmp_oid_compare(var.name, var.name_length, expected[i].name, expected[i].nameLength) == 0)
            return i;
    }
    return count;
}

int Fail(StrictReadProblem& problem, StrictReadProblem::Kind kind, size_t index, u_char type = 0)
{
    problem.kind = kind;
    problem.index = index;
    problem.type = type;
    return 0;
}

} // namespace

int ReadReplyStrictly(const netsnmp_pdu& reply, const ExpectedVariable* expected, size_t count, bool* absent,
                      StrictReadProblem& problem)
{
    using Kind = StrictReadProblem::Kind;
    problem = {};
    std::vector<bool> seen(count, false);
    for (const netsnmp_variable_list* var = reply.variables; var; var = var->next_variable) {
        const size_t i = Find(*var, expected, count);
        if (i == count) {
            problem.name.assign(var->name, var->name + var->name_length);
            return Fail(problem, Kind::Unrequested, 0);
        }
        if (seen[i])
            return Fail(problem, Kind::Repeated, i);
        seen[i] = true;
        absent[i] = IsAbsence(var->type);
        if (absent[i])
            continue;
        if (var->type != expected[i].type)
            return Fail(problem, Kind::WrongType, i, var->type);
        if (!ReadValue(*var, *expected[i].field))
            return Fail(problem, Kind::BadValue, i, var->type);
    }
    for (size_t i = 0; i < count; ++i) {
        if (!seen[i])
            return Fail(problem, Kind::Missing, i);
    }
    return 1;
}
