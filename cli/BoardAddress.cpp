#include "cli/BoardAddress.h"

#include "cli/AddressPlan.h"
#include "core/AddressRules.h"
#include "resources/TextParsers.h"

#include <QSet>

std::optional<QString> ParseBoardAddress(const QString& text, QString& error)
{
    const std::optional<quint32> address = ParseCompleteAddress(text);
    if (!address) {
        error = QStringLiteral("\"%1\" is not an IPv4 address such as 192.168.0.10").arg(text);
        return std::nullopt;
    }
    if (!IsHostAddress(*address)) {
        error = QStringLiteral("%1 is not an address a board can have").arg(text.trimmed());
        return std::nullopt;
    }
    return HostAddressText(*address);
}

std::optional<QStringList> ParseBoardAddresses(const QStringList& texts, QString& error)
{
    QStringList addresses;
    QSet<QString> seen;
    for (const QString& text : texts) {
        const std::optional<QString> address = ParseBoardAddress(text, error);
        if (!address)
            return std::nullopt;
        if (seen.contains(*address)) {
            error = QStringLiteral("%1 is listed twice").arg(*address);
            return std::nullopt;
        }
        seen.insert(*address);
        addresses << *address;
    }
    return addresses;
}
