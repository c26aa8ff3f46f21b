// serial get / serial set
#include "cli/BoardAddress.h"
#include "cli/BoardWrite.h"
#include "cli/CliContext.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "core/SerialSettings.h"
#include "cli/SettingsChange.h"
#include "cli/SnmpBoard.h"

#include <QJsonDocument>
#include <QTextStream>

namespace {

QString AssignmentsHelp()
{
    return QStringLiteral("Settings to change: %1. The others keep the board's values.")
        .arg(AssignmentSyntax(SerialFields()));
}

Records SerialRecords(const BoardSerial& serial)
{
    Records records;
    const SettingValues values = SerialValues(serial);
    QStringList row;
    for (const SettingField& field : SerialFields()) {
        records.columns << field.key;
        row << FieldText(field, values);
    }
    records.rows << row;
    records.json = QJsonDocument(SerialObject(serial));
    return records;
}

CliStatus SerialGet(const QStringList& arguments, CliContext& context)
{
    CommandLine line(QStringLiteral("serial get"),
                     QStringLiteral("Reads a board's serial-port settings over SNMP. A board without a port "
                                    "number shows none (null in JSON)."));
    line.AddFormatOption();
    line.AddBoardPositional();
    if (const std::optional<CliStatus> end = line.Parse(arguments, context, 1, 1))
        return *end;
    const std::optional<QString> address = line.BoardAddressAt(0, context);
    if (!address)
        return CliStatus::BadInput;

    SnmpBoard board(context.snmp, *address);
    BoardSerial serial;
    QString message;
    const CliStatus status = board.ReadSerial(serial, message);
    if (status != CliStatus::Done) {
        ReportBoardFailure(context, *address, message);
        return status;
    }
    PrintRecords(SerialRecords(serial), line.Format(), context.out);
    return CliStatus::Done;
}

CliStatus SerialSet(const QStringList& arguments, CliContext& context)
{
    CommandLine line(
        QStringLiteral("serial set"),
        QStringLiteral(
            "Changes a board's serial-port settings over SNMP: reads them, applies the given "
            "values, writes all of them and commits, as the serial settings dialog does. A board "
            "without a port number gets none written unless port= is given. The write stops at the "
            "first request the board refuses or does not answer, and then commits nothing."));
    line.AddFormatOption();
    line.AddVerifyOption();
    line.AddBoardPositional();
    line.AddPositional(QStringLiteral("KEY=VALUE"), AssignmentsHelp(), QStringLiteral("KEY=VALUE..."));
    if (const std::optional<CliStatus> end = line.Parse(arguments, context, 2, -1))
        return *end;
    const std::optional<QString> address = line.BoardAddressAt(0, context);
    if (!address)
        return CliStatus::BadInput;
    QString error;
    SettingValues values;
    if (!ParseAssignments(line.Positional().mid(1), SerialFields(), values, error))
        return line.Fail(context, error);

    SettingsChange change;
    change.serial = values;
    return WriteAndReport(context, *address, change, line);
}

} // namespace

CliStatus RunSerial(const QStringList& arguments, CliContext& context)
{
    return RunGetOrSet(QStringLiteral("serial"), arguments, context, SerialGet, SerialSet,
                       QStringLiteral("KEY=VALUE..."));
}
