#include "cli/AddressBatch.h"

#include "cli/Progress.h"

#include <arpa/inet.h>

#include <algorithm>

namespace {

// "line 3 (02:4c:46:00:53:0a)" for a plan read from a file, the MAC alone for one made up.
QString Name(const PlannedAddress& entry)
{
    return entry.line > 0 ? QStringLiteral("line %1 (%2)").arg(entry.line).arg(MacText(entry.mac))
                          : MacText(entry.mac);
}

qsizetype PlanIndex(const QList<PlannedAddress>& plan, const NodeInfo::MacAddress& mac)
{
    for (qsizetype i = 0; i < plan.size(); ++i) {
        if (plan[i].mac == mac)
            return i;
    }
    return -1;
}

// A set-address request names a board by its MAC only: where several answer with it, every one
// of them would take the settings.
QString SharedMacProblem(const QList<PlannedAddress>& plan, const QList<FoundBoard>& found)
{
    for (const PlannedAddress& entry : plan) {
        QStringList addresses;
        for (const FoundBoard& board : found) {
            if (board.record.GetMac() == entry.mac && board.sharedMac)
                addresses << HostAddressText(CurrentAddress(board));
        }
        if (!addresses.isEmpty())
            return QStringLiteral(
                       "%1: %2 boards answer with this MAC (%3); a set-address request would change "
                       "them all")
                .arg(Name(entry))
                .arg(addresses.size())
                .arg(addresses.join(QStringLiteral(", ")));
    }
    return {};
}

// Why the board of plan[holder], which holds entry's address now, cannot give it up before entry
// takes it; empty when it can.
QString HolderProblem(const PlannedAddress& entry, const PlannedAddress& holder, const FoundBoard& board)
{
    const QString address = HostAddressText(entry.ip);
    if (holder.dhcp)
        return QStringLiteral("%1: %2 is in use by %3, which switches to DHCP and may keep it until a DHCP "
                              "server answers")
            .arg(Name(entry), address, Name(holder));
    const std::optional<NetworkSettings> sent = SettingsToSend(holder, board.record.GetSettings());
    if (!sent || ntohl(sent->GetIpAddress()) == entry.ip)
        return QStringLiteral("%1: %2 is in use by %3, which keeps it")
            .arg(Name(entry), address, Name(holder));
    return {};
}

// Fills holders (per entry, the plan entries whose boards hold its address now); the first
// address that cannot be had gives the reason.
QString AddressProblem(const QList<PlannedAddress>& plan, const QList<FoundBoard>& found,
                       const QList<quint32>& ownAddresses, QList<QList<qsizetype>>& holders)
{
    holders = QList<QList<qsizetype>>(plan.size());
    for (qsizetype i = 0; i < plan.size(); ++i) {
        const PlannedAddress& entry = plan[i];
        if (entry.dhcp)
            continue;
        if (ownAddresses.contains(entry.ip))
            return QStringLiteral("%1: %2 is an address of this computer")
                .arg(Name(entry), HostAddressText(entry.ip));
        for (const FoundBoard& board : found) {
            if (CurrentAddress(board) != entry.ip)
                continue;
            const qsizetype holder = PlanIndex(plan, board.record.GetMac());
            if (holder == i || holders[i].contains(holder))
                continue;
            if (holder < 0)
                return QStringLiteral("%1: %2 is in use by %3, which the plan does not change")
                    .arg(Name(entry), HostAddressText(entry.ip), MacText(board.record.GetMac()));
            if (const QString problem = HolderProblem(entry, plan[holder], board); !problem.isEmpty())
                return problem;
            holders[i] << holder;
        }
    }
    return {};
}

// Two or more boards that would each take the address of the next: no order works.
QString CycleText(const QList<PlannedAddress>& plan, const QList<QList<qsizetype>>& holders,
                  const QList<bool>& placed)
{
    qsizetype at = placed.indexOf(false);
    QList<qsizetype> path;
    while (!path.contains(at)) {
        path << at;
        const QList<qsizetype>& from = holders[at];
        at = *std::find_if(from.cbegin(), from.cend(), [&](qsizetype h) { return !placed[h]; });
    }
    path = path.mid(path.indexOf(at));
    QStringList steps;
    for (qsizetype k = 0; k < path.size(); ++k) {
        const PlannedAddress& entry = plan[path[k]];
        const PlannedAddress& holder = plan[path[(k + 1) % path.size()]];
        steps << QStringLiteral("%1 takes %2 from %3")
                     .arg(Name(entry), HostAddressText(entry.ip), Name(holder));
    }
    return steps.join(QStringLiteral(", ")) +
           QStringLiteral(
               ": in no order can they change without two boards on one address; give one of them a "
               "free address first (a plan of its own), then run this plan");
}

std::optional<QList<QList<qsizetype>>> Waves(const QList<PlannedAddress>& plan,
                                             const QList<QList<qsizetype>>& holders, QString& error)
{
    QList<QList<qsizetype>> waves;
    QList<bool> placed(plan.size(), false);
    qsizetype placedCount = 0;
    for (;;) {
        QList<qsizetype> wave;
        for (qsizetype i = 0; i < plan.size(); ++i) {
            // Holders placed in an earlier wave; this wave's entries are marked once it is complete.
            if (!placed[i] &&
                std::all_of(holders[i].cbegin(), holders[i].cend(), [&](qsizetype h) { return placed[h]; }))
                wave << i;
        }
        if (wave.isEmpty())
            break;
        for (const qsizetype i : wave)
            placed[i] = true;
        placedCount += wave.size();
        waves << wave;
    }
    if (placedCount < plan.size()) {
        error = CycleText(plan, holders, placed);
        return std::nullopt;
    }
    return waves;
}

QString HoldOutText(const PlannedAddress& entry, const PlannedAddress& holder)
{
    return QStringLiteral("not sent: %1 did not give up %2").arg(Name(holder), HostAddressText(entry.ip));
}

// Searches until every changed board of the wave shows its new settings, for up to kConfirmRounds.
void Confirm(NodeExchange& exchange, const QList<PlannedAddress>& plan, const QList<qsizetype>& wave,
             QList<AddressChangeResult>& results)
{
    QList<qsizetype> pending;
    for (const qsizetype i : wave) {
        if (results[i].status == CliStatus::Done)
            pending << i;
    }
    QList<std::optional<NetworkSettings>> seen(plan.size());
    QString problem;
    for (int round = 0; round < kConfirmRounds && !pending.isEmpty(); ++round) {
        QList<FoundBoard> boards;
        const SearchDone allConfirmed = [&](const QList<FoundBoard>& listed) {
            return std::all_of(pending.cbegin(), pending.cend(),
                               [&](qsizetype i) { return Confirmed(listed, plan[i]); });
        };
        if (exchange.Search(NodeExchange::kSearchWait, boards, problem, allConfirmed) != CliStatus::Done)
            break;
        problem.clear();
        for (const qsizetype i : std::as_const(pending)) {
            if (const FoundBoard* board = FindBoard(boards, plan[i].mac)) {
                seen[i] = board->record.GetSettings();
                results[i].reported = seen[i];
            }
        }
        pending.removeIf([&](qsizetype i) {
            if (!Confirmed(boards, plan[i]))
                return false;
            MarkConfirmed(results[i]);
            return true;
        });
    }
    for (const qsizetype i : std::as_const(pending))
        MarkUnconfirmed(results[i], seen[i], problem);
}

} // namespace

void MarkConfirmed(AddressChangeResult& result)
{
    result.detail += QStringLiteral(" and confirmed by a search");
}

void MarkUnconfirmed(AddressChangeResult& result, const std::optional<NetworkSettings>& seen,
                     const QString& problem)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(kConfirmWait).count();
    result.status = CliStatus::Refused;
    result.result = QStringLiteral("unconfirmed");
    if (!problem.isEmpty())
        result.detail += QStringLiteral(", but it could not be confirmed: ") + problem;
    else if (seen)
        result.detail += QStringLiteral(", but searches for %1 s showed it with %2")
                             .arg(seconds)
                             .arg(NetworkSettingsText(*seen));
    else
        result.detail += QStringLiteral(", but it answered no search for %1 s").arg(seconds);
}

std::optional<PlanOrder> OrderPlan(const QList<PlannedAddress>& plan, const QList<FoundBoard>& found,
                                   const QList<quint32>& ownAddresses, QString& error)
{
    error = SharedMacProblem(plan, found);
    if (!error.isEmpty())
        return std::nullopt;
    PlanOrder order;
    error = AddressProblem(plan, found, ownAddresses, order.holders);
    if (!error.isEmpty())
        return std::nullopt;
    std::optional<QList<QList<qsizetype>>> waves = Waves(plan, order.holders, error);
    if (!waves)
        return std::nullopt;
    order.waves = *waves;
    return order;
}

QList<AddressChangeResult> ChangeInOrder(NodeExchange& exchange, const QList<PlannedAddress>& plan,
                                         const QList<FoundBoard>& found, const PlanOrder& order, bool confirm,
                                         int jobs, Progress& progress)
{
    QList<AddressChangeResult> results(plan.size());
    qsizetype answered = 0;
    for (const QList<qsizetype>& wave : order.waves) {
        QList<qsizetype> sent;
        QList<AddressRequest> requests;
        for (const qsizetype i : wave) {
            const QList<qsizetype>& holders = order.holders[i];
            const auto holdOut = std::find_if(holders.cbegin(), holders.cend(), [&](qsizetype h) {
                return results[h].status != CliStatus::Done;
            });
            AddressRequest request;
            if (holdOut != holders.cend())
                results[i] = {plan[i].mac,
                              CliStatus::NotSent,
                              ResultWord(CliStatus::NotSent),
                              HoldOutText(plan[i], plan[*holdOut]),
                              std::nullopt,
                              std::nullopt,
                              std::nullopt};
            else if (std::optional<AddressChangeResult> result = PrepareChange(plan[i], found, request))
                results[i] = *result;
            else {
                sent << i;
                requests << request;
                continue;
            }
            progress.Show(answered++, MacText(plan[i].mac));
        }
        const QList<SetAddressAnswer> answers = exchange.SetAddresses(
            requests, jobs, [&](qsizetype k) { progress.Show(answered++, MacText(plan[sent[k]].mac)); });
        for (qsizetype k = 0; k < sent.size(); ++k)
            results[sent[k]] = ChangeResult(plan[sent[k]], requests[k], answers[k]);
        if (confirm)
            Confirm(exchange, plan, wave, results);
    }
    for (qsizetype i = 0; i < plan.size(); ++i) {
        if (const FoundBoard* board = FindBoard(found, plan[i].mac))
            results[i].previous = board->record.GetSettings();
    }
    return results;
}

QList<AddressChangeResult> PreviewChanges(const QList<PlannedAddress>& plan, const QList<FoundBoard>& found)
{
    QList<AddressChangeResult> results;
    for (const PlannedAddress& entry : plan) {
        AddressRequest request;
        if (std::optional<AddressChangeResult> result = PrepareChange(entry, found, request)) {
            results << *result;
            continue;
        }
        const NetworkSettings& current = FindBoard(found, entry.mac)->record.GetSettings();
        results << AddressChangeResult{
            entry.mac,
            CliStatus::Done,
            QStringLiteral("would change"),
            QStringLiteral("would send %1; nothing was sent").arg(NetworkSettingsText(request.settings)),
            current,
            current,
            request.settings};
    }
    return results;
}

void AcceptUnchanged(QList<AddressChangeResult>& results)
{
    for (AddressChangeResult& result : results) {
        if (result.result == QLatin1String("unchanged"))
            result.status = CliStatus::Done;
    }
}
