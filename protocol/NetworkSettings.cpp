#include "protocol/NetworkSettings.h"

#include <QtEndian>

#include <arpa/inet.h>

#include <cstring>

std::string DottedText(uint32_t networkOrder)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr address{};
    address.s_addr = networkOrder;
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::string NetworkSettings::GetIpText() const
{
    return DottedText(m_ipAddress);
}

std::string NetworkSettings::GetMaskText() const
{
    return DottedText(m_subnetMask);
}

std::string NetworkSettings::GetGatewayText() const
{
    return m_gateway == 0 ? "none" : DottedText(m_gateway);
}

std::string NetworkSettings::GetDhcpText() const
{
    return IsDhcp() ? "yes" : "no";
}

bool NetworkSettings::operator==(const NetworkSettings& other) const
{
    return m_dhcp == other.m_dhcp && m_ipAddress == other.m_ipAddress && m_subnetMask == other.m_subnetMask &&
           m_gateway == other.m_gateway;
}

// The addresses are held in network order already; the DHCP flag travels least significant byte
// first (1 is 01 00 00 00).
void NetworkSettings::PackTo(uint8_t* wire) const
{
    qToLittleEndian(m_dhcp, wire);
    std::memcpy(wire + 4, &m_ipAddress, 4);
    std::memcpy(wire + 8, &m_subnetMask, 4);
    std::memcpy(wire + 12, &m_gateway, 4);
}

void NetworkSettings::UnpackFrom(const uint8_t* wire)
{
    m_dhcp = qFromLittleEndian<int32_t>(wire);
    std::memcpy(&m_ipAddress, wire + 4, 4);
    std::memcpy(&m_subnetMask, wire + 8, 4);
    std::memcpy(&m_gateway, wire + 12, 4);
}
