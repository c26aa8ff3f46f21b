#pragma once

#include "cli/CliStatus.h"

#include <QList>
#include <QString>

#include <string>
#include <utility>

class CSnmpAccess;
struct GpioSettings;
struct SerialSettings;

// One board's serial and I/O settings through CSnmpAccess, with the reason when an operation
// fails: no reply (NoReply), not sent (NotSent), refused or unreadable (Refused). The requests
// and the commit are CSnmpAccess's, as the settings dialogs send them; a write counts as done only
// when its commit was accepted too.
//
// Threads: the thread that owns the CSnmpAccess. Installs its request observer on the access
// object for the duration of each operation.
class SnmpBoard
{
  public:
    // address: the board's dotted IPv4 text.
    SnmpBoard(CSnmpAccess& access, const QString& address);

    CliStatus ReadSerial(SerialSettings& settings, QString& message);
    CliStatus WriteSerial(const SerialSettings& settings, QString& message);
    // port: 1..8
    CliStatus ReadGpio(int port, GpioSettings& settings, QString& message);
    CliStatus WriteGpio(int port, const GpioSettings& settings, QString& message);
    // Reads the ports in this order, each with its number; stops at the first failure.
    CliStatus ReadGpioPorts(const QList<int>& ports, QList<std::pair<int, GpioSettings>>& read,
                            QString& message);

    const QString& Address() const { return m_address; }

  private:
    class Recorder;

    CSnmpAccess& m_access;
    QString m_address;
    std::string m_peer;
};

// Every I/O port of a board, 1 to 8.
QList<int> AllGpioPorts();
