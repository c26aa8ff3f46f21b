// export / apply: a board's serial and I/O settings as one JSON document, and back.
#include "cli/Batch.h"
#include "cli/BoardAddress.h"
#include "cli/BoardWrite.h"
#include "cli/CliContext.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/SettingsChange.h"
#include "cli/SnmpBoard.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

CliStatus RunExport(const QStringList& arguments, CliContext& context)
{
    CommandLine line(
        QStringLiteral("export"),
        QStringLiteral("Prints a board's serial and I/O settings (all eight ports) as one JSON document "
                       "for apply. The board's own identity (MAC, IP settings) is not part of it; a board "
                       "without a port number has \"port\": null."));
    line.AddBoardPositional();
    if (const std::optional<CliStatus> end = line.Parse(arguments, context, 1, 1))
        return *end;
    const std::optional<QString> address = line.BoardAddressAt(0, context);
    if (!address)
        return CliStatus::BadInput;

    BoardLink link(context.snmp, address->toStdString());
    BoardReading reading;
    const SnmpOutcome outcome = RunOn(context.snmp, ReadBoardSettings(link, reading));
    if (!outcome.IsDone()) {
        ReportBoardFailure(context, *address, OutcomeText(outcome));
        return StatusOf(outcome);
    }
    context.out << QJsonDocument(SettingsDocument(reading)).toJson(QJsonDocument::Indented);
    context.out.flush();
    return CliStatus::Done;
}

CliStatus RunApply(const QStringList& arguments, CliContext& context)
{
    CommandLine line(
        QStringLiteral("apply"),
        QStringLiteral(
            "Writes a settings document (as export prints it, or any part of one) to each board: reads "
            "what the document touches, writes it with the settings dialogs' requests and commits, then "
            "reads it back and compares. A board whose read-back differs has failed. The boards are "
            "written at the same time (see --jobs), each with its own requests in order; the results "
            "are printed in the order of the arguments. "
            "Settings the document leaves out, or give as null (a port number), keep the board's values. "
            "A key given twice or a number that is not whole makes the document invalid."));
    line.AddFormatOption();
    line.AddJobsOption();
    line.AddPositional(QStringLiteral("FILE.json"), QStringLiteral("The settings document."));
    line.AddPositional(QStringLiteral("IP"), QStringLiteral("The boards' IPv4 addresses."),
                       QStringLiteral("IP..."));
    if (const std::optional<CliStatus> end = line.Parse(arguments, context, 2, -1))
        return *end;

    const std::optional<SettingsChange> document = line.ReadSettingsFile(line.Positional().at(0), context);
    if (!document)
        return CliStatus::BadInput;
    const SettingsChange& change = *document;
    QString error;
    const std::optional<QStringList> addresses = ParseBoardAddresses(line.Positional().mid(1), error);
    if (!addresses)
        return line.Fail(context, error);

    const BoardTask<BoardResult> apply = [&](qsizetype i) {
        return WriteBoard(context.snmp, addresses->at(i), change, true);
    };
    const QList<BoardResult> results =
        RunBatch(context, QStringLiteral("apply"), *addresses, line.Jobs(), apply);
    PrintRecords(ResultRecords(results), line.Format(), context.out);
    return WorstStatus(results);
}
