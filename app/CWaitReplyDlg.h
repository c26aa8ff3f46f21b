#pragma once

#include "resources/CTemplateDialog.h"

#include <QtGlobal>

class QProgressBar;
class QTimerEvent;

// How a reply wait ended: the modal result of CWaitReplyDlg.
enum WaitResult : int
{
    WAIT_RESULT_CANCELLED = 0, // Cancel, Esc or the close box
    WAIT_RESULT_TIMEOUT = 1,   // the dialog's own time-out
    WAIT_RESULT_FAILED = 2,    // ended by the main window: the node replied with a failure
    WAIT_RESULT_SUCCEEDED = 3, // ended by the main window: the node replied with success
};

// The small modal dialog shown while the main window waits for the nodes' replies. Its bar fills in
// ten steps over the wait time; whoever holds a pointer to the running dialog may end it with a code
// (EndDialog), and the first code given wins. GUI thread only.
class CWaitReplyDlg final : public CTemplateDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CWaitReplyDlg)

  public:
    explicit CWaitReplyDlg(quint32 waitTimeMs, QWidget* parent = nullptr);
    ~CWaitReplyDlg() override;

    // The wait a requested time gives: at least 10 ms, rounded down to a multiple of 10 ms, so
    // that it splits into ten equal ticks.
    static quint32 RoundedWaitTime(quint32 requestedMs);

  protected:
    void OnInitDialog() override;
    void OnCancel() override;
    void timerEvent(QTimerEvent* event) override;

  private:
    static constexpr int kStep = 10;

    void StopTimer();

    QProgressBar* m_progress = nullptr;
    quint32 m_waitTime;
    int m_timerId = 0;
};
