#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One datagram of the node protocol as the simulated boards see it. Addresses are kept in host order
// here so that the simulator can do arithmetic on them; the DHCP flag and the transaction id stay raw.
// Deliberately independent of the tool's own packet code, so that each can catch the other's faults.
struct SimPacket
{
    static constexpr std::size_t kSize = 36;

    enum Op : uint32_t
    {
        SearchRequest = 0,
        SearchReply = 1,
        SetAddressRequest = 2,
        SetAddressReply = 3,
    };

    uint32_t op = 0;
    std::array<uint8_t, 4> transactionId{};
    std::array<uint8_t, 6> mac{};
    std::array<uint8_t, 2> reserved{};
    uint32_t result = 0;
    std::array<uint8_t, 4> dhcp{};
    uint32_t ip = 0;
    uint32_t mask = 0;
    uint32_t gateway = 0;

    // Fails on any length but kSize.
    static bool Decode(const uint8_t* data, std::size_t length, SimPacket& out);
    std::array<uint8_t, kSize> Encode() const;
};
