#pragma once

#include "cli/AddressChange.h"
#include "cli/AddressPlan.h"
#include "cli/NodeExchange.h"

#include <QList>
#include <QString>

#include <optional>

class Progress;

// A plan of IP changes as it is carried out: checked against what the search found, put in an
// order in which no two boards ever hold one address, sent, and confirmed by searches.

// The order of a plan's changes: every entry of a wave takes an address that boards of earlier
// waves give up (holders: the plan entries whose boards hold it now).
struct PlanOrder
{
    QList<QList<qsizetype>> waves;   // indexes into the plan
    QList<QList<qsizetype>> holders; // per plan entry
};

// Checks the plan against the search (found) and this computer's own addresses (host order), and
// orders it. nullopt with the reason, naming the line (or the board of a one-board plan), when the
// plan names a board that shares its MAC with another, gives out an address a board outside the
// plan or this computer uses, or an address its holder keeps, or when two boards would have to
// take each other's addresses.
std::optional<PlanOrder> OrderPlan(const QList<PlannedAddress>& plan, const QList<FoundBoard>& found,
                                   const QList<quint32>& ownAddresses, QString& error);

// How long a confirmation looks for the changed boards: a search a second, for up to ten.
inline constexpr int kConfirmRounds = 10;
inline constexpr std::chrono::milliseconds kConfirmWait = kConfirmRounds * NodeExchange::kSearchWait;

// How a change's confirmation ends: confirmed by a search, or unconfirmed (status 3), with what the
// searches showed (seen: the settings the board reported last, if it answered any) or why none
// could be made (problem).
void MarkConfirmed(AddressChangeResult& result);
void MarkUnconfirmed(AddressChangeResult& result, const std::optional<NetworkSettings>& seen,
                     const QString& problem);

// Carries out the plan in its order: the requests of a wave all go out (up to jobs waiting at
// once) without waiting for each other's replies. With confirm, each wave's changed boards must
// show their new settings to a search before the next wave starts and before they count as done
// ("unconfirmed" otherwise). A board whose address's holder did not give it up is not sent
// anything. One result per plan entry, in the plan's order; progress counts the boards answered.
QList<AddressChangeResult> ChangeInOrder(NodeExchange& exchange, const QList<PlannedAddress>& plan,
                                         const QList<FoundBoard>& found, const PlanOrder& order, bool confirm,
                                         int jobs, Progress& progress);

// What ChangeInOrder would do, sending nothing: per plan entry, in the plan's order, "would change"
// with the settings its request would carry, or what PrepareChange makes of it (unchanged, not
// found). The plan has passed OrderPlan.
QList<AddressChangeResult> PreviewChanges(const QList<PlannedAddress>& plan, const QList<FoundBoard>& found);

// A board that has its settings already counts as done (--unchanged-ok): for scripts that state
// what a board should have rather than what to change.
void AcceptUnchanged(QList<AddressChangeResult>& results);
