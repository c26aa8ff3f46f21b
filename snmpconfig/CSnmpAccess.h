#pragma once

#include "core/GpioSettings.h"
#include "core/SerialSettings.h"
#include "core/SnmpSession.h"
#include "core/SnmpVarSpec.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

class SnmpTransport;

// The window's SNMP client: SNMPv2c requests to a board's enterprise MIB, one synchronous request
// at a time, each on a session of its own opened from a template. The settings operations are the
// board operations of core/BoardOperations.h, judged as the settings dialogs judge them, sent
// through Get and Set. The application makes one and hands it to the window; a test makes its own.
//
// Threads: one thread at a time uses an object (its template is unguarded state), and only one
// request of the whole process runs at a time, since Net-SNMP keeps one list of open sessions.
// A request's exchange (open, send, wait, close) runs where the wait hook runs it.
// Ownership: when Get or Set returns 1 and reply is not null, the caller owns the reply and frees
// it with snmp_free_pdu. The request PDU belongs to Net-SNMP once sent. SnmpVarSpec entries
// and the peer text are borrowed for the duration of the call only.
class CSnmpAccess
{
  public:
    // Where a field of a settings record is filled from; see ReadReply.
    struct ReadEntry
    {
        const oid* name;
        size_t nameLength;
        int32_t* field;
    };

    static constexpr uint16_t kAgentPort = kSnmpAgentPort;

    CSnmpAccess();
    virtual ~CSnmpAccess();

    // How this object's requests wait: hook(exchange) runs exchange exactly once and returns when
    // it has ended; it may run it on another thread, provided the calling thread uses no Net-SNMP
    // meanwhile. Without a hook the exchange blocks the calling thread. The GUI installs one that
    // keeps its windows painting while no input reaches them.
    using WaitHook = std::function<void(const std::function<void()>& exchange)>;
    void SetWaitHook(WaitHook hook) { m_waitHook = std::move(hook); }

    // 1: the request was sent and its wait ended; status (STAT_SUCCESS, STAT_ERROR, STAT_TIMEOUT)
    // and reply (null when none came) are set. 0: no session could be opened, or another request
    // of the process is still waiting; nothing was sent, status and reply are left alone.
    int Get(const char* peer, const SnmpVarSpec* vars, unsigned count, int& status, netsnmp_pdu*& reply);
    int Set(const char* peer, const SnmpVarSpec* vars, unsigned count, int& status, netsnmp_pdu*& reply);
    // Writes 1 to the commit variable; 1 when the board accepted it.
    int Commit(const char* peer);

    // Success test shared by all callers.
    static bool Succeeded(int result, int status, const netsnmp_pdu* reply);

    // The reply reading rule: every variable of the reply must carry a value and match one entry
    // of the table (first match wins); its value then goes into that entry's field. Fields that
    // no variable names keep their value. A failed reading may leave the record partly filled.
    static int ReadReply(const netsnmp_pdu* reply, const ReadEntry* table, size_t count);

    int GetSerialSettings(const char* peer, SerialSettings& settings);
    int SetSerialSettings(const char* peer, const SerialSettings& settings);
    static int ParseSerialReply(const netsnmp_pdu* reply, SerialSettings& settings);

    // port: 1 to 8.
    int GetGpioSettings(const char* peer, int port, GpioSettings& settings);
    int SetGpioSettings(const char* peer, int port, const GpioSettings& settings);
    // Reads the reply for the port of the last GPIO request (1 before any).
    int ParseGpioReply(const netsnmp_pdu* reply, GpioSettings& settings) const;

    // Test seams. With the product port 161 the peer name is the bare address, otherwise
    // "address:port".
    void SetAgentPortForTesting(uint16_t port) { m_agentPort = port; }
    long TimeoutMicroseconds() const;

  private:
    class Transport;

    CSnmpAccess(const CSnmpAccess&) = delete;
    CSnmpAccess& operator=(const CSnmpAccess&) = delete;

    int Request(int command, const char* peer, const SnmpVarSpec* vars, unsigned count, int& status,
                netsnmp_pdu*& reply);
    // Open, send, wait, close: the blocking part of a request, run by the wait hook.
    int SendAndWait(int command, char* peerName, const SnmpVarSpec* vars, unsigned count, int& status,
                    netsnmp_pdu*& reply);

    netsnmp_session m_template;
    uint16_t m_agentPort = kAgentPort;
    int m_gpioPort = 1; // of the last I/O request
    WaitHook m_waitHook;
    std::unique_ptr<Transport> m_transport;
};
