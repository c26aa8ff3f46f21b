#pragma once

#include "core/BoardMib.h"
#include "core/SettingsSchema.h"
#include "core/SnmpReading.h"
#include "core/SnmpTransport.h"
#include "core/Task.h"

#include <string>

// The board operations over SNMP, as coroutines over a transport, for the window (through
// CSnmpAccess, one blocking request at a time) and for lanfinch-cli (many boards at once): the
// requests each operation sends, in their order, and how their outcome is judged.

// One board as the operations reach it: where its requests go, and the waiting rule (a GET waits
// the shorter time until the first SET to this board, then every request waits the longer).
class BoardLink
{
  public:
    BoardLink(SnmpTransport& transport, std::string peer) : m_transport(transport), m_peer(std::move(peer)) {}

    Exchange Get(std::span<const MibVariable> variables);
    Exchange Set(std::span<const MibVariable> variables);
    Exchange Commit();
    const std::string& Peer() const { return m_peer; }

  private:
    long Timeout(bool isSet);

    SnmpTransport& m_transport;
    std::string m_peer;
    bool m_setSent = false;
};

// Who judges the outcome, and how.
enum class SnmpPolicy
{
    // The settings dialogs: a read is decided by the request of the seven serial settings (or the
    // I/O request) alone, read leniently; a port number that does not come keeps the default. A
    // write sends its SETs and the commit whatever their outcome, and is decided by its first SET.
    Dialog,
    // lanfinch-cli: every variable must come back exactly once with its own type (only the port
    // number may be lacking); a write stops at the first SET that fails, commits only after all of
    // them were accepted, and is done only when the commit was accepted too.
    Strict,
};

// What became of an operation: done, or which of its requests failed and how.
struct SnmpOutcome
{
    enum class Kind
    {
        Done,
        NotSent,  // no session could be opened, or the request could not go out
        NoReply,  // no answer in time
        Refused,  // answered with an error-status (errorStatus)
        BadReply, // answered with what cannot be read (problem)
        Lacking,  // a variable the board does not have (noSuchObject, noSuchInstance)
        NoList,   // an I/O mode that has no SET list: nothing was sent
    };
    enum class Request
    {
        SerialSettings,   // the seven serial settings
        SerialPortNumber, // the port number, alone
        GpioPort,         // an I/O port's request
        Commit,
    };

    Kind kind = Kind::Done;
    Request request = Request::SerialSettings;
    bool isSet = false; // the failed request was a SET (the commit is one)
    int port = 0;       // the I/O port of a GpioPort request, or of the commit after one; 0: serial
    long errorStatus = 0;
    StrictReadProblem problem;          // BadReply; problem.index or `variable` name the variable
    std::size_t variable = 0;           // Lacking: its place in the request
    std::vector<MibVariable> variables; // the failed request's variables (their fields are not valid)

    bool IsDone() const { return kind == Kind::Done; }
};

// The serial settings: the seven, then the port number alone. With Strict, serial.hasPort says
// whether the board has a port number.
Task<SnmpOutcome> ReadSerial(BoardLink& link, BoardSerial& serial, SnmpPolicy policy);
// The seven, the port number (Dialog: always; Strict: when serial.hasPort) and the commit.
Task<SnmpOutcome> WriteSerial(BoardLink& link, BoardSerial serial, SnmpPolicy policy);
// One I/O port (1..8) with the board's manager address and period.
Task<SnmpOutcome> ReadGpioPort(BoardLink& link, int port, GpioSettings& settings, SnmpPolicy policy);
// What the port's mode writes, then the commit.
Task<SnmpOutcome> WriteGpioPort(BoardLink& link, int port, GpioSettings settings, SnmpPolicy policy);

// The window's reading of one serial reply: the port number first set to the default, then the
// reply read leniently.
int ReadSerialReplyLeniently(const netsnmp_pdu* reply, SerialSettings& settings);
