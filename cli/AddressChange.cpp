#include "cli/AddressChange.h"

#include "core/AddressRules.h"
#include "protocol/NetworkSettings.h"

#include <QJsonArray>
#include <QJsonObject>

#include <arpa/inet.h>

#include <algorithm>

namespace {

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

QJsonValue GatewayValue(const NetworkSettings& settings)
{
    return settings.GetGateway() == 0 ? QJsonValue() : QJsonValue(Text(DottedText(settings.GetGateway())));
}

// ip, mask, gateway, dhcp in the window's text forms.
QStringList SettingsFields(const NetworkSettings& settings)
{
    return {Text(settings.GetIpText()), Text(settings.GetMaskText()), Text(settings.GetGatewayText()),
            Text(settings.GetDhcpText())};
}

AddressChangeResult Result(const PlannedAddress& entry, CliStatus status, const QString& detail)
{
    return {entry.mac, status, ResultWord(status), detail, std::nullopt, std::nullopt, std::nullopt};
}

QString MacList(const QList<NodeInfo::MacAddress>& macs)
{
    QStringList texts;
    for (const NodeInfo::MacAddress& mac : macs)
        texts << MacText(mac);
    return texts.join(QStringLiteral(", "));
}

QString ReplyDetail(CliStatus status, const SetAddressAnswer& answer)
{
    QString detail;
    if (status == CliStatus::Done)
        detail = QStringLiteral("network settings changed");
    else if (status == CliStatus::Refused)
        detail = QStringLiteral("the board refused the settings (result %1)")
                     .arg(ntohl(answer.reply->GetResult()));
    else
        detail = QStringLiteral("no reply within %1 s").arg(NodeExchange::kSetAddressWait.count() / 1000);
    if (!answer.otherMacs.isEmpty())
        detail += QStringLiteral("; replies with other MACs do not count: %1").arg(MacList(answer.otherMacs));
    return detail;
}

} // namespace

QJsonObject SettingsObject(const NetworkSettings& settings)
{
    return {{QStringLiteral("ip"), Text(settings.GetIpText())},
            {QStringLiteral("mask"), Text(settings.GetMaskText())},
            {QStringLiteral("gateway"), GatewayValue(settings)},
            {QStringLiteral("dhcp"), settings.IsDhcp()}};
}

const FoundBoard* FindBoard(const QList<FoundBoard>& found, const NodeInfo::MacAddress& mac)
{
    const auto it = std::find_if(found.cbegin(), found.cend(),
                                 [&](const FoundBoard& board) { return board.record.GetMac() == mac; });
    return it == found.cend() ? nullptr : &*it;
}

NetworkSettings PlannedSettings(const PlannedAddress& entry)
{
    NetworkSettings settings;
    settings.SetDhcp(entry.dhcp ? 1 : 0);
    settings.SetIpAddress(htonl(entry.ip));
    settings.SetSubnetMask(htonl(entry.mask));
    settings.SetGateway(htonl(entry.gateway));
    return settings;
}

std::optional<NetworkSettings> SettingsToSend(const PlannedAddress& entry, const NetworkSettings& current)
{
    // A switch to DHCP takes the reported addresses, not entry's.
    return SettingsToSend(current, entry.dhcp, PlannedSettings(entry));
}

// The board shows what entry gives it once there is nothing left to send.
bool Confirmed(const QList<FoundBoard>& listing, const PlannedAddress& entry)
{
    const FoundBoard* board = FindBoard(listing, entry.mac);
    return board && !SettingsToSend(entry, board->record.GetSettings());
}

std::optional<AddressChangeResult> PrepareChange(const PlannedAddress& entry, const QList<FoundBoard>& found,
                                                 AddressRequest& request)
{
    const FoundBoard* board = FindBoard(found, entry.mac);
    if (board == nullptr)
        return Result(entry, CliStatus::NotFound,
                      QStringLiteral("no board with this MAC answered the search"));
    const std::optional<NetworkSettings> settings = SettingsToSend(entry, board->record.GetSettings());
    if (!settings) {
        AddressChangeResult result =
            Result(entry, CliStatus::Refused,
                   entry.dhcp ? QStringLiteral("settings not changed: the board uses DHCP already")
                              : QStringLiteral("settings not changed: the board has them already"));
        result.result = QStringLiteral("unchanged");
        result.reported = board->record.GetSettings();
        result.previous = result.reported;
        return result;
    }
    request = AddressRequest{*settings, entry.mac, board->interfaceIndex};
    return std::nullopt;
}

AddressChangeResult ChangeResult(const PlannedAddress& entry, const AddressRequest& request,
                                 const SetAddressAnswer& answer)
{
    if (answer.status == CliStatus::NotSent)
        return Result(entry, answer.status, QStringLiteral("the set-address request could not be sent"));
    AddressChangeResult result = Result(entry, answer.status, ReplyDetail(answer.status, answer));
    if (answer.reply)
        result.reported = answer.reply->GetSettings();
    result.requested = request.settings;
    return result;
}

QString NetworkSettingsText(const NetworkSettings& settings)
{
    return QStringLiteral("%1/%2 gateway %3 DHCP %4")
        .arg(Text(settings.GetIpText()), Text(settings.GetMaskText()), Text(settings.GetGatewayText()),
             Text(settings.GetDhcpText()));
}

Records SearchRecords(const QList<FoundBoard>& boards)
{
    Records records;
    records.columns = {QStringLiteral("mac"),     QStringLiteral("ip"),   QStringLiteral("mask"),
                       QStringLiteral("gateway"), QStringLiteral("dhcp"), QStringLiteral("interface"),
                       QStringLiteral("note")};
    QJsonArray list;
    for (const FoundBoard& board : boards) {
        const NetworkSettings& settings = board.record.GetSettings();
        const QString mac = Text(board.record.GetMacText());
        const QString note = board.sharedMac ? QStringLiteral("MAC shared with another board") : QString();
        records.rows << (QStringList{mac} + SettingsFields(settings) +
                         QStringList{board.interfaceName, note});
        QJsonObject entry = SettingsObject(settings);
        entry.insert(QStringLiteral("mac"), mac);
        entry.insert(QStringLiteral("interface"), board.interfaceName);
        entry.insert(QStringLiteral("sharedMac"), board.sharedMac);
        list.append(entry);
    }
    records.json = QJsonDocument(list);
    return records;
}

Records AddressChangeRecords(const QList<AddressChangeResult>& results)
{
    Records records;
    records.columns = {QStringLiteral("mac"),   QStringLiteral("result"),  QStringLiteral("ip"),
                       QStringLiteral("mask"),  QStringLiteral("gateway"), QStringLiteral("dhcp"),
                       QStringLiteral("detail")};
    const auto json = [](const std::optional<NetworkSettings>& settings) {
        return settings ? QJsonValue(SettingsObject(*settings)) : QJsonValue();
    };
    QJsonArray list;
    for (const AddressChangeResult& result : results) {
        const QStringList reported = result.reported ? SettingsFields(*result.reported) : QStringList(4);
        records.rows << (QStringList{MacText(result.mac), result.result} + reported +
                         QStringList{result.detail});
        list.append(QJsonObject{{QStringLiteral("mac"), MacText(result.mac)},
                                {QStringLiteral("status"), static_cast<int>(result.status)},
                                {QStringLiteral("result"), result.result},
                                {QStringLiteral("detail"), result.detail},
                                {QStringLiteral("reported"), json(result.reported)},
                                {QStringLiteral("previous"), json(result.previous)},
                                {QStringLiteral("requested"), json(result.requested)}});
    }
    records.json = QJsonDocument(list);
    return records;
}

Records PlanRecords(const QList<PlannedAddress>& plan)
{
    Records records;
    records.columns = {QStringLiteral("mac"), QStringLiteral("ip"), QStringLiteral("mask"),
                       QStringLiteral("gateway")};
    QJsonArray list;
    for (const PlannedAddress& entry : plan) {
        const QString gateway = entry.gateway ? HostAddressText(entry.gateway) : QString();
        records.rows << QStringList{MacText(entry.mac), HostAddressText(entry.ip),
                                    HostAddressText(entry.mask), gateway};
        list.append(QJsonObject{{QStringLiteral("mac"), MacText(entry.mac)},
                                {QStringLiteral("ip"), HostAddressText(entry.ip)},
                                {QStringLiteral("mask"), HostAddressText(entry.mask)},
                                {QStringLiteral("gateway"), gateway.isEmpty() ? QJsonValue() : gateway}});
    }
    records.json = QJsonDocument(list);
    return records;
}
