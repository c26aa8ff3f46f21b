#include "core/SnmpReading.h"

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

bool IsException(u_char type)
{
    return type == SNMP_NOSUCHOBJECT || type == SNMP_NOSUCHINSTANCE || type == SNMP_ENDOFMIBVIEW;
}

// Reads the 32-bit value at the start of a variable of any numeric type or of 4 bytes or more,
// without ever looking past its end.
bool ReadAnyInt32(const netsnmp_variable_list& var, int32_t& out)
{
    if (var.val_len == 0 || var.val.string == nullptr || IsException(var.type))
        return false;
    switch (var.type) {
    case ASN_INTEGER:
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER:
        if (var.val_len >= sizeof(long)) {
            out = static_cast<int32_t>(static_cast<uint32_t>(*var.val.integer));
            return true;
        }
        break;
    default:
        break;
    }
    if (var.val_len < sizeof out)
        return false;
    std::memcpy(&out, var.val.string, sizeof out);
    return true;
}

int Fail(StrictReadProblem& problem, StrictReadProblem::Kind kind, size_t index, u_char type = 0)
{
    problem.kind = kind;
    problem.index = index;
    problem.type = type;
    return 0;
}

} // namespace

std::vector<ExpectedVariable> ExpectedVariables(std::span<const MibVariable> variables)
{
    std::vector<ExpectedVariable> expected;
    for (const MibVariable& variable : variables)
        expected.push_back({variable.name, variable.nameLength, variable.type, variable.field});
    return expected;
}

bool Succeeded(const SnmpResponse& response)
{
    return Succeeded(response.sent, response.status, response.reply.get());
}

bool Succeeded(bool sent, int status, const netsnmp_pdu* reply)
{
    return sent && status == STAT_SUCCESS && reply != nullptr && reply->errstat == SNMP_ERR_NOERROR;
}

int ReadReplyLeniently(const netsnmp_pdu* reply, const ExpectedVariable* table, size_t count)
{
    if (reply == nullptr)
        return 0;
    for (const netsnmp_variable_list* var = reply->variables; var; var = var->next_variable) {
        if (var->val_len == 0)
            return 0;
        const size_t match = Find(*var, table, count);
        int32_t value = 0;
        if (match == count || !ReadAnyInt32(*var, value))
            return 0;
        *table[match].field = value;
    }
    return 1;
}

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
