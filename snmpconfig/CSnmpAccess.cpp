#include "snmpconfig/CSnmpAccess.h"

#include "core/BoardMib.h"
#include "core/BoardOperations.h"
#include "core/SnmpReading.h"
#include "core/SnmpTransport.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace {

struct SessionCloser
{
    void operator()(netsnmp_session* session) const { snmp_close(session); }
};
using SessionPtr = std::unique_ptr<netsnmp_session, SessionCloser>;

// Net-SNMP keeps its open sessions in one list for the whole process, and snmp_synch_response
// reads all of them: a second request (from a timer that fires during a wait, say) must not start
// while the first one's thread is still in there.
class RequestSlot
{
  public:
    RequestSlot() : m_taken(!s_inFlight.exchange(true)) {}
    ~RequestSlot()
    {
        if (m_taken)
            s_inFlight = false;
    }
    RequestSlot(const RequestSlot&) = delete;
    RequestSlot& operator=(const RequestSlot&) = delete;

    bool Taken() const { return m_taken; }
    static bool Waiting() { return s_inFlight; }

  private:
    static inline std::atomic<bool> s_inFlight{false};
    const bool m_taken;
};

Task<bool> CommitAccepted(BoardLink& link)
{
    co_return Succeeded(co_await link.Commit());
}

} // namespace

// The operations' requests, sent one at a time through Get and Set: each is answered before Send
// returns.
class CSnmpAccess::Transport final : public SnmpTransport
{
  public:
    explicit Transport(CSnmpAccess& access) : m_access(access) {}

    void Send(const SnmpRequest& request, Done done) override
    {
        // request.timeoutUs goes unused: the window keeps its own rule (see Request), by which the
        // first SET of the run lengthens every later wait, whichever board it went to.
        const std::vector<SnmpVarSpec> list = VarSpecs(request);
        SnmpResponse response;
        netsnmp_pdu* reply = nullptr;
        const auto send = request.command == SNMP_MSG_SET ? &CSnmpAccess::Set : &CSnmpAccess::Get;
        response.sent = (m_access.*send)(request.peer.c_str(), list.data(),
                                         static_cast<unsigned>(list.size()), response.status, reply) == 1;
        if (response.sent)
            response.reply.reset(reply);
        done(std::move(response));
    }

  private:
    CSnmpAccess& m_access;
};

CSnmpAccess::CSnmpAccess() : m_transport(std::make_unique<Transport>(*this))
{
    InitSnmpLibrary();
    m_template = SessionTemplate(kGetTimeoutUs);
}

CSnmpAccess::~CSnmpAccess() = default;

long CSnmpAccess::TimeoutMicroseconds() const
{
    return m_template.timeout;
}

int CSnmpAccess::Get(const char* peer, const SnmpVarSpec* vars, unsigned count, int& status,
                     netsnmp_pdu*& reply)
{
    return Request(SNMP_MSG_GET, peer, vars, count, status, reply);
}

int CSnmpAccess::Set(const char* peer, const SnmpVarSpec* vars, unsigned count, int& status,
                     netsnmp_pdu*& reply)
{
    return Request(SNMP_MSG_SET, peer, vars, count, status, reply);
}

int CSnmpAccess::Request(int command, const char* peer, const SnmpVarSpec* vars, unsigned count, int& status,
                         netsnmp_pdu*& reply)
{
    const RequestSlot slot;
    if (!slot.Taken())
        return 0;
    // From the first SET of the run on, every request waits the longer time.
    if (command == SNMP_MSG_SET)
        m_template.timeout = kSetTimeoutUs;
    std::string peerName = PeerName(peer ? peer : "", m_agentPort);

    int result = 0;
    const auto exchange = [&] { result = SendAndWait(command, peerName.data(), vars, count, status, reply); };
    // A copy, so that the hook may be replaced while it runs.
    if (const WaitHook hook = m_waitHook)
        hook(exchange);
    else
        exchange();
    return result;
}

int CSnmpAccess::SendAndWait(int command, char* peerName, const SnmpVarSpec* vars, unsigned count,
                             int& status, netsnmp_pdu*& reply)
{
    m_template.peername = peerName;
    SessionPtr session(snmp_open(&m_template));
    m_template.peername = nullptr;
    if (!session) {
        snmp_sess_perror(command == SNMP_MSG_SET ? "snmpset" : "snmpget", &m_template);
        return 0;
    }

    netsnmp_pdu* request = BuildPdu(command, std::span(vars, count));
    if (request == nullptr) {
        // Out of memory: nothing is sent, as when the session does not open.
        snmp_log(LOG_ERR, "%s: cannot create the request\n", command == SNMP_MSG_SET ? "snmpset" : "snmpget");
        return 0;
    }

    reply = nullptr;
    status = snmp_synch_response(session.get(), request, &reply);
    return 1;
}

int CSnmpAccess::Commit(const char* peer)
{
    BoardLink link(*m_transport, peer);
    return RunToEnd(CommitAccepted(link)) ? 1 : 0;
}

bool CSnmpAccess::Succeeded(int result, int status, const netsnmp_pdu* reply)
{
    return ::Succeeded(result == 1, status, reply);
}

int CSnmpAccess::ReadReply(const netsnmp_pdu* reply, const ReadEntry* table, size_t count)
{
    std::vector<ExpectedVariable> entries;
    for (size_t i = 0; i < count; ++i)
        entries.push_back({table[i].name, table[i].nameLength, 0, table[i].field});
    return ReadReplyLeniently(reply, entries.data(), entries.size());
}

int CSnmpAccess::ParseSerialReply(const netsnmp_pdu* reply, SerialSettings& settings)
{
    return ReadSerialReplyLeniently(reply, settings);
}

int CSnmpAccess::GetSerialSettings(const char* peer, SerialSettings& settings)
{
    BoardLink link(*m_transport, peer);
    BoardSerial serial{settings, true};
    const bool read = RunToEnd(ReadSerial(link, serial, SnmpPolicy::Dialog)).IsDone();
    settings = serial.settings;
    return read ? 1 : 0;
}

int CSnmpAccess::SetSerialSettings(const char* peer, const SerialSettings& settings)
{
    BoardLink link(*m_transport, peer);
    return RunToEnd(WriteSerial(link, BoardSerial{settings, true}, SnmpPolicy::Dialog)).IsDone() ? 1 : 0;
}

int CSnmpAccess::ParseGpioReply(const netsnmp_pdu* reply, GpioSettings& settings) const
{
    const auto variables = BoardMib::GpioVariables(m_gpioPort, settings);
    const std::vector<ExpectedVariable> table = ExpectedVariables(variables);
    return ReadReplyLeniently(reply, table.data(), table.size());
}

int CSnmpAccess::GetGpioSettings(const char* peer, int port, GpioSettings& settings)
{
    m_gpioPort = port;
    BoardLink link(*m_transport, peer);
    return RunToEnd(ReadGpioPort(link, port, settings, SnmpPolicy::Dialog)).IsDone() ? 1 : 0;
}

int CSnmpAccess::SetGpioSettings(const char* peer, int port, const GpioSettings& settings)
{
    m_gpioPort = port;
    BoardLink link(*m_transport, peer);
    return RunToEnd(WriteGpioPort(link, port, settings, SnmpPolicy::Dialog)).IsDone() ? 1 : 0;
}
