#include "protocol/NodeInfo.h"

#include <QtEndian>

#include <cstdio>
#include <cstring>

void NodeInfo::SetMacAddress(const uint8_t* mac)
{
    std::memcpy(m_macAddress.data(), mac, m_macAddress.size());
}

std::string NodeInfo::MacText(const MacAddress& mac)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    return text;
}

// The op code and result are held in wire order already, so their bytes are copied as they stand;
// the transaction id is a host value that travels least significant byte first.
void NodeInfo::Pack(uint8_t* buffer) const
{
    std::memcpy(buffer + kOpCodeOffset, &m_opCode, sizeof m_opCode);
    qToLittleEndian(m_transactionId, buffer + kTransactionIdOffset);
    std::memcpy(buffer + kMacOffset, m_macAddress.data(), m_macAddress.size());
    std::memcpy(buffer + kReservedOffset, m_reserved.data(), m_reserved.size());
    std::memcpy(buffer + kResultOffset, &m_result, sizeof m_result);
    m_settings.PackTo(buffer + kHeaderSize);
}

void NodeInfo::Unpack(const uint8_t* buffer)
{
    std::memcpy(&m_opCode, buffer + kOpCodeOffset, sizeof m_opCode);
    m_transactionId = qFromLittleEndian<uint32_t>(buffer + kTransactionIdOffset);
    std::memcpy(m_macAddress.data(), buffer + kMacOffset, m_macAddress.size());
    std::memcpy(m_reserved.data(), buffer + kReservedOffset, m_reserved.size());
    std::memcpy(&m_result, buffer + kResultOffset, sizeof m_result);
    m_settings.UnpackFrom(buffer + kHeaderSize);
}
