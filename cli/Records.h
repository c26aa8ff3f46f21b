#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QTextStream;

enum class OutputFormat
{
    Table,
    Json,
    Csv,
};

std::optional<OutputFormat> ParseOutputFormat(const QString& text);

// What a command prints: rows under named columns for the table and CSV forms, and the JSON
// document that carries the same records.
struct Records
{
    QStringList columns;
    QList<QStringList> rows;
    QJsonDocument json;
};

// Table: left-aligned columns two blanks apart under a header line. CSV: a header line, then
// one line per row, fields quoted where they need it (RFC 4180). JSON: indented.
void PrintRecords(const Records& records, OutputFormat format, QTextStream& out);

// Records printed one at a time as they come, by a command that runs until it is stopped: a table
// under its header line (printed first), each column as wide as given and a longer field pushing
// the rest of its line, or JSON Lines: one compact object per line. Each is flushed as printed.
class RecordStream
{
  public:
    // format: Table or Json.
    RecordStream(OutputFormat format, QTextStream& out, const QStringList& columns,
                 const QList<qsizetype>& widths);
    void Print(const QStringList& row, const QJsonObject& object);

  private:
    OutputFormat m_format;
    QTextStream& m_out;
    QList<qsizetype> m_widths;
};
