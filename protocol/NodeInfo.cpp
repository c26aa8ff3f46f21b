#include "NodeInfo.h"

#include <cstdio>
#include <cstring>

void NodeInfo::SetMacAddress(const uint8_t* mac)
{
    std::memcpy(m_macAddress.data(), mac, m_macAddress.size());
}

std::string NodeInfo::GetMacText() const
{
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", m_macAddress[0], m_macAddress[1],
                  m_macAddress[2], m_macAddress[3], m_macAddress[4], m_macAddress[5]);
    return text;
}

void NodeInfo::Pack(uint8_t* buffer) const
{
    std::memcpy(buffer, &m_opCode, 4);
    std::memcpy(buffer + 4, &m_transactionId, 4);
    std::memcpy(buffer + 8, m_macAddress.data(), 6);
    std::memcpy(buffer + 14, m_reserved.data(), 2);
    std::memcpy(buffer + 16, &m_result, 4);
    m_settings.PackTo(buffer + kHeaderSize);
}

void NodeInfo::Unpack(const uint8_t* buffer)
{
    std::memcpy(&m_opCode, buffer, 4);
    std::memcpy(&m_transactionId, buffer + 4, 4);
    std::memcpy(m_macAddress.data(), buffer + 8, 6);
    std::memcpy(m_reserved.data(), buffer + 14, 2);
    std::memcpy(&m_result, buffer + 16, 4);
    m_settings.UnpackFrom(buffer + kHeaderSize);
}
