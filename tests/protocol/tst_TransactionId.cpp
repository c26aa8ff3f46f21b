#include "protocol/CNodeProtocol.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>

namespace {

// The 15-bit generator written out with 64-bit arithmetic and explicit moduli, independent of the
// shifts and masks the product uses.
uint64_t NextState(uint64_t state)
{
    return (state * 214013 + 2531011) % 4294967296ull;
}

uint32_t DrawOf(uint64_t state)
{
    return static_cast<uint32_t>((state / 65536) % 32768);
}

uint32_t ExpectedId(uint32_t seed)
{
    uint64_t state = seed;
    for (;;) {
        state = NextState(state);
        if (DrawOf(state) != 0) {
            return DrawOf(state);
        }
    }
}

TEST(TransactionIdTest, MatchesTheGenerator)
{
    // First draws of the classic generator: seed 1 gives 41, seed 0 gives 38.
    EXPECT_EQ(CNodeProtocol::TransactionIdFromSeed(0), 38u);
    EXPECT_EQ(CNodeProtocol::TransactionIdFromSeed(1), 41u);

    for (uint32_t seed : {2u, 12345u, 0x7fffffffu, 0x80000000u, 0xffffffffu}) {
        EXPECT_EQ(CNodeProtocol::TransactionIdFromSeed(seed), ExpectedId(seed)) << "seed " << seed;
    }
    // Every second of some days around now, where the seeds of a real run lie.
    const uint32_t now = static_cast<uint32_t>(std::time(nullptr));
    for (uint32_t offset = 0; offset < 200000; ++offset) {
        for (uint32_t seed : {offset, now - offset, now + offset}) {
            ASSERT_EQ(CNodeProtocol::TransactionIdFromSeed(seed), ExpectedId(seed)) << "seed " << seed;
        }
    }
}

TEST(TransactionIdTest, ZeroDrawIsSkipped)
{
    // Look for seeds whose first draw is 0; their id is the next nonzero draw.
    int found = 0;
    for (uint64_t seed = 0; seed < 4294967296ull && found < 3; ++seed) {
        if (DrawOf(NextState(seed)) != 0) {
            continue;
        }
        const uint32_t id = CNodeProtocol::TransactionIdFromSeed(static_cast<uint32_t>(seed));
        EXPECT_NE(id, 0u) << "seed " << seed;
        EXPECT_EQ(id, ExpectedId(static_cast<uint32_t>(seed))) << "seed " << seed;
        ++found;
    }
    EXPECT_EQ(found, 3);
}

TEST(TransactionIdTest, SameSecondSameId)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::time_t before = std::time(nullptr);
        const uint32_t first = CNodeProtocol::NewTransactionId();
        const uint32_t second = CNodeProtocol::NewTransactionId();
        const std::time_t after = std::time(nullptr);
        if (before != after) {
            continue; // a second boundary fell between the draws
        }
        EXPECT_EQ(first, second);
        EXPECT_EQ(first, ExpectedId(static_cast<uint32_t>(before)));
        return;
    }
    FAIL() << "no two draws within one second";
}

} // namespace
