#include "sim/SimText.h"

#include <arpa/inet.h>

#include <cctype>

namespace SimText {

bool ParseMac(const QString& text, std::array<uint8_t, 6>& mac)
{
    if (text.size() != 17)
        return false;
    for (int i = 0; i < 6; ++i) {
        if (i > 0) {
            const QChar separator = text.at(i * 3 - 1);
            if (separator != QLatin1Char(':') && separator != QLatin1Char('-'))
                return false;
        }
        bool ok = false;
        const uint value = text.mid(i * 3, 2).toUInt(&ok, 16);
        // toUInt accepts a leading sign or blank; a MAC octet is exactly two hex digits.
        if (!ok || !isxdigit(text.at(i * 3).toLatin1()) || !isxdigit(text.at(i * 3 + 1).toLatin1()))
            return false;
        mac[static_cast<std::size_t>(i)] = static_cast<uint8_t>(value);
    }
    return true;
}

QString MacText(const std::array<uint8_t, 6>& mac)
{
    return QString::asprintf("%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}

bool ParseIpv4(const QString& text, uint32_t& hostOrder)
{
    in_addr address{};
    if (inet_pton(AF_INET, text.toLatin1().constData(), &address) != 1)
        return false;
    hostOrder = ntohl(address.s_addr);
    return true;
}

QString Ipv4Text(uint32_t hostOrder)
{
    return QString::asprintf("%u.%u.%u.%u", hostOrder >> 24, (hostOrder >> 16) & 0xff,
                             (hostOrder >> 8) & 0xff, hostOrder & 0xff);
}

QString HexText(const uint8_t* data, std::size_t length)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    QString text;
    text.reserve(static_cast<qsizetype>(length * 2));
    for (std::size_t i = 0; i < length; ++i) {
        text += QLatin1Char(kDigits[data[i] >> 4]);
        text += QLatin1Char(kDigits[data[i] & 0x0f]);
    }
    return text;
}

} // namespace SimText
