#pragma once

#include "cli/CliStatus.h"
#include "cli/NodeExchange.h"
#include "cli/Records.h"
#include "cli/SettingsChange.h"

#include <QList>
#include <QString>

#include <optional>

// What `inventory` learns of the boards a search listed, and how it compares them with a settings
// document. Pure; any thread.

// A setting in which a board differs from a document: written is the document's value, read the
// board's (none: the board lacks it). key: "serial.bitrate", "gpio.period", "gpio.port3.mode".
struct CheckDifference
{
    QString key;
    SettingDifference setting;
};

// Only what the document gives: its serial settings, its node-wide I/O settings against those
// port 1 reported, and the ports it lists, each on what its mode writes (as apply's read-back).
QList<CheckDifference> CheckBoard(const SettingsChange& document, const BoardReading& board);
// "serial.bitrate: board 9600, document 115200"
QString CheckDifferenceText(const CheckDifference& difference);

struct InventoryEntry
{
    CliStatus status = CliStatus::Done;
    QString result; // ok, differs, refused, no reply, not sent
    QString detail; // what failed, or with a check: matches, or the differences
    std::optional<BoardReading> reading;
    std::optional<QList<CheckDifference>> check; // when the board was read and checked
};

// A board that was read is compared with the document: it matches, or it differs (status 3).
void CheckEntry(InventoryEntry& entry, const SettingsChange& document);

// One record per board, in the order of boards: its search record (cli/AddressChange.h), its result,
// and its settings as export prints them. Table: a summary line (serial as "TCPSERVER 21347 9600 8N1",
// the ports' modes as "OOIIOOOO"); CSV: every setting in a column of its own ("gpio.port3.mode").
// JSON: with checked, each record has "check" (null for a board that was not read). Only the form of
// format is filled in.
Records InventoryRecords(const QList<FoundBoard>& boards, const QList<InventoryEntry>& entries, bool checked,
                         OutputFormat format);
