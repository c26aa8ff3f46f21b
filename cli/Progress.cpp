#include "cli/Progress.h"

#include "cli/CliContext.h"

#include <QTextStream>

#include <algorithm>

Progress::Progress(CliContext& context, const QString& command, qsizetype total)
    : m_context(context), m_command(command), m_total(total), m_shown(context.progress && total > 1)
{
}

Progress::~Progress()
{
    if (m_shown) {
        m_context.err << '\r' << QString(m_width, QLatin1Char(' ')) << '\r';
        m_context.err.flush();
    }
}

void Progress::Show(qsizetype index, const QString& board)
{
    if (!m_shown)
        return;
    const QString text =
        QStringLiteral("%1: [%2/%3] %4").arg(m_command).arg(index + 1).arg(m_total).arg(board);
    m_context.err << '\r' << text.leftJustified(m_width);
    m_context.err.flush();
    m_width = std::max(m_width, text.size());
}

void Progress::SetTotal(qsizetype total)
{
    m_total = total;
    m_shown = m_context.progress && total > 1;
}
