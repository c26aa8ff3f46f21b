#include "core/SnmpSession.h"

#include <net-snmp/net-snmp-includes.h>

#include <cstring>

void PduFree::operator()(netsnmp_pdu* pdu) const
{
    snmp_free_pdu(pdu);
}

void InitSnmpLibrary()
{
    static const bool done = [] {
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_QUICK_PRINT, 1);
        return true;
    }();
    (void)done;
}

netsnmp_session SessionTemplate(long timeoutUs)
{
    netsnmp_session session;
    snmp_sess_init(&session);
    session.version = SNMP_VERSION_2c;
    session.retries = 0;
    session.timeout = timeoutUs;
    static char community[] = "vantile";
    static_assert(sizeof community == sizeof kSnmpCommunity);
    session.community = reinterpret_cast<u_char*>(community);
    session.community_len = std::strlen(community);
    return session;
}

std::string PeerName(const std::string& address, uint16_t agentPort)
{
    return agentPort == kSnmpAgentPort ? address : address + ':' + std::to_string(agentPort);
}

std::vector<SnmpVarSpec> VarSpecs(const SnmpRequest& request)
{
    const bool isSet = request.command == SNMP_MSG_SET;
    std::vector<SnmpVarSpec> vars;
    for (const SnmpVariable& variable : request.variables)
        vars.push_back({variable.name.data(), static_cast<uint32_t>(variable.name.size()), variable.type,
                        isSet ? variable.value.c_str() : nullptr});
    return vars;
}

netsnmp_pdu* BuildPdu(int command, std::span<const SnmpVarSpec> vars)
{
    netsnmp_pdu* pdu = snmp_pdu_create(command);
    if (pdu == nullptr)
        return nullptr;
    for (const SnmpVarSpec& var : vars) {
        if (command == SNMP_MSG_SET)
            (void)snmp_add_var(pdu, var.name, var.nameLength, var.type, var.value);
        else
            (void)snmp_add_null_var(pdu, var.name, var.nameLength);
    }
    return pdu;
}
