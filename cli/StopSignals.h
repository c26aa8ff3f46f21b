#pragma once

#include <QList>
#include <QString>

#include <csignal>

// SIGINT and SIGTERM as news to poll for, from construction to destruction, instead of the end of
// the process: the handler only writes the signal's number to a pipe, which Take() reads. The
// handlers before are restored at destruction. One instance at a time.
//
// Threads: any thread may receive the signals; Take() on one.
class StopSignals
{
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // False when the pipe could not be made: the signals then end the process as before.
    bool IsWatching() const;
    // The signals that arrived since the last call, oldest first.
    QList<int> Take();

    // "SIGINT", "SIGTERM".
    static QString Name(int signal);

  private:
    struct sigaction m_oldInterrupt
    {
    };
    struct sigaction m_oldTerminate
    {
    };
};
