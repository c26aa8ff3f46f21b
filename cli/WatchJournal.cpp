#include "cli/WatchJournal.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <cerrno>
#include <cstring>
#include <sys/file.h>
#include <unistd.h>

namespace {

QString ErrnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

std::optional<JournalEntry> ParseLine(const QByteArray& line)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return EntryFromRecord(document.object());
}

} // namespace

bool ReadJournal(const QByteArray& text, QList<JournalEntry>& entries, bool& incomplete, QString& error)
{
    entries.clear();
    incomplete = false;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].trimmed().isEmpty())
            continue;
        std::optional<JournalEntry> entry = ParseLine(lines[i]);
        if (!entry && i + 1 == lines.size()) {
            incomplete = true;
            break;
        }
        if (!entry) {
            error = QStringLiteral("line %1 is not a record of lanfinch-cli watch").arg(i + 1);
            entries.clear();
            return false;
        }
        entry->line = static_cast<int>(i + 1);
        entries << *entry;
    }
    return true;
}

QList<PlannedAddress> HandedOut(const QList<JournalEntry>& entries)
{
    QList<PlannedAddress> latest;
    for (const JournalEntry& entry : entries) {
        latest.removeIf([&](const PlannedAddress& planned) { return planned.mac == entry.mac; });
        if (!entry.planned.dhcp && entry.planned.ip != 0)
            latest << entry.planned;
    }
    return latest;
}

bool WatchJournal::Open(const QString& path, QString& error)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadWrite)) {
        error = QStringLiteral("%1: %2").arg(path, m_file.errorString());
        return false;
    }
    if (::flock(m_file.handle(), LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? QStringLiteral("%1: another station is using this journal").arg(path)
                                     : QStringLiteral("%1: cannot lock it: %2").arg(path, ErrnoText());
        m_file.close();
        return false;
    }
    const QByteArray text = m_file.readAll();
    bool incomplete = false;
    if (!ReadJournal(text, m_earlier, incomplete, error)) {
        error = QStringLiteral("%1: %2").arg(path, error);
        m_file.close();
        return false;
    }
    if (incomplete)
        m_warning = QStringLiteral("%1: its last line is incomplete (an interrupted write?) and was ignored")
                        .arg(path);
    m_needsNewline = !text.isEmpty() && !text.endsWith('\n');
    return true;
}

bool WatchJournal::Append(const QJsonObject& record, QString& error)
{
    QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
    if (m_needsNewline)
        line.prepend('\n');
    if (m_file.write(line) != line.size() || !m_file.flush()) {
        error = QStringLiteral("%1: %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    m_needsNewline = false;
    // On the disk, not only with the system: a station may lose its power.
    if (::fsync(m_file.handle()) != 0) {
        error = QStringLiteral("%1: %2").arg(m_file.fileName(), ErrnoText());
        return false;
    }
    return true;
}
