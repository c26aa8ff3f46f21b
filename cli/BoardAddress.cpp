#include "cli/BoardAddress.h"

#include "ipconfig/AddressRules.h"
#include "resources/TextParsers.h"

#include <QSet>

std::optional<QString> ParseBoardAddress(const QString& text, QString& error)
{
    const std::optional<OctetFields> octets = ParseDottedAddress(text);
    if (!octets || octets->FilledCount() != 4) {
        error = QStringLiteral("\"%1\" is not an IPv4 address such as 192.168.0.10").arg(text);
        return std::nullopt;
    }
    const quint32 address = octets->HostOrder();
    // The classful mask turns the mask and gateway rules off: only the address's own rules remain.
    if (FirstFailedAddressRule(address, ClassfulMask(address), 0) != 0) {
        error = QStringLiteral("%1 is not an address a board can have").arg(text.trimmed());
        return std::nullopt;
    }
    return QStringLiteral("%1.%2.%3.%4")
        .arg(octets->value[0])
        .arg(octets->value[1])
        .arg(octets->value[2])
        .arg(octets->value[3]);
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
