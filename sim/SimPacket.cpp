#include "sim/SimPacket.h"

#include <algorithm>

namespace {

uint32_t ReadBigEndian(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void WriteBigEndian(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

} // namespace

bool SimPacket::Decode(const uint8_t* data, std::size_t length, SimPacket& out)
{
    if (data == nullptr || length != kSize)
        return false;
    out.op = ReadBigEndian(data);
    std::copy_n(data + 4, 4, out.transactionId.begin());
    std::copy_n(data + 8, 6, out.mac.begin());
    std::copy_n(data + 14, 2, out.reserved.begin());
    out.result = ReadBigEndian(data + 16);
    std::copy_n(data + 20, 4, out.dhcp.begin());
    out.ip = ReadBigEndian(data + 24);
    out.mask = ReadBigEndian(data + 28);
    out.gateway = ReadBigEndian(data + 32);
    return true;
}

std::array<uint8_t, SimPacket::kSize> SimPacket::Encode() const
{
    std::array<uint8_t, kSize> bytes{};
    WriteBigEndian(bytes.data(), op);
    std::copy(transactionId.begin(), transactionId.end(), bytes.begin() + 4);
    std::copy(mac.begin(), mac.end(), bytes.begin() + 8);
    std::copy(reserved.begin(), reserved.end(), bytes.begin() + 14);
    WriteBigEndian(bytes.data() + 16, result);
    std::copy(dhcp.begin(), dhcp.end(), bytes.begin() + 20);
    WriteBigEndian(bytes.data() + 24, ip);
    WriteBigEndian(bytes.data() + 28, mask);
    WriteBigEndian(bytes.data() + 32, gateway);
    return bytes;
}
