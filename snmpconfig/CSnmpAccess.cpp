#include "snmpconfig/CSnmpAccess.h"

#include "protocol/NetworkSettings.h"
#include "snmpconfig/SnmpSettingRules.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct SessionCloser
{
    void operator()(netsnmp_session* session) const { snmp_close(session); }
};
using SessionPtr = std::unique_ptr<netsnmp_session, SessionCloser>;

struct PduFreer
{
    void operator()(netsnmp_pdu* pdu) const { snmp_free_pdu(pdu); }
};
using PduPtr = std::unique_ptr<netsnmp_pdu, PduFreer>;

CSnmpAccess::WaitHook& WaitHookSlot()
{
    static CSnmpAccess::WaitHook hook;
    return hook;
}

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

// Net-SNMP reads configuration and MIB files and keeps persistent state unless told otherwise;
// the tool wants none of that.
void InitLibraryOnce()
{
    static const bool done = [] {
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_QUICK_PRINT, 1);
        return true;
    }();
    (void)done;
}

#define LANFINCH_ENTERPRISE 1, 3, 6, 1, 4, 1, 32473, 1, 4

const oid kCommitOid[] = {LANFINCH_ENTERPRISE, 1, 2, 0};

const oid kSerialMode[] = {LANFINCH_ENTERPRISE, 2, 2, 0};
const oid kSerialPeer[] = {LANFINCH_ENTERPRISE, 2, 4, 0};
const oid kSerialPort[] = {LANFINCH_ENTERPRISE, 2, 5, 0};
const oid kSerialBitRate[] = {LANFINCH_ENTERPRISE, 2, 10, 0};
const oid kSerialDataLength[] = {LANFINCH_ENTERPRISE, 2, 12, 0};
const oid kSerialStopBits[] = {LANFINCH_ENTERPRISE, 2, 15, 0};
const oid kSerialParity[] = {LANFINCH_ENTERPRISE, 2, 20, 0};
const oid kSerialFlow[] = {LANFINCH_ENTERPRISE, 2, 25, 0};

const oid kGpioManager[] = {LANFINCH_ENTERPRISE, 3, 1, 0};
const oid kGpioPeriod[] = {LANFINCH_ENTERPRISE, 3, 2, 0};
const oid kGpioPortTemplate[] = {LANFINCH_ENTERPRISE, 3, 10, 1, 0, 0};
constexpr size_t kPortSubId = 11; // the 12th sub-identifier
constexpr size_t kPortLeafSubId = 12;

constexpr uint32_t kScalarLength = 12;
constexpr uint32_t kPortLength = 14;
static_assert(sizeof(kCommitOid) / sizeof(oid) == kScalarLength);
static_assert(sizeof(kGpioPortTemplate) / sizeof(oid) == kPortLength);

// The serial settings' variables, each with its type and its field: the seven that travel
// together, then the port number, which travels alone.
struct SerialVariable
{
    const oid* name;
    u_char type;
    int32_t SerialSettings::*field;
};
const SerialVariable kSerialVariables[] = {
    {kSerialMode, ASN_INTEGER, &SerialSettings::connectionMode},
    {kSerialPeer, ASN_IPADDRESS, &SerialSettings::peerAddress},
    {kSerialBitRate, ASN_INTEGER, &SerialSettings::bitRate},
    {kSerialDataLength, ASN_INTEGER, &SerialSettings::dataLength},
    {kSerialStopBits, ASN_INTEGER, &SerialSettings::stopBits},
    {kSerialParity, ASN_INTEGER, &SerialSettings::parity},
    {kSerialFlow, ASN_INTEGER, &SerialSettings::flowControl},
    {kSerialPort, ASN_INTEGER, &SerialSettings::portNumber},
};
static_assert(std::size(kSerialVariables) == CSnmpAccess::kSerialVariableCount);

// Which I/O variables (by their place in GpioVariables) a SET of an OUTPUT or an INPUT port carries.
constexpr size_t kOutputWrites[] = {0, 1, 2, 3, 4};
constexpr size_t kInputWrites[] = {0, 1, 2, 5, 6};

std::string Decimal(int64_t value)
{
    return std::to_string(value);
}

// The value of a variable as a SET carries it: a decimal number or dotted IPv4 text.
std::string ValueText(const ExpectedVariable& variable)
{
    if (variable.type == ASN_IPADDRESS)
        return DottedText(static_cast<uint32_t>(*variable.field));
    return Decimal(*variable.field);
}

std::vector<CSnmpAccess::ReadEntry> ReadTable(const ExpectedVariable* variables, size_t count)
{
    std::vector<CSnmpAccess::ReadEntry> table;
    for (size_t i = 0; i < count; ++i)
        table.push_back({variables[i].name, variables[i].nameLength, variables[i].field});
    return table;
}

bool IsException(u_char type)
{
    return type == SNMP_NOSUCHOBJECT || type == SNMP_NOSUCHINSTANCE || type == SNMP_ENDOFMIBVIEW;
}

// Reads the 32-bit value at the start of a variable without ever looking past its end.
bool ReadInt32(const netsnmp_variable_list* var, int32_t& out)
{
    if (var->val_len == 0 || var->val.string == nullptr || IsException(var->type))
        return false;
    switch (var->type) {
    case ASN_INTEGER:
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER:
        if (var->val_len >= sizeof(long)) {
            out = static_cast<int32_t>(static_cast<uint32_t>(*var->val.integer));
            return true;
        }
        break;
    default:
        break;
    }
    if (var->val_len < sizeof out)
        return false;
    std::memcpy(&out, var->val.string, sizeof out);
    return true;
}

// One sent request: its status and the reply it owns.
struct Exchange
{
    int status = 0;
    PduPtr reply;

    bool Succeeded() const { return CSnmpAccess::Succeeded(1, status, reply.get()); }
};

// false when no session could be opened (nothing was sent). request: Get, Set, GetVariables or
// SetVariables, with the list it takes.
template <class Request, class Variable>
bool Send(CSnmpAccess& access, Request request, const char* peer, const Variable* vars, size_t count,
          Exchange& exchange)
{
    netsnmp_pdu* raw = nullptr;
    if (!(access.*request)(peer, vars, count, exchange.status, raw))
        return false;
    exchange.reply.reset(raw);
    return true;
}

} // namespace

CSnmpAccess& CSnmpAccess::Instance()
{
    static CSnmpAccess instance;
    return instance;
}

CSnmpAccess::CSnmpAccess()
{
    InitLibraryOnce();
    snmp_sess_init(&m_template);
    m_template.version = SNMP_VERSION_2c;
    // remote_port is ignored by Net-SNMP 5.9: a bare address in the peer name means port 161.
    m_template.retries = 0;
    m_template.timeout = kGetTimeoutUs;
    static char community[] = "vantile";
    m_template.community = reinterpret_cast<u_char*>(community);
    m_template.community_len = std::strlen(community);
    static_assert(sizeof kGpioPortTemplate == sizeof m_gpioPortOids[0]);
    for (auto& name : m_gpioPortOids)
        std::memcpy(name, kGpioPortTemplate, sizeof kGpioPortTemplate);
    SetGpioPort(1);
}

CSnmpAccess::~CSnmpAccess() = default;

void CSnmpAccess::SetWaitHook(WaitHook hook)
{
    WaitHookSlot() = std::move(hook);
}

long CSnmpAccess::TimeoutMicroseconds() const
{
    return m_template.timeout;
}

int CSnmpAccess::Get(const char* peer, const SnmpVarSpec* vars, unsigned count, int& status,
                     netsnmp_pdu*& reply)
{
    const int result = Request(SNMP_MSG_GET, peer, vars, count, status, reply);
    return Observed(result, status, reply);
}

int CSnmpAccess::Set(const char* peer, const SnmpVarSpec* vars, unsigned count, int& status,
                     netsnmp_pdu*& reply)
{
    const int result = Request(SNMP_MSG_SET, peer, vars, count, status, reply);
    return Observed(result, status, reply);
}

void CSnmpAccess::SetRequestObserver(std::function<void(const RequestOutcome&)> observer)
{
    m_requestObserver = std::move(observer);
}

int CSnmpAccess::Observed(int result, int status, const netsnmp_pdu* reply) const
{
    if (m_requestObserver) {
        RequestOutcome outcome;
        outcome.sent = result == 1;
        outcome.succeeded = Succeeded(result, status, reply);
        if (outcome.sent) {
            outcome.status = status;
            outcome.errorStatus = status == STAT_SUCCESS && reply ? reply->errstat : 0;
        }
        m_requestObserver(outcome);
    }
    return result;
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
    // Net-SNMP 5.9 ignores remote_port; the port has to be part of the peer name.
    std::string peerName = peer ? peer : "";
    if (m_agentPort != kAgentPort)
        peerName += ':' + std::to_string(m_agentPort);

    int result = 0;
    const auto exchange = [&] { result = SendAndWait(command, peerName.data(), vars, count, status, reply); };
    // A copy, so that the hook may be replaced while it runs.
    if (const WaitHook hook = WaitHookSlot())
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

    netsnmp_pdu* request = snmp_pdu_create(command);
    if (request == nullptr) {
        // Out of memory: nothing is sent, as when the session does not open.
        snmp_log(LOG_ERR, "%s: cannot create the request\n", command == SNMP_MSG_SET ? "snmpset" : "snmpget");
        return 0;
    }
    for (unsigned i = 0; i < count; ++i) {
        // A variable that cannot be added is left out of the request.
        if (command == SNMP_MSG_SET)
            (void)snmp_add_var(request, vars[i].name, vars[i].nameLength, vars[i].type, vars[i].value);
        else
            (void)snmp_add_null_var(request, vars[i].name, vars[i].nameLength);
    }

    reply = nullptr;
    status = snmp_synch_response(session.get(), request, &reply);
    return 1;
}

int CSnmpAccess::Commit(const char* peer)
{
    static const char one[] = "1";
    const SnmpVarSpec commit[] = {{kCommitOid, kScalarLength, 'i', one}};
    Exchange exchange;
    return Send(*this, &CSnmpAccess::Set, peer, commit, 1, exchange) && exchange.Succeeded() ? 1 : 0;
}

bool CSnmpAccess::Succeeded(int result, int status, const netsnmp_pdu* reply)
{
    return result == 1 && status == STAT_SUCCESS && reply != nullptr && reply->errstat == SNMP_ERR_NOERROR;
}

int CSnmpAccess::ReadReply(const netsnmp_pdu* reply, const ReadEntry* table, size_t count)
{
    if (reply == nullptr)
        return 0;
    for (const netsnmp_variable_list* var = reply->variables; var; var = var->next_variable) {
        if (var->val_len == 0)
            return 0;
        const ReadEntry* match = nullptr;
        for (size_t i = 0; i < count && !match; ++i) {
            if (snmp_oid_compare(var->name, var->name_length, table[i].name, table[i].nameLength) == 0)
                match = &table[i];
        }
        if (!match)
            return 0;
        int32_t value = 0;
        if (!ReadInt32(var, value))
            return 0;
        *match->field = value;
    }
    return 1;
}

std::array<ExpectedVariable, CSnmpAccess::kSerialVariableCount>
CSnmpAccess::SerialVariables(SerialSettings& settings)
{
    std::array<ExpectedVariable, kSerialVariableCount> variables{};
    for (size_t i = 0; i < kSerialVariableCount; ++i) {
        const SerialVariable& variable = kSerialVariables[i];
        variables[i] = {variable.name, kScalarLength, variable.type, &(settings.*variable.field)};
    }
    return variables;
}

std::array<ExpectedVariable, CSnmpAccess::kGpioVariableCount>
CSnmpAccess::GpioVariables(int port, GpioSettings& settings)
{
    SetGpioPort(port);
    return GpioTable(settings);
}

std::array<ExpectedVariable, CSnmpAccess::kGpioVariableCount>
CSnmpAccess::GpioTable(GpioSettings& settings) const
{
    // Signed and unsigned 32-bit fields may alias each other.
    const auto field = [](uint32_t& value) { return reinterpret_cast<int32_t*>(&value); };
    return {{
        {kGpioManager, kScalarLength, ASN_IPADDRESS, field(settings.managerAddress)},
        {kGpioPeriod, kScalarLength, ASN_INTEGER, field(settings.period)},
        {m_gpioPortOids[0], kPortLength, ASN_INTEGER, &settings.mode},
        {m_gpioPortOids[1], kPortLength, ASN_INTEGER, &settings.state},
        {m_gpioPortOids[2], kPortLength, ASN_INTEGER, &settings.initialState},
        {m_gpioPortOids[3], kPortLength, ASN_INTEGER, &settings.trapState},
        {m_gpioPortOids[4], kPortLength, ASN_INTEGER, field(settings.trapTime)},
    }};
}

std::vector<size_t> CSnmpAccess::GpioWrittenVariables(int32_t mode)
{
    if (mode == GpioRules::kOutput)
        return {std::begin(kOutputWrites), std::end(kOutputWrites)};
    if (mode == GpioRules::kInput)
        return {std::begin(kInputWrites), std::end(kInputWrites)};
    return {};
}

int CSnmpAccess::GetVariables(const char* peer, const ExpectedVariable* vars, size_t count, int& status,
                              netsnmp_pdu*& reply)
{
    std::vector<SnmpVarSpec> list;
    for (size_t i = 0; i < count; ++i)
        list.push_back({vars[i].name, static_cast<uint32_t>(vars[i].nameLength), 0, nullptr});
    return Get(peer, list.data(), static_cast<unsigned>(list.size()), status, reply);
}

int CSnmpAccess::SetVariables(const char* peer, const ExpectedVariable* vars, size_t count, int& status,
                              netsnmp_pdu*& reply)
{
    std::vector<std::string> texts;
    for (size_t i = 0; i < count; ++i)
        texts.push_back(ValueText(vars[i]));
    std::vector<SnmpVarSpec> list;
    for (size_t i = 0; i < count; ++i) {
        const char type = vars[i].type == ASN_IPADDRESS ? 'a' : 'i';
        list.push_back({vars[i].name, static_cast<uint32_t>(vars[i].nameLength), type, texts[i].c_str()});
    }
    return Set(peer, list.data(), static_cast<unsigned>(list.size()), status, reply);
}

int CSnmpAccess::ParseSerialReply(const netsnmp_pdu* reply, SerialSettings& settings)
{
    settings.portNumber = SerialRules::kDefaultPortNumber;
    const auto variables = SerialVariables(settings);
    const std::vector<ReadEntry> table = ReadTable(variables.data(), variables.size());
    return ReadReply(reply, table.data(), table.size());
}

int CSnmpAccess::GetSerialSettings(const char* peer, SerialSettings& settings)
{
    SerialSettings unused;
    const auto variables = SerialVariables(unused);
    Exchange seven;
    Exchange portNumber;
    if (!Send(*this, &CSnmpAccess::GetVariables, peer, variables.data(), kSerialPortIndex, seven) ||
        !Send(*this, &CSnmpAccess::GetVariables, peer, &variables[kSerialPortIndex], 1, portNumber))
        return 0;

    int result = 0;
    if (seven.Succeeded())
        result = ParseSerialReply(seven.reply.get(), settings);
    // The port number is optional on the boards; without it the default stays.
    if (portNumber.Succeeded())
        (void)ParseSerialReply(portNumber.reply.get(), settings);
    return result;
}

int CSnmpAccess::SetSerialSettings(const char* peer, const SerialSettings& settings)
{
    SerialSettings sent = settings;
    const auto variables = SerialVariables(sent);
    Exchange seven;
    Exchange portNumber;
    if (!Send(*this, &CSnmpAccess::SetVariables, peer, variables.data(), kSerialPortIndex, seven) ||
        !Send(*this, &CSnmpAccess::SetVariables, peer, &variables[kSerialPortIndex], 1, portNumber))
        return 0;
    (void)Commit(peer);
    return seven.Succeeded() ? 1 : 0;
}

void CSnmpAccess::SetGpioPort(int port)
{
    for (auto& name : m_gpioPortOids)
        name[kPortSubId] = static_cast<oid>(port);
    for (size_t i = 0; i < kPortVariableCount; ++i)
        m_gpioPortOids[i][kPortLeafSubId] = i + 1;
}

int CSnmpAccess::ParseGpioReply(const netsnmp_pdu* reply, GpioSettings& settings) const
{
    const auto variables = GpioTable(settings);
    const std::vector<ReadEntry> table = ReadTable(variables.data(), variables.size());
    return ReadReply(reply, table.data(), table.size());
}

int CSnmpAccess::GetGpioSettings(const char* peer, int port, GpioSettings& settings)
{
    // The port OIDs may be in a request that is still waiting.
    if (RequestSlot::Waiting())
        return 0;
    GpioSettings unused;
    const auto variables = GpioVariables(port, unused);
    Exchange exchange;
    if (!Send(*this, &CSnmpAccess::GetVariables, peer, variables.data(), variables.size(), exchange) ||
        !exchange.Succeeded())
        return 0;
    return ParseGpioReply(exchange.reply.get(), settings);
}

int CSnmpAccess::SetGpioSettings(const char* peer, int port, const GpioSettings& settings)
{
    // No list exists for a mode other than OUTPUT or INPUT (a board reported one the dialog
    // cannot show); sending nothing is safer than guessing which variables to write.
    const std::vector<size_t> written = GpioWrittenVariables(settings.mode);
    if (written.empty())
        return 0;
    if (RequestSlot::Waiting())
        return 0;

    GpioSettings sent = settings;
    const auto variables = GpioVariables(port, sent);
    std::vector<ExpectedVariable> list;
    for (const size_t i : written)
        list.push_back(variables[i]);
    Exchange exchange;
    if (!Send(*this, &CSnmpAccess::SetVariables, peer, list.data(), list.size(), exchange))
        return 0;
    (void)Commit(peer);
    return exchange.Succeeded() ? 1 : 0;
}
