#pragma once

#include <QString>

struct CliContext;

// Where a batch is, on stderr, for a user watching a terminal: "\rapply: [3/10] 192.0.2.10" over
// the line before, cleared at the end. Shows nothing unless stderr is a terminal
// (CliContext::progress) and there is more than one board.
class Progress
{
  public:
    Progress(CliContext& context, const QString& command, qsizetype total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Show(qsizetype index, const QString& board);
    // For a batch that grows while it runs (boards as a search lists them).
    void SetTotal(qsizetype total);

  private:
    CliContext& m_context;
    QString m_command;
    qsizetype m_total;
    qsizetype m_width = 0;
    bool m_shown;
};
