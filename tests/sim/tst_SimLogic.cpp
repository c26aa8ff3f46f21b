// The simulator's own packet code and configuration, without a process.
#include "sim/SimConfig.h"
#include "sim/SimPacket.h"
#include "sim/SimText.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<uint8_t> bytes;
    for (int value : values)
        bytes.push_back(static_cast<uint8_t>(value));
    return bytes;
}

} // namespace

TEST(SimPacket, MatchesTheDocumentedSetAddressRequest)
{
    // Transaction id 291 (written low byte first), node 00:0a:ff:10:20:3b, 192.168.0.10/24 via .1.
    const auto wire = Bytes({0x00, 0x00, 0x00, 0x02, 0x23, 0x01, 0x00, 0x00, 0x00, 0x0a, 0xff, 0x10,
                             0x20, 0x3b, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0xc0, 0xa8, 0x00, 0x0a, 0xff, 0xff, 0xff, 0x00, 0xc0, 0xa8, 0x00, 0x01});
    SimPacket packet;
    ASSERT_TRUE(SimPacket::Decode(wire.data(), wire.size(), packet));
    EXPECT_EQ(packet.op, SimPacket::SetAddressRequest);
    EXPECT_EQ(SimText::HexText(packet.transactionId.data(), 4), QStringLiteral("23010000"));
    EXPECT_EQ(SimText::MacText(packet.mac), QStringLiteral("00:0a:ff:10:20:3b"));
    EXPECT_EQ(SimText::Ipv4Text(packet.ip), QStringLiteral("192.168.0.10"));
    EXPECT_EQ(SimText::Ipv4Text(packet.mask), QStringLiteral("255.255.255.0"));
    EXPECT_EQ(SimText::Ipv4Text(packet.gateway), QStringLiteral("192.168.0.1"));

    const auto encoded = packet.Encode();
    EXPECT_EQ(std::vector<uint8_t>(encoded.begin(), encoded.end()), wire);

    SimPacket reply;
    reply.op = SimPacket::SetAddressReply;
    reply.result = 0x01020304;
    reply.dhcp = {1, 0, 0, 0};
    const auto replyBytes = reply.Encode();
    EXPECT_EQ(std::vector<uint8_t>(replyBytes.begin() + 16, replyBytes.begin() + 24),
              Bytes({1, 2, 3, 4, 1, 0, 0, 0}));
    EXPECT_EQ(replyBytes[3], 3);

    for (std::size_t length : {std::size_t{0}, std::size_t{35}, std::size_t{37}})
        EXPECT_FALSE(SimPacket::Decode(wire.data(), length, packet)) << length;
    EXPECT_FALSE(SimPacket::Decode(nullptr, 36, packet));
}

TEST(SimConfig, AcceptsBoardsWithDefaults)
{
    std::vector<SimBoard> boards;
    QString error;
    ASSERT_TRUE(SimConfig::Parse(R"({"boards": [
        {"mac": "00:0A:FF:10:20:3B", "ip": "127.0.0.9"},
        {"mac": "00-0a-ff-10-20-3c", "ip": "192.168.0.10", "dhcp": 1, "gateway": "192.168.0.1",
         "silent": true, "replyDelayMs": 250, "answerTwice": true, "replyBroadcast": true, "setAddressResult": 4294967295,
         "replyMac": "02:00:00:00:00:01", "snmp": {"anything": [1, 2], "delayMs": 60000, "jitterMs": 0}},
        {"mac": "00:0a:ff:10:20:3d", "ip": "10.0.0.1", "mask": "255.255.0.0", "dhcp": 1, "dhcpWire": "00000001",
         "replyMac": "", "replyDelayMs": 100, "setAddressDelayMs": 0, "appearAfterMs": 600000,
         "ignoreSetAddress": true, "keepSettings": false}
    ]})",
                                 boards, error))
        << error.toStdString();
    ASSERT_EQ(boards.size(), 3u);

    EXPECT_EQ(SimText::MacText(boards[0].mac), QStringLiteral("00:0a:ff:10:20:3b"));
    EXPECT_EQ(boards[0].mask, 0xff000000u);
    EXPECT_EQ(boards[0].gateway, 0u);
    EXPECT_EQ(boards[0].dhcp, (std::array<uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_FALSE(boards[0].silent || boards[0].answerTwice || boards[0].replyBroadcast || boards[0].replyMac);
    EXPECT_EQ(boards[0].replyDelayMs, 0);
    EXPECT_EQ(boards[0].appearAfterMs, 0);
    EXPECT_FALSE(boards[0].ignoreSetAddress || boards[0].keepSettings);
    EXPECT_FALSE(boards[0].snmpDelayMs || boards[0].snmpJitterMs); // the command line's then

    EXPECT_EQ(boards[1].mask, 0xffffff00u);
    EXPECT_EQ(boards[1].gateway, 0xc0a80001u);
    EXPECT_EQ(boards[1].dhcp, (std::array<uint8_t, 4>{1, 0, 0, 0}));
    EXPECT_TRUE(boards[1].silent && boards[1].answerTwice && boards[1].replyBroadcast);
    EXPECT_EQ(boards[1].replyDelayMs, 250);
    EXPECT_EQ(boards[1].setAddressDelayMs, 250); // defaults to replyDelayMs
    EXPECT_EQ(boards[1].setAddressResult, 0xffffffffu);
    ASSERT_TRUE(boards[1].replyMac);
    EXPECT_EQ(SimText::MacText(*boards[1].replyMac), QStringLiteral("02:00:00:00:00:01"));
    EXPECT_TRUE(boards[1].snmp.contains(QStringLiteral("anything")));
    EXPECT_EQ(boards[1].snmpDelayMs, 60000);
    EXPECT_EQ(boards[1].snmpJitterMs, 0); // set, so it wins over --snmp-jitter

    EXPECT_EQ(boards[2].mask, 0xffff0000u);
    EXPECT_EQ(boards[2].dhcp, (std::array<uint8_t, 4>{0, 0, 0, 1}));
    EXPECT_FALSE(boards[2].replyMac);
    EXPECT_EQ(boards[2].setAddressDelayMs, 0);
    EXPECT_EQ(boards[2].appearAfterMs, 600000);
    EXPECT_TRUE(boards[2].ignoreSetAddress);
    EXPECT_FALSE(boards[2].keepSettings);
}

class SimConfigRejects : public testing::TestWithParam<const char*>
{
};

TEST_P(SimConfigRejects, LeavesTheListAlone)
{
    std::vector<SimBoard> boards(1);
    QString error;
    EXPECT_FALSE(SimConfig::Parse(QByteArray(GetParam()), boards, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(boards.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimConfigRejects,
    testing::Values(
        "", "[]", R"({"boards": {}})", R"({"boards": [], "extra": 1})", R"({"boards": [1]})",
        R"({"boards": [{"ip": "127.0.0.2"}]})", R"({"boards": [{"mac": "00:0a:ff:10:20:3b"}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20", "ip": "127.0.0.2"}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3g", "ip": "127.0.0.2"}]})",
        R"({"boards": [{"mac": "+0:0a:ff:10:20:3b", "ip": "127.0.0.2"}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0"}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "mask": 8}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "replyDelayMS": 5}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "replyDelayMs": -1}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "setAddressDelayMs": 600001}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "appearAfterMs": "5"}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "ignoreSetAddress": 1}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "keepSettings": "yes"}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "setAddressResult": 1.5}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "dhcp": 4294967296}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "dhcpWire": "0000001"}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "dhcpWire": "zz000000"}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "silent": "yes"}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "replyBroadcast": 1}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "replyMac": "x"}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "snmp": []}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "snmp": {"delayMs": 60001}}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "snmp": {"delayMs": -1}}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "snmp": {"jitterMs": "5"}}]})",
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2", "snmp": {"jitterMs": 0.5}}]})",
        // The second board is bad: the first must not be kept either.
        R"({"boards": [{"mac": "00:0a:ff:10:20:3b", "ip": "127.0.0.2"}, {"mac": "x", "ip": "127.0.0.3"}]})"));

TEST(SimConfig, GeneratedBoardsStayInLoopbackAndCarryIntoTheThirdOctet)
{
    std::vector<SimBoard> boards;
    QString error;
    ASSERT_TRUE(SimConfig::AppendGenerated(300, boards, error));
    ASSERT_EQ(boards.size(), 300u);
    EXPECT_EQ(SimText::Ipv4Text(boards[0].ip), QStringLiteral("127.0.0.2"));
    EXPECT_EQ(SimText::Ipv4Text(boards[253].ip), QStringLiteral("127.0.0.255"));
    EXPECT_EQ(SimText::Ipv4Text(boards[254].ip), QStringLiteral("127.0.1.0"));
    EXPECT_EQ(SimText::MacText(boards[258].mac), QStringLiteral("02:4c:46:00:01:02"));
    std::set<std::array<uint8_t, 6>> macs;
    for (const SimBoard& board : boards) {
        macs.insert(board.mac);
        EXPECT_EQ(board.mask, 0xff000000u);
        EXPECT_EQ(board.dhcp, (std::array<uint8_t, 4>{}));
    }
    EXPECT_EQ(macs.size(), boards.size());

    static_assert(0x7f000002u + SimConfig::kMaxGenerated - 1 < 0x7fffffffu, "generated boards leave 127/8");
    EXPECT_FALSE(SimConfig::AppendGenerated(SimConfig::kMaxGenerated + 1, boards, error));
    EXPECT_EQ(boards.size(), 300u);
}
