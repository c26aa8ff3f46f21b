#include "cli/Inventory.h"

#include "cli/AddressChange.h"
#include "cli/SettingFields.h"
#include "cli/SettingsChange.h"
#include "cli/SnmpBoard.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace {

void Prefixed(const QList<SettingDifference>& differences, const QString& prefix,
              QList<CheckDifference>& found)
{
    for (const SettingDifference& difference : differences)
        found << CheckDifference{prefix + difference.field->key, difference};
}

const GpioSettings* PortOf(const BoardReading& board, int port)
{
    const auto found = std::find_if(board.ports.cbegin(), board.ports.cend(),
                                    [port](const auto& read) { return read.first == port; });
    return found == board.ports.cend() ? nullptr : &found->second;
}

// As a write's read-back compares, with the document's values written over the board's own: a
// setting the document leaves out compares equal.
void CheckGpio(const GpioChange& document, const BoardReading& board, QList<CheckDifference>& found)
{
    const GpioSettings& node = board.ports.first().second;
    GpioSettings wanted = node;
    StoreGpioValues(document.node, wanted);
    Prefixed(GpioDifferences(wanted, node), QStringLiteral("gpio."), found);
    for (const PortChange& port : document.ports) {
        const GpioSettings* read = PortOf(board, port.port);
        if (!read)
            continue;
        wanted = *read;
        StoreGpioValues(port.values, wanted);
        Prefixed(GpioDifferences(wanted, *read), QStringLiteral("gpio.port%1.").arg(port.port), found);
    }
}

QString ValueText(const SettingField& field, const std::optional<qint64>& value)
{
    return value ? FieldText(field, *value) : QStringLiteral("none");
}

// The first letter of a choice's name ("even": E), or ? for a value outside the list.
QString Initial(const SettingField& field, const SettingValues& values)
{
    const qint64 value = values.value(field.key, -1);
    return IsValidValue(field, value) ? field.choices[value].left(1).toUpper() : QStringLiteral("?");
}

QString SerialSummary(const BoardSerial& serial)
{
    const SettingValues values = SerialValues(serial);
    const auto field = [](const char* key) -> const SettingField& {
        return *FindField(SerialFields(), QLatin1String(key));
    };
    const auto text = [&](const char* key) { return FieldText(field(key), values); };
    QString summary = QStringLiteral("%1 %2 %3 %4%5%6")
                          .arg(text("mode"), text("port"), text("bitrate"), text("databits"),
                               Initial(field("parity"), values), text("stopbits"));
    // The first item of the list is no flow control.
    if (values.value(QStringLiteral("flow")) != 0)
        summary += QStringLiteral(" flow=") + text("flow");
    return summary;
}

QString PortModes(const BoardReading& board)
{
    const SettingField& mode = *FindField(GpioPortFields(), QStringLiteral("mode"));
    QString modes;
    for (const auto& [port, settings] : board.ports)
        modes += Initial(mode, GpioValues(settings));
    return modes;
}

QStringList SettingColumns()
{
    QStringList columns;
    for (const SettingField& field : SerialFields())
        columns << QStringLiteral("serial.") + field.key;
    for (const SettingField& field : GpioNodeFields())
        columns << QStringLiteral("gpio.") + field.key;
    for (const int port : AllGpioPorts()) {
        for (const SettingField& field : GpioPortFields())
            columns << QStringLiteral("gpio.port%1.%2").arg(port).arg(field.key);
    }
    return columns;
}

QStringList FieldTexts(const QList<SettingField>& fields, const SettingValues& values)
{
    QStringList texts;
    for (const SettingField& field : fields)
        texts << FieldText(field, values);
    return texts;
}

QStringList SettingTexts(const InventoryEntry& entry)
{
    if (!entry.reading)
        return QStringList(SettingColumns().size());
    const BoardReading& board = *entry.reading;
    QStringList texts = FieldTexts(SerialFields(), SerialValues(board.serial));
    texts << FieldTexts(GpioNodeFields(), GpioValues(board.ports.first().second));
    for (const auto& [port, settings] : board.ports)
        texts << FieldTexts(GpioPortFields(), GpioValues(settings));
    return texts;
}

QJsonValue CheckJson(const InventoryEntry& entry)
{
    if (!entry.check)
        return QJsonValue();
    QJsonArray differences;
    for (const CheckDifference& difference : *entry.check) {
        const SettingDifference& setting = difference.setting;
        differences.append(QJsonObject{
            {QStringLiteral("key"), difference.key},
            {QStringLiteral("board"), setting.read ? FieldJson(*setting.field, *setting.read) : QJsonValue()},
            {QStringLiteral("document"), FieldJson(*setting.field, setting.written)}});
    }
    return QJsonObject{{QStringLiteral("matches"), entry.check->isEmpty()},
                       {QStringLiteral("differences"), differences}};
}

QJsonObject EntryJson(QJsonObject record, const InventoryEntry& entry, bool checked)
{
    record.insert(QStringLiteral("status"), static_cast<int>(entry.status));
    record.insert(QStringLiteral("result"), entry.result);
    record.insert(QStringLiteral("detail"), entry.detail);
    // A board that was not read has null sections.
    const QJsonObject settings = entry.reading ? SettingsDocument(*entry.reading)
                                               : QJsonObject{{QStringLiteral("serial"), QJsonValue()},
                                                             {QStringLiteral("gpio"), QJsonValue()}};
    for (auto it = settings.begin(); it != settings.end(); ++it)
        record.insert(it.key(), it.value());
    if (checked)
        record.insert(QStringLiteral("check"), CheckJson(entry));
    return record;
}

const QStringList kTableColumns = {
    QStringLiteral("mac"),    QStringLiteral("ip"),    QStringLiteral("interface"), QStringLiteral("result"),
    QStringLiteral("serial"), QStringLiteral("ports"), QStringLiteral("note"),      QStringLiteral("detail"),
};

} // namespace

QList<CheckDifference> CheckBoard(const SettingsChange& document, const BoardReading& board)
{
    QList<CheckDifference> found;
    if (document.serial) {
        BoardSerial wanted = board.serial;
        StoreSerialValues(*document.serial, wanted);
        Prefixed(SerialDifferences(wanted, board.serial), QStringLiteral("serial."), found);
    }
    if (document.gpio && !board.ports.isEmpty())
        CheckGpio(*document.gpio, board, found);
    return found;
}

QString CheckDifferenceText(const CheckDifference& difference)
{
    const SettingDifference& setting = difference.setting;
    return QStringLiteral("%1: board %2, document %3")
        .arg(difference.key, ValueText(*setting.field, setting.read),
             FieldText(*setting.field, setting.written));
}

void CheckEntry(InventoryEntry& entry, const SettingsChange& document)
{
    if (!entry.reading)
        return;
    entry.check = CheckBoard(document, *entry.reading);
    QStringList texts;
    for (const CheckDifference& difference : *entry.check)
        texts << CheckDifferenceText(difference);
    if (texts.isEmpty()) {
        entry.detail = QStringLiteral("matches");
        return;
    }
    entry.status = CliStatus::Refused;
    entry.result = QStringLiteral("differs");
    entry.detail = texts.join(QStringLiteral("; "));
}

Records InventoryRecords(const QList<FoundBoard>& boards, const QList<InventoryEntry>& entries, bool checked,
                         OutputFormat format)
{
    const Records search = SearchRecords(boards);
    const QJsonArray found = search.json.array();
    const auto column = [&](qsizetype row, const char* name) {
        return search.rows[row][search.columns.indexOf(QLatin1String(name))];
    };
    Records records;
    const bool table = format == OutputFormat::Table;
    records.columns = table
                          ? kTableColumns
                          : search.columns + QStringList{QStringLiteral("result"), QStringLiteral("detail")} +
                                SettingColumns();
    // Only the form that is printed: the JSON of a thousand boards' settings is most of the work.
    QJsonArray list;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const InventoryEntry& entry = entries[i];
        const BoardReading* board = entry.reading ? &*entry.reading : nullptr;
        if (format == OutputFormat::Json)
            list.append(EntryJson(found.at(i).toObject(), entry, checked));
        else if (table)
            records.rows << QStringList{column(i, "mac"),
                                        column(i, "ip"),
                                        column(i, "interface"),
                                        entry.result,
                                        board ? SerialSummary(board->serial) : QString(),
                                        board ? PortModes(*board) : QString(),
                                        column(i, "note"),
                                        entry.detail};
        else
            records.rows << search.rows[i] + QStringList{entry.result, entry.detail} + SettingTexts(entry);
    }
    records.json = QJsonDocument(list);
    return records;
}
