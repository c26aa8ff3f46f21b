#pragma once

#include "cli/CliStatus.h"

#include <QList>
#include <QString>

#include <string>
#include <utility>

class CSnmpAccess;
struct BoardSerial;
struct GpioSettings;

// One board's serial and I/O settings through CSnmpAccess, with the reason when an operation
// fails: no reply (NoReply), not sent (NotSent), refused or unreadable (Refused). The requests are
// the settings dialogs', but read and judged strictly: every variable asked for must come back
// exactly once with its own type (only a port number that the board lacks may be missing), and a
// write counts as done only when each of its SETs and its commit were accepted.
//
// A write sends its SETs in order (serial: the seven settings, then the port number; I/O: the
// port's settings) and stops at the first one that fails; the commit goes out only after all of
// them were accepted, so a failed write leaves the board's settings in force, and the message says
// what had been accepted.
//
// Threads: the thread that owns the CSnmpAccess. Installs its request observer on the access
// object for the duration of each request.
class SnmpBoard
{
  public:
    // address: the board's dotted IPv4 text.
    SnmpBoard(CSnmpAccess& access, const QString& address);

    CliStatus ReadSerial(BoardSerial& serial, QString& message);
    // Writes the port number only when serial has one.
    CliStatus WriteSerial(const BoardSerial& serial, QString& message);
    // port: 1..8
    CliStatus ReadGpio(int port, GpioSettings& settings, QString& message);
    CliStatus WriteGpio(int port, const GpioSettings& settings, QString& message);
    // Reads the ports in this order, each with its number; stops at the first failure.
    CliStatus ReadGpioPorts(const QList<int>& ports, QList<std::pair<int, GpioSettings>>& read,
                            QString& message);

    const QString& Address() const { return m_address; }

  private:
    CSnmpAccess& m_access;
    QString m_address;
    std::string m_peer;
};

// Every I/O port of a board, 1 to 8.
QList<int> AllGpioPorts();
