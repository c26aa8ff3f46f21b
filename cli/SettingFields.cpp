#include "cli/SettingFields.h"

#include "core/SettingRules.h"
#include "resources/TextParsers.h"

#include "protocol/NetworkSettings.h"

#include <QtEndian>

#include <cmath>

namespace {

using Kind = SettingField::Kind;

std::optional<qint64> ParsedValue(const SettingField& field, const QString& text)
{
    switch (field.kind) {
    case Kind::Choice: {
        const QString trimmed = text.trimmed();
        for (qsizetype i = 0; i < field.choices.size(); ++i) {
            if (field.choices[i].compare(trimmed, Qt::CaseInsensitive) == 0)
                return i;
        }
        return std::nullopt;
    }
    case Kind::Number: {
        // The dialogs' own reading of a typed number: blanks around it, an optional sign.
        const std::optional<qint32> number = ParseSignedInt(text);
        if (!number || *number < field.minimum || *number > field.maximum)
            return std::nullopt;
        return *number;
    }
    case Kind::BitRate: {
        const std::optional<qint32> rate = ParseSignedInt(text);
        if (!rate || !SerialRules::IsListedBitRate(*rate))
            return std::nullopt;
        return *rate;
    }
    case Kind::Address:
        if (const std::optional<quint32> address = ParseCompleteAddress(text))
            return qToBigEndian(*address);
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

QString ExpectedText(const SettingField& field)
{
    switch (field.kind) {
    case Kind::Choice:
    case Kind::BitRate:
        return QStringLiteral("expected one of %1").arg(field.choices.join(QStringLiteral(", ")));
    case Kind::Number:
        return QStringLiteral("expected a whole number from %1 to %2").arg(field.minimum).arg(field.maximum);
    case Kind::Address:
        return QStringLiteral("expected a dotted IPv4 address such as 192.0.2.10");
    }
    return {};
}

std::optional<qint64> ParseFieldText(const SettingField& field, const QString& text, QString& error)
{
    const std::optional<qint64> value = ParsedValue(field, text);
    if (!value)
        error = ExpectedText(field);
    return value;
}

std::optional<qint64> ParseFieldJson(const SettingField& field, const QJsonValue& value, QString& error)
{
    if (value.isString())
        return ParseFieldText(field, value.toString(), error);
    const double number = value.toDouble();
    if (value.isDouble() && std::floor(number) == number && std::abs(number) < 1e10)
        return ParseFieldText(field, QString::number(static_cast<qint64>(number)), error);
    error = ExpectedText(field);
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

QString AssignmentSyntax(const QList<SettingField>& fields)
{
    QStringList forms;
    for (const SettingField& field : fields) {
        switch (field.kind) {
        case Kind::Choice:
        case Kind::BitRate:
            forms << field.key + QLatin1Char('=') + field.choices.join(QLatin1Char('|'));
            break;
        case Kind::Number:
            forms << QStringLiteral("%1=%2..%3").arg(field.key).arg(field.minimum).arg(field.maximum);
            break;
        case Kind::Address:
            forms << field.key + QStringLiteral("=A.B.C.D");
            break;
        }
    }
    return forms.join(QStringLiteral(", "));
}
