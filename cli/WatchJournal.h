#pragma once

#include "cli/WatchRecord.h"

#include <QByteArray>
#include <QFile>
#include <QJsonObject>
#include <QList>
#include <QString>

// The journal of `watch`: one record per line (JSON Lines), the record of every board a run
// handled, appended by each run. What earlier runs wrote decides what a run leaves alone: the
// boards done, and the addresses they were given.

// The entries of a journal's text. A line that is not a record is an error naming it, except a
// last line without its newline, which an interrupted write leaves behind: that one is ignored,
// and incomplete says so.
bool ReadJournal(const QByteArray& text, QList<JournalEntry>& entries, bool& incomplete, QString& error);

// The fixed addresses that the journal's boards were given, each board's latest (the addresses
// a run must not hand out to another board).
QList<PlannedAddress> HandedOut(const QList<JournalEntry>& entries);

// The journal file of one run: opened (created when missing), locked so that no second station
// uses it at the same time, read, then appended to, each record on the disk once Append returns.
//
// Threads: one.
class WatchJournal
{
  public:
    // False with the reason when it cannot be opened, read or locked, or a line is no record.
    bool Open(const QString& path, QString& error);
    bool IsOpen() const { return m_file.isOpen(); }
    const QList<JournalEntry>& Earlier() const { return m_earlier; }
    // A line ignored at Open (see ReadJournal), or empty.
    const QString& Warning() const { return m_warning; }
    bool Append(const QJsonObject& record, QString& error);

  private:
    QFile m_file;
    QList<JournalEntry> m_earlier;
    QString m_warning;
    bool m_needsNewline = false;
};
