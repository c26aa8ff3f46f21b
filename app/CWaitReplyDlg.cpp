#include "app/CWaitReplyDlg.h"

#include "resources/ResourceIds.h"

#include <QProgressBar>
#include <QTimerEvent>

#include <algorithm>

CWaitReplyDlg::CWaitReplyDlg(quint32 waitTimeMs, QWidget* parent)
    : CTemplateDialog(IDD_WAIT_REPLY, parent), m_waitTime(waitTimeMs)
{
    m_progress = Item<QProgressBar>(WaitReplyIds::Progress);
}

CWaitReplyDlg::~CWaitReplyDlg()
{
    StopTimer();
}

void CWaitReplyDlg::OnInitDialog()
{
    CTemplateDialog::OnInitDialog();

    m_progress->setValue(0);
    m_waitTime = RoundedWaitTime(m_waitTime);

    StopTimer();
    m_timerId = startTimer(static_cast<int>(m_waitTime / 10), Qt::PreciseTimer);
}

quint32 CWaitReplyDlg::RoundedWaitTime(quint32 requestedMs)
{
    return std::max(requestedMs, 10u) / 10 * 10;
}

void CWaitReplyDlg::OnCancel()
{
    EndDialog(WAIT_RESULT_CANCELLED);
}

void CWaitReplyDlg::timerEvent(QTimerEvent* event)
{
    if (m_timerId == 0 || event->timerId() != m_timerId) {
        CTemplateDialog::timerEvent(event);
        return;
    }
    // A tick already queued when someone else ended the wait must not move the bar or the result.
    if (IsEnded()) {
        StopTimer();
        return;
    }
    m_progress->setValue(m_progress->value() + kStep);
    if (m_progress->value() == m_progress->maximum()) {
        StopTimer();
        EndDialog(WAIT_RESULT_TIMEOUT);
    }
}

void CWaitReplyDlg::StopTimer()
{
    if (m_timerId != 0) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
}
