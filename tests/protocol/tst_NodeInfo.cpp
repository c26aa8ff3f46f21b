#include "protocol/NodeInfo.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::array<uint8_t, NodeInfo::kPacketSize>;

// Network-order value whose bytes in memory are a.b.c.d, built without the byte-order helpers
// that the code under test relies on.
uint32_t Address(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    const uint8_t bytes[4] = {a, b, c, d};
    uint32_t value = 0;
    std::memcpy(&value, bytes, 4);
    return value;
}

// The packed bytes; guard bytes on both sides show a write outside the 36.
Bytes Packed(const NodeInfo& info)
{
    std::array<uint8_t, NodeInfo::kPacketSize + 8> buffer;
    buffer.fill(0xcc);
    info.Pack(buffer.data() + 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(buffer[i], 0xcc) << "before the packet";
        EXPECT_EQ(buffer[4 + NodeInfo::kPacketSize + i], 0xcc) << "after the packet";
    }
    Bytes bytes;
    std::memcpy(bytes.data(), buffer.data() + 4, bytes.size());
    return bytes;
}

TEST(NodeInfoTest, SetAddressExamplePacksToItsBytes)
{
    const uint8_t mac[6] = {0x00, 0x0a, 0xff, 0x10, 0x20, 0x3b};
    NetworkSettings settings;
    settings.SetDhcp(0);
    settings.SetIpAddress(Address(192, 168, 0, 10));
    settings.SetSubnetMask(Address(255, 255, 255, 0));
    settings.SetGateway(Address(192, 168, 0, 1));

    NodeInfo request;
    request.SetOpCode(Address(0, 0, 0, OP_SET_ADDRESS_REQUEST));
    request.SetTransactionId(291);
    request.SetMacAddress(mac);
    request.SetSettings(settings);

    const Bytes expected = {0x00, 0x00, 0x00, 0x02, 0x23, 0x01, 0x00, 0x00, 0x00, 0x0a, 0xff, 0x10,
                            0x20, 0x3b, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0xc0, 0xa8, 0x00, 0x0a, 0xff, 0xff, 0xff, 0x00, 0xc0, 0xa8, 0x00, 0x01};
    EXPECT_EQ(Packed(request), expected);
}

TEST(NodeInfoTest, SearchRequestIsOpZeroIdLowByteFirstThenZeros)
{
    NodeInfo request;
    request.SetTransactionId(0x1234);

    Bytes expected{};
    expected[4] = 0x34;
    expected[5] = 0x12;
    EXPECT_EQ(Packed(request), expected);
}

TEST(NodeInfoTest, DhcpOneIsWrittenLeastSignificantByteFirst)
{
    NodeInfo request;
    NetworkSettings settings;
    settings.SetDhcp(1);
    request.SetSettings(settings);

    const Bytes bytes = Packed(request);
    EXPECT_EQ(bytes[20], 0x01);
    EXPECT_EQ(bytes[21], 0x00);
    EXPECT_EQ(bytes[22], 0x00);
    EXPECT_EQ(bytes[23], 0x00);
}

// Byte patterns that make every field distinguishable, so that a swapped or shifted field shows.
std::vector<Bytes> WirePatterns()
{
    std::vector<Bytes> patterns;
    Bytes ascending;
    for (int i = 0; i < NodeInfo::kPacketSize; ++i) {
        ascending[i] = static_cast<uint8_t>(i + 1);
    }
    patterns.push_back(ascending);
    Bytes ones;
    ones.fill(0xff);
    patterns.push_back(ones);
    patterns.push_back(Bytes{});
    Bytes reply = {0x00, 0x00, 0x00, 0x03, 0x23, 0x01, 0x00, 0x00, 0x00, 0x0a, 0xff, 0x10,
                   0x20, 0x3b, 0xde, 0xad, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x01,
                   0x0a, 0x00, 0x00, 0x05, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    patterns.push_back(reply);
    return patterns;
}

TEST(NodeInfoTest, UnpackThenPackGivesTheSameBytes)
{
    for (const Bytes& wire : WirePatterns()) {
        NodeInfo info;
        info.Unpack(wire.data());
        EXPECT_EQ(Packed(info), wire);
    }
}

TEST(NodeInfoTest, UnpackPlacesEachFieldInItsWireOrder)
{
    const Bytes wire = WirePatterns()[3];
    NodeInfo info;
    info.Unpack(wire.data());

    EXPECT_EQ(info.GetOpCode(), Address(0, 0, 0, 3));
    EXPECT_EQ(info.GetTransactionId(), 291u);
    EXPECT_EQ(info.GetResult(), Address(0, 0, 0, 7));
    EXPECT_EQ(0, std::memcmp(info.GetMacAddress(), wire.data() + 8, 6));
    EXPECT_EQ(info.GetMacText(), "00:0a:ff:10:20:3b");
    EXPECT_TRUE(info.GetSettings().IsDhcp());
    EXPECT_EQ(info.GetSettings().GetIpText(), "10.0.0.5");
    EXPECT_EQ(info.GetSettings().GetMaskText(), "255.0.0.0");
    EXPECT_EQ(info.GetSettings().GetGatewayText(), "none");
}

TEST(NodeInfoTest, HasSameMacComparesAllSixBytes)
{
    const uint8_t base[6] = {0x00, 0x0a, 0xff, 0x10, 0x20, 0x3b};
    NodeInfo a;
    a.SetMacAddress(base);
    for (int i = 0; i < 6; ++i) {
        uint8_t other[6];
        std::memcpy(other, base, 6);
        other[i] ^= 0x01;
        NodeInfo b;
        b.SetMacAddress(other);
        EXPECT_FALSE(a.HasSameMac(b)) << "byte " << i;
    }
    NodeInfo same;
    same.SetMacAddress(base);
    same.SetTransactionId(9);
    EXPECT_TRUE(a.HasSameMac(same));
}

struct MacCase
{
    std::array<uint8_t, 6> mac;
    const char* text;
};

TEST(NodeInfoTest, MacTextIsLowerCaseColonSeparated)
{
    const MacCase cases[] = {
        {{0x00, 0x0a, 0xff, 0x10, 0x20, 0x3b}, "00:0a:ff:10:20:3b"},
        {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, "00:00:00:00:00:00"},
        {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, "ff:ff:ff:ff:ff:ff"},
        {{0xab, 0xcd, 0xef, 0x01, 0x9a, 0xbc}, "ab:cd:ef:01:9a:bc"},
    };
    for (const MacCase& c : cases) {
        NodeInfo info;
        info.SetMacAddress(c.mac.data());
        EXPECT_EQ(info.GetMacText(), c.text);
    }
}

struct DhcpCase
{
    std::array<uint8_t, 4> wire;
    bool dhcp;
};

TEST(NetworkSettingsTest, AnyNonzeroDhcpFlagReadsYes)
{
    const DhcpCase cases[] = {
        {{0x00, 0x00, 0x00, 0x00}, false}, {{0x01, 0x00, 0x00, 0x00}, true}, {{0x00, 0x00, 0x00, 0x01}, true},
        {{0x00, 0x01, 0x00, 0x00}, true},  {{0xff, 0xff, 0xff, 0xff}, true}, {{0x00, 0x00, 0x00, 0x80}, true},
    };
    for (const DhcpCase& c : cases) {
        Bytes wire{};
        std::memcpy(wire.data() + 20, c.wire.data(), 4);
        NodeInfo info;
        info.Unpack(wire.data());
        EXPECT_EQ(info.GetSettings().IsDhcp(), c.dhcp);
        EXPECT_EQ(info.GetSettings().GetDhcpText(), c.dhcp ? "yes" : "no");
    }
}

struct AddressTextCase
{
    uint32_t address;
    const char* dotted;
    const char* gateway;
};

TEST(NetworkSettingsTest, AddressTexts)
{
    const AddressTextCase cases[] = {
        {Address(0, 0, 0, 0), "0.0.0.0", "none"},
        {Address(192, 168, 0, 1), "192.168.0.1", "192.168.0.1"},
        {Address(255, 255, 255, 255), "255.255.255.255", "255.255.255.255"},
        {Address(10, 0, 0, 0), "10.0.0.0", "10.0.0.0"},
        {Address(0, 0, 0, 1), "0.0.0.1", "0.0.0.1"},
    };
    for (const AddressTextCase& c : cases) {
        NetworkSettings settings;
        settings.SetIpAddress(c.address);
        settings.SetSubnetMask(c.address);
        settings.SetGateway(c.address);
        EXPECT_EQ(settings.GetIpText(), c.dotted);
        EXPECT_EQ(settings.GetMaskText(), c.dotted);
        EXPECT_EQ(settings.GetGatewayText(), c.gateway);
    }
}

TEST(NetworkSettingsTest, EqualityComparesEveryFieldAndTheRawDhcpValue)
{
    NetworkSettings base;
    base.SetDhcp(1);
    base.SetIpAddress(Address(192, 168, 0, 10));
    base.SetSubnetMask(Address(255, 255, 255, 0));
    base.SetGateway(Address(192, 168, 0, 1));

    NetworkSettings copy = base;
    EXPECT_TRUE(copy == base);
    EXPECT_FALSE(copy != base);

    std::vector<NetworkSettings> changed(5, base);
    changed[0].SetDhcp(0);
    changed[1].SetDhcp(0x01000000); // also "yes", but another value
    changed[2].SetIpAddress(Address(192, 168, 0, 11));
    changed[3].SetSubnetMask(Address(255, 255, 0, 0));
    changed[4].SetGateway(0);
    for (std::size_t i = 0; i < changed.size(); ++i) {
        EXPECT_FALSE(changed[i] == base) << i;
        EXPECT_TRUE(changed[i] != base) << i;
    }
}

} // namespace
