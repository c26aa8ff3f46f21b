#include "resources/TextParsers.h"

#include <limits>

namespace {

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView TrimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

bool IsAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Digits only, at least one; accumulates with an explicit limit so no overflow can happen.
std::optional<quint64> ParseDigits(QStringView digits, quint64 limit)
{
    if (digits.isEmpty())
        return std::nullopt;
    quint64 value = 0;
    for (QChar c : digits) {
        if (!IsAsciiDigit(c))
            return std::nullopt;
        value = value * 10 + quint64(c.unicode() - u'0');
        if (value > limit)
            return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<qint32> ParseSignedInt(QStringView text)
{
    QStringView t = TrimBlanks(text);
    bool negative = false;
    if (!t.isEmpty() && (t[0] == u'+' || t[0] == u'-')) {
        negative = t[0] == u'-';
        t = t.sliced(1);
    }
    const quint64 limit = negative ? quint64(std::numeric_limits<qint32>::max()) + 1
                                   : quint64(std::numeric_limits<qint32>::max());
    const std::optional<quint64> magnitude = ParseDigits(t, limit);
    if (!magnitude)
        return std::nullopt;
    return negative ? qint32(-qint64(*magnitude)) : qint32(*magnitude);
}

std::optional<quint32> ParseUnsignedInt(QStringView text)
{
    QStringView t = TrimBlanks(text);
    if (!t.isEmpty() && t[0] == u'+')
        t = t.sliced(1);
    const std::optional<quint64> value = ParseDigits(t, std::numeric_limits<quint32>::max());
    if (!value)
        return std::nullopt;
    return quint32(*value);
}

bool IsValidOctetText(QStringView text)
{
    if (text.isEmpty())
        return true;
    return text.size() <= 3 && ParseDigits(text, 255).has_value();
}

int OctetFields::FilledCount() const
{
    int n = 0;
    for (bool f : filled)
        n += f ? 1 : 0;
    return n;
}

quint32 OctetFields::HostOrder() const
{
    return (quint32(value[0]) << 24) | (quint32(value[1]) << 16) | (quint32(value[2]) << 8) | value[3];
}

std::optional<OctetFields> ParseDottedAddress(QStringView text)
{
    const QStringView t = text.trimmed();
    OctetFields result;
    qsizetype start = 0;
    for (int i = 0; i < 4; ++i) {
        qsizetype dot = t.indexOf(u'.', start);
        if (i == 3) {
            if (dot >= 0)
                return std::nullopt;
            dot = t.size();
        } else if (dot < 0) {
            return std::nullopt;
        }
        const QStringView part = t.sliced(start, dot - start);
        if (!IsValidOctetText(part))
            return std::nullopt;
        if (!part.isEmpty()) {
            result.filled[size_t(i)] = true;
            result.value[size_t(i)] = quint8(*ParseDigits(part, 255));
        }
        start = dot + 1;
    }
    return result;
}

std::optional<quint32> ParseCompleteAddress(QStringView text)
{
    const std::optional<OctetFields> octets = ParseDottedAddress(text);
    if (!octets || octets->FilledCount() != 4)
        return std::nullopt;
    return octets->HostOrder();
}
