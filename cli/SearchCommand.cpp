// search: every board that answers one search, as the node list window lists them.
#include "cli/AddressChange.h"
#include "cli/CliContext.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/NodeExchange.h"
#include "resources/TextParsers.h"

#include <QTextStream>

namespace {

const QString kTimeout = QStringLiteral("timeout");
constexpr int kMaxSearchWaitMs = 60000;

} // namespace

CliStatus RunSearch(const QStringList& arguments, CliContext& context)
{
    CommandLine line(
        QStringLiteral("search"),
        QStringLiteral("Broadcasts one search on every network interface and lists each board "
                       "that answers, in the order the replies came: MAC, IP address, subnet mask, "
                       "gateway, DHCP, and the interface it answered on. A board that answers more "
                       "than once is listed once; replies with one MAC but other settings or from "
                       "another address are boards of their own, marked as sharing the MAC."));
    line.AddFormatOption();
    line.Parser().addOption(
        {kTimeout,
         QStringLiteral("How long to wait for replies, in ms (default %1, as the window).")
             .arg(NodeExchange::kSearchWait.count()),
         QStringLiteral("MS")});
    if (const std::optional<CliStatus> end = line.Parse(arguments, context, 0, 0))
        return *end;
    std::chrono::milliseconds wait = NodeExchange::kSearchWait;
    if (line.Parser().isSet(kTimeout)) {
        const std::optional<qint32> ms = ParseSignedInt(line.Parser().value(kTimeout));
        if (!ms || *ms < 1 || *ms > kMaxSearchWaitMs)
            return line.Fail(
                context,
                QStringLiteral("--timeout: expected a whole number from 1 to %1").arg(kMaxSearchWaitMs));
        wait = std::chrono::milliseconds(*ms);
    }

    NodeExchange exchange(context.err);
    QList<FoundBoard> boards;
    QString problem;
    if (exchange.Search(wait, boards, problem) != CliStatus::Done) {
        context.err << ProgramName() << ": search: " << problem << '\n';
        return CliStatus::NotSent;
    }
    PrintRecords(SearchRecords(boards), line.Format(), context.out);
    return CliStatus::Done;
}
