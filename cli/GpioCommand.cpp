// gpio get / gpio set
#include "cli/BoardAddress.h"
#include "cli/BoardWrite.h"
#include "cli/CliContext.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "core/GpioSettings.h"
#include "cli/SettingsChange.h"
#include "cli/SnmpBoard.h"
#include "core/SettingRules.h"

#include <QJsonDocument>
#include <QTextStream>

namespace {

const QString kPort = QStringLiteral("port");
const QString kAll = QStringLiteral("all");
const QString kManager = QStringLiteral("manager");
const QString kPeriod = QStringLiteral("period");

QString AssignmentsHelp()
{
    return QStringLiteral("Settings of the port given with --port: %1 (an INPUT port: 0 or at least %2). An "
                          "OUTPUT port is written with its state and initial state, an INPUT port with its "
                          "trap state and trap time.")
        .arg(AssignmentSyntax(GpioPortFields()))
        .arg(GpioRules::kMinInputTrapTime);
}

// "(1 to 8)": the ports a --port option takes.
QString PortRange()
{
    return QStringLiteral("(1 to %1)").arg(GpioRules::kPortCount);
}

Records GpioRecords(const QList<std::pair<int, GpioSettings>>& ports)
{
    Records records;
    records.columns << kPort;
    for (const SettingField& field : GpioPortFields() + GpioNodeFields())
        records.columns << field.key;
    for (const auto& [port, settings] : ports) {
        const SettingValues values = GpioValues(settings);
        QStringList row{QString::number(port)};
        for (const SettingField& field : GpioPortFields() + GpioNodeFields())
            row << FieldText(field, values.value(field.key));
        records.rows << row;
    }
    records.json = QJsonDocument(GpioObject(ports.value(0).second, ports));
    return records;
}

CliStatus GpioGet(const QStringList& arguments, CliContext& context)
{
    CommandLine line(
        QStringLiteral("gpio get"),
        QStringLiteral("Reads a board's I/O settings over SNMP: the manager address, the status-check "
                       "period and the settings of one port (port 1 unless told otherwise)."));
    line.AddFormatOption();
    line.Parser().addOption({kPort, QStringLiteral("Read port N %1.").arg(PortRange()), QStringLiteral("N")});
    line.Parser().addOption({kAll, QStringLiteral("Read all eight ports.")});
    line.AddBoardPositional();
    if (const std::optional<CliStatus> end = line.Parse(arguments, context, 1, 1))
        return *end;
    if (line.Parser().isSet(kPort) && line.Parser().isSet(kAll))
        return line.Fail(context, QStringLiteral("--port and --all exclude each other"));
    const std::optional<QString> address = line.BoardAddressAt(0, context);
    if (!address)
        return CliStatus::BadInput;
    QString error;
    QList<int> ports{1};
    if (line.Parser().isSet(kPort)) {
        const std::optional<int> port = ParseGpioPort(line.Parser().value(kPort), error);
        if (!port)
            return line.Fail(context, QStringLiteral("--port: ") + error);
        ports = {*port};
    } else if (line.Parser().isSet(kAll)) {
        ports = AllGpioPorts();
    }

    SnmpBoard board(context.snmp, *address);
    QList<std::pair<int, GpioSettings>> read;
    QString message;
    if (const CliStatus status = board.ReadGpioPorts(ports, read, message); status != CliStatus::Done) {
        ReportBoardFailure(context, *address, message);
        return status;
    }
    PrintRecords(GpioRecords(read), line.Format(), context.out);
    return CliStatus::Done;
}

// --manager and --period into the node-wide values; false with the reason in error.
bool ReadNodeOptions(const QCommandLineParser& parser, SettingValues& node, QString& error)
{
    for (const QString& key : {kManager, kPeriod}) {
        if (!parser.isSet(key))
            continue;
        QString reason;
        const std::optional<qint64> value =
            ParseFieldText(*FindField(GpioNodeFields(), key), parser.value(key), reason);
        if (!value) {
            error = QStringLiteral("--%1: %2").arg(key, reason);
            return false;
        }
        node.insert(key, *value);
    }
    return true;
}

CliStatus GpioSet(const QStringList& arguments, CliContext& context)
{
    CommandLine line(
        QStringLiteral("gpio set"),
        QStringLiteral("Changes a board's I/O settings over SNMP: reads the port, applies the given "
                       "values, writes the port's settings for its mode and commits, as the I/O "
                       "settings dialog does. The manager address and period travel with a port's "
                       "settings; without --port, port 1 carries them."));
    line.AddFormatOption();
    line.AddVerifyOption();
    line.Parser().addOption({kManager, QStringLiteral("Manager IPv4 address."), QStringLiteral("A")});
    line.Parser().addOption({kPeriod,
                             QStringLiteral("Status-check period in ms (%1 to %2).")
                                 .arg(GpioRules::kMinPeriod)
                                 .arg(GpioRules::kMaxPeriod),
                             QStringLiteral("S")});
    line.Parser().addOption({kPort,
                             QStringLiteral("The port %1 that KEY=VALUE settings change.").arg(PortRange()),
                             QStringLiteral("N")});
    line.AddBoardPositional();
    line.AddPositional(QStringLiteral("KEY=VALUE"), AssignmentsHelp(), QStringLiteral("[KEY=VALUE...]"));
    if (const std::optional<CliStatus> end = line.Parse(arguments, context, 1, -1))
        return *end;
    const std::optional<QString> address = line.BoardAddressAt(0, context);
    if (!address)
        return CliStatus::BadInput;

    QString error;
    GpioChange gpio;
    if (!ReadNodeOptions(line.Parser(), gpio.node, error))
        return line.Fail(context, error);
    const QStringList assignments = line.Positional().mid(1);
    if (line.Parser().isSet(kPort)) {
        PortChange port;
        const std::optional<int> number = ParseGpioPort(line.Parser().value(kPort), error);
        if (!number)
            return line.Fail(context, QStringLiteral("--port: ") + error);
        port.port = *number;
        if (!ParseAssignments(assignments, GpioPortFields(), port.values, error))
            return line.Fail(context, error);
        if (const SettingProblem problem = CheckGpioValues(port.values))
            return line.Fail(context, ProblemText(problem));
        gpio.ports << port;
    } else if (!assignments.isEmpty()) {
        return line.Fail(context, QStringLiteral("KEY=VALUE settings need --port N"));
    }
    if (gpio.node.isEmpty() && (gpio.ports.isEmpty() || gpio.ports.first().values.isEmpty()))
        return line.Fail(context,
                         QStringLiteral("nothing to set: give --manager, --period or --port N KEY=VALUE..."));

    SettingsChange change;
    change.gpio = gpio;
    return WriteAndReport(context, *address, change, line);
}

} // namespace

CliStatus RunGpio(const QStringList& arguments, CliContext& context)
{
    return RunGetOrSet(QStringLiteral("gpio"), arguments, context, GpioGet, GpioSet,
                       QStringLiteral("[KEY=VALUE...]"));
}
