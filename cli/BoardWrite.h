#pragma once

#include "cli/CliStatus.h"
#include "cli/Records.h"

#include <QList>
#include <QString>

class CommandLine;
class SnmpBoard;
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

// Writes a change to one board as the settings dialogs would: reads every section and port it
// touches, fills in what the change does not give from what the board reported, checks the
// records, and only then writes them, each followed by its commit. With verify, reads everything
// back after the last commit and compares what was written. Stops at the first failure; its detail
// says which records had been written before.
BoardResult WriteSettings(SnmpBoard& board, const SettingsChange& change, bool verify);

// One row per board: board, result, detail; in JSON with the numeric status too.
Records ResultRecords(const QList<BoardResult>& results);

// Writes the change to the board at address, prints its result row in the command's format and
// returns its status: the end of every command that writes one board.
CliStatus WriteAndReport(CliContext& context, const QString& address, const SettingsChange& change,
                         const CommandLine& line);
