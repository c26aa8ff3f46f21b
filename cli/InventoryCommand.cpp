// inventory: every board one search lists, with its serial and I/O settings, maybe compared with a
// settings document.
#include "cli/AddressChange.h"
#include "cli/AddressPlan.h"
#include "cli/Batch.h"
#include "cli/BoardAddress.h"
#include "cli/CliContext.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Inventory.h"
#include "cli/NodeExchange.h"
#include "cli/SettingsChange.h"
#include "cli/SnmpBoard.h"
#include "core/ReplyAttribution.h"
#include "resources/TextParsers.h"

#include <QTextStream>

#include <arpa/inet.h>

#include <algorithm>

namespace {

const QString kCheck = QStringLiteral("check");

InventoryEntry Failed(CliStatus status, const QString& detail)
{
    return {status, ResultWord(status), detail, std::nullopt, std::nullopt};
}

// As export reads a board.
Task<InventoryEntry> ReadBoard(SnmpLoop& loop, QString reported)
{
    QString error;
    const std::optional<QString> address = ParseBoardAddress(reported, error);
    if (!address)
        co_return Failed(CliStatus::NotSent, QStringLiteral("not read: ") + error);
    BoardLink link(loop, address->toStdString());
    BoardReading reading;
    const SnmpOutcome outcome = co_await ReadBoardSettings(link, reading);
    InventoryEntry entry = Failed(StatusOf(outcome), OutcomeText(outcome));
    if (outcome.IsDone())
        entry.reading = std::move(reading);
    co_return entry;
}

// The boards asked for, by MAC or by IP address.
struct Chosen
{
    QList<NodeInfo::MacAddress> macs;
    QList<quint32> addresses; // host order
    bool IsEmpty() const { return macs.isEmpty() && addresses.isEmpty(); }
};

std::optional<CliStatus> ReadChoices(const CommandLine& line, CliContext& context, Chosen& chosen)
{
    QString error;
    for (const QString& text : line.Positional()) {
        if (const std::optional<quint32> address = ParseCompleteAddress(text)) {
            if (chosen.addresses.contains(*address))
                return line.Fail(context, QStringLiteral("%1 is given twice").arg(HostAddressText(*address)));
            chosen.addresses << *address;
            continue;
        }
        const std::optional<NodeInfo::MacAddress> mac = ParseMacAddress(text);
        if (!mac)
            return line.Fail(
                context, QStringLiteral("\"%1\" is neither a MAC address such as 00:0a:ff:10:20:3b nor an "
                                        "IPv4 address")
                             .arg(text));
        if (chosen.macs.contains(*mac))
            return line.Fail(context, QStringLiteral("%1 is given twice").arg(MacText(*mac)));
        chosen.macs << *mac;
    }
    return std::nullopt;
}

std::optional<CliStatus> ReadDocument(const CommandLine& line, CliContext& context,
                                      std::optional<SettingsChange>& document)
{
    if (!line.Parser().isSet(kCheck))
        return std::nullopt;
    document = line.ReadSettingsFile(line.Parser().value(kCheck), context);
    if (!document)
        return CliStatus::BadInput;
    return std::nullopt;
}

quint32 AddressOf(const FoundBoard& board)
{
    return ntohl(board.record.GetSettings().GetIpAddress());
}

QString AddressText(const FoundBoard& board)
{
    return QString::fromStdString(board.record.GetSettings().GetIpText());
}

bool Wanted(const Chosen& named, const FoundBoard& board)
{
    return named.IsEmpty() || named.macs.contains(board.record.GetMac()) ||
           named.addresses.contains(AddressOf(board));
}

// A MAC or address named that no board answered for is reported; the others go on.
CliStatus ReportMissing(CliContext& context, const Chosen& named, const QList<FoundBoard>& found)
{
    CliStatus status = CliStatus::Done;
    const auto missing = [&](const QString& name, const char* what) {
        context.err << ProgramName() << ": inventory: " << name << ": no board with this " << what
                    << " answered the search\n";
        status = CliStatus::NotFound;
    };
    for (const NodeInfo::MacAddress& mac : named.macs) {
        if (FindBoard(found, mac) == nullptr)
            missing(MacText(mac), "MAC");
    }
    for (const quint32 address : named.addresses) {
        if (std::none_of(found.cbegin(), found.cend(),
                         [&](const FoundBoard& board) { return AddressOf(board) == address; }))
            missing(HostAddressText(address), "address");
    }
    return status;
}

// The boards the search lists and those of them that are read: each is read as its reply comes,
// while the search waits for others, so the whole takes about the search's wait and the slowest
// board, not their sum.
struct Survey
{
    QList<FoundBoard> found;
    QList<FoundBoard> boards; // once the search is over, so that each knows whether it shares its MAC
    QList<InventoryEntry> entries;
};

constexpr std::chrono::milliseconds kReplySlice{2};

std::optional<CliStatus> SearchAndRead(CliContext& context, const Chosen& named, int jobs, Survey& survey)
{
    NodeExchange exchange(context.err);
    QString problem;
    const uint32_t id = exchange.StartSearch(problem);
    if (id == 0) {
        context.err << ProgramName() << ": inventory: " << problem << '\n';
        return CliStatus::NotSent;
    }
    QList<qsizetype> picked; // positions in survey.found
    BoardBatch<InventoryEntry> batch(context, QStringLiteral("inventory"), jobs, [&](qsizetype i) {
        return ReadBoard(context.snmp, AddressText(survey.found.at(picked.at(i))));
    });
    const auto take = [&](const ReceivedNode& node) {
        if (!node.record || !ReplyAttribution::IsSearchReply(*node.record, id))
            return;
        const qsizetype listed = survey.found.size();
        ListSearchReply(survey.found, node);
        if (survey.found.size() > listed && Wanted(named, survey.found.last())) {
            picked << listed;
            batch.Add(AddressText(survey.found.last()));
        }
    };
    const auto deadline = std::chrono::steady_clock::now() + NodeExchange::kSearchWait;
    for (auto now = deadline - NodeExchange::kSearchWait; now < deadline;
         now = std::chrono::steady_clock::now()) {
        if (batch.Busy()) {
            context.snmp.RunUntil(std::min(deadline, now + kReplySlice));
            for (const ReceivedNode& node : exchange.Queue().TakeAll())
                take(node);
        } else if (const std::optional<ReceivedNode> node = exchange.Queue().Take(deadline)) {
            take(*node);
        }
    }
    survey.entries = batch.Finish();
    for (const qsizetype i : picked)
        survey.boards << survey.found.at(i);
    return std::nullopt;
}

} // namespace

CliStatus RunInventory(const QStringList& arguments, CliContext& context)
{
    CommandLine line(
        QStringLiteral("inventory"),
        QStringLiteral(
            "Searches once, as search does, then reads every board listed (or those with the MACs or IP "
            "addresses given) as export does: its serial settings and all eight I/O ports, strictly, many "
            "boards "
            "at once (see --jobs). Prints one record per board in the search's order: MAC, IP settings, "
            "interface, the result, and the settings. The table is a summary (serial as \"TCPSERVER "
            "21347 9600 8N1\", the ports' modes as \"OOIIOOOO\", O for OUTPUT, I for INPUT); json has "
            "export's \"serial\" and \"gpio\" objects, csv a column for each setting (serial.bitrate, "
            "gpio.port3.mode). A board that shares its MAC with another is read by its IP address. "
            "No board answering is no error: the list is empty.\n"
            "\n"
            "With --check, each board that was read is compared with the settings document (as export "
            "prints it, or any part of one): only what the document gives, its ports each on what its "
            "mode writes (as apply's read-back compares them). A board matches, or differs (status 3) "
            "with each setting named, its value on the board and in the document "
            "(\"gpio.port3.mode: board OUTPUT, document INPUT\"). The exit status is the worst of the "
            "boards: 3 one differs or could not be read, 4 one did not answer, 6 no board answered for "
            "a MAC or address given."));
    line.AddFormatOption();
    line.AddJobsOption();
    line.Parser().addOption({kCheck, QStringLiteral("Compare every board with this settings document."),
                             QStringLiteral("FILE.json")});
    line.AddPositional(QStringLiteral("BOARD"),
                       QStringLiteral("Only the boards with these MACs (such as 00:0a:ff:10:20:3b) or IPv4 "
                                      "addresses, as the search lists them."),
                       QStringLiteral("[MAC|IP...]"));
    if (const std::optional<CliStatus> end = line.Parse(arguments, context, 0, -1))
        return *end;
    Chosen named;
    if (const std::optional<CliStatus> failed = ReadChoices(line, context, named))
        return *failed;
    std::optional<SettingsChange> document;
    if (const std::optional<CliStatus> failed = ReadDocument(line, context, document))
        return *failed;

    Survey survey;
    if (const std::optional<CliStatus> failed = SearchAndRead(context, named, line.Jobs(), survey))
        return *failed;
    const CliStatus status = ReportMissing(context, named, survey.found);
    if (document) {
        for (InventoryEntry& entry : survey.entries)
            CheckEntry(entry, *document);
    }
    PrintRecords(InventoryRecords(survey.boards, survey.entries, document.has_value(), line.Format()),
                 line.Format(), context.out);
    return Worst(status, WorstStatus(survey.entries));
}
