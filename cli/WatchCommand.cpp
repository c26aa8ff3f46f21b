// watch: a commissioning station. Each board the plan names (or each new one, with --from) gets its
// IP settings and the profile as it appears; a journal makes a run resumable.
#include "cli/AddressInput.h"
#include "cli/CliContext.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/NodeExchange.h"
#include "cli/SettingsChange.h"
#include "cli/StopSignals.h"
#include "cli/WatchJournal.h"
#include "cli/WatchStation.h"
#include "resources/TextParsers.h"

#include <QFile>
#include <QTextStream>

namespace {

const QString kPlan = QStringLiteral("plan");
const QString kFrom = QStringLiteral("from");
const QString kMask = QStringLiteral("mask");
const QString kGateway = QStringLiteral("gateway");
const QString kProfile = QStringLiteral("profile");
const QString kJournal = QStringLiteral("journal");
const QString kCount = QStringLiteral("count");
const QString kInterval = QStringLiteral("interval");
const QString kRetries = QStringLiteral("retries");

// A search waits a second for its replies: searches closer together would share their replies.
constexpr int kMinIntervalMs = 1000;
constexpr int kMaxIntervalMs = 3600000;
constexpr int kMaxCount = 1000000;
constexpr int kMaxRetries = 100;

void AddOptions(QCommandLineParser& parser)
{
    parser.addOption(
        {kPlan,
         QStringLiteral("The boards to commission and their IP settings, a CSV line each as set-ip "
                        "--plan reads it. Other boards are left alone."),
         QStringLiteral("FILE.csv")});
    parser.addOption(
        {kFrom,
         QStringLiteral("Commission every new board, each given the next free fixed address from A "
                        "on under --mask and --gateway, in the order the boards appear."),
         QStringLiteral("A")});
    parser.addOption({kMask, QStringLiteral("With --from: the subnet mask M."), QStringLiteral("M")});
    parser.addOption({kGateway, QStringLiteral("With --from: the default gateway G."), QStringLiteral("G")});
    parser.addOption({kProfile,
                      QStringLiteral("Then write this settings document (as apply does) at the board's new "
                                     "address, commit and read it back."),
                      QStringLiteral("FILE.json")});
    parser.addOption(
        {kJournal,
         QStringLiteral("Append every board's record to this file (JSON Lines); boards done in it "
                        "are left alone, the addresses it handed out stay taken, and its failed tries count "
                        "towards --retries."),
         QStringLiteral("FILE.jsonl")});
    parser.addOption({kCount, QStringLiteral("Stop once N boards are done."), QStringLiteral("N")});
    parser.addOption({kInterval,
                      QStringLiteral("Search every MS milliseconds (default 1000, at least 1000)."),
                      QStringLiteral("MS")});
    parser.addOption({kRetries,
                      QStringLiteral("Try a failed board again up to N times when it answers a later search "
                                     "(default 2; the journal's earlier tries count), then leave it for the "
                                     "operator."),
                      QStringLiteral("N")});
}

// A whole-number option from minimum to maximum; unset leaves value as it is.
std::optional<CliStatus> ReadNumber(const CommandLine& line, CliContext& context, const QString& option,
                                    int minimum, int maximum, int& value)
{
    if (!line.Parser().isSet(option))
        return std::nullopt;
    const std::optional<quint32> number = ParseUnsignedInt(line.Parser().value(option));
    if (!number || *number < static_cast<quint32>(minimum) || *number > static_cast<quint32>(maximum))
        return line.Fail(context, QStringLiteral("--%1: expected a whole number from %2 to %3")
                                      .arg(option)
                                      .arg(minimum)
                                      .arg(maximum));
    value = static_cast<int>(*number);
    return std::nullopt;
}

std::optional<CliStatus> ReadNumbers(const CommandLine& line, CliContext& context, WatchOptions& options)
{
    int interval = static_cast<int>(options.interval.count());
    for (const auto& [option, minimum, maximum, value] :
         {std::tuple{kCount, 1, kMaxCount, &options.count},
          std::tuple{kInterval, kMinIntervalMs, kMaxIntervalMs, &interval},
          std::tuple{kRetries, 0, kMaxRetries, &options.retries}}) {
        if (const std::optional<CliStatus> failed =
                ReadNumber(line, context, option, minimum, maximum, *value))
            return failed;
    }
    options.interval = std::chrono::milliseconds(interval);
    return std::nullopt;
}

// --plan FILE.csv, or --from A --mask M [--gateway G].
std::optional<CliStatus> ReadBoards(const CommandLine& line, CliContext& context, WatchOptions& options)
{
    const QCommandLineParser& parser = line.Parser();
    if (parser.isSet(kPlan) == parser.isSet(kFrom))
        return line.Fail(context, QStringLiteral("expected either --plan or --from"));
    if (parser.isSet(kPlan)) {
        for (const QString& option : {kMask, kGateway}) {
            if (parser.isSet(option))
                return line.Fail(context, QStringLiteral("--%1 cannot be used with --plan").arg(option));
        }
        return ReadPlanFile(line, context, kPlan, options.plan);
    }
    if (!parser.isSet(kMask))
        return line.Fail(context, QStringLiteral("--from needs --mask"));
    options.range.emplace();
    return ReadFixedSettings(line, context, kFrom, kMask, kGateway, *options.range);
}

std::optional<CliStatus> ReadProfile(const CommandLine& line, CliContext& context, WatchOptions& options)
{
    if (!line.Parser().isSet(kProfile))
        return std::nullopt;
    options.profile = line.ReadSettingsFile(line.Parser().value(kProfile), context);
    if (!options.profile)
        return CliStatus::BadInput;
    return std::nullopt;
}

// A plan line whose address an earlier run gave another board.
std::optional<CliStatus> CheckAgainstJournal(const CommandLine& line, CliContext& context,
                                             const QList<PlannedAddress>& plan, const WatchJournal& journal)
{
    for (const PlannedAddress& given : HandedOut(journal.Earlier())) {
        for (const PlannedAddress& entry : plan) {
            if (!entry.dhcp && entry.ip == given.ip && entry.mac != given.mac)
                return line.Fail(context,
                                 QStringLiteral("%1: line %2 (%3): %4 was given to %5 by an earlier run")
                                     .arg(line.Parser().value(kPlan))
                                     .arg(entry.line)
                                     .arg(MacText(entry.mac), HostAddressText(entry.ip), MacText(given.mac)));
        }
    }
    return std::nullopt;
}

std::optional<CliStatus> OpenJournal(const CommandLine& line, CliContext& context,
                                     const WatchOptions& options, WatchJournal& journal)
{
    if (!line.Parser().isSet(kJournal))
        return std::nullopt;
    QString error;
    if (!journal.Open(line.Parser().value(kJournal), error))
        return line.Fail(context, error);
    if (!journal.Warning().isEmpty())
        context.err << ProgramName() << ": watch: " << journal.Warning() << '\n';
    return CheckAgainstJournal(line, context, options.plan, journal);
}

std::optional<CliStatus> ReadOptions(const CommandLine& line, CliContext& context, WatchOptions& options)
{
    if (line.Format() == OutputFormat::Csv)
        return line.Fail(context, QStringLiteral("--format: expected table or json"));
    options.format = line.Format();
    options.jobs = line.Jobs();
    if (const std::optional<CliStatus> failed = ReadBoards(line, context, options))
        return failed;
    if (const std::optional<CliStatus> failed = ReadNumbers(line, context, options))
        return failed;
    return ReadProfile(line, context, options);
}

} // namespace

CliStatus RunWatch(const QStringList& arguments, CliContext& context)
{
    CommandLine line(
        QStringLiteral("watch"),
        QStringLiteral(
            "A commissioning station: searches every interval on every interface, and takes each board the "
            "plan names (with --from: each new board) through its steps as it appears, while the search goes "
            "on for others. Its IP settings first, as set-ip changes them (skipped when it has them "
            "already), "
            "confirmed by a search; then, with --profile, the settings document written at its new address, "
            "committed and read back, as apply writes it. Prints a line per board as it finishes (--format "
            "json: one JSON object per line): its MAC, the settings it had and has now, each step's outcome, "
            "the time taken. A failed board is tried again when it answers a later search, up to --retries "
            "times. With --plan it stops once every board of the plan is done or given up; --count N stops "
            "once N boards are done; SIGINT or SIGTERM stops the search and lets the boards in progress "
            "finish (a second signal abandons them). It then prints a summary on stderr and exits with the "
            "worst status of the boards handled.\n"
            "\n"
            "  watch --plan FILE.csv [--profile FILE.json] [--journal FILE.jsonl] [options]\n"
            "  watch --from A --mask M [--gateway G] [--profile FILE.json] [--journal FILE.jsonl] [options]\n"
            "\n"
            "Input is checked before anything is sent, the plan against the first search as set-ip checks "
            "it."));
    line.AddFormatOption(QStringLiteral("table (default) or json (a JSON object per line)"));
    line.AddJobsOption();
    AddOptions(line.Parser());
    if (const std::optional<CliStatus> end = line.Parse(arguments, context, 0, 0))
        return *end;
    WatchOptions options;
    if (const std::optional<CliStatus> failed = ReadOptions(line, context, options))
        return *failed;
    WatchJournal journal;
    if (const std::optional<CliStatus> failed = OpenJournal(line, context, options, journal))
        return *failed;

    // Before anything is sent: from here on a signal stops the station, not the process.
    StopSignals stops;
    NodeExchange exchange(context.err);
    WatchStation station(context, exchange, stops, journal.IsOpen() ? &journal : nullptr, std::move(options));
    return station.Run();
}
