#include "cli/AddressPlan.h"

#include "core/AddressRules.h"
#include "protocol/NetworkSettings.h"
#include "resources/TextParsers.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QtEndian>

#include <algorithm>

namespace {

bool IsHeader(const QStringList& fields)
{
    return fields.value(0).trimmed().compare(QLatin1String("mac"), Qt::CaseInsensitive) == 0;
}

// One line's settings; false with the reason (without the line number).
bool ParseLine(const QStringList& fields, PlannedAddress& entry, QString& error)
{
    const std::optional<NodeInfo::MacAddress> mac = ParseMacArgument(fields.value(0).trimmed(), error);
    if (!mac)
        return false;
    entry.mac = *mac;
    if (fields.size() == 2 && fields[1].trimmed().compare(QLatin1String("dhcp"), Qt::CaseInsensitive) == 0) {
        entry.dhcp = true;
        return true;
    }
    if (fields.size() < 3 || fields.size() > 4) {
        error = QStringLiteral("expected mac,ip,mask,gateway or mac,dhcp");
        return false;
    }
    const QString names[] = {QStringLiteral("IP address"), QStringLiteral("subnet mask"),
                             QStringLiteral("gateway")};
    quint32* targets[] = {&entry.ip, &entry.mask, &entry.gateway};
    for (qsizetype i = 1; i < fields.size(); ++i) {
        const QString text = fields[i].trimmed();
        if (i == 3 && text.isEmpty())
            break; // no gateway
        const std::optional<quint32> address = ParseCompleteAddress(text);
        if (!address) {
            error = QStringLiteral("%1 \"%2\" is not a dotted IPv4 address").arg(names[i - 1], text);
            return false;
        }
        *targets[i - 1] = *address;
    }
    error = AddressProblem(entry.ip, entry.mask, entry.gateway);
    return error.isEmpty();
}

bool ParseAllLines(const QByteArray& csv, QList<PlannedAddress>& plan, QString& error)
{
    const QList<QByteArray> lines = csv.split('\n');
    bool headerAllowed = true;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char(','));
        if (headerAllowed && IsHeader(fields)) {
            headerAllowed = false;
            continue;
        }
        headerAllowed = false;
        PlannedAddress entry;
        entry.line = static_cast<int>(i + 1);
        if (!ParseLine(fields, entry, error)) {
            error = QStringLiteral("line %1: %2").arg(entry.line).arg(error);
            return false;
        }
        plan << entry;
    }
    return true;
}

// One board twice, or two boards on one fixed address.
bool CheckUnique(const QList<PlannedAddress>& plan, QString& error)
{
    QHash<QString, int> macs;
    QHash<quint32, int> addresses;
    for (const PlannedAddress& entry : plan) {
        const QString mac = MacText(entry.mac);
        if (macs.contains(mac)) {
            error = QStringLiteral("line %1: %2 is already planned on line %3")
                        .arg(entry.line)
                        .arg(mac)
                        .arg(macs[mac]);
            return false;
        }
        macs.insert(mac, entry.line);
        if (entry.dhcp)
            continue;
        if (addresses.contains(entry.ip)) {
            error = QStringLiteral("line %1: %2 is already given to the board on line %3")
                        .arg(entry.line)
                        .arg(HostAddressText(entry.ip))
                        .arg(addresses[entry.ip]);
            return false;
        }
        addresses.insert(entry.ip, entry.line);
    }
    return true;
}

} // namespace

std::optional<NodeInfo::MacAddress> ParseMacAddress(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*([0-9a-fA-F]{2})([:-])([0-9a-fA-F]{2})\\2([0-9a-fA-F]{2})\\2([0-9a-fA-F]{2})\\2"
                       "([0-9a-fA-F]{2})\\2([0-9a-fA-F]{2})\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    NodeInfo::MacAddress mac{};
    const int groups[] = {1, 3, 4, 5, 6, 7};
    for (size_t i = 0; i < mac.size(); ++i)
        mac[i] = static_cast<uint8_t>(match.captured(groups[i]).toUInt(nullptr, 16));
    return mac;
}

std::optional<NodeInfo::MacAddress> ParseMacArgument(const QString& text, QString& error)
{
    const std::optional<NodeInfo::MacAddress> mac = ParseMacAddress(text);
    if (!mac)
        error = QStringLiteral("\"%1\" is not a MAC address such as 00:0a:ff:10:20:3b").arg(text);
    return mac;
}

QString MacText(const NodeInfo::MacAddress& mac)
{
    return QString::fromStdString(NodeInfo::MacText(mac));
}

QString HostAddressText(quint32 hostOrder)
{
    return QString::fromStdString(DottedText(qToBigEndian(hostOrder)));
}

QString AddressRuleReason(AddressRule failed)
{
    switch (failed) {
    case AddressRule::IpAddress:
        return QStringLiteral(
            "the IP address is not valid (0.0.0.0, 255.255.255.255, class D or E, or the network "
            "or broadcast address of its class)");
    case AddressRule::SubnetMask:
        return QStringLiteral(
            "the subnet mask is not valid (it must be 1 to 31 one bits followed by zero bits)");
    case AddressRule::IpMaskPair:
        return QStringLiteral("the IP address does not fit the subnet mask (it is the subnet's network or "
                              "broadcast address)");
    case AddressRule::Gateway:
        return QStringLiteral("the gateway address is not valid (it is the subnet's network address or lies "
                              "outside the board's subnet)");
    case AddressRule::None:
        break;
    }
    return {};
}

QString AddressProblem(quint32 ip, quint32 mask, quint32 gateway)
{
    const AddressRule failed = FirstFailedAddressRule(ip, mask, gateway);
    if (failed == AddressRule::None)
        return {};
    return QStringLiteral("%1/%2%3: %4")
        .arg(HostAddressText(ip), HostAddressText(mask),
             gateway ? QStringLiteral(" gateway ") + HostAddressText(gateway) : QString(),
             AddressRuleReason(failed));
}

bool ParseAddressPlan(const QByteArray& csv, QList<PlannedAddress>& plan, QString& error)
{
    plan.clear();
    if (!ParseAllLines(csv, plan, error) || !CheckUnique(plan, error)) {
        plan.clear();
        return false;
    }
    if (plan.isEmpty()) {
        error = QStringLiteral("the plan lists no boards");
        return false;
    }
    return true;
}

bool AllocateAddresses(QList<ListedBoard> boards, quint32 from, quint32 mask, quint32 gateway,
                       QList<PlannedAddress>& plan, QString& error, const QList<quint32>& inUse)
{
    plan.clear();
    error = AddressProblem(from, mask, gateway);
    if (!error.isEmpty())
        return false;
    std::sort(boards.begin(), boards.end(),
              [](const ListedBoard& a, const ListedBoard& b) { return a.mac < b.mac; });
    QSet<quint32> taken(inUse.cbegin(), inUse.cend());
    for (const ListedBoard& board : boards)
        taken.insert(board.ip);
    if (gateway)
        taken.insert(gateway);

    const quint32 subnet = from & mask;
    quint64 candidate = from;
    for (const ListedBoard& board : boards) {
        while (candidate <= 0xffffffffu && (candidate & mask) == subnet &&
               (taken.contains(static_cast<quint32>(candidate)) ||
                FirstFailedAddressRule(static_cast<quint32>(candidate), mask, gateway) != AddressRule::None))
            ++candidate;
        if (candidate > 0xffffffffu || (candidate & mask) != subnet) {
            error = QStringLiteral(
                        "the subnet %1/%2 has no free address left from %3 on for %4 (%5 boards listed)")
                        .arg(HostAddressText(subnet), HostAddressText(mask), HostAddressText(from),
                             MacText(board.mac))
                        .arg(boards.size());
            plan.clear();
            return false;
        }
        PlannedAddress entry;
        entry.mac = board.mac;
        entry.ip = static_cast<quint32>(candidate);
        entry.mask = mask;
        entry.gateway = gateway;
        plan << entry;
        ++candidate;
    }
    return true;
}
