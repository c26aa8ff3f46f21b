// set-ip: a board's IP settings, a plan of many boards, or consecutive addresses for what a search
// lists; each board as the IP settings command of the window changes it.
#include "cli/AddressBatch.h"
#include "cli/AddressChange.h"
#include "cli/AddressInput.h"
#include "cli/AddressPlan.h"
#include "cli/CliContext.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/NodeExchange.h"
#include "cli/Progress.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>

namespace {

const QString kDhcp = QStringLiteral("dhcp");
const QString kIp = QStringLiteral("ip");
const QString kMask = QStringLiteral("mask");
const QString kGateway = QStringLiteral("gateway");
const QString kPlan = QStringLiteral("plan");
const QString kFrom = QStringLiteral("from");
const QString kDryRun = QStringLiteral("dry-run");
const QString kNoConfirm = QStringLiteral("no-confirm");
const QString kUnchangedOk = QStringLiteral("unchanged-ok");

void AddOptions(QCommandLineParser& parser)
{
    parser.addOption({kDhcp, QStringLiteral("The board takes its address by DHCP; it keeps the addresses it "
                                            "reported until it gets one.")});
    parser.addOption({kIp, QStringLiteral("Fixed IP address A."), QStringLiteral("A")});
    parser.addOption({kMask, QStringLiteral("Subnet mask M."), QStringLiteral("M")});
    parser.addOption({kGateway, QStringLiteral("Default gateway G (0.0.0.0 or none left out: no gateway)."),
                      QStringLiteral("G")});
    parser.addOption({kPlan,
                      QStringLiteral("Change the boards a CSV file lists, one line each: mac,ip,mask,gateway "
                                     "(the gateway may be left empty or out) or mac,dhcp. Blank lines and "
                                     "lines starting with # are skipped, as is a header line mac,..."),
                      QStringLiteral("FILE.csv")});
    parser.addOption(
        {kFrom,
         QStringLiteral("Give the boards a search lists (or the MACs given) consecutive fixed "
                        "addresses from A on, in MAC order, under --mask and --gateway, skipping "
                        "every address a listed board uses now."),
         QStringLiteral("A")});
    parser.addOption(
        {kDryRun, QStringLiteral("Send nothing. With --from: print the plan (in CSV, one that --plan reads). "
                                 "With a MAC or --plan: search, check the plan as a change would, and print "
                                 "for each board what it would get (would change, with the settings its "
                                 "request would carry, or unchanged).")});
    parser.addOption({kUnchangedOk, QStringLiteral("A board that has the settings already is unchanged with "
                                                   "status 0 rather than 3.")});
    parser.addOption({kNoConfirm, QStringLiteral("Take a board's success reply as the outcome, without the "
                                                 "searches that confirm its new settings.")});
}

// Options that the chosen form of set-ip does not take.
std::optional<CliStatus> RefuseOptions(const CommandLine& line, CliContext& context, const QString& form,
                                       const QStringList& options)
{
    for (const QString& option : options) {
        if (line.Parser().isSet(option))
            return line.Fail(context, QStringLiteral("--%1 cannot be used with %2").arg(option, form));
    }
    return std::nullopt;
}

// The search before a change: every board that answers within the wait, so that the plan can be
// checked against all of them.
std::optional<CliStatus> SearchBoards(NodeExchange& exchange, CliContext& context, QList<FoundBoard>& found)
{
    QString problem;
    if (exchange.Search(NodeExchange::kSearchWait, found, problem) == CliStatus::Done)
        return std::nullopt;
    context.err << ProgramName() << ": set-ip: " << problem << '\n';
    return CliStatus::NotSent;
}

// The plan checked against the search and put in order; a plan that cannot be carried out as it
// stands changes nothing.
std::optional<PlanOrder> Order(CliContext& context, const QList<PlannedAddress>& plan,
                               const QList<FoundBoard>& found)
{
    QString error;
    std::optional<PlanOrder> order = OrderPlan(plan, found, OwnAddresses(), error);
    if (!order)
        context.err << ProgramName() << ": set-ip: " << error << "; nothing was changed\n";
    return order;
}

// The boards of a plan in their order, with a line each for what became of them.
CliStatus ChangeBoards(const CommandLine& line, CliContext& context, NodeExchange& exchange,
                       const QList<PlannedAddress>& plan, const QList<FoundBoard>& found)
{
    const std::optional<PlanOrder> order = Order(context, plan, found);
    if (!order)
        return CliStatus::BadInput;
    QList<AddressChangeResult> results;
    if (line.Parser().isSet(kDryRun)) {
        results = PreviewChanges(plan, found);
    } else {
        Progress progress(context, QStringLiteral("set-ip"), plan.size());
        results = ChangeInOrder(exchange, plan, found, *order, !line.Parser().isSet(kNoConfirm), line.Jobs(),
                                progress);
    }
    if (line.Parser().isSet(kUnchangedOk))
        AcceptUnchanged(results);
    PrintRecords(AddressChangeRecords(results), line.Format(), context.out);
    return WorstStatus(results);
}

// Searches for the boards of the plan, then changes them.
CliStatus ChangeAll(const CommandLine& line, CliContext& context, const QList<PlannedAddress>& plan)
{
    NodeExchange exchange(context.err);
    QList<FoundBoard> found;
    if (const std::optional<CliStatus> failed = SearchBoards(exchange, context, found))
        return *failed;
    return ChangeBoards(line, context, exchange, plan, found);
}

CliStatus SetOne(const CommandLine& line, CliContext& context)
{
    if (line.Positional().size() != 1)
        return line.Fail(context,
                         line.Positional().isEmpty()
                             ? QStringLiteral("missing MAC (or --plan, or --from)")
                             : QStringLiteral("unexpected argument \"%1\"").arg(line.Positional().at(1)));
    PlannedAddress entry;
    QString error;
    const std::optional<NodeInfo::MacAddress> mac = ParseMacArgument(line.Positional().at(0), error);
    if (!mac)
        return line.Fail(context, error);
    entry.mac = *mac;
    if (line.Parser().isSet(kDhcp)) {
        if (const std::optional<CliStatus> refused =
                RefuseOptions(line, context, QStringLiteral("--dhcp"), {kIp, kMask, kGateway}))
            return *refused;
        entry.dhcp = true;
    } else if (!line.Parser().isSet(kIp) || !line.Parser().isSet(kMask)) {
        return line.Fail(context, QStringLiteral("expected --dhcp, or --ip and --mask"));
    } else if (const std::optional<CliStatus> failed =
                   ReadFixedSettings(line, context, kIp, kMask, kGateway, entry)) {
        return *failed;
    }
    return ChangeAll(line, context, {entry});
}

CliStatus SetPlan(const CommandLine& line, CliContext& context)
{
    if (const std::optional<CliStatus> refused =
            RefuseOptions(line, context, QStringLiteral("--plan"), {kDhcp, kIp, kMask, kGateway}))
        return *refused;
    if (!line.Positional().isEmpty())
        return line.Fail(context, QStringLiteral("--plan takes no MAC: the file names the boards"));
    QList<PlannedAddress> plan;
    if (const std::optional<CliStatus> failed = ReadPlanFile(line, context, kPlan, plan))
        return *failed;
    return ChangeAll(line, context, plan);
}

// The boards to number: every board found, or those named, each of which must have answered; a
// MAC that several boards answer with is chosen once (and then refused with the plan).
std::optional<CliStatus> ChooseBoards(CliContext& context, const QList<NodeInfo::MacAddress>& named,
                                      const QList<FoundBoard>& found, QList<ListedBoard>& chosen,
                                      QList<quint32>& inUse)
{
    for (const FoundBoard& board : found) {
        const NodeInfo::MacAddress mac = board.record.GetMac();
        const quint32 ip = CurrentAddress(board);
        const bool listed = std::any_of(chosen.cbegin(), chosen.cend(),
                                        [&](const ListedBoard& other) { return other.mac == mac; });
        if ((named.isEmpty() || named.contains(mac)) && !listed)
            chosen << ListedBoard{mac, ip};
        inUse << ip;
    }
    inUse << OwnAddresses();
    for (const NodeInfo::MacAddress& mac : named) {
        if (FindBoard(found, mac) == nullptr) {
            context.err << ProgramName() << ": set-ip: " << MacText(mac)
                        << ": no board with this MAC answered the search; nothing was changed\n";
            return CliStatus::NotFound;
        }
    }
    if (chosen.isEmpty()) {
        context.err << ProgramName() << ": set-ip: no board answered the search\n";
        return CliStatus::NotFound;
    }
    return std::nullopt;
}

CliStatus SetFrom(const CommandLine& line, CliContext& context)
{
    if (const std::optional<CliStatus> refused =
            RefuseOptions(line, context, QStringLiteral("--from"), {kDhcp, kIp}))
        return *refused;
    if (!line.Parser().isSet(kMask))
        return line.Fail(context, QStringLiteral("--from needs --mask"));
    PlannedAddress range;
    if (const std::optional<CliStatus> failed =
            ReadFixedSettings(line, context, kFrom, kMask, kGateway, range))
        return *failed;
    const std::optional<QList<NodeInfo::MacAddress>> named = line.MacArguments(context);
    if (!named)
        return CliStatus::BadInput;
    QString error;

    NodeExchange exchange(context.err);
    QList<FoundBoard> found;
    if (const std::optional<CliStatus> failed = SearchBoards(exchange, context, found))
        return *failed;
    QList<ListedBoard> chosen;
    QList<quint32> inUse;
    if (const std::optional<CliStatus> failed = ChooseBoards(context, *named, found, chosen, inUse))
        return *failed;
    QList<PlannedAddress> plan;
    if (!AllocateAddresses(chosen, range.ip, range.mask, range.gateway, plan, error, inUse)) {
        context.err << ProgramName() << ": set-ip: " << error << "; nothing was changed\n";
        return CliStatus::BadInput;
    }
    if (line.Parser().isSet(kDryRun)) {
        if (!Order(context, plan, found))
            return CliStatus::BadInput;
        PrintRecords(PlanRecords(plan), line.Format(), context.out);
        return CliStatus::Done;
    }
    return ChangeBoards(line, context, exchange, plan, found);
}

} // namespace

CliStatus RunSetIp(const QStringList& arguments, CliContext& context)
{
    CommandLine line(
        QStringLiteral("set-ip"),
        QStringLiteral(
            "Changes the IP settings of boards by the node protocol, as the window's IP settings command "
            "does: the settings must pass its address rules, a switch to DHCP keeps the addresses the board "
            "reported, and a change that changes nothing is refused (unchanged, status 3; 0 with "
            "--unchanged-ok). It searches first, to find each board "
            "by its MAC and learn its settings, then sends each board its request (out of the interface it "
            "answered on) and waits up to 15 s for its reply. Then it searches once a second, for up to "
            "10 s, until each changed board shows its new settings: only then is the change ok, otherwise "
            "unconfirmed (status 3). Prints one line per board: the outcome and the settings the board "
            "reports; in JSON also the settings the search before found (\"previous\") and those the "
            "request carried (\"requested\", null when nothing was sent).\n"
            "\n"
            "  set-ip MAC --dhcp [--dry-run] [--unchanged-ok]\n"
            "  set-ip MAC --ip A --mask M [--gateway G] [--dry-run] [--unchanged-ok]\n"
            "  set-ip --plan FILE.csv [--dry-run] [--unchanged-ok]\n"
            "  set-ip --from A --mask M [--gateway G] [--dry-run] [MAC...]\n"
            "\n"
            "A plan is checked completely before anything is sent; a bad line is named and nothing is "
            "sent. So is a plan that names a MAC several boards answer with, or gives out an address a "
            "board outside the plan or this computer uses. A board that gives up an address another "
            "takes goes first; boards that would take each other's addresses are refused. The requests "
            "to many boards go out without waiting for each other's replies (see --jobs), and one "
            "confirmation covers them all; the results are printed in the plan's order and the exit "
            "status is the worst of them."));
    line.AddFormatOption();
    line.AddJobsOption();
    AddOptions(line.Parser());
    line.AddPositional(QStringLiteral("MAC"),
                       QStringLiteral("The board's MAC address, such as 00:0a:ff:10:20:3b; with --from, the "
                                      "boards to number (all that answer the search when none is given)."),
                       QStringLiteral("[MAC...]"));
    if (const std::optional<CliStatus> end = line.Parse(arguments, context, 0, -1))
        return *end;
    const bool plan = line.Parser().isSet(kPlan);
    const bool from = line.Parser().isSet(kFrom);
    if (plan && from)
        return line.Fail(context, QStringLiteral("--plan and --from exclude each other"));
    if (plan)
        return SetPlan(line, context);
    if (from)
        return SetFrom(line, context);
    return SetOne(line, context);
}
