#include "core/AddressRules.h"
#include "ipconfig/AddressRuleMessage.h"
#include "tests/ipconfig/IpConfigTestSupport.h"
#include "resources/ResourceIds.h"
#include "resources/StringTable.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

struct RuleCase
{
    const char* what;
    const char* ip;
    const char* mask;
    const char* gateway;
    int expected; // 0: accepted
};

constexpr int OK = 0;

// Every rule, its boundaries, and which message wins when several rules fail.
constexpr std::array kRuleCases{
    // The IP address itself.
    RuleCase{"ip all zeros", "0.0.0.0", "255.0.0.0", "0.0.0.0", IDS_BAD_IP_ADDRESS},
    RuleCase{"ip all ones", "255.255.255.255", "255.255.255.0", "0.0.0.0", IDS_BAD_IP_ADDRESS},
    RuleCase{"class D", "224.0.0.1", "255.255.255.0", "0.0.0.0", IDS_BAD_IP_ADDRESS},
    RuleCase{"class D top", "239.255.255.254", "255.0.0.0", "0.0.0.0", IDS_BAD_IP_ADDRESS},
    RuleCase{"class E", "240.1.2.3", "255.255.255.0", "0.0.0.0", IDS_BAD_IP_ADDRESS},
    RuleCase{"class C top", "223.255.254.1", "255.255.255.0", "0.0.0.0", OK},
    RuleCase{"class A network", "10.0.0.0", "255.255.255.0", "0.0.0.0", IDS_BAD_IP_ADDRESS},
    RuleCase{"class A broadcast", "10.255.255.255", "255.0.0.0", "0.0.0.0", IDS_BAD_IP_ADDRESS},
    RuleCase{"class B network", "172.16.0.0", "255.255.255.0", "0.0.0.0", IDS_BAD_IP_ADDRESS},
    RuleCase{"class B broadcast", "172.16.255.255", "255.255.255.0", "0.0.0.0", IDS_BAD_IP_ADDRESS},
    RuleCase{"class C network, host under mask", "192.168.1.0", "255.255.254.0", "0.0.0.0",
             IDS_BAD_IP_ADDRESS},
    RuleCase{"class C broadcast", "192.168.1.255", "255.255.255.0", "0.0.0.0", IDS_BAD_IP_ADDRESS},
    RuleCase{"class A first network", "0.0.0.1", "255.0.0.0", "0.0.0.0", OK},
    RuleCase{"loopback is class A", "127.0.0.1", "255.0.0.0", "0.0.0.0", OK},
    RuleCase{"class B .255 host", "172.16.0.255", "255.255.0.0", "0.0.0.0", OK},
    RuleCase{"class A last before B", "127.255.255.254", "255.0.0.0", "0.0.0.0", OK},
    RuleCase{"class B first", "128.0.0.1", "255.255.0.0", "0.0.0.0", OK},
    // The subnet mask.
    RuleCase{"mask all zeros", "10.1.2.3", "0.0.0.0", "0.0.0.0", IDS_BAD_SUBNET_MASK},
    RuleCase{"mask all ones", "10.1.2.3", "255.255.255.255", "0.0.0.0", IDS_BAD_SUBNET_MASK},
    RuleCase{"mask with a hole", "10.1.2.3", "255.0.255.0", "0.0.0.0", IDS_BAD_SUBNET_MASK},
    RuleCase{"mask not from the top", "10.1.2.3", "0.255.255.0", "0.0.0.0", IDS_BAD_SUBNET_MASK},
    RuleCase{"mask low bit set", "10.1.2.3", "255.255.255.1", "0.0.0.0", IDS_BAD_SUBNET_MASK},
    RuleCase{"mask one bit", "10.1.2.3", "128.0.0.0", "0.0.0.0", OK},
    RuleCase{"mask 31 bits, host bit 0", "10.1.2.2", "255.255.255.254", "0.0.0.0", IDS_BAD_IP_MASK_PAIR},
    RuleCase{"mask 31 bits, host bit 1", "10.1.2.3", "255.255.255.254", "0.0.0.0", IDS_BAD_IP_MASK_PAIR},
    RuleCase{"mask 30 bits", "10.1.2.1", "255.255.255.252", "0.0.0.0", OK},
    // The address under the entered mask.
    RuleCase{"subnet network", "10.1.0.0", "255.255.255.0", "0.0.0.0", IDS_BAD_IP_MASK_PAIR},
    RuleCase{"subnet broadcast", "10.1.0.255", "255.255.255.0", "0.0.0.0", IDS_BAD_IP_MASK_PAIR},
    RuleCase{"subnet host", "10.1.0.1", "255.255.255.0", "0.0.0.0", OK},
    // The gateway.
    RuleCase{"gateway is the network", "192.168.0.10", "255.255.255.0", "192.168.0.0", IDS_BAD_GATEWAY},
    RuleCase{"gateway in another subnet", "192.168.0.10", "255.255.255.0", "192.168.1.1", IDS_BAD_GATEWAY},
    RuleCase{"gateway all ones", "192.168.0.10", "255.255.255.0", "255.255.255.255", IDS_BAD_GATEWAY},
    RuleCase{"gateway is the broadcast", "192.168.0.10", "255.255.255.0", "192.168.0.255", OK},
    RuleCase{"gateway is the node", "192.168.0.10", "255.255.255.0", "192.168.0.10", OK},
    RuleCase{"gateway under a wide mask", "10.1.2.3", "255.0.0.0", "10.200.0.1", OK},
    RuleCase{"no gateway", "192.168.0.10", "255.255.255.0", "0.0.0.0", OK},
    // Only the first failing rule speaks.
    RuleCase{"class D with a broken mask", "224.0.0.1", "255.0.255.0", "0.0.0.0", IDS_BAD_IP_ADDRESS},
    RuleCase{"bad ip, bad gateway", "10.0.0.0", "255.255.255.0", "11.0.0.0", IDS_BAD_IP_ADDRESS},
    RuleCase{"broken mask, bad gateway", "10.1.2.3", "255.0.255.0", "10.0.0.0", IDS_BAD_SUBNET_MASK},
    RuleCase{"bad pair, bad gateway", "10.1.0.0", "255.255.255.0", "11.1.0.1", IDS_BAD_IP_MASK_PAIR},
};

} // namespace

TEST(AddressRules, FirstFailedRuleDecidesTheMessage)
{
    for (const RuleCase& c : kRuleCases) {
        SCOPED_TRACE(std::string(c.what) + ": " + c.ip + " / " + c.mask + " gw " + c.gateway);
        EXPECT_EQ(AddressRuleMessageId(FirstFailedAddressRule(Host(c.ip), Host(c.mask), Host(c.gateway))),
                  c.expected);

        QString message = QStringLiteral("untouched");
        const bool valid = Settings(0, c.ip, c.mask, c.gateway).Validate(message);
        EXPECT_EQ(valid, c.expected == OK);
        if (c.expected == OK) {
            EXPECT_EQ(message, QStringLiteral("untouched")) << "an accepted setting leaves the message alone";
        } else {
            EXPECT_EQ(message, LoadString(c.expected));
            EXPECT_FALSE(message.isEmpty());
        }
    }
}

// Every prefix length is a mask; flipping any single bit of one breaks it, except where the flip
// just makes another prefix.
TEST(AddressRules, MaskContiguityOverAllPrefixes)
{
    for (int ones = 0; ones <= 32; ++ones) {
        const quint32 mask = ones == 0 ? 0u : ~quint32(0) << (32 - ones);
        EXPECT_EQ(IsContiguousMask(mask), ones >= 1 && ones <= 31) << ones;
        for (int bit = 0; bit < 32; ++bit) {
            const quint32 flipped = mask ^ (quint32(1) << bit);
            const bool isPrefix = (bit == 32 - ones - 1) || (ones > 0 && bit == 32 - ones);
            const bool expected = isPrefix && flipped != 0 && flipped != ~quint32(0);
            EXPECT_EQ(IsContiguousMask(flipped), expected) << ones << " ones, bit " << bit;
        }
    }
}
