#pragma once

#include "cli/CliStatus.h"
#include "cli/Records.h"
#include "core/Task.h"

#include <QList>
#include <QString>

class CommandLine;
class SnmpTransport;
struct CliContext;
struct SettingsChange;

// What became of one board in a write or a batch.
struct BoardResult
{
    QString board;
    CliStatus status = CliStatus::Done;
    QString result; // ok, invalid, refused, differs, no reply, not sent
    QString detail;
};

// Writes a change to the board at address over transport (core/WriteSequence.h: read what the
// change touches, merge, check, write with commits, with verify read back and compare) and says what
// became of it; a failure's detail names the request and which records had been written before.
Task<BoardResult> WriteBoard(SnmpTransport& transport, QString address, SettingsChange change, bool verify);

// One row per board: board, result, detail; in JSON with the numeric status too.
Records ResultRecords(const QList<BoardResult>& results);

// Writes the change to the board at address, prints its result row in the command's format and
// returns its status: the end of every command that writes one board.
CliStatus WriteAndReport(CliContext& context, const QString& address, const SettingsChange& change,
                         const CommandLine& line);
