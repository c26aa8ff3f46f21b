// The asynchronous SNMP loop against the simulator's agent on loopback: many boards at once, a
// silent one that does not hold up the others, and coroutines that chain requests over it.
#include "core/SnmpLoop.h"
#include "core/SnmpSession.h"
#include "core/Task.h"
#include "tests/support/SimProcess.h"

#include <net-snmp/net-snmp-includes.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

namespace {

const std::vector<oid> kBitRate = {1, 3, 6, 1, 4, 1, 32473, 1, 4, 2, 10, 0};
constexpr int kBoards = 40;
constexpr long kShortTimeoutUs = 300000;

QString Address(int board)
{
    return QStringLiteral("127.0.0.%1").arg(board + 2);
}

SnmpRequest BitRateGet(int board, long timeoutUs = kGetTimeoutUs)
{
    return {SNMP_MSG_GET, Address(board).toStdString(), {{kBitRate, 0, {}}}, timeoutUs};
}

SnmpRequest BitRateSet(int board, int rate)
{
    return {
        SNMP_MSG_SET, Address(board).toStdString(), {{kBitRate, 'i', std::to_string(rate)}}, kSetTimeoutUs};
}

// The bit rate a response carries, -1 when it carries none.
long BitRate(const SnmpResponse& response)
{
    if (!response.sent || response.status != STAT_SUCCESS || !response.reply || !response.reply->variables ||
        response.reply->variables->type != ASN_INTEGER)
        return -1;
    return *response.reply->variables->val.integer;
}

Task<long> SetThenRead(SnmpTransport& transport, int board, int rate)
{
    const SnmpResponse set = co_await Exchange(transport, BitRateSet(board, rate));
    if (!set.sent || set.status != STAT_SUCCESS)
        co_return -2;
    co_return BitRate(co_await Exchange(transport, BitRateGet(board)));
}

// Answers every request at once with a copy of what it was given to say.
class AtOnce final : public SnmpTransport
{
  public:
    void Send(const SnmpRequest& request, Done done) override
    {
        sent.push_back(request.command);
        done(SnmpResponse{true, STAT_TIMEOUT, nullptr});
    }
    std::vector<int> sent;
};

} // namespace

class tst_SnmpLoop : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void manyBoardsAtOnce();
    void silentBoardHoldsUpNobody();
    void coroutinesChainRequests();
    void nothingSentWithoutSession();
    void slicesEndByTheirDeadline();

  private:
    SimProcess m_sim;
};

void tst_SnmpLoop::initTestCase()
{
    QJsonArray boards;
    for (int board = 0; board < kBoards; ++board) {
        QJsonObject entry{
            {QStringLiteral("mac"), QStringLiteral("02:4c:46:00:54:%1").arg(board, 2, 16, QLatin1Char('0'))},
            {QStringLiteral("ip"), Address(board)}};
        if (board == 7)
            entry.insert(QStringLiteral("snmp"), QJsonObject{{QStringLiteral("silent"), true}});
        boards.append(entry);
    }
    QVERIFY(
        m_sim.Start({QStringLiteral("--config"), m_sim.WriteConfig({{QStringLiteral("boards"), boards}})}));
}

void tst_SnmpLoop::cleanupTestCase()
{
    QVERIFY(m_sim.Stop());
}

void tst_SnmpLoop::manyBoardsAtOnce()
{
    SnmpLoop loop(m_sim.SnmpPort());
    std::vector<long> rates(kBoards, 0);
    for (int board = 0; board < kBoards; ++board) {
        if (board != 7)
            loop.Send(BitRateGet(board),
                      [&, board](SnmpResponse response) { rates[board] = BitRate(response); });
    }
    QCOMPARE(loop.Outstanding(), std::size_t(kBoards - 1));
    loop.Run();
    QCOMPARE(loop.Outstanding(), std::size_t(0));
    for (int board = 0; board < kBoards; ++board)
        QCOMPARE(rates[board], board == 7 ? 0 : 9600);
}

void tst_SnmpLoop::silentBoardHoldsUpNobody()
{
    SnmpLoop loop(m_sim.SnmpPort());
    QStringList order;
    loop.Send(BitRateGet(7, kShortTimeoutUs), [&](SnmpResponse response) {
        order << (response.status == STAT_TIMEOUT ? QStringLiteral("silent timed out")
                                                  : QStringLiteral("silent answered"));
    });
    loop.Send(BitRateGet(3),
              [&](SnmpResponse response) { order << QStringLiteral("board %1").arg(BitRate(response)); });
    loop.Run();
    QCOMPARE(order, (QStringList{QStringLiteral("board 9600"), QStringLiteral("silent timed out")}));
}

void tst_SnmpLoop::coroutinesChainRequests()
{
    SnmpLoop loop(m_sim.SnmpPort());
    std::vector<Task<long>> tasks;
    for (int board = 0; board < 5; ++board)
        tasks.push_back(SetThenRead(loop, board, 19200 + board));
    for (Task<long>& task : tasks)
        task.Start();
    loop.Run();
    for (int board = 0; board < 5; ++board) {
        QVERIFY(tasks[board].Done());
        QCOMPARE(tasks[board].TakeResult(), 19200 + board);
    }

    // A transport that answers at once runs the whole coroutine inside Start().
    AtOnce atOnce;
    QCOMPARE(RunToEnd(SetThenRead(atOnce, 0, 600)), -2L);
    QCOMPARE(atOnce.sent, std::vector<int>{SNMP_MSG_SET});
}

void tst_SnmpLoop::nothingSentWithoutSession()
{
    SnmpLoop loop(m_sim.SnmpPort());
    SnmpRequest request = BitRateGet(0);
    request.peer = "no such host name.invalid";
    bool called = false;
    loop.Send(request, [&](SnmpResponse response) {
        called = true;
        QVERIFY(!response.sent);
    });
    QVERIFY(called);
    QCOMPARE(loop.Outstanding(), std::size_t(0));
}

// A caller with other work runs the loop in slices: each ends by its deadline while the silent
// board is still waited for (5 s), and a request abandoned then is never answered.
void tst_SnmpLoop::slicesEndByTheirDeadline()
{
    SnmpLoop loop(m_sim.SnmpPort());
    bool silentAnswered = false;
    long rate = 0;
    loop.Send(BitRateGet(7), [&](SnmpResponse) { silentAnswered = true; });
    loop.Send(BitRateGet(3), [&](SnmpResponse response) { rate = BitRate(response); });
    for (int slice = 0; slice < 20 && rate == 0; ++slice)
        loop.RunUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(50));
    QVERIFY(rate > 0); // whatever an earlier test set
    QCOMPARE(loop.Outstanding(), std::size_t(1));
    loop.Abandon();
    QCOMPARE(loop.Outstanding(), std::size_t(0));
    loop.Run();
    QVERIFY(!silentAnswered);
}

QTEST_GUILESS_MAIN(tst_SnmpLoop)
#include "tst_SnmpLoop.moc"
