// serial get / serial set
#include "cli/BoardAddress.h"
#include "cli/BoardWrite.h"
#include "cli/CliContext.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "snmpconfig/SerialSettings.h"
#include "cli/SettingsChange.h"
#include "cli/SnmpBoard.h"

#include <QJsonDocument>
#include <QTextStream>

namespace {

QString AssignmentsHelp()
{
    QStringList rates;
    for (const int32_t rate : SerialRules::kBitRates)
        rates << QString::number(rate);
    return QStringLiteral("Settings to change: mode=TCPSERVER|TCPCLIENT|UDP, port=%1..%2, peer=A.B.C.D, "
                          "bitrate=%3, databits=5|6|7|8, stopbits=1|2, parity=none|odd|even, "
                          "flow=none|hardware. The others keep the board's values.")
        .arg(SerialRules::kMinPortNumber)
        .arg(SerialRules::kMaxPortNumber)
        .arg(rates.join(QLatin1Char('|')));
}

Records SerialRecords(const SerialSettings& settings)
{
    Records records;
    const SettingValues values = SerialValues(settings);
    QStringList row;
    for (const SettingField& field : SerialFields()) {
        records.columns << field.key;
        row << FieldText(field, values.value(field.key));
    }
    records.rows << row;
    records.json = QJsonDocument(SerialObject(settings));
    return records;
}

CliStatus SerialGet(const QStringList& arguments, CliContext& context)
{
    CommandLine line(QStringLiteral("serial get"),
                     QStringLiteral("Reads a board's serial-port settings over SNMP."));
    line.AddFormatOption();
    line.AddBoardPositional();
    if (const std::optional<CliStatus> end = line.Parse(arguments, context, 1, 1))
        return *end;
    const std::optional<QString> address = line.BoardAddressAt(0, context);
    if (!address)
        return CliStatus::BadInput;

    SnmpBoard board(context.snmp, *address);
    SerialSettings settings;
    QString message;
    const CliStatus status = board.ReadSerial(settings, message);
    if (status != CliStatus::Done) {
        ReportBoardFailure(context, *address, message);
        return status;
    }
    PrintRecords(SerialRecords(settings), line.Format(), context.out);
    return CliStatus::Done;
}

CliStatus SerialSet(const QStringList& arguments, CliContext& context)
{
    CommandLine line(
        QStringLiteral("serial set"),
        QStringLiteral("Changes a board's serial-port settings over SNMP: reads them, applies the given "
                       "values, writes all of them and commits, as the serial settings dialog does."));
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
