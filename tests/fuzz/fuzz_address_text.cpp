// The operator's text and addresses: the data-exchange number parsers, the address control's
// octet and pasted-address parsers, and the fixed-address rules. Each is checked against a small
// model written from the rules themselves, not from the code.
#include "tests/fuzz/FuzzSupport.h"

#include "core/AddressRules.h"
#include "ipconfig/AddressRuleMessage.h"
#include "protocol/NetworkSettings.h"
#include "resources/ResourceIds.h"
#include "resources/StringTable.h"
#include "resources/TextParsers.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <arpa/inet.h>

#include <optional>
#include <string>
#include <vector>

namespace {

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool IsAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// Decimal digits to a number, or nullopt above limit; leading zeros never overflow.
std::optional<long long> DigitsValue(QStringView digits, long long limit)
{
    if (digits.isEmpty())
        return std::nullopt;
    std::string text;
    for (QChar c : digits) {
        if (!IsAsciiDigit(c))
            return std::nullopt;
        if (text.empty() && c == u'0')
            continue;
        text += char(c.unicode());
    }
    if (text.size() > 12)
        return std::nullopt;
    const long long value = text.empty() ? 0 : std::stoll(text);
    return value <= limit ? std::optional<long long>(value) : std::nullopt;
}

// The edit field's number: blanks around, one sign right before the digits.
std::optional<long long> ModelNumber(QStringView text, bool allowMinus)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    text = text.sliced(begin, end - begin);
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'+' || (allowMinus && text[0] == u'-'))) {
        negative = text[0] == u'-';
        text = text.sliced(1);
    }
    const long long limit = allowMinus ? (negative ? 2147483648LL : 2147483647LL) : 4294967295LL;
    const std::optional<long long> magnitude = DigitsValue(text, limit);
    if (!magnitude)
        return std::nullopt;
    return negative ? -*magnitude : *magnitude;
}

bool ModelOctet(QStringView text)
{
    return text.isEmpty() || (text.size() <= 3 && DigitsValue(text, 255).has_value());
}

void CheckNumbers(QStringView text)
{
    const std::optional<qint32> signedValue = ParseSignedInt(text);
    const std::optional<long long> signedModel = ModelNumber(text, true);
    FUZZ_CHECK(signedValue.has_value() == signedModel.has_value());
    if (signedValue)
        FUZZ_CHECK(*signedValue == *signedModel);

    const std::optional<quint32> unsignedValue = ParseUnsignedInt(text);
    const std::optional<long long> unsignedModel = ModelNumber(text, false);
    FUZZ_CHECK(unsignedValue.has_value() == unsignedModel.has_value());
    if (unsignedValue)
        FUZZ_CHECK(*unsignedValue == *unsignedModel);

    FUZZ_CHECK(IsValidOctetText(text) == ModelOctet(text));
}

void CheckDottedAddress(QStringView text)
{
    const std::optional<OctetFields> parsed = ParseDottedAddress(text);

    const QList<QStringView> parts = text.trimmed().split(u'.');
    bool modelAccepts = parts.size() == 4;
    for (QStringView part : parts)
        modelAccepts = modelAccepts && ModelOctet(part);
    FUZZ_CHECK(parsed.has_value() == modelAccepts);
    if (!parsed)
        return;

    QString again;
    quint32 hostOrder = 0;
    for (int i = 0; i < 4; ++i) {
        const bool filled = parsed->filled[size_t(i)];
        const quint8 value = parsed->value[size_t(i)];
        FUZZ_CHECK(filled == !parts[i].isEmpty());
        FUZZ_CHECK(filled ? value == *DigitsValue(parts[i], 255) : value == 0);
        hostOrder = hostOrder << 8 | value;
        if (i != 0)
            again += u'.';
        if (filled)
            again += QString::number(value);
    }
    FUZZ_CHECK(parsed->HostOrder() == hostOrder);

    const std::optional<OctetFields> reparsed = ParseDottedAddress(again);
    FUZZ_CHECK(reparsed && reparsed->value == parsed->value && reparsed->filled == parsed->filled);
}

// The nine steps of the fixed-address rules, bit by bit.
int ModelAddressRule(quint32 ip, quint32 mask, quint32 gw)
{
    if (ip == 0 || ip == 0xffffffffu)
        return IDS_BAD_IP_ADDRESS;
    int leadingOnes = 0;
    while (leadingOnes < 3 && (ip & (0x80000000u >> leadingOnes)) != 0)
        ++leadingOnes;
    if (leadingOnes == 3)
        return IDS_BAD_IP_ADDRESS;
    const quint32 classMask = 0xffffffffu << (8 * (3 - leadingOnes));
    if ((ip | classMask) == classMask || (ip | classMask) == 0xffffffffu)
        return IDS_BAD_IP_ADDRESS;
    if (mask == 0 || mask == 0xffffffffu)
        return IDS_BAD_SUBNET_MASK;
    int bit = 0;
    while ((mask & (1u << bit)) == 0)
        ++bit;
    for (; bit < 32; ++bit) {
        if ((mask & (1u << bit)) == 0)
            return IDS_BAD_SUBNET_MASK;
    }
    if ((ip | mask) == mask || (ip | mask) == 0xffffffffu)
        return IDS_BAD_IP_MASK_PAIR;
    if (gw == 0)
        return 0;
    if ((gw | mask) == mask)
        return IDS_BAD_GATEWAY;
    if ((ip & mask) != (gw & mask))
        return IDS_BAD_GATEWAY;
    return 0;
}

void CheckAddressRules(FuzzInput& input)
{
    const uint8_t shape = input.Byte();
    quint32 ip = input.Word();
    quint32 mask = input.Word();
    quint32 gw = input.Word();
    // Most random masks fail early; a prefix length reaches the later rules.
    if (shape & 1)
        mask = (mask % 33) == 0 ? 0 : 0xffffffffu << (32 - mask % 33);
    if (shape & 2)
        gw = (ip & mask) | (gw & ~mask);
    if (shape & 4)
        gw = 0;

    const int rule = AddressRuleMessageId(FirstFailedAddressRule(ip, mask, gw));
    FUZZ_CHECK(rule == ModelAddressRule(ip, mask, gw));

    NetworkSettings settings;
    settings.SetDhcp(int32_t(input.Word()));
    settings.SetIpAddress(htonl(ip));
    settings.SetSubnetMask(htonl(mask));
    settings.SetGateway(htonl(gw));
    FUZZ_CHECK(AddressRuleMessageId(FirstFailedAddressRule(settings)) == rule);
    QString message = QStringLiteral("unchanged");
    FUZZ_CHECK(settings.Validate(message) == (rule == 0));
    FUZZ_CHECK(message == (rule == 0 ? QStringLiteral("unchanged") : LoadString(rule)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    CheckAddressRules(input);

    size_t length = 0;
    const uint8_t* rest = input.Rest(length);
    const char* text = reinterpret_cast<const char*>(rest);
    const QString asUtf8 = QString::fromUtf8(text, qsizetype(length));
    const QString asLatin1 = QString::fromLatin1(text, qsizetype(length));
    std::u16string units(length / 2, u'\0');
    if (!units.empty())
        std::memcpy(units.data(), rest, units.size() * 2);
    const QString asUtf16 = QString::fromStdU16String(units);
    for (const QString& s : {asUtf8, asLatin1, asUtf16}) {
        CheckNumbers(s);
        CheckDottedAddress(s);
    }
    return 0;
}
