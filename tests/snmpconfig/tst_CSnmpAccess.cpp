// CSnmpAccess against the simulated boards' agent on loopback.
#include "snmpconfig/CSnmpAccess.h"
#include "tests/snmpconfig/SnmpTestSupport.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <QJsonArray>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <utility>

namespace {

const char kNormal[] = "127.0.0.2";
const char kNoPort[] = "127.0.0.3";
const char kRefusesAll[] = "127.0.0.4";
const char kBadValues[] = "127.0.0.5";
const char kOtherPort[] = "127.0.0.6";
const char kRefusesMode[] = "127.0.0.8";
const char kScratch[] = "127.0.0.9";

#define ENTERPRISE 1, 3, 6, 1, 4, 1, 32473, 1, 4
const oid kCommitOid[] = {ENTERPRISE, 1, 2, 0};
const oid kBitRateOid[] = {ENTERPRISE, 2, 10, 0};
const oid kSerialPeerOid[] = {ENTERPRISE, 2, 4, 0};
const oid kManagerOid[] = {ENTERPRISE, 3, 1, 0};
const oid kPeriodOid[] = {ENTERPRISE, 3, 2, 0};

SimProcess* g_sim = nullptr;
bool g_pduCannotBeMade = false;

QJsonObject Json(std::initializer_list<std::pair<const char*, QJsonValue>> items)
{
    QJsonObject object;
    for (const auto& [key, value] : items)
        object.insert(QString::fromLatin1(key), value);
    return object;
}

class SimulatorEnvironment : public ::testing::Environment
{
  public:
    void SetUp() override
    {
        const QString ent = QStringLiteral("1.3.6.1.4.1.32473.1.4.");
        const QJsonArray boards = {
            Board(2, Json({{"values",
                            QJsonObject{{ent + QStringLiteral("2.10.0"), 115200},
                                        {ent + QStringLiteral("2.4.0"), QStringLiteral("192.0.2.10")}}}})),
            Board(3, Json({{"noPortNumber", true}})),
            Board(4, Json({{"refuseSets", true}})),
            Board(5, Json({{"exception", QJsonArray{ent + QStringLiteral("3.10.1.2.0")}},
                           {"wrongType", QJsonArray{ent + QStringLiteral("2.15.0")}}})),
            Board(6, Json({{"otherPort", true}})),
            Board(8, Json({{"refuseSets", QJsonArray{ent + QStringLiteral("2.2.0")}}, {"refuseStatus", 10}})),
            Board(9),
        };
        g_sim = new SimProcess;
        ASSERT_TRUE(StartSimulator(*g_sim, boards));
    }
    void TearDown() override
    {
        EXPECT_TRUE(g_sim->Stop()) << "the simulator did not end cleanly";
        delete g_sim;
        g_sim = nullptr;
    }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new SimulatorEnvironment);

struct PduFreer
{
    void operator()(netsnmp_pdu* pdu) const { snmp_free_pdu(pdu); }
};
using PduPtr = std::unique_ptr<netsnmp_pdu, PduFreer>;

class SnmpAccessTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_mark = SnmpLogSize(*g_sim);
        m_access.SetAgentPortForTesting(g_sim->SnmpPort());
        // As the window does it: each exchange on a thread of its own.
        m_access.SetWaitHook([this](const std::function<void()>& exchange) {
            m_busy.push_back(true);
            std::thread(exchange).join();
            m_busy.push_back(false);
        });
    }

    std::vector<Logged> Since() const { return SnmpLogSince(*g_sim, m_mark); }

    CSnmpAccess& Access() { return m_access; }

    CSnmpAccess m_access;
    size_t m_mark = 0;
    std::vector<bool> m_busy;
};

// GETs vars and reads the reply by table: the reading's result, -1 when nothing was sent and -2
// when the exchange failed.
int GetAndRead(CSnmpAccess& access, const char* board, const std::vector<SnmpVarSpec>& vars,
               const std::vector<CSnmpAccess::ReadEntry>& table)
{
    int status = -1;
    netsnmp_pdu* raw = nullptr;
    if (access.Get(board, vars.data(), unsigned(vars.size()), status, raw) != 1)
        return -1;
    const PduPtr reply(raw);
    if (!CSnmpAccess::Succeeded(1, status, reply.get()))
        return -2;
    return CSnmpAccess::ReadReply(reply.get(), table.data(), table.size());
}

// SETs vars: 1 when the board accepted them, 0 when not, -1 when nothing was sent.
int SetVars(CSnmpAccess& access, const char* board, const std::vector<SnmpVarSpec>& vars)
{
    int status = -1;
    netsnmp_pdu* raw = nullptr;
    if (access.Set(board, vars.data(), unsigned(vars.size()), status, raw) != 1)
        return -1;
    return CSnmpAccess::Succeeded(1, status, PduPtr(raw).get()) ? 1 : 0;
}

// Requests in the order the agent saw them, each as its list of "op oid type" texts.
std::vector<std::vector<std::string>> Requests(const std::vector<Logged>& log)
{
    std::vector<std::vector<std::string>> requests;
    qint64 current = -1;
    for (const Logged& entry : log) {
        if (entry.request != current) {
            requests.emplace_back();
            current = entry.request;
        }
        requests.back().push_back(entry.op + ' ' + entry.name + ' ' + entry.type);
    }
    return requests;
}

TEST_F(SnmpAccessTest, GetReadsSeveralVariablesIntoCallersTable)
{
    int32_t bitRate = 0, peer = 0, period = 0;
    ASSERT_EQ(
        GetAndRead(
            Access(), kNormal,
            {{kBitRateOid, 12, 0, nullptr}, {kSerialPeerOid, 12, 0, nullptr}, {kPeriodOid, 12, 0, nullptr}},
            {{kPeriodOid, 12, &period}, {kBitRateOid, 12, &bitRate}, {kSerialPeerOid, 12, &peer}}),
        1);
    EXPECT_EQ(bitRate, 115200);
    EXPECT_EQ(period, 100);
    unsigned char bytes[4];
    std::memcpy(bytes, &peer, 4);
    EXPECT_EQ(std::vector<int>(bytes, bytes + 4), (std::vector<int>{192, 0, 2, 10}));

    EXPECT_EQ(m_busy, (std::vector<bool>{true, false}));
    EXPECT_EQ(Requests(Since()), (std::vector<std::vector<std::string>>{
                                     {"get 2.10.0 INTEGER", "get 2.4.0 IpAddress", "get 3.2.0 INTEGER"}}));
}

TEST_F(SnmpAccessTest, SetIntegerAndAddressThenGetBack)
{
    ASSERT_EQ(
        SetVars(Access(), kScratch, {{kPeriodOid, 12, 'i', "250"}, {kManagerOid, 12, 'a', "198.51.100.7"}}),
        1);

    int32_t manager = 0, period = 0;
    ASSERT_EQ(GetAndRead(Access(), kScratch, {{kManagerOid, 12, 0, nullptr}, {kPeriodOid, 12, 0, nullptr}},
                         {{kManagerOid, 12, &manager}, {kPeriodOid, 12, &period}}),
              1);
    EXPECT_EQ(period, 250);
    EXPECT_EQ(static_cast<uint32_t>(manager), NetworkOrder(198, 51, 100, 7));

    EXPECT_EQ(Requests(Since()),
              (std::vector<std::vector<std::string>>{{"set 3.2.0 INTEGER", "set 3.1.0 IpAddress"},
                                                     {"get 3.1.0 IpAddress", "get 3.2.0 INTEGER"}}));
    EXPECT_EQ(m_busy, (std::vector<bool>{true, false, true, false}));
}

TEST_F(SnmpAccessTest, SetLeavesOutAValueThatDoesNotConvert)
{
    ASSERT_EQ(
        SetVars(Access(), kScratch, {{kManagerOid, 12, 'a', "not-an-address"}, {kPeriodOid, 12, 'i', "400"}}),
        1);
    EXPECT_EQ(Requests(Since()), (std::vector<std::vector<std::string>>{{"set 3.2.0 INTEGER"}}));
}

TEST_F(SnmpAccessTest, CommitReachesTheBoard)
{
    auto commits = [this] {
        int32_t count = -1;
        EXPECT_EQ(GetAndRead(Access(), kScratch, {{kCommitOid, 12, 0, nullptr}}, {{kCommitOid, 12, &count}}),
                  1);
        return count;
    };
    const int32_t before = commits();
    const size_t mark = SnmpLogSize(*g_sim);
    EXPECT_EQ(Access().Commit(kScratch), 1);
    const std::vector<Logged> log = SnmpLogSince(*g_sim, mark);
    EXPECT_EQ(Requests(log), (std::vector<std::vector<std::string>>{{"set 1.2.0 INTEGER"}}));
    ASSERT_EQ(log.size(), 1U);
    EXPECT_EQ(log[0].board, kScratch);
    EXPECT_EQ(log[0].value.toInteger(), 1);
    EXPECT_EQ(commits(), before + 1);

    EXPECT_EQ(Access().Commit(kRefusesAll), 0);
}

// Get and Set to peer return 0 and leave status and reply as they were.
void ExpectGetAndSetRefused(CSnmpAccess& access, const char* peer)
{
    const SnmpVarSpec vars[] = {{kPeriodOid, 12, 'i', "100"}};
    netsnmp_pdu sentinel{};
    for (bool set : {false, true}) {
        SCOPED_TRACE(set ? "set" : "get");
        int status = 1234;
        netsnmp_pdu* reply = &sentinel;
        const int result =
            set ? access.Set(peer, vars, 1, status, reply) : access.Get(peer, vars, 1, status, reply);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(status, 1234);
        EXPECT_EQ(reply, &sentinel);
    }
}

TEST_F(SnmpAccessTest, SessionThatCannotOpenSendsNothing)
{
    // With the product port the peer text goes to Net-SNMP as it is; a port that is no number
    // fails in the library before any name lookup or socket.
    CSnmpAccess access;
    const char unopenable[] = "127.0.0.2:no-port";
    ExpectGetAndSetRefused(access, unopenable);
    EXPECT_EQ(access.Commit(unopenable), 0);
    SerialSettings serial;
    GpioSettings gpio;
    EXPECT_EQ(access.GetSerialSettings(unopenable, serial), 0);
    EXPECT_EQ(access.SetSerialSettings(unopenable, serial), 0);
    EXPECT_EQ(access.GetGpioSettings(unopenable, 1, gpio), 0);
    EXPECT_EQ(access.SetGpioSettings(unopenable, 1, gpio), 0);
    EXPECT_TRUE(Since().empty());
}

TEST_F(SnmpAccessTest, RequestThatCannotBeMadeSendsNothing)
{
    g_pduCannotBeMade = true;
    ExpectGetAndSetRefused(Access(), kScratch);
    g_pduCannotBeMade = false;
    EXPECT_TRUE(Since().empty());
}

// A timer of the window may fire while a request waits: nothing it asks of any access object
// starts, and the waiting request (port 8 of a GPIO read) ends as it would have.
TEST_F(SnmpAccessTest, NoSecondRequestWhileOneWaits)
{
    CSnmpAccess other;
    other.SetAgentPortForTesting(g_sim->SnmpPort());
    std::vector<int> nested;
    Access().SetWaitHook([&](const std::function<void()>& exchange) {
        std::thread worker(exchange);
        const SnmpVarSpec vars[] = {{kPeriodOid, 12, 'i', "100"}};
        int status = 1234;
        netsnmp_pdu* reply = nullptr;
        GpioSettings gpio;
        nested = {other.Get(kScratch, vars, 1, status, reply), other.Set(kScratch, vars, 1, status, reply),
                  Access().GetGpioSettings(kScratch, 5, gpio), Access().SetGpioSettings(kScratch, 5, gpio),
                  status};
        worker.join();
    });
    GpioSettings settings;
    EXPECT_EQ(Access().GetGpioSettings(kNormal, 8, settings), 1);
    EXPECT_EQ(nested, (std::vector<int>{0, 0, 0, 0, 1234}));
    EXPECT_EQ(other.TimeoutMicroseconds(), kGetTimeoutUs);
    EXPECT_EQ(Requests(Since()).size(), 1U);
}

// Each access object waits through its own hook and keeps its own timeout: a SET through one
// leaves the other's requests as they were.
TEST_F(SnmpAccessTest, EachAccessKeepsItsOwnWaitHookAndTimeout)
{
    CSnmpAccess other;
    other.SetAgentPortForTesting(g_sim->SnmpPort());
    int otherWaits = 0;
    other.SetWaitHook([&](const std::function<void()>& exchange) {
        ++otherWaits;
        exchange();
    });

    ASSERT_EQ(SetVars(Access(), kScratch, {{kPeriodOid, 12, 'i', "100"}}), 1);
    EXPECT_EQ(m_busy, (std::vector<bool>{true, false}));
    EXPECT_EQ(otherWaits, 0);
    EXPECT_EQ(Access().TimeoutMicroseconds(), kSetTimeoutUs);
    EXPECT_EQ(other.TimeoutMicroseconds(), kGetTimeoutUs);

    int32_t period = 0;
    ASSERT_EQ(GetAndRead(other, kScratch, {{kPeriodOid, 12, 0, nullptr}}, {{kPeriodOid, 12, &period}}), 1);
    EXPECT_EQ(period, 100);
    EXPECT_EQ(otherWaits, 1);
    EXPECT_EQ(m_busy.size(), 2U);
    EXPECT_EQ(other.TimeoutMicroseconds(), kGetTimeoutUs);
}

TEST_F(SnmpAccessTest, SerialGetOutcomeByBoard)
{
    struct Case
    {
        const char* board;
        int result;
        int32_t port; // checked on success
    };
    const Case cases[] = {
        {kNoPort, 1, 21347},    // the port variable is optional
        {kBadValues, 0, 0},     // stop bits come as a two-byte OCTET STRING
        {kOtherPort, 1, 21347}, // only per-port I/O variables are affected
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board);
        SerialSettings settings;
        settings.portNumber = 1;
        EXPECT_EQ(Access().GetSerialSettings(c.board, settings), c.result);
        if (c.result == 1) {
            EXPECT_EQ(settings.portNumber, c.port);
        }
    }
}

TEST_F(SnmpAccessTest, SerialSetWritesSevenThenPortThenCommits)
{
    SerialSettings written;
    written.connectionMode = 2;
    written.peerAddress = static_cast<int32_t>(NetworkOrder(203, 0, 113, 5));
    written.bitRate = 57600;
    written.dataLength = 2;
    written.stopBits = 1;
    written.parity = 2;
    written.flowControl = 1;
    written.portNumber = 65535;
    ASSERT_EQ(Access().SetSerialSettings(kScratch, written), 1);

    const std::vector<Logged> log = Since();
    EXPECT_EQ(Requests(log),
              (std::vector<std::vector<std::string>>{
                  {"set 2.2.0 INTEGER", "set 2.4.0 IpAddress", "set 2.10.0 INTEGER", "set 2.12.0 INTEGER",
                   "set 2.15.0 INTEGER", "set 2.20.0 INTEGER", "set 2.25.0 INTEGER"},
                  {"set 2.5.0 INTEGER"},
                  {"set 1.2.0 INTEGER"}}));
    ASSERT_EQ(log.size(), 9U);
    EXPECT_EQ(log[1].value.toString(), QStringLiteral("203.0.113.5"));
    EXPECT_EQ(log[7].value.toInteger(), 65535);
    EXPECT_EQ(m_busy.size(), 6U);

    SerialSettings read;
    read.portNumber = 0;
    ASSERT_EQ(Access().GetSerialSettings(kScratch, read), 1);
    EXPECT_EQ(std::memcmp(&read, &written, sizeof read), 0);
}

TEST_F(SnmpAccessTest, SerialSetOutcomeByBoard)
{
    // Whatever the board does with the two settings requests, the commit follows them.
    struct Case
    {
        const char* board;
        int result;
    };
    const Case cases[] = {
        {kNoPort, 1},      // only the port request fails
        {kRefusesMode, 0}, // the seven-variable request is refused, the port request is not
        {kRefusesAll, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board);
        const size_t mark = SnmpLogSize(*g_sim);
        SerialSettings settings;
        settings.dataLength = -1; // what a list without selection sends
        EXPECT_EQ(Access().SetSerialSettings(c.board, settings), c.result);
        const std::vector<Logged> log = SnmpLogSince(*g_sim, mark);
        const auto requests = Requests(log);
        ASSERT_EQ(requests.size(), 3U);
        EXPECT_EQ(requests[0].size(), 7U);
        EXPECT_EQ(requests[1], (std::vector<std::string>{"set 2.5.0 INTEGER"}));
        EXPECT_EQ(requests[2], (std::vector<std::string>{"set 1.2.0 INTEGER"}));
        EXPECT_EQ(log[3].value.toInteger(), -1);
    }
}

TEST_F(SnmpAccessTest, GpioGetOutcomeByBoard)
{
    struct Case
    {
        const char* board;
        int port;
        int result;
    };
    const Case cases[] = {
        {kNormal, 8, 1},    {kOtherPort, 2, 0}, // names port 3 in the reply
        {kOtherPort, 8, 0},                     // names port 1
        {kBadValues, 1, 0},                     // noSuchInstance for the state of port 1
        {kBadValues, 2, 1}, {kNoPort, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.board) + " port " + std::to_string(c.port));
        GpioSettings settings;
        EXPECT_EQ(Access().GetGpioSettings(c.board, c.port, settings), c.result);
    }
}

TEST_F(SnmpAccessTest, GpioSetListDependsOnMode)
{
    struct Case
    {
        int port;
        GpioSettings settings;
        std::vector<std::string> expected;
        std::vector<qint64> values; // of the three per-port variables
    };
    GpioSettings output;
    output.managerAddress = NetworkOrder(192, 0, 2, 1);
    output.period = 100;
    output.mode = 0;
    output.state = 1;
    output.initialState = 0;
    output.trapTime = 5; // not sent for an OUTPUT port
    GpioSettings input;
    input.managerAddress = NetworkOrder(192, 0, 2, 99);
    input.period = 1000;
    input.mode = 1;
    input.state = 1;
    input.trapState = 1;
    input.trapTime = 604800000;
    const Case cases[] = {
        {3,
         output,
         {"set 3.1.0 IpAddress", "set 3.2.0 INTEGER", "set 3.10.3.1.0 INTEGER", "set 3.10.3.2.0 INTEGER",
          "set 3.10.3.3.0 INTEGER"},
         {0, 1, 0}},
        {4,
         input,
         {"set 3.1.0 IpAddress", "set 3.2.0 INTEGER", "set 3.10.4.1.0 INTEGER", "set 3.10.4.4.0 INTEGER",
          "set 3.10.4.5.0 INTEGER"},
         {1, 1, 604800000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        const size_t mark = SnmpLogSize(*g_sim);
        ASSERT_EQ(Access().SetGpioSettings(kScratch, c.port, c.settings), 1);
        const std::vector<Logged> log = SnmpLogSince(*g_sim, mark);
        EXPECT_EQ(Requests(log), (std::vector<std::vector<std::string>>{c.expected, {"set 1.2.0 INTEGER"}}));
        ASSERT_EQ(log.size(), 6U);
        EXPECT_EQ(log[0].value.toString().toStdString(),
                  c.port == 3 ? std::string("192.0.2.1") : std::string("192.0.2.99"));
        EXPECT_EQ(log[1].value.toInteger(), static_cast<qint64>(c.settings.period));
        EXPECT_EQ((std::vector<qint64>{log[2].value.toInteger(), log[3].value.toInteger(),
                                       log[4].value.toInteger()}),
                  c.values);

        GpioSettings read;
        ASSERT_EQ(Access().GetGpioSettings(kScratch, c.port, read), 1);
        EXPECT_EQ(read.managerAddress, c.settings.managerAddress);
        EXPECT_EQ(read.mode, c.settings.mode);
        EXPECT_EQ(read.trapTime, c.settings.mode == 1 ? c.settings.trapTime : 0U);
    }
}

TEST_F(SnmpAccessTest, GpioSetRefusedStillCommits)
{
    GpioSettings settings;
    EXPECT_EQ(Access().SetGpioSettings(kRefusesAll, 2, settings), 0);
    const auto requests = Requests(Since());
    ASSERT_EQ(requests.size(), 2U);
    EXPECT_EQ(requests[0].size(), 5U);
    EXPECT_EQ(requests[1], (std::vector<std::string>{"set 1.2.0 INTEGER"}));
}

TEST_F(SnmpAccessTest, GpioSetWithUnknownModeSendsNothing)
{
    GpioSettings settings;
    settings.mode = -1;
    EXPECT_EQ(Access().SetGpioSettings(kScratch, 1, settings), 0);
    EXPECT_TRUE(Since().empty());
    EXPECT_TRUE(m_busy.empty());
}

} // namespace

// Linked with --wrap=snmp_pdu_create: the access layer's PDUs come from here.
extern "C" netsnmp_pdu* __real_snmp_pdu_create(int command);
extern "C" netsnmp_pdu* __wrap_snmp_pdu_create(int command)
{
    return g_pduCannotBeMade ? nullptr : __real_snmp_pdu_create(command);
}
