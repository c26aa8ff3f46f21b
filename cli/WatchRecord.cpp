#include "cli/WatchRecord.h"

#include "cli/AddressChange.h"
#include "resources/TextParsers.h"

#include <QJsonValue>

#include <arpa/inet.h>

#include <algorithm>
#include <bit>

namespace {

const QString kIp = QStringLiteral("ip");
const QString kProfile = QStringLiteral("profile");
const QString kNotReached = QStringLiteral("-");

// "192.168.0.20/24 gw 192.168.0.1", "dhcp 192.168.0.20/24".
QString Brief(const NetworkSettings& settings)
{
    QString text = QStringLiteral("%1/%2")
                       .arg(QString::fromStdString(settings.GetIpText()))
                       .arg(std::popcount(ntohl(settings.GetSubnetMask())));
    if (settings.GetGateway() != 0)
        text += QStringLiteral(" gw ") + QString::fromStdString(settings.GetGatewayText());
    return settings.IsDhcp() ? QStringLiteral("dhcp ") + text : text;
}

QString Brief(const PlannedAddress& planned)
{
    return Brief(PlannedSettings(planned));
}

QJsonObject PlannedObject(const PlannedAddress& planned)
{
    if (planned.dhcp)
        return {{QStringLiteral("dhcp"), true}};
    return {{QStringLiteral("ip"), HostAddressText(planned.ip)},
            {QStringLiteral("mask"), HostAddressText(planned.mask)},
            {QStringLiteral("gateway"),
             planned.gateway ? QJsonValue(HostAddressText(planned.gateway)) : QJsonValue()},
            {QStringLiteral("dhcp"), false}};
}

std::optional<quint32> AddressField(const QJsonObject& object, const QString& key, bool mayBeNull)
{
    const QJsonValue value = object.value(key);
    if (mayBeNull && value.isNull())
        return 0;
    return ParseCompleteAddress(value.toString());
}

std::optional<PlannedAddress> ParsePlanned(const QJsonValue& value)
{
    const QJsonObject object = value.toObject();
    PlannedAddress planned;
    planned.dhcp = object.value(QStringLiteral("dhcp")).toBool();
    if (!value.isObject() || planned.dhcp)
        return value.isObject() ? std::optional(planned) : std::nullopt;
    const std::optional<quint32> ip = AddressField(object, QStringLiteral("ip"), false);
    const std::optional<quint32> mask = AddressField(object, QStringLiteral("mask"), false);
    const std::optional<quint32> gateway = AddressField(object, QStringLiteral("gateway"), true);
    if (!ip || !mask || !gateway)
        return std::nullopt;
    planned.ip = *ip;
    planned.mask = *mask;
    planned.gateway = *gateway;
    return planned;
}

QJsonValue StepObject(const std::optional<StepOutcome>& step)
{
    if (!step)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("status"), static_cast<int>(step->status)},
                       {QStringLiteral("result"), step->result},
                       {QStringLiteral("detail"), step->detail}};
}

QString StepWord(const std::optional<StepOutcome>& step)
{
    return step ? step->result : kNotReached;
}

} // namespace

CliStatus BoardRecord::Status() const
{
    CliStatus status = ip ? ip->status : CliStatus::NoReply;
    if (withProfile)
        status = Worst(status, profile ? profile->status : CliStatus::NoReply);
    return status;
}

QString BoardRecord::FailureText() const
{
    if (ip && ip->status != CliStatus::Done)
        return kIp + QStringLiteral(": ") + ip->detail;
    if (profile && profile->status != CliStatus::Done)
        return kProfile + QStringLiteral(": ") + profile->detail;
    return {};
}

QString RecordResult(const BoardRecord& record)
{
    if (record.abandoned)
        return QStringLiteral("abandoned");
    return record.Status() == CliStatus::Done ? QStringLiteral("done") : QStringLiteral("failed");
}

QJsonObject RecordObject(const BoardRecord& record)
{
    QJsonObject steps{{kIp, StepObject(record.ip)}};
    if (record.withProfile)
        steps.insert(kProfile, StepObject(record.profile));
    return {{QStringLiteral("mac"), MacText(record.mac)},
            {QStringLiteral("result"), RecordResult(record)},
            {QStringLiteral("status"), static_cast<int>(record.Status())},
            {QStringLiteral("attempt"), record.attempt},
            {QStringLiteral("retry"), record.retry},
            {QStringLiteral("had"), SettingsObject(record.had)},
            {QStringLiteral("now"), record.now ? QJsonValue(SettingsObject(*record.now)) : QJsonValue()},
            {QStringLiteral("planned"), PlannedObject(record.planned)},
            {QStringLiteral("steps"), steps},
            {QStringLiteral("ms"), static_cast<qint64>(record.took.count())},
            {QStringLiteral("finished"), record.finished.toString(Qt::ISODate)}};
}

QStringList RecordColumns()
{
    return {QStringLiteral("mac"),
            QStringLiteral("result"),
            QStringLiteral("had"),
            QStringLiteral("now"),
            kIp,
            kProfile,
            QStringLiteral("time"),
            QStringLiteral("detail")};
}

QList<qsizetype> RecordWidths(const QList<NetworkSettings>& had, const QList<PlannedAddress>& planned)
{
    qsizetype hadWidth = 16;
    for (const NetworkSettings& settings : had)
        hadWidth = std::max(hadWidth, Brief(settings).size());
    qsizetype nowWidth = 16;
    for (const PlannedAddress& entry : planned)
        nowWidth = std::max(nowWidth, Brief(entry).size());
    return {17, 9, hadWidth, nowWidth, 11, 8, 6, 0};
}

QStringList RecordRow(const BoardRecord& record)
{
    QString detail = record.FailureText();
    if (record.retry)
        detail += QStringLiteral("; tried again when it answers a later search");
    else if (!record.abandoned && !detail.isEmpty())
        detail += QStringLiteral("; given up, left for the operator");
    return {MacText(record.mac),
            RecordResult(record),
            Brief(record.had),
            record.now ? Brief(*record.now) : kNotReached,
            StepWord(record.ip),
            record.withProfile ? StepWord(record.profile) : QStringLiteral("none"),
            QStringLiteral("%1 s").arg(static_cast<double>(record.took.count()) / 1000.0, 0, 'f', 1),
            detail};
}

std::optional<JournalEntry> EntryFromRecord(const QJsonObject& object)
{
    const std::optional<NodeInfo::MacAddress> mac =
        ParseMacAddress(object.value(QStringLiteral("mac")).toString());
    const QJsonValue status = object.value(QStringLiteral("status"));
    const std::optional<PlannedAddress> planned = ParsePlanned(object.value(QStringLiteral("planned")));
    if (!mac || !status.isDouble() || !planned)
        return std::nullopt;
    JournalEntry entry;
    entry.mac = *mac;
    const QString result = object.value(QStringLiteral("result")).toString();
    entry.status =
        static_cast<CliStatus>(std::clamp(status.toInt(-1), 0, static_cast<int>(CliStatus::NotFound)));
    entry.done = status.toInt(-1) == 0 && result == QLatin1String("done");
    entry.failed = !entry.done && result == QLatin1String("failed");
    entry.planned = *planned;
    entry.planned.mac = *mac;
    return entry;
}
