#pragma once

#include "cli/AddressPlan.h"
#include "cli/CliStatus.h"
#include "protocol/NetworkSettings.h"
#include "protocol/NodeInfo.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// What `watch` reports of one board as it finishes, on stdout and in its journal: the same record
// as one JSON object, or one line of a table.

// How one step ended: its status, result word (ok, skipped, refused, unconfirmed, no reply, ...)
// and detail.
struct StepOutcome
{
    CliStatus status = CliStatus::Done;
    QString result;
    QString detail;
};

struct BoardRecord
{
    NodeInfo::MacAddress mac{};
    int attempt = 1;
    bool retry = false; // failed, and tried again when it answers a later search
    bool abandoned = false;
    NetworkSettings had;
    std::optional<NetworkSettings> now; // as the board reported them last
    PlannedAddress planned;
    std::optional<StepOutcome> ip; // unset: not reached
    bool withProfile = false;
    std::optional<StepOutcome> profile; // unset: not reached (or no profile)
    std::chrono::milliseconds took{};
    QDateTime finished; // UTC

    // The worst status of its steps; Done when every step succeeded.
    CliStatus Status() const;
    // "ip: the board refused ..." for the first step that failed; empty when done.
    QString FailureText() const;
};

// done, failed or abandoned.
QString RecordResult(const BoardRecord& record);

QJsonObject RecordObject(const BoardRecord& record);
// mac, result, had, now, ip, profile, time, detail.
QStringList RecordRow(const BoardRecord& record);
QStringList RecordColumns();
// Wide enough for the settings of the boards a search listed (had) and of those planned (now).
QList<qsizetype> RecordWidths(const QList<NetworkSettings>& had, const QList<PlannedAddress>& planned);

// What a journal's record says about its board: whether it was done, and the settings it was
// given. nullopt when the object is no record of watch.
struct JournalEntry
{
    NodeInfo::MacAddress mac{};
    bool done = false;
    bool failed = false; // an attempt that ended in a failure, not one abandoned
    CliStatus status = CliStatus::Done;
    PlannedAddress planned;
    int line = 0;
};
std::optional<JournalEntry> EntryFromRecord(const QJsonObject& object);
