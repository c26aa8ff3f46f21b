#include "cli/Records.h"

#include <QTextStream>

#include <algorithm>

namespace {

QString CsvField(const QString& field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) &&
        !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void PrintCsv(const Records& records, QTextStream& out)
{
    const auto line = [&](const QStringList& fields) {
        QStringList quoted;
        for (const QString& field : fields)
            quoted << CsvField(field);
        out << quoted.join(QLatin1Char(',')) << QLatin1String("\r\n");
    };
    line(records.columns);
    for (const QStringList& row : records.rows)
        line(row);
}

// Left-aligned fields two blanks apart; no blanks at the end of the line, also where the last
// fields are empty.
QString TableLine(const QStringList& fields, const QList<qsizetype>& widths)
{
    QString text;
    for (qsizetype i = 0; i < fields.size() && i < widths.size(); ++i) {
        if (i > 0)
            text += QLatin1String("  ");
        text += i + 1 < fields.size() ? fields[i].leftJustified(widths[i]) : fields[i];
    }
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text + QLatin1Char('\n');
}

void PrintTable(const Records& records, QTextStream& out)
{
    QList<qsizetype> widths;
    for (const QString& column : records.columns)
        widths << column.size();
    for (const QStringList& row : records.rows) {
        for (qsizetype i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    out << TableLine(records.columns, widths);
    for (const QStringList& row : records.rows)
        out << TableLine(row, widths);
}

} // namespace

std::optional<OutputFormat> ParseOutputFormat(const QString& text)
{
    if (text == QLatin1String("table"))
        return OutputFormat::Table;
    if (text == QLatin1String("json"))
        return OutputFormat::Json;
    if (text == QLatin1String("csv"))
        return OutputFormat::Csv;
    return std::nullopt;
}

void PrintRecords(const Records& records, OutputFormat format, QTextStream& out)
{
    switch (format) {
    case OutputFormat::Table:
        PrintTable(records, out);
        break;
    case OutputFormat::Csv:
        PrintCsv(records, out);
        break;
    case OutputFormat::Json:
        out << records.json.toJson(QJsonDocument::Indented);
        break;
    }
    out.flush();
}

RecordStream::RecordStream(OutputFormat format, QTextStream& out, const QStringList& columns,
                           const QList<qsizetype>& widths)
    : m_format(format), m_out(out), m_widths(widths)
{
    for (qsizetype i = 0; i < columns.size() && i < m_widths.size(); ++i)
        m_widths[i] = std::max(m_widths[i], columns[i].size());
    if (m_format == OutputFormat::Table) {
        m_out << TableLine(columns, m_widths);
        m_out.flush();
    }
}

void RecordStream::Print(const QStringList& row, const QJsonObject& object)
{
    if (m_format == OutputFormat::Table)
        m_out << TableLine(row, m_widths);
    else
        m_out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
    m_out.flush();
}
