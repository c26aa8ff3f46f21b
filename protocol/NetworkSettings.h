#pragma once

#include <QString>

#include <cstdint>
#include <string>

// A node's IP settings, the 16-byte settings block of a node protocol packet: the addresses in
// network byte order, exactly as on the wire; the DHCP flag as a number (little-endian on the wire).
class NetworkSettings
{
  public:
    NetworkSettings() = default;
    NetworkSettings(const NetworkSettings&) = default;
    NetworkSettings& operator=(const NetworkSettings&) = default;
    virtual ~NetworkSettings() = default;

    bool IsDhcp() const { return m_dhcp != 0; }
    void SetDhcp(int32_t dhcp) { m_dhcp = dhcp; }

    uint32_t GetIpAddress() const { return m_ipAddress; }
    void SetIpAddress(uint32_t networkOrder) { m_ipAddress = networkOrder; }
    uint32_t GetSubnetMask() const { return m_subnetMask; }
    void SetSubnetMask(uint32_t networkOrder) { m_subnetMask = networkOrder; }
    uint32_t GetGateway() const { return m_gateway; }
    void SetGateway(uint32_t networkOrder) { m_gateway = networkOrder; }

    std::string GetIpText() const;
    std::string GetMaskText() const;
    std::string GetGatewayText() const; // "none" when there is no gateway
    std::string GetDhcpText() const;    // "yes" / "no"

    // True when the fixed-address settings pass every address rule; otherwise false with the
    // operator's message for the first rule that failed. Implemented with the IP settings dialog.
    bool Validate(QString& message) const;

    bool operator==(const NetworkSettings& other) const;
    bool operator!=(const NetworkSettings& other) const { return !(*this == other); }

    static constexpr int kWireSize = 16;
    void PackTo(uint8_t* wire) const;
    void UnpackFrom(const uint8_t* wire);

  private:
    int32_t m_dhcp = 0;
    uint32_t m_ipAddress = 0;
    uint32_t m_subnetMask = 0;
    uint32_t m_gateway = 0;
};

// Dotted-decimal text of a network-order IPv4 address.
std::string DottedText(uint32_t networkOrder);
