#pragma once

#include "cli/CliStatus.h"
#include "core/BoardOperations.h"
#include "core/SnmpLoop.h"

#include <QList>
#include <QString>

#include <utility>

struct BoardReading;

// One board's serial and I/O settings for lanfinch-cli: the shared board operations, judged
// strictly (SnmpPolicy::Strict), with their outcome as the command's status and message. The
// requests go through the command's SNMP loop; the synchronous calls run it until they are done,
// the coroutines leave that to whoever runs many boards at once.
//
// Threads: the thread that runs the loop.
class SnmpBoard
{
  public:
    // address: the board's dotted IPv4 text.
    SnmpBoard(SnmpLoop& loop, const QString& address);

    CliStatus ReadSerial(BoardSerial& serial, QString& message);
    // Reads the ports in this order, each with its number; stops at the first failure.
    CliStatus ReadGpioPorts(const QList<int>& ports, QList<std::pair<int, GpioSettings>>& read,
                            QString& message);

  private:
    SnmpLoop& m_loop;
    BoardLink m_link;
};

// Runs the loop until the task has ended; its result.
template <class T> T RunOn(SnmpLoop& loop, Task<T> task)
{
    task.Start();
    loop.Run();
    return task.TakeResult();
}

// The ports in order, each with its number; outcome of the first that failed, or done.
Task<SnmpOutcome> ReadGpioPorts(BoardLink& link, QList<int> ports, QList<std::pair<int, GpioSettings>>& read);
// What export prints of a board: serial, then every I/O port; outcome of the first that failed, or
// done.
Task<SnmpOutcome> ReadBoardSettings(BoardLink& link, BoardReading& reading);

// An operation's outcome as lanfinch-cli reports it: its status, and what failed ("reading serial
// settings: no reply in time").
CliStatus StatusOf(const SnmpOutcome& outcome);
QString OutcomeText(const SnmpOutcome& outcome);

// Every I/O port of a board, 1 to 8.
QList<int> AllGpioPorts();
