#include "cli/SettingsChange.h"

#include "cli/StrictJson.h"
#include "core/GpioSettings.h"
#include "core/SerialSettings.h"
#include "core/SettingRules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSet>

#include <algorithm>

namespace {

QStringList Keys(const QList<SettingField>& fields)
{
    QStringList keys;
    for (const SettingField& field : fields)
        keys << field.key;
    return keys;
}

QString UnknownKey(const QString& path, const QList<SettingField>& fields)
{
    return QStringLiteral("%1: unknown setting (known: %2)")
        .arg(path, Keys(fields).join(QStringLiteral(", ")));
}

QString Path(const QString& parent, const QString& key)
{
    return parent.isEmpty() ? key : parent + QLatin1Char('.') + key;
}

// The line and column of the character a parse error names, both counted from 1. QJsonParseError's
// offset points just past that character.
QString Position(const QByteArray& text, qsizetype offset)
{
    offset = std::max<qsizetype>(offset - 1, 0);
    const QByteArray before = text.left(offset);
    const qsizetype line = before.count('\n') + 1;
    const qsizetype column = offset - (before.lastIndexOf('\n') + 1) + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

// The keys of object that are fields; other keys are left to the caller through `rest`.
bool ReadValues(const QJsonObject& object, const QString& path, const QList<SettingField>& fields,
                const QStringList& otherKeys, SettingValues& values, QString& error)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (otherKeys.contains(it.key()))
            continue;
        const QString keyPath = Path(path, it.key());
        const SettingField* field = FindField(fields, it.key());
        if (!field) {
            error = UnknownKey(keyPath, fields);
            return false;
        }
        if (it.value().isNull() && field->mayBeAbsent)
            continue;
        QString reason;
        const std::optional<qint64> value = ParseFieldJson(*field, it.value(), reason);
        if (!value) {
            error = QStringLiteral("%1: %2").arg(keyPath, reason);
            return false;
        }
        values.insert(field->key, *value);
    }
    return true;
}

bool ReadPort(const QJsonValue& item, const QString& path, QSet<int>& seen, PortChange& change,
              QString& error)
{
    if (!item.isObject()) {
        error =
            QStringLiteral("%1: expected an object such as {\"port\": 1, \"mode\": \"OUTPUT\"}").arg(path);
        return false;
    }
    const QJsonObject object = item.toObject();
    const QJsonValue port = object.value(QStringLiteral("port"));
    QString reason;
    const std::optional<int> number =
        port.isDouble() ? ParseGpioPort(QString::number(port.toDouble()), reason) : std::nullopt;
    if (!number) {
        error = QStringLiteral("%1.port: expected a port number from 1 to %2")
                    .arg(path)
                    .arg(GpioRules::kPortCount);
        return false;
    }
    if (seen.contains(*number)) {
        error = QStringLiteral("%1.port: port %2 is listed twice").arg(path).arg(*number);
        return false;
    }
    seen.insert(*number);
    change.port = *number;
    if (!ReadValues(object, path, GpioPortFields(), {QStringLiteral("port")}, change.values, error))
        return false;
    if (const SettingProblem problem = CheckGpioValues(change.values)) {
        error = Path(path, ProblemText(problem));
        return false;
    }
    return true;
}

bool ReadGpio(const QJsonValue& section, GpioChange& change, QString& error)
{
    if (!section.isObject()) {
        error = QStringLiteral("gpio: expected an object with manager, period and ports");
        return false;
    }
    const QJsonObject object = section.toObject();
    if (!ReadValues(object, QStringLiteral("gpio"), GpioNodeFields(), {QStringLiteral("ports")}, change.node,
                    error))
        return false;
    const QJsonValue ports = object.value(QStringLiteral("ports"));
    if (ports.isUndefined())
        return true;
    if (!ports.isArray()) {
        error = QStringLiteral("gpio.ports: expected an array of port objects");
        return false;
    }
    QSet<int> seen;
    const QJsonArray list = ports.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        PortChange port;
        if (!ReadPort(list[i], QStringLiteral("gpio.ports[%1]").arg(i), seen, port, error))
            return false;
        change.ports << port;
    }
    return true;
}

void InsertFields(QJsonObject& object, const QList<SettingField>& fields, const SettingValues& values)
{
    for (const SettingField& field : fields)
        object.insert(field.key, FieldJson(field, values));
}

QJsonObject GpioPortObject(int port, const GpioSettings& settings)
{
    QJsonObject object{{QStringLiteral("port"), port}};
    InsertFields(object, GpioPortFields(), GpioValues(settings));
    return object;
}

} // namespace

bool ParseAssignments(const QStringList& words, const QList<SettingField>& fields, SettingValues& values,
                      QString& error)
{
    for (const QString& word : words) {
        const qsizetype equals = word.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            error = QStringLiteral("\"%1\": expected KEY=VALUE (keys: %2)")
                        .arg(word, Keys(fields).join(QStringLiteral(", ")));
            return false;
        }
        const QString key = word.left(equals).trimmed().toLower();
        const SettingField* field = FindField(fields, key);
        if (!field) {
            error = UnknownKey(key, fields);
            return false;
        }
        if (values.contains(key)) {
            error = QStringLiteral("%1: given twice").arg(key);
            return false;
        }
        QString reason;
        const std::optional<qint64> value = ParseFieldText(*field, word.mid(equals + 1), reason);
        if (!value) {
            error = QStringLiteral("%1: %2").arg(key, reason);
            return false;
        }
        values.insert(key, *value);
    }
    return true;
}

std::optional<int> ParseGpioPort(const QString& text, QString& error)
{
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    if (!ok || port < 1 || port > GpioRules::kPortCount) {
        error = QStringLiteral("expected a port number from 1 to %1").arg(GpioRules::kPortCount);
        return std::nullopt;
    }
    return port;
}

bool ParseSettingsDocument(const QByteArray& text, SettingsChange& change, QString& error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = QStringLiteral("%1: %2").arg(Position(text, parseError.offset), parseError.errorString());
        return false;
    }
    if (!document.isObject()) {
        error = QStringLiteral("expected an object with \"serial\" and/or \"gpio\"");
        return false;
    }
    error = StrictJsonProblem(text);
    if (!error.isEmpty())
        return false;
    const QJsonObject root = document.object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (it.key() == QLatin1String("serial")) {
            if (!it.value().isObject()) {
                error = QStringLiteral("serial: expected an object of serial settings");
                return false;
            }
            change.serial.emplace();
            if (!ReadValues(it.value().toObject(), it.key(), SerialFields(), {}, *change.serial, error))
                return false;
        } else if (it.key() == QLatin1String("gpio")) {
            change.gpio.emplace();
            if (!ReadGpio(it.value(), *change.gpio, error))
                return false;
        } else {
            error = QStringLiteral("%1: unknown section (known: serial, gpio)").arg(it.key());
            return false;
        }
    }
    if (!change.serial && !change.gpio) {
        error = QStringLiteral("nothing to write: the document has neither \"serial\" nor \"gpio\"");
        return false;
    }
    return true;
}

QJsonObject SerialObject(const BoardSerial& serial)
{
    QJsonObject object;
    InsertFields(object, SerialFields(), SerialValues(serial));
    return object;
}

QJsonObject GpioObject(const GpioSettings& node, const QList<std::pair<int, GpioSettings>>& ports)
{
    QJsonObject object;
    InsertFields(object, GpioNodeFields(), GpioValues(node));
    QJsonArray list;
    for (const auto& [port, settings] : ports)
        list.append(GpioPortObject(port, settings));
    object.insert(QStringLiteral("ports"), list);
    return object;
}

QJsonObject SettingsDocument(const BoardReading& board)
{
    return QJsonObject{{QStringLiteral("serial"), SerialObject(board.serial)},
                       {QStringLiteral("gpio"), GpioObject(board.ports.first().second, board.ports)}};
}

QString ProblemText(const SettingProblem& problem)
{
    const SettingField& field = *problem.field;
    if (problem.inputTrapTime)
        return QStringLiteral("%1: an INPUT port takes 0 (no trap) or %2 to %3 ms, not %4")
            .arg(field.key)
            .arg(GpioRules::kMinInputTrapTime)
            .arg(GpioRules::kMaxTrapTime)
            .arg(problem.value);
    return QStringLiteral("%1: %2 (the board has %3)")
        .arg(field.key, ExpectedText(field), FieldText(field, problem.value));
}

QString DifferenceText(const SettingDifference& difference)
{
    const SettingField& field = *difference.field;
    return QStringLiteral("%1: wrote %2, read %3")
        .arg(field.key, FieldText(field, difference.written),
             difference.read ? FieldText(field, *difference.read) : QStringLiteral("none"));
}
