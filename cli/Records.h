#pragma once

#include <QJsonDocument>
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
