#pragma once

#include "snmpconfig/GpioSettings.h"
#include "snmpconfig/SerialSettings.h"
#include "snmpconfig/SnmpStrictRead.h"
#include "snmpconfig/SnmpVarSpec.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// The tool's only SNMP client: SNMPv2c requests to a board's enterprise MIB, one synchronous
// request at a time, each on a session of its own opened from a template. The window uses the
// program's instance (Instance()); a program without windows, or a test, may make its own.
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

    static constexpr uint16_t kAgentPort = 161;
    static constexpr long kGetTimeoutUs = 5000000;
    static constexpr long kSetTimeoutUs = 10000000;

    static CSnmpAccess& Instance();
    CSnmpAccess();
    virtual ~CSnmpAccess();

    // How a request waits, for the whole process: hook(exchange) runs exchange exactly once and
    // returns when it has ended; it may run it on another thread, provided the calling thread
    // uses no Net-SNMP meanwhile. Without a hook the exchange blocks the calling thread. The GUI
    // installs one that keeps its windows painting while no input reaches them.
    using WaitHook = std::function<void(const std::function<void()>& exchange)>;
    static void SetWaitHook(WaitHook hook);

    // 1: the request was sent and its wait ended; status (STAT_SUCCESS, STAT_ERROR, STAT_TIMEOUT)
    // and reply (null when none came) are set. 0: no session could be opened, or another request
    // of the process is still waiting; nothing was sent, status and reply are left alone.
    int Get(const char* peer, const SnmpVarSpec* vars, unsigned count, int& status, netsnmp_pdu*& reply);
    int Set(const char* peer, const SnmpVarSpec* vars, unsigned count, int& status, netsnmp_pdu*& reply);
    // Writes 1 to the commit variable; 1 when the board accepted it.
    int Commit(const char* peer);

    // What became of one request: whether it was sent, and if so its status and the reply's
    // error-status (0 when no reply came).
    struct RequestOutcome
    {
        bool sent = false;
        int status = 0;
        long errorStatus = 0;
        bool succeeded = false; // as Succeeded judges it
    };
    // Called after every Get and Set of this object, on the calling thread, before it returns; a
    // front end that reports why an operation failed (a timeout, a refusal) installs one.
    void SetRequestObserver(std::function<void(const RequestOutcome&)> observer);

    // Success test shared by all callers.
    static bool Succeeded(int result, int status, const netsnmp_pdu* reply);

    // The reply reading rule: every variable of the reply must carry a value and match one entry
    // of the table (first match wins); its value then goes into that entry's field. Fields that
    // no variable names keep their value. A failed reading may leave the record partly filled.
    static int ReadReply(const netsnmp_pdu* reply, const ReadEntry* table, size_t count);

    // The board's variables of each settings record, with their types, filling the given record:
    // what the Get/Set*Settings functions below send, for a front end that sends the requests
    // itself (GetVariables, SetVariables) and reads the replies strictly (ReadReplyStrictly).
    // Serial: the seven that travel together, then the port number, which travels alone.
    static constexpr size_t kSerialVariableCount = 8;
    static constexpr size_t kSerialPortIndex = 7;
    static std::array<ExpectedVariable, kSerialVariableCount> SerialVariables(SerialSettings& settings);
    // I/O: the manager address, the period, then port's mode, state, initial state, trap state and
    // trap time. The port's names are this object's, valid until its next I/O request or call of this;
    // not while a request of this object is waiting.
    static constexpr size_t kGpioVariableCount = 7;
    std::array<ExpectedVariable, kGpioVariableCount> GpioVariables(int port, GpioSettings& settings);
    // The places in GpioVariables of what a SET of a port in mode carries: the manager, the period,
    // the mode, and state and initial state (OUTPUT) or trap state and trap time (INPUT). Empty for
    // another mode, which has no SET.
    static std::vector<size_t> GpioWrittenVariables(int32_t mode);
    // Get and Set of such variables; a SET sends the values their fields hold.
    int GetVariables(const char* peer, const ExpectedVariable* vars, size_t count, int& status,
                     netsnmp_pdu*& reply);
    int SetVariables(const char* peer, const ExpectedVariable* vars, size_t count, int& status,
                     netsnmp_pdu*& reply);

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
    CSnmpAccess(const CSnmpAccess&) = delete;
    CSnmpAccess& operator=(const CSnmpAccess&) = delete;

    int Request(int command, const char* peer, const SnmpVarSpec* vars, unsigned count, int& status,
                netsnmp_pdu*& reply);
    // Open, send, wait, close: the blocking part of a request, run by the wait hook.
    int SendAndWait(int command, char* peerName, const SnmpVarSpec* vars, unsigned count, int& status,
                    netsnmp_pdu*& reply);
    int Observed(int result, int status, const netsnmp_pdu* reply) const;
    void SetGpioPort(int port);
    // GpioVariables for the port last set.
    std::array<ExpectedVariable, kGpioVariableCount> GpioTable(GpioSettings& settings) const;

    netsnmp_session m_template;
    std::function<void(const RequestOutcome&)> m_requestObserver;
    uint16_t m_agentPort = kAgentPort;
    // Mode, state, initial state, trap state and trap time of the port last asked for.
    static constexpr size_t kPortVariableCount = 5;
    static constexpr size_t kPortOidLength = 14;
    oid m_gpioPortOids[kPortVariableCount][kPortOidLength];
};
