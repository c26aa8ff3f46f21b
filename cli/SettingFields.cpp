#include "cli/SettingFields.h"

#include "snmpconfig/GpioSettings.h"
#include "snmpconfig/SerialSettings.h"
#include "snmpconfig/SnmpSettingRules.h"
#include "resources/TextParsers.h"

#include "protocol/NetworkSettings.h"

#include <QtEndian>

#include <cmath>

namespace {

using Kind = SettingField::Kind;

SettingField Choice(const char* key, QStringList choices, bool numeric = false)
{
    return {QString::fromLatin1(key), Kind::Choice, std::move(choices), numeric, 0, 0};
}

SettingField Number(const char* key, qint64 minimum, qint64 maximum)
{
    return {QString::fromLatin1(key), Kind::Number, {}, false, minimum, maximum};
}

SettingField Address(const char* key)
{
    return {QString::fromLatin1(key), Kind::Address, {}, false, 0, 0};
}

QStringList Levels()
{
    return {QStringLiteral("LOW"), QStringLiteral("HIGH")};
}

QString BitRateList()
{
    QStringList rates;
    for (const int32_t rate : SerialRules::kBitRates)
        rates << QString::number(rate);
    return rates.join(QStringLiteral(", "));
}

std::optional<qint64> ParseNumber(const SettingField& field, const QString& text, QString& error)
{
    // The dialogs' own reading of a typed number: blanks around it, an optional sign.
    const std::optional<qint32> number = ParseSignedInt(text);
    if (!number || *number < field.minimum || *number > field.maximum) {
        error = QStringLiteral("expected a whole number from %1 to %2").arg(field.minimum).arg(field.maximum);
        return std::nullopt;
    }
    return *number;
}

} // namespace

const QList<SettingField>& SerialFields()
{
    static const QList<SettingField> fields = {
        Choice("mode", {QStringLiteral("TCPSERVER"), QStringLiteral("TCPCLIENT"), QStringLiteral("UDP")}),
        Number("port", SerialRules::kMinPortNumber, SerialRules::kMaxPortNumber),
        Address("peer"),
        {QStringLiteral("bitrate"), Kind::BitRate, {}, false, 0, 0},
        Choice("databits",
               {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")}, true),
        Choice("stopbits", {QStringLiteral("1"), QStringLiteral("2")}, true),
        Choice("parity", {QStringLiteral("none"), QStringLiteral("odd"), QStringLiteral("even")}),
        Choice("flow", {QStringLiteral("none"), QStringLiteral("hardware")}),
    };
    return fields;
}

const QList<SettingField>& GpioNodeFields()
{
    static const QList<SettingField> fields = {
        Address("manager"),
        Number("period", GpioRules::kMinPeriod, GpioRules::kMaxPeriod),
    };
    return fields;
}

const QList<SettingField>& GpioPortFields()
{
    static const QList<SettingField> fields = {
        Choice("mode", {QStringLiteral("OUTPUT"), QStringLiteral("INPUT")}),
        Choice("state", Levels()),
        Choice("initial", Levels()),
        Choice("trapstate", Levels()),
        Number("traptime", 0, GpioRules::kMaxTrapTime),
    };
    return fields;
}

const SettingField* FindField(const QList<SettingField>& fields, const QString& key)
{
    for (const SettingField& field : fields) {
        if (field.key == key)
            return &field;
    }
    return nullptr;
}

std::optional<qint64> ParseFieldText(const SettingField& field, const QString& text, QString& error)
{
    switch (field.kind) {
    case Kind::Choice: {
        const QString trimmed = text.trimmed();
        for (qsizetype i = 0; i < field.choices.size(); ++i) {
            if (field.choices[i].compare(trimmed, Qt::CaseInsensitive) == 0)
                return i;
        }
        error = QStringLiteral("expected one of %1").arg(field.choices.join(QStringLiteral(", ")));
        return std::nullopt;
    }
    case Kind::Number:
        return ParseNumber(field, text, error);
    case Kind::BitRate: {
        const std::optional<qint32> rate = ParseSignedInt(text);
        if (!rate || !SerialRules::IsListedBitRate(*rate)) {
            error = QStringLiteral("expected one of %1").arg(BitRateList());
            return std::nullopt;
        }
        return *rate;
    }
    case Kind::Address: {
        const std::optional<quint32> address = ParseCompleteAddress(text);
        if (!address) {
            error = QStringLiteral("expected a dotted IPv4 address such as 192.0.2.10");
            return std::nullopt;
        }
        return qToBigEndian(*address);
    }
    }
    return std::nullopt;
}

std::optional<qint64> ParseFieldJson(const SettingField& field, const QJsonValue& value, QString& error)
{
    if (value.isString())
        return ParseFieldText(field, value.toString(), error);
    const double number = value.toDouble();
    if (value.isDouble() && std::floor(number) == number && std::abs(number) < 1e10)
        return ParseFieldText(field, QString::number(static_cast<qint64>(number)), error);
    QString expected;
    (void)ParseFieldText(field, QString(), expected);
    error = expected;
    return std::nullopt;
}

QString FieldText(const SettingField& field, qint64 value)
{
    switch (field.kind) {
    case Kind::Choice:
        if (value >= 0 && value < field.choices.size())
            return field.choices[value];
        return QStringLiteral("unknown(%1)").arg(value);
    case Kind::Address:
        return QString::fromStdString(DottedText(static_cast<uint32_t>(value)));
    case Kind::Number:
    case Kind::BitRate:
        break;
    }
    return QString::number(value);
}

QJsonValue FieldJson(const SettingField& field, qint64 value)
{
    switch (field.kind) {
    case Kind::Choice:
        if (value < 0 || value >= field.choices.size())
            return QJsonValue(QJsonValue::Null);
        if (field.numericChoices)
            return field.choices[value].toInt();
        return field.choices[value];
    case Kind::Address:
        return FieldText(field, value);
    case Kind::Number:
    case Kind::BitRate:
        break;
    }
    return value;
}

SettingValues SerialValues(const SerialSettings& settings)
{
    return {
        {QStringLiteral("mode"), settings.connectionMode},
        {QStringLiteral("port"), settings.portNumber},
        {QStringLiteral("peer"), static_cast<uint32_t>(settings.peerAddress)},
        {QStringLiteral("bitrate"), settings.bitRate},
        {QStringLiteral("databits"), settings.dataLength},
        {QStringLiteral("stopbits"), settings.stopBits},
        {QStringLiteral("parity"), settings.parity},
        {QStringLiteral("flow"), settings.flowControl},
    };
}

void StoreSerialValues(const SettingValues& values, SerialSettings& settings)
{
    const auto store = [&](const char* key, int32_t& field) {
        const auto found = values.constFind(QString::fromLatin1(key));
        if (found != values.cend())
            field = static_cast<int32_t>(*found);
    };
    store("mode", settings.connectionMode);
    store("port", settings.portNumber);
    store("peer", settings.peerAddress);
    store("bitrate", settings.bitRate);
    store("databits", settings.dataLength);
    store("stopbits", settings.stopBits);
    store("parity", settings.parity);
    store("flow", settings.flowControl);
}

SettingValues GpioValues(const GpioSettings& settings)
{
    return {
        {QStringLiteral("manager"), settings.managerAddress},
        {QStringLiteral("period"), settings.period},
        {QStringLiteral("mode"), settings.mode},
        {QStringLiteral("state"), settings.state},
        {QStringLiteral("initial"), settings.initialState},
        {QStringLiteral("trapstate"), settings.trapState},
        {QStringLiteral("traptime"), settings.trapTime},
    };
}

void StoreGpioValues(const SettingValues& values, GpioSettings& settings)
{
    const auto value = [&](const char* key) { return values.constFind(QString::fromLatin1(key)); };
    const auto store = [&](const char* key, auto& field) {
        const auto found = value(key);
        if (found != values.cend())
            field = static_cast<std::remove_reference_t<decltype(field)>>(*found);
    };
    store("manager", settings.managerAddress);
    store("period", settings.period);
    store("mode", settings.mode);
    store("state", settings.state);
    store("initial", settings.initialState);
    store("trapstate", settings.trapState);
    store("traptime", settings.trapTime);
}

QString FirstInvalidValue(const QList<SettingField>& fields, const SettingValues& values)
{
    for (const SettingField& field : fields) {
        const auto found = values.constFind(field.key);
        if (found == values.cend())
            continue;
        QString reason;
        if (!ParseFieldText(field, FieldText(field, *found), reason))
            return QStringLiteral("%1: %2 (the board has %3)")
                .arg(field.key, reason, FieldText(field, *found));
    }
    return {};
}
