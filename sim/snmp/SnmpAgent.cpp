#include "sim/snmp/SnmpAgent.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/agent/net-snmp-agent-includes.h>
#include <net-snmp/library/large_fd_set.h>

#include <QJsonArray>
#include <QJsonValue>
#include <QStringList>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using OidKey = std::vector<oid>;

const OidKey kSubtree = {1, 3, 6, 1, 4, 1, 32473, 1, 4};

OidKey Under(std::initializer_list<oid> tail)
{
    OidKey key = kSubtree;
    key.insert(key.end(), tail);
    return key;
}

const OidKey kCommit = Under({1, 2, 0});
const OidKey kSerialPort = Under({2, 5, 0});

using TransportSend = int (*)(netsnmp_transport*, const void*, int, void**, int*);
using Clock = std::chrono::steady_clock;

// A flood to delayed boards must not grow memory without bound; beyond this, replies are dropped.
constexpr std::size_t kMaxQueuedReplies = 100000;

struct Variable
{
    u_char type = ASN_INTEGER;
    long value = 0; // INTEGER: the number; IpAddress: the four bytes in network order
};

struct Board
{
    std::string address;
    netsnmp_transport* transport = nullptr;
    int handle = 0; // of its transport, with the agent
    int silentSocket = -1;
    bool silent = false;
    std::optional<Clock::time_point> appearAt; // while it is yet to appear
    std::map<OidKey, Variable> vars;
    bool otherPort = false;
    bool refuseAllSets = false;
    int refuseStatus = SNMP_ERR_GENERR;
    std::set<OidKey> refuseOids;
    bool ignoreAllSets = false;
    std::set<OidKey> ignoreOids; // SETs answered noError, value kept
    std::set<OidKey> exceptionOids;
    std::set<OidKey> wrongTypeOids;
    std::set<OidKey> silentGetOids; // a GET naming one of these gets no answer
    std::set<OidKey> refuseGetOids; // a GET naming one of these gets refuseStatus
    bool dropReply = false;         // the reply being made is not sent
    TransportSend send = nullptr;   // the transport's own
    Clock::duration delay{};
    std::chrono::microseconds jitter{};
    Clock::time_point lastDue{}; // of its latest queued reply
};

// A delayed reply as the transport was asked to send it: the datagram and where it goes.
struct QueuedReply
{
    Board* board = nullptr;
    std::vector<char> datagram;
    std::vector<char> opaque;
};

struct Undo
{
    Board* board;
    OidKey name;
    Variable old;
};

struct AgentState
{
    std::vector<Board> boards; // never resized once the agent runs: the maps point into it
    std::unordered_map<const netsnmp_transport*, Board*> byTransport;
    std::unordered_map<const netsnmp_session*, Board*> bySession;
    SnmpAgentHooks hooks;
    qint64 requestNumber = 0;
    std::vector<Undo> undo;
    // By due time, then by the order they were made: equal due times keep a board's order.
    std::map<std::pair<Clock::time_point, uint64_t>, QueuedReply> queued;
    uint64_t queuedCount = 0;
    std::optional<Clock::time_point> cameIn; // during a read pass: when select saw its requests
    std::mt19937_64 random{std::random_device{}()};
    uint16_t port = 0;
    int movesFd = -1;
};

AgentState* g_state = nullptr;
volatile sig_atomic_t g_stop = 0;

void OnStopSignal(int)
{
    g_stop = 1;
}

std::string OidText(const oid* name, size_t length)
{
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        if (i)
            text += '.';
        text += std::to_string(name[i]);
    }
    return text;
}

bool ParseOid(const QString& text, OidKey& key)
{
    QString trimmed = text.trimmed();
    if (trimmed.startsWith(QLatin1Char('.')))
        trimmed.remove(0, 1);
    key.clear();
    for (const QString& part : trimmed.split(QLatin1Char('.'))) {
        bool ok = false;
        const qulonglong value = part.toULongLong(&ok);
        if (!ok || value > 0xffffffffULL)
            return false;
        key.push_back(static_cast<oid>(value));
    }
    return key.size() >= 2;
}

std::string AddressText(long networkOrder)
{
    const uint32_t raw = static_cast<uint32_t>(networkOrder);
    unsigned char bytes[4];
    std::memcpy(bytes, &raw, sizeof bytes);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

QString TypeName(u_char type)
{
    switch (type) {
    case ASN_INTEGER:
        return QStringLiteral("INTEGER");
    case ASN_IPADDRESS:
        return QStringLiteral("IpAddress");
    case ASN_OCTET_STR:
        return QStringLiteral("OCTET STRING");
    case ASN_OBJECT_ID:
        return QStringLiteral("OBJECT IDENTIFIER");
    case ASN_COUNTER:
        return QStringLiteral("Counter32");
    case ASN_GAUGE:
        return QStringLiteral("Gauge32");
    case ASN_TIMETICKS:
        return QStringLiteral("TimeTicks");
    case ASN_COUNTER64:
        return QStringLiteral("Counter64");
    case ASN_NULL:
        return QStringLiteral("NULL");
    case SNMP_NOSUCHOBJECT:
        return QStringLiteral("noSuchObject");
    case SNMP_NOSUCHINSTANCE:
        return QStringLiteral("noSuchInstance");
    case SNMP_ENDOFMIBVIEW:
        return QStringLiteral("endOfMibView");
    default:
        return QStringLiteral("0x%1").arg(type, 2, 16, QLatin1Char('0'));
    }
}

QJsonValue JsonValue(const netsnmp_variable_list* vb)
{
    if (vb->val_len == 0 || vb->val.string == nullptr)
        return QJsonValue(QJsonValue::Null);
    switch (vb->type) {
    case ASN_INTEGER:
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
        if (vb->val_len >= sizeof(long))
            return QJsonValue(static_cast<qint64>(*vb->val.integer));
        break;
    case ASN_IPADDRESS:
        if (vb->val_len == 4) {
            long raw = 0;
            std::memcpy(&raw, vb->val.string, 4);
            return QString::fromStdString(AddressText(raw));
        }
        break;
    default:
        break;
    }
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(vb->val.string), static_cast<int>(vb->val_len)).toHex());
}

void Log(const Board& board, const char* op, const oid* name, size_t length, const netsnmp_variable_list* vb)
{
    if (!g_state->hooks.log)
        return;
    QJsonObject entry;
    entry[QStringLiteral("snmp")] = QString::fromLatin1(op);
    entry[QStringLiteral("board")] = QString::fromStdString(board.address);
    entry[QStringLiteral("oid")] = QString::fromStdString(OidText(name, length));
    entry[QStringLiteral("type")] = TypeName(vb->type);
    entry[QStringLiteral("value")] = JsonValue(vb);
    entry[QStringLiteral("request")] = g_state->requestNumber;
    g_state->hooks.log(entry);
}

Board* BoardFor(const netsnmp_transport* transport)
{
    const auto found = g_state->byTransport.find(transport);
    return found == g_state->byTransport.end() ? nullptr : found->second;
}

// snmp_sess_pointer walks every session, so with thousands of boards each session's board is
// looked up once.
Board* BoardFor(netsnmp_agent_request_info* reqinfo)
{
    if (!reqinfo || !reqinfo->asp || !reqinfo->asp->session)
        return nullptr;
    Board*& cached = g_state->bySession[reqinfo->asp->session];
    if (!cached) {
        void* handle = snmp_sess_pointer(reqinfo->asp->session);
        cached = BoardFor(handle ? snmp_sess_transport(handle) : nullptr);
    }
    return cached;
}

void LogDropped(const Board& board, int length)
{
    if (!g_state->hooks.log)
        return;
    QJsonObject entry;
    entry[QStringLiteral("dir")] = QStringLiteral("out");
    entry[QStringLiteral("board")] = QString::fromStdString(board.address);
    entry[QStringLiteral("len")] = length;
    entry[QStringLiteral("error")] = QStringLiteral("too many delayed replies; dropped");
    g_state->hooks.log(entry);
}

// Copies what the transport would send now, to be sent by SendDueReplies once it is due.
void Queue(Board& board, const void* data, int length, void** opaque, const int* opaqueLength)
{
    if (g_state->queued.size() >= kMaxQueuedReplies) {
        LogDropped(board, length);
        return;
    }
    Clock::time_point due = g_state->cameIn.value_or(Clock::now()) + board.delay;
    if (board.jitter.count() > 0)
        due += std::chrono::microseconds(
            std::uniform_int_distribution<long long>(0, board.jitter.count())(g_state->random));
    // Jitter must not let a later reply overtake an earlier one of the same board.
    due = std::max(due, board.lastDue);
    board.lastDue = due;

    QueuedReply reply{&board, {}, {}};
    const char* bytes = static_cast<const char*>(data);
    reply.datagram.assign(bytes, bytes + length);
    if (opaque && *opaque && opaqueLength && *opaqueLength > 0) {
        const char* address = static_cast<const char*>(*opaque);
        reply.opaque.assign(address, address + *opaqueLength);
    }
    g_state->queued.emplace(std::make_pair(due, g_state->queuedCount++), std::move(reply));
}

// Every reply of a board goes out here: one that a silentGets variable marked is dropped, as if it
// had been lost on the way; a delayed board's waits in the queue.
int SendOrDrop(netsnmp_transport* transport, const void* data, int length, void** opaque, int* opaqueLength)
{
    Board* board = BoardFor(transport);
    if (!board)
        return -1;
    if (board->dropReply) {
        board->dropReply = false;
        return length;
    }
    if (board->delay.count() == 0 && board->jitter.count() == 0)
        return board->send(transport, data, length, opaque, opaqueLength);
    Queue(*board, data, length, opaque, opaqueLength);
    return length;
}

void SendDueReplies()
{
    auto& queued = g_state->queued;
    const Clock::time_point now = Clock::now();
    while (!queued.empty() && queued.begin()->first.first <= now) {
        auto node = queued.extract(queued.begin());
        QueuedReply& reply = node.mapped();
        void* opaque = reply.opaque.empty() ? nullptr : reply.opaque.data();
        int opaqueLength = static_cast<int>(reply.opaque.size());
        if (!reply.board->transport)
            continue; // it moved to an address it could not listen on
        reply.board->send(reply.board->transport, reply.datagram.data(),
                          static_cast<int>(reply.datagram.size()), &opaque, &opaqueLength);
    }
}

// The select timeout: at most limit, and no later than the next queued reply is due (rounded up,
// so that it never leaves early).
timeval UntilNextReply(timeval limit)
{
    if (g_state->queued.empty())
        return limit;
    const auto left =
        std::chrono::ceil<std::chrono::microseconds>(g_state->queued.begin()->first.first - Clock::now());
    const long long limitUs = static_cast<long long>(limit.tv_sec) * 1000000 + limit.tv_usec;
    const long long us = std::clamp<long long>(left.count(), 0, limitUs);
    return {static_cast<time_t>(us / 1000000), static_cast<suseconds_t>(us % 1000000)};
}

bool IsPerPortVariable(const OidKey& key)
{
    return key.size() == kSubtree.size() + 5 && std::equal(kSubtree.begin(), kSubtree.end(), key.begin()) &&
           key[kSubtree.size()] == 3 && key[kSubtree.size() + 1] == 10;
}

void SetValue(netsnmp_variable_list* vb, const Variable& var)
{
    if (var.type == ASN_IPADDRESS) {
        const uint32_t raw = static_cast<uint32_t>(var.value);
        snmp_set_var_typed_value(vb, ASN_IPADDRESS, &raw, 4);
    } else {
        snmp_set_var_typed_value(vb, var.type, &var.value, sizeof var.value);
    }
}

void ServeGet(Board& board, netsnmp_agent_request_info* reqinfo, netsnmp_request_info* request)
{
    netsnmp_variable_list* vb = request->requestvb;
    const OidKey asked(vb->name, vb->name + vb->name_length);
    OidKey answered = asked;
    if (board.otherPort && IsPerPortVariable(asked)) {
        const size_t portIndex = kSubtree.size() + 2;
        answered[portIndex] = asked[portIndex] % 8 + 1;
    }
    const auto found = board.vars.find(answered);
    board.dropReply = board.dropReply || board.silentGetOids.count(asked);
    if (board.refuseGetOids.count(asked)) {
        netsnmp_set_request_error(reqinfo, request, board.refuseStatus);
    } else if (found == board.vars.end()) {
        netsnmp_set_request_error(reqinfo, request, SNMP_NOSUCHOBJECT);
    } else if (board.exceptionOids.count(asked)) {
        netsnmp_set_request_error(reqinfo, request, SNMP_NOSUCHINSTANCE);
    } else if (board.wrongTypeOids.count(asked)) {
        static const u_char junk[2] = {0x01, 0x02};
        snmp_set_var_typed_value(vb, ASN_OCTET_STR, junk, sizeof junk);
    } else {
        SetValue(vb, found->second);
    }
    if (answered != asked)
        snmp_set_var_objid(vb, answered.data(), answered.size());
    Log(board, "get", asked.data(), asked.size(), vb);
}

void ServeGetNext(Board& board, netsnmp_request_info* request)
{
    netsnmp_variable_list* vb = request->requestvb;
    const OidKey asked(vb->name, vb->name + vb->name_length);
    const auto next = board.vars.upper_bound(asked);
    if (next == board.vars.end())
        return; // past our subtree: the agent moves on to the next registration
    snmp_set_var_objid(vb, next->first.data(), next->first.size());
    SetValue(vb, next->second);
    Log(board, "getnext", asked.data(), asked.size(), vb);
}

int CheckSet(Board& board, const netsnmp_variable_list* vb)
{
    const OidKey name(vb->name, vb->name + vb->name_length);
    const auto found = board.vars.find(name);
    if (found == board.vars.end())
        return SNMP_ERR_NOCREATION;
    if (board.refuseAllSets || board.refuseOids.count(name))
        return board.refuseStatus;
    if (vb->type != found->second.type)
        return SNMP_ERR_WRONGTYPE;
    if (vb->type == ASN_IPADDRESS ? vb->val_len != 4 : vb->val_len != sizeof(long))
        return SNMP_ERR_WRONGLENGTH;
    return SNMP_ERR_NOERROR;
}

int Handler(netsnmp_mib_handler*, netsnmp_handler_registration*, netsnmp_agent_request_info* reqinfo,
            netsnmp_request_info* requests)
{
    Board* board = BoardFor(reqinfo);
    if (!board) {
        netsnmp_set_all_requests_error(reqinfo, requests, SNMP_ERR_GENERR);
        return SNMP_ERR_NOERROR;
    }
    switch (reqinfo->mode) {
    case MODE_GET:
        ++g_state->requestNumber;
        for (netsnmp_request_info* r = requests; r; r = r->next) {
            if (!r->processed)
                ServeGet(*board, reqinfo, r);
        }
        break;
    case MODE_GETNEXT:
        ++g_state->requestNumber;
        for (netsnmp_request_info* r = requests; r; r = r->next) {
            if (!r->processed)
                ServeGetNext(*board, r);
        }
        break;
    case MODE_SET_RESERVE1:
        ++g_state->requestNumber;
        g_state->undo.clear();
        for (netsnmp_request_info* r = requests; r; r = r->next) {
            netsnmp_variable_list* vb = r->requestvb;
            Log(*board, "set", vb->name, vb->name_length, vb);
            const int error = CheckSet(*board, vb);
            if (error != SNMP_ERR_NOERROR)
                netsnmp_set_request_error(reqinfo, r, error);
        }
        break;
    case MODE_SET_ACTION:
        for (netsnmp_request_info* r = requests; r; r = r->next) {
            netsnmp_variable_list* vb = r->requestvb;
            const OidKey name(vb->name, vb->name + vb->name_length);
            Variable& var = board->vars[name];
            g_state->undo.push_back({board, name, var});
            if (board->ignoreAllSets || board->ignoreOids.count(name))
                continue; // accepted, and the old value stays
            if (name == kCommit) {
                ++var.value; // the board counts its commits
            } else if (var.type == ASN_IPADDRESS) {
                uint32_t raw = 0;
                std::memcpy(&raw, vb->val.string, 4);
                var.value = raw;
            } else {
                var.value = *vb->val.integer;
            }
        }
        break;
    case MODE_SET_UNDO:
        for (auto it = g_state->undo.rbegin(); it != g_state->undo.rend(); ++it)
            it->board->vars[it->name] = it->old;
        g_state->undo.clear();
        break;
    case MODE_SET_COMMIT:
    case MODE_SET_FREE:
        g_state->undo.clear();
        break;
    default:
        break;
    }
    return SNMP_ERR_NOERROR;
}

void AddDefaults(Board& board)
{
    auto integer = [&](const OidKey& key, long value) { board.vars[key] = {ASN_INTEGER, value}; };
    auto address = [&](const OidKey& key) { board.vars[key] = {ASN_IPADDRESS, 0}; };
    integer(kCommit, 0);
    integer(Under({2, 2, 0}), 0);
    address(Under({2, 4, 0}));
    integer(kSerialPort, 21347);
    integer(Under({2, 10, 0}), 9600);
    integer(Under({2, 12, 0}), 3);
    integer(Under({2, 15, 0}), 0);
    integer(Under({2, 20, 0}), 0);
    integer(Under({2, 25, 0}), 0);
    address(Under({3, 1, 0}));
    integer(Under({3, 2, 0}), 100);
    for (oid port = 1; port <= 8; ++port) {
        for (oid leaf = 1; leaf <= 5; ++leaf)
            integer(Under({3, 10, port, leaf, 0}), 0);
    }
}

bool ReadOidList(const QJsonValue& value, std::set<OidKey>& out, const char* what)
{
    if (value.isUndefined())
        return true;
    const QJsonArray list = value.isArray() ? value.toArray() : QJsonArray{value};
    for (const QJsonValue& item : list) {
        OidKey key;
        if (!item.isString() || !ParseOid(item.toString(), key)) {
            std::fprintf(stderr, "lanfinch-sim: bad OID in \"%s\"\n", what);
            return false;
        }
        out.insert(key);
    }
    return true;
}

// A choice of SETs: true for all of them, or an OID or a list of OIDs.
bool ReadSetChoice(const QJsonObject& snmp, const char* key, bool& all, std::set<OidKey>& oids)
{
    const QJsonValue value = snmp.value(QLatin1String(key));
    if (value.isBool()) {
        all = value.toBool();
        return true;
    }
    return ReadOidList(value, oids, key);
}

bool Configure(Board& board, const QJsonObject& snmp)
{
    AddDefaults(board);
    if (snmp.value(QStringLiteral("noPortNumber")).toBool())
        board.vars.erase(kSerialPort);
    board.otherPort = snmp.value(QStringLiteral("otherPort")).toBool();
    if (!ReadSetChoice(snmp, "refuseSets", board.refuseAllSets, board.refuseOids) ||
        !ReadSetChoice(snmp, "ignoreSets", board.ignoreAllSets, board.ignoreOids))
        return false;
    board.refuseStatus = snmp.value(QStringLiteral("refuseStatus")).toInt(SNMP_ERR_GENERR);
    if (board.refuseStatus <= 0 || board.refuseStatus > SNMP_ERR_INCONSISTENTNAME) {
        std::fprintf(stderr, "lanfinch-sim: \"refuseStatus\" must be an error status 1..18\n");
        return false;
    }
    if (!ReadOidList(snmp.value(QStringLiteral("exception")), board.exceptionOids, "exception") ||
        !ReadOidList(snmp.value(QStringLiteral("wrongType")), board.wrongTypeOids, "wrongType") ||
        !ReadOidList(snmp.value(QStringLiteral("silentGets")), board.silentGetOids, "silentGets") ||
        !ReadOidList(snmp.value(QStringLiteral("refuseGets")), board.refuseGetOids, "refuseGets"))
        return false;

    const QJsonObject values = snmp.value(QStringLiteral("values")).toObject();
    for (auto it = values.begin(); it != values.end(); ++it) {
        OidKey key;
        const auto found = ParseOid(it.key(), key) ? board.vars.find(key) : board.vars.end();
        if (found == board.vars.end()) {
            std::fprintf(stderr, "lanfinch-sim: unknown variable %s in \"values\"\n", qPrintable(it.key()));
            return false;
        }
        if (found->second.type == ASN_IPADDRESS) {
            in_addr parsed{};
            if (!it.value().isString() ||
                inet_pton(AF_INET, qPrintable(it.value().toString()), &parsed) != 1) {
                std::fprintf(stderr, "lanfinch-sim: %s needs a dotted IPv4 address\n", qPrintable(it.key()));
                return false;
            }
            found->second.value = parsed.s_addr;
        } else {
            if (!it.value().isDouble()) {
                std::fprintf(stderr, "lanfinch-sim: %s needs a number\n", qPrintable(it.key()));
                return false;
            }
            found->second.value = static_cast<long>(it.value().toInteger());
        }
    }
    return true;
}

// A bound UDP socket, or -1 with errno set. A silent board keeps it open and never reads it, so
// its datagrams are taken off the wire and never answered.
int BindSocket(const std::string& address, uint16_t port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        errno = EINVAL;
        return -1;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// Net-SNMP reads configuration and MIB files and keeps state under /var/lib/snmp unless told
// otherwise; the simulator wants none of that. The persistent directory points where nothing can
// be created, so the library's attempts to make one fail quietly.
void QuietLibrary()
{
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_PERSISTENT_DIR, "/dev/null/lanfinch-sim");
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_ROLE, 0);
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_NO_ROOT_ACCESS, 1);
    setenv("MIBS", "", 1);
    setenv("MIBDIRS", "", 1);
    snmp_disable_log();
    netsnmp_register_loghandler(NETSNMP_LOGHANDLER_STDERR, LOG_ERR);
}

// Listens on the board's address; false when it cannot. A board whose address is not local is
// left closed. A silent board, or one yet to appear, holds its port without answering.
bool OpenBoard(Board& board)
{
    const std::string where = "udp:" + board.address + ':' + std::to_string(g_state->port);
    const int probe = BindSocket(board.address, g_state->port);
    if (probe < 0 && errno == EADDRNOTAVAIL) {
        // Not an address of this host (outside a namespace that has it): unreachable, as a
        // board on another segment would be.
        std::fprintf(stderr, "lanfinch-sim: %s is not a local address; its SNMP agent is not started\n",
                     board.address.c_str());
        return true;
    }
    if (board.silent || board.appearAt) {
        board.silentSocket = probe;
    } else {
        if (probe >= 0)
            close(probe);
        board.transport = netsnmp_transport_open_server("snmp", where.c_str());
        if (board.transport) {
            board.send = board.transport->f_send;
            board.transport->f_send = SendOrDrop;
        }
        // On failure the library may already have released the transport; never touch it again.
        board.handle = board.transport ? netsnmp_register_agent_nsap(board.transport) : 0;
        if (board.handle <= 0)
            board.transport = nullptr;
        if (board.transport)
            g_state->byTransport[board.transport] = &board;
    }
    if (!board.transport && board.silentSocket < 0) {
        std::fprintf(stderr, "lanfinch-sim: cannot listen on %s\n", where.c_str());
        return false;
    }
    return true;
}

void CloseBoard(Board& board)
{
    if (board.transport) {
        g_state->byTransport.erase(board.transport);
        std::erase_if(g_state->bySession, [&](const auto& entry) { return entry.second == &board; });
        netsnmp_deregister_agent_nsap(board.handle);
        board.transport = nullptr;
    }
    if (board.silentSocket >= 0)
        close(board.silentSocket);
    board.silentSocket = -1;
}

// A board whose node side took new settings answers SNMP at its new address from now on.
void ReadMoves()
{
    uint32_t message[2] = {0, 0};
    ssize_t got = 0;
    while ((got = read(g_state->movesFd, message, sizeof message)) == static_cast<ssize_t>(sizeof message)) {
        if (message[0] >= g_state->boards.size())
            continue;
        Board& board = g_state->boards[message[0]];
        CloseBoard(board);
        board.address = AddressText(static_cast<long>(htonl(message[1])));
        OpenBoard(board);
    }
    if (got == 0)
        g_state->movesFd = -1; // the simulator is gone
}

void OpenAppearedBoards()
{
    const Clock::time_point now = Clock::now();
    for (Board& board : g_state->boards) {
        if (!board.appearAt || *board.appearAt > now)
            continue;
        board.appearAt.reset();
        CloseBoard(board);
        OpenBoard(board);
    }
}

// Serves every board's transport until a stop is asked for. One agent holds a descriptor per board,
// so the sets are Net-SNMP's large ones: a plain fd_set ends at FD_SETSIZE (1024).
void ServeUntilStopped()
{
    netsnmp_large_fd_set readable;
    netsnmp_large_fd_set_init(&readable, FD_SETSIZE);
    while (!g_stop) {
        int fdCount = 0;
        int block = 0;
        NETSNMP_LARGE_FD_ZERO(&readable);
        timeval timeout{0, 200000};
        snmp_select_info2(&fdCount, &readable, &timeout, &block);
        if (g_state->movesFd >= 0) {
            NETSNMP_LARGE_FD_SET(g_state->movesFd, &readable);
            fdCount = std::max(fdCount, g_state->movesFd + 1);
        }
        // Bounded so that a stop signal arriving just before select is still seen.
        if (block || timeout.tv_sec > 0 || timeout.tv_usec > 200000)
            timeout = {0, 200000};
        timeout = UntilNextReply(timeout);
        const int ready = netsnmp_large_fd_set_select(fdCount, &readable, nullptr, nullptr, &timeout);
        if (ready > 0 && g_state->movesFd >= 0 && NETSNMP_LARGE_FD_ISSET(g_state->movesFd, &readable))
            ReadMoves();
        if (ready > 0) {
            g_state->cameIn = Clock::now();
            snmp_read2(&readable);
            g_state->cameIn.reset();
        } else if (ready == 0) {
            snmp_timeout();
        }
        run_alarms();
        netsnmp_check_outstanding_agent_requests();
        SendDueReplies();
        OpenAppearedBoards();
    }
    netsnmp_large_fd_set_cleanup(&readable);
}

} // namespace

int RunSnmpAgent(const std::vector<SnmpBoardSpec>& boards, uint16_t port, const SnmpAgentHooks& hooks)
{
    // Installed first: a stop that arrives while the agent starts still ends it cleanly.
    g_stop = 0;
    struct sigaction action
    {
    };
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    if (port == 0) {
        std::fprintf(stderr, "lanfinch-sim: the SNMP agent needs a port number\n");
        return 2;
    }
    AgentState state;
    state.hooks = hooks;
    state.boards.reserve(boards.size());
    for (const SnmpBoardSpec& boardSpec : boards) {
        Board board;
        board.address = boardSpec.address.toStdString();
        board.delay = std::chrono::milliseconds(boardSpec.delayMs);
        board.jitter = std::chrono::milliseconds(boardSpec.jitterMs);
        board.silent = boardSpec.snmp.value(QStringLiteral("silent")).toBool();
        if (boardSpec.appearAt > Clock::now())
            board.appearAt = boardSpec.appearAt;
        if (!Configure(board, boardSpec.snmp))
            return 2;
        state.boards.push_back(std::move(board));
    }
    g_state = &state;

    QuietLibrary();
    init_agent("lanfinch-sim");

    static const oid subtree[] = {1, 3, 6, 1, 4, 1, 32473, 1, 4};
    netsnmp_handler_registration* registration = netsnmp_create_handler_registration(
        "lanfinch", Handler, subtree, std::size(subtree), HANDLER_CAN_RWRITE);

    int rc = 0;
    if (!registration || netsnmp_register_handler(registration) != MIB_REGISTERED_OK) {
        std::fprintf(stderr, "lanfinch-sim: cannot register the enterprise subtree\n");
        rc = 1;
    }
    // No init_master_agent(): with no port list it would open udp:161. The boards' transports are
    // opened below so that each request can be told apart by the transport it came in on.
    init_snmp("lanfinch-sim");
    // The boards know one community, for reading and writing, from any source.
    char access[] = "rwcommunity vantile";
    netsnmp_config(access);
    state.port = port;
    state.movesFd = hooks.movesFd;
    if (state.movesFd >= 0)
        fcntl(state.movesFd, F_SETFL, O_NONBLOCK);
    for (size_t i = 0; rc == 0 && i < boards.size(); ++i) {
        if (!OpenBoard(state.boards[i]))
            rc = 1;
    }

    if (rc == 0) {
        if (hooks.ready)
            hooks.ready();
        ServeUntilStopped();
    }

    for (Board& board : state.boards) {
        if (board.silentSocket >= 0)
            close(board.silentSocket);
    }
    snmp_shutdown("lanfinch-sim");
    shutdown_agent();
    g_state = nullptr;
    return rc;
}
