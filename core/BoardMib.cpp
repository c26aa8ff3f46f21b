#include "core/BoardMib.h"

#include "core/SettingRules.h"
#include "protocol/NetworkSettings.h"

#include <net-snmp/net-snmp-includes.h>

#include <algorithm>
#include <initializer_list>

namespace {

constexpr oid kEnterprise[] = {1, 3, 6, 1, 4, 1, 32473, 1, 4};
constexpr oid kCommitName[] = {1, 3, 6, 1, 4, 1, 32473, 1, 4, 1, 2, 0};

MibVariable Variable(std::initializer_list<oid> tail, u_char type, int32_t* field, const char* key,
                     bool isUnsigned = false)
{
    MibVariable variable{};
    std::copy(std::begin(kEnterprise), std::end(kEnterprise), variable.name);
    std::copy(tail.begin(), tail.end(), variable.name + std::size(kEnterprise));
    variable.nameLength = std::size(kEnterprise) + tail.size();
    variable.type = type;
    variable.field = field;
    variable.key = key;
    variable.isUnsigned = isUnsigned;
    return variable;
}

int32_t* Alias(uint32_t& field)
{
    return reinterpret_cast<int32_t*>(&field);
}

constexpr std::size_t kOutputWrites[] = {0, 1, 2, 3, 4};
constexpr std::size_t kInputWrites[] = {0, 1, 2, 5, 6};

SnmpRequest Request(int command, const std::string& peer, long timeoutUs)
{
    SnmpRequest request;
    request.command = command;
    request.peer = peer;
    request.timeoutUs = timeoutUs;
    return request;
}

} // namespace

namespace BoardMib {

std::array<MibVariable, kSerialVariableCount> SerialVariables(SerialSettings& settings)
{
    return {{
        Variable({2, 2, 0}, ASN_INTEGER, &settings.connectionMode, "mode"),
        Variable({2, 4, 0}, ASN_IPADDRESS, &settings.peerAddress, "peer", true),
        Variable({2, 10, 0}, ASN_INTEGER, &settings.bitRate, "bitrate"),
        Variable({2, 12, 0}, ASN_INTEGER, &settings.dataLength, "databits"),
        Variable({2, 15, 0}, ASN_INTEGER, &settings.stopBits, "stopbits"),
        Variable({2, 20, 0}, ASN_INTEGER, &settings.parity, "parity"),
        Variable({2, 25, 0}, ASN_INTEGER, &settings.flowControl, "flow"),
        Variable({2, 5, 0}, ASN_INTEGER, &settings.portNumber, "port"),
    }};
}

std::array<MibVariable, kGpioVariableCount> GpioVariables(int port, GpioSettings& settings)
{
    const oid p = static_cast<oid>(port);
    return {{
        Variable({3, 1, 0}, ASN_IPADDRESS, Alias(settings.managerAddress), "manager", true),
        Variable({3, 2, 0}, ASN_INTEGER, Alias(settings.period), "period", true),
        Variable({3, 10, p, 1, 0}, ASN_INTEGER, &settings.mode, "mode"),
        Variable({3, 10, p, 2, 0}, ASN_INTEGER, &settings.state, "state"),
        Variable({3, 10, p, 3, 0}, ASN_INTEGER, &settings.initialState, "initial"),
        Variable({3, 10, p, 4, 0}, ASN_INTEGER, &settings.trapState, "trapstate"),
        Variable({3, 10, p, 5, 0}, ASN_INTEGER, Alias(settings.trapTime), "traptime", true),
    }};
}

std::span<const std::size_t> GpioWrittenVariables(int32_t mode)
{
    if (mode == GpioRules::kOutput)
        return kOutputWrites;
    if (mode == GpioRules::kInput)
        return kInputWrites;
    return {};
}

std::string ValueText(const MibVariable& variable)
{
    if (variable.type == ASN_IPADDRESS)
        return DottedText(static_cast<uint32_t>(*variable.field));
    return std::to_string(*variable.field);
}

SnmpRequest GetRequest(const std::string& peer, std::span<const MibVariable> variables, long timeoutUs)
{
    SnmpRequest request = Request(SNMP_MSG_GET, peer, timeoutUs);
    for (const MibVariable& variable : variables)
        request.variables.push_back({{variable.name, variable.name + variable.nameLength}, 0, {}});
    return request;
}

SnmpRequest SetRequest(const std::string& peer, std::span<const MibVariable> variables, long timeoutUs)
{
    SnmpRequest request = Request(SNMP_MSG_SET, peer, timeoutUs);
    for (const MibVariable& variable : variables)
        request.variables.push_back({{variable.name, variable.name + variable.nameLength},
                                     variable.type == ASN_IPADDRESS ? 'a' : 'i',
                                     ValueText(variable)});
    return request;
}

SnmpRequest CommitRequest(const std::string& peer, long timeoutUs)
{
    SnmpRequest request = Request(SNMP_MSG_SET, peer, timeoutUs);
    request.variables.push_back({{std::begin(kCommitName), std::end(kCommitName)}, 'i', "1"});
    return request;
}

} // namespace BoardMib
