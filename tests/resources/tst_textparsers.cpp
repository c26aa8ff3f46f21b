#include "ResourceIds.h"
#include "StringTable.h"
#include "TextParsers.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct SignedCase
{
    const char16_t* text;
    std::optional<qint32> expected;
};

class SignedIntTest : public ::testing::TestWithParam<SignedCase>
{
};

TEST_P(SignedIntTest, Parses)
{
    const SignedCase& c = GetParam();
    EXPECT_EQ(ParseSignedInt(QStringView(c.text)), c.expected) << QString::fromUtf16(c.text).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, SignedIntTest,
    ::testing::Values(
        SignedCase{u"42", 42}, SignedCase{u"  42\t", 42}, SignedCase{u"\t \t7 ", 7}, SignedCase{u"-1", -1},
        SignedCase{u"+5", 5}, SignedCase{u"-0", 0}, SignedCase{u"007", 7}, SignedCase{u"65536", 65536},
        SignedCase{u"2147483647", std::numeric_limits<qint32>::max()},
        SignedCase{u"-2147483648", std::numeric_limits<qint32>::min()},
        // Overflow is "not an integer", never a wrapped or clamped value.
        SignedCase{u"2147483648", std::nullopt}, SignedCase{u"-2147483649", std::nullopt},
        SignedCase{u"4294967297", std::nullopt}, SignedCase{u"99999999999999999999999999", std::nullopt},
        SignedCase{u"", std::nullopt}, SignedCase{u"   ", std::nullopt}, SignedCase{u"-", std::nullopt},
        SignedCase{u"+", std::nullopt}, SignedCase{u"--1", std::nullopt}, SignedCase{u"- 1", std::nullopt},
        SignedCase{u"abc", std::nullopt}, SignedCase{u"12a", std::nullopt}, SignedCase{u"1 2", std::nullopt},
        SignedCase{u"0x10", std::nullopt}, SignedCase{u"1.5", std::nullopt}, SignedCase{u"\n5", std::nullopt},
        SignedCase{u"\uFF11\uFF12", std::nullopt}, // full-width digits
        SignedCase{u"\u0661", std::nullopt}));     // Arabic-Indic digit

struct UnsignedCase
{
    const char16_t* text;
    std::optional<quint32> expected;
};

class UnsignedIntTest : public ::testing::TestWithParam<UnsignedCase>
{
};

TEST_P(UnsignedIntTest, Parses)
{
    const UnsignedCase& c = GetParam();
    EXPECT_EQ(ParseUnsignedInt(QStringView(c.text)), c.expected) << QString::fromUtf16(c.text).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnsignedIntTest,
    ::testing::Values(UnsignedCase{u"  42\t", 42}, UnsignedCase{u"0", 0}, UnsignedCase{u"+5", 5},
                      UnsignedCase{u"65536", 65536}, UnsignedCase{u"604800000", 604800000},
                      UnsignedCase{u"4294967295", std::numeric_limits<quint32>::max()},
                      UnsignedCase{u"4294967296", std::nullopt},
                      UnsignedCase{u"18446744073709551617", std::nullopt}, UnsignedCase{u"-1", std::nullopt},
                      UnsignedCase{u"-0", std::nullopt}, UnsignedCase{u" -5", std::nullopt},
                      UnsignedCase{u"", std::nullopt}, UnsignedCase{u"\t", std::nullopt},
                      UnsignedCase{u"abc", std::nullopt}, UnsignedCase{u"10ms", std::nullopt},
                      UnsignedCase{u"1e3", std::nullopt}));

TEST(OctetText, Validity)
{
    const struct
    {
        const char16_t* text;
        bool valid;
    } cases[] = {{u"", true},     {u"0", true},    {u"255", true},   {u"007", true},
                 {u"256", false}, {u"999", false}, {u"1234", false}, {u"0255", false},
                 {u"a", false},   {u"-1", false},  {u" 1", false},   {u"1.", false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsValidOctetText(QStringView(c.text)), c.valid) << QString::fromUtf16(c.text).toStdString();
}

TEST(DottedAddress, FillsFourFieldsOrNothing)
{
    const struct
    {
        const char16_t* text;
        bool parses;
        int filled;
        quint32 hostOrder;
    } cases[] = {
        {u"192.168.0.1", true, 4, 0xC0A80001u},
        {u" 10.0.0.1\n", true, 4, 0x0A000001u},
        {u"255.255.255.255", true, 4, 0xFFFFFFFFu},
        {u"1.2..4", true, 3, 0x01020004u},
        {u"...", true, 0, 0},
        {u"1.2.3", false, 0, 0},
        {u"1.2.3.4.5", false, 0, 0},
        {u"1.2.3.256", false, 0, 0},
        {u"1.2.3.0004", false, 0, 0},
        {u"a.b.c.d", false, 0, 0},
        {u"1 .2.3.4", false, 0, 0},
        {u"", false, 0, 0},
    };
    for (const auto& c : cases) {
        const std::optional<OctetFields> r = ParseDottedAddress(QStringView(c.text));
        const std::string label = QString::fromUtf16(c.text).toStdString();
        ASSERT_EQ(r.has_value(), c.parses) << label;
        if (!r)
            continue;
        EXPECT_EQ(r->FilledCount(), c.filled) << label;
        EXPECT_EQ(r->HostOrder(), c.hostOrder) << label;
    }
    const std::optional<OctetFields> gap = ParseDottedAddress(u"1.2..4");
    ASSERT_TRUE(gap);
    EXPECT_FALSE(gap->filled[2]);
    EXPECT_TRUE(gap->filled[3]);
}

TEST(StringTable, EveryProgramTextIsPresent)
{
    for (int id = IDS_ABOUTBOX; id <= IDS_SELECT_MODE; ++id)
        EXPECT_FALSE(LoadString(id).isEmpty()) << id;
    for (int id : {IDS_PARSE_INT, IDS_PARSE_INT_RANGE, IDS_PARSE_UINT})
        EXPECT_FALSE(LoadString(id).isEmpty()) << id;
    EXPECT_TRUE(LoadString(100).isEmpty());
    EXPECT_TRUE(LoadString(123).isEmpty());
}

TEST(StringTable, TextsKeepHalfWidthKatakana)
{
    // Guards the source encoding: the half-width forms must survive unchanged.
    EXPECT_EQ(LoadString(IDS_NO_IP_ADDRESS),
              QString::fromUtf16(u"IP\uFF71\uFF84\uFF9E\uFF9A\uFF7Dが入力されていません"));
    EXPECT_EQ(LoadString(IDS_PARSE_INT_RANGE),
              QString::fromUtf16(u"%1 から %2 までの整数を入力してください。"));
    EXPECT_EQ(LoadString(IDS_SET_NODE_ADDRESS), LoadString(IDS_GET_NODE_ADDRESS));
}

TEST(StringTable, OnlyDataExchangeTextsWarn)
{
    for (int id = IDS_ABOUTBOX; id <= IDS_SELECT_MODE; ++id)
        EXPECT_FALSE(IsDataExchangeString(id)) << id;
    EXPECT_TRUE(IsDataExchangeString(IDS_PARSE_INT));
    EXPECT_TRUE(IsDataExchangeString(IDS_PARSE_INT_RANGE));
    EXPECT_TRUE(IsDataExchangeString(IDS_PARSE_UINT));
}

} // namespace
