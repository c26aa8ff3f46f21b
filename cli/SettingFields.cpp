#include "cli/SettingFields.h"

#include "snmpconfig/GpioSettings.h"
#include "snmpconfig/SerialSettings.h"
#include "snmpconfig/SnmpSettingRules.h"
#include "resources/TextParsers.h"

#include "protocol/NetworkSettings.h"

#include <QtEndian>

#include <array>
#include <cmath>
#include <type_traits>

namespace {

using Kind = SettingField::Kind;

const char kPortKey[] = "port";

SettingField Choice(const char* key, QStringList choices, bool numeric = false)
{
    return {QString::fromLatin1(key), Kind::Choice, std::move(choices), numeric, 0, 0};
}

SettingField Number(const char* key, qint64 minimum, qint64 maximum)
{
    return {QString::fromLatin1(key), Kind::Number, {}, false, minimum, maximum};
}

SettingField PortNumber()
{
    SettingField field = Number(kPortKey, SerialRules::kMinPortNumber, SerialRules::kMaxPortNumber);
    field.mayBeAbsent = true;
    return field;
}

SettingField Address(const char* key)
{
    return {QString::fromLatin1(key), Kind::Address, {}, false, 0, 0};
}

// Where a setting is kept in its record, for reading, storing and naming it. Every field is a
// 32-bit integer; unsigned ones (and addresses) read as their unsigned value.
template <class Int> struct Place
{
    const char* key;
    Int* field;
    bool isUnsigned = false;
};

// Int: int32_t, or const int32_t for a const record.
template <class Record> using PlaceInt = std::conditional_t<std::is_const_v<Record>, const int32_t, int32_t>;

template <class Record> std::array<Place<PlaceInt<Record>>, 8> SerialPlaces(Record& settings)
{
    return {{
        {"mode", &settings.connectionMode},
        {kPortKey, &settings.portNumber},
        {"peer", &settings.peerAddress, true},
        {"bitrate", &settings.bitRate},
        {"databits", &settings.dataLength},
        {"stopbits", &settings.stopBits},
        {"parity", &settings.parity},
        {"flow", &settings.flowControl},
    }};
}

template <class Record> std::array<Place<PlaceInt<Record>>, 7> GpioPlaces(Record& settings)
{
    // The unsigned fields through their signed alias, as the SNMP layer fills them.
    const auto alias = [](auto& field) { return reinterpret_cast<PlaceInt<Record>*>(&field); };
    return {{
        {"manager", alias(settings.managerAddress), true},
        {"period", alias(settings.period), true},
        {"mode", &settings.mode},
        {"state", &settings.state},
        {"initial", &settings.initialState},
        {"trapstate", &settings.trapState},
        {"traptime", alias(settings.trapTime), true},
    }};
}

template <class Places> SettingValues ValuesOf(const Places& places)
{
    SettingValues values;
    for (const auto& place : places)
        values.insert(QString::fromLatin1(place.key),
                      place.isUnsigned ? qint64(static_cast<uint32_t>(*place.field)) : qint64(*place.field));
    return values;
}

template <class Places> void StoreValues(const SettingValues& values, const Places& places)
{
    for (const auto& place : places) {
        const auto found = values.constFind(QString::fromLatin1(place.key));
        if (found != values.cend())
            *place.field = static_cast<int32_t>(*found);
    }
}

template <class Places> QString KeyAt(const Places& places, const int32_t* field)
{
    for (const auto& place : places) {
        if (place.field == field)
            return QString::fromLatin1(place.key);
    }
    return {};
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
        PortNumber(),
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

QString FieldText(const SettingField& field, const SettingValues& values)
{
    const auto found = values.constFind(field.key);
    return found == values.cend() ? QStringLiteral("none") : FieldText(field, *found);
}

QJsonValue FieldJson(const SettingField& field, const SettingValues& values)
{
    const auto found = values.constFind(field.key);
    return found == values.cend() ? QJsonValue(QJsonValue::Null) : FieldJson(field, *found);
}

SettingValues SerialValues(const BoardSerial& serial)
{
    SettingValues values = ValuesOf(SerialPlaces(serial.settings));
    if (!serial.hasPort)
        values.remove(QString::fromLatin1(kPortKey));
    return values;
}

void StoreSerialValues(const SettingValues& values, BoardSerial& serial)
{
    StoreValues(values, SerialPlaces(serial.settings));
    if (values.contains(QString::fromLatin1(kPortKey)))
        serial.hasPort = true;
}

SettingValues GpioValues(const GpioSettings& settings)
{
    return ValuesOf(GpioPlaces(settings));
}

void StoreGpioValues(const SettingValues& values, GpioSettings& settings)
{
    StoreValues(values, GpioPlaces(settings));
}

QString SerialKeyAt(const SerialSettings& settings, const int32_t* field)
{
    return KeyAt(SerialPlaces(settings), field);
}

QString GpioKeyAt(const GpioSettings& settings, const int32_t* field)
{
    return KeyAt(GpioPlaces(settings), field);
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
