#pragma once

#include "core/BoardOperations.h"
#include "core/SettingsChange.h"

#include <QList>

// How a change is written to one board, for every front end that writes from a change rather
// than from a full record: read every section and port it touches, fill in what it does not give
// from what the board reported, check the records, write them (each followed by its commit,
// strictly: see SnmpPolicy), and with verify read them back and compare. Stops at the first
// failure.

struct PortRecord
{
    int port;
    GpioSettings settings;
};

// The records a change writes, once read and merged.
struct WritePlan
{
    std::optional<BoardSerial> serial;
    QList<PortRecord> ports;
};

struct WriteResult
{
    enum class Kind
    {
        Written, // every record written (and, with verify, read back the same)
        Invalid, // a record would break a setting's rule: nothing written (problem, problemPort)
        Failed,  // a request failed (failure, in phase)
        Differs, // written, but the read-back differs (differences)
    };
    enum class Phase
    {
        Read,
        Write,
        Verify,
    };
    struct Difference
    {
        int port; // 0: serial
        SettingDifference setting;
    };

    Kind kind = Kind::Written;
    Phase phase = Phase::Read;
    SnmpOutcome failure;
    SettingProblem problem;
    int problemPort = 0; // 0: serial
    QList<Difference> differences;
    WritePlan plan;    // what was to be written
    WritePlan written; // what had been written when it stopped
};

Task<WriteResult> WriteChange(BoardLink& link, SettingsChange change, bool verify);
