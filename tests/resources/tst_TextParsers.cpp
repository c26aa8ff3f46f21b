#include "resources/ResourceIds.h"
#include "resources/StringTable.h"
#include "resources/TextParsers.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>

namespace {

std::string Label(const char16_t* text)
{
    return QString::fromUtf16(text).toStdString();
}

TEST(NumberText, Signed)
{
    const std::pair<const char16_t*, qint32> valid[] = {{u"42", 42},
                                                        {u"  42\t", 42},
                                                        {u"\t \t7 ", 7},
                                                        {u"-1", -1},
                                                        {u"+5", 5},
                                                        {u"-0", 0},
                                                        {u"007", 7},
                                                        {u"65536", 65536},
                                                        {u"2147483647", std::numeric_limits<qint32>::max()},
                                                        {u"-2147483648", std::numeric_limits<qint32>::min()}};
    for (const auto& [text, value] : valid)
        EXPECT_EQ(ParseSignedInt(text), value) << Label(text);
    // Overflow is "not an integer", never a wrapped or clamped value; only ASCII digits count.
    for (const char16_t* text :
         {u"2147483648", u"-2147483649", u"4294967297", u"99999999999999999999999999", u"", u"   ", u"-",
          u"+", u"--1", u"- 1", u"abc", u"12a", u"1 2", u"0x10", u"1.5", u"\n5", u"\uFF11\uFF12", u"\u0661"})
        EXPECT_EQ(ParseSignedInt(text), std::nullopt) << Label(text);
}

TEST(NumberText, Unsigned)
{
    const std::pair<const char16_t*, quint32> valid[] = {
        {u"  42\t", 42},
        {u"0", 0},
        {u"+5", 5},
        {u"65536", 65536},
        {u"604800000", 604800000},
        {u"4294967295", std::numeric_limits<quint32>::max()}};
    for (const auto& [text, value] : valid)
        EXPECT_EQ(ParseUnsignedInt(text), value) << Label(text);
    for (const char16_t* text :
         {u"4294967296", u"18446744073709551617", u"-1", u"-0", u" -5", u"", u"\t", u"abc", u"10ms", u"1e3"})
        EXPECT_EQ(ParseUnsignedInt(text), std::nullopt) << Label(text);
}

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
        EXPECT_EQ(IsValidOctetText(c.text), c.valid) << Label(c.text);
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
        const std::optional<OctetFields> r = ParseDottedAddress(c.text);
        ASSERT_EQ(r.has_value(), c.parses) << Label(c.text);
        if (!r)
            continue;
        EXPECT_EQ(r->FilledCount(), c.filled) << Label(c.text);
        EXPECT_EQ(r->HostOrder(), c.hostOrder) << Label(c.text);
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
