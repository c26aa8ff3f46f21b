// lanfinch-sim as a process, talked to over loopback by a hand-made client.
#include "tests/sim/SimClient.h"
#include "tests/support/SimProcess.h"
#include "tests/support/UdpTestSocket.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <random>

#include <signal.h>

namespace {

constexpr int kReplyWaitMs = 3000;
const QString kLoopback = QStringLiteral("127.0.0.1");

QStringList Args(std::initializer_list<const char*> list)
{
    QStringList result;
    for (const char* item : list)
        result << QString::fromLatin1(item);
    return result;
}

QJsonObject Board(const char* mac, const char* ip, QJsonObject extra = {})
{
    extra.insert(QStringLiteral("mac"), QLatin1String(mac));
    extra.insert(QStringLiteral("ip"), QLatin1String(ip));
    return extra;
}

QJsonObject Boards(std::initializer_list<QJsonObject> boards)
{
    QJsonArray array;
    for (const QJsonObject& board : boards)
        array.append(board);
    return QJsonObject{{QStringLiteral("boards"), array}};
}

const NodeReply* FindByMac(const QList<NodeReply>& replies, const QString& mac)
{
    const auto it =
        std::find_if(replies.begin(), replies.end(), [&](const NodeReply& r) { return r.mac == mac; });
    return it == replies.end() ? nullptr : &*it;
}

// The simulator and a client that talks to it over loopback.
struct Session
{
    SimProcess sim;
    UdpTestSocket client;

    bool Start(const QStringList& args) { return sim.Start(args) && client.Open(); }
    // Only the given boards, without the SNMP agent.
    bool StartWith(std::initializer_list<QJsonObject> boards)
    {
        return Start(
            {QStringLiteral("--config"), sim.WriteConfig(Boards(boards)), QStringLiteral("--no-snmp")});
    }
    bool Send(const QByteArray& datagram) { return client.SendTo(datagram, kLoopback, sim.UdpPort()); }
    bool Send(const NodeRequest& request) { return Send(request.Bytes()); }
    // The next datagram; not valid when none came in time.
    NodeReply Next(int waitMs = kReplyWaitMs)
    {
        const auto datagram = client.Receive(waitMs);
        return datagram ? NodeReply::From(*datagram) : NodeReply();
    }
    // Replies carrying tid, until `count` of them came or the wait ran out; others are dropped.
    QList<NodeReply> Collect(const QByteArray& tid, int count, int waitMs = kReplyWaitMs)
    {
        QList<NodeReply> replies;
        QElapsedTimer timer;
        timer.start();
        while (replies.size() < count && timer.elapsed() < waitMs) {
            const auto datagram = client.Receive(static_cast<int>(waitMs - timer.elapsed()));
            if (!datagram)
                break;
            const NodeReply reply = NodeReply::From(*datagram);
            if (reply.valid && reply.tid == tid)
                replies.append(reply);
        }
        return replies;
    }
};

} // namespace

class tst_Simulator : public QObject
{
    Q_OBJECT

  private slots:
    void helpNamesEveryOption();
    void badStartIsAnErrorWithQuietStdout_data();
    void badStartIsAnErrorWithQuietStdout();
    void searchGetsOneReplyPerBoardFromItsAddress();
    void setAddressChangesTheNextSearch();
    void malformedDatagramsAreIgnored();
    void randomBurstDoesNotStopIt();
    void searchFaults();
    void setAddressFaults_data();
    void setAddressFaults();
    void snmpAgentLifecycle();
    void snmpLatency_data();
    void snmpLatency();
    void lateBoardAnswersNothingThenFollowsItsAddress();
};

void tst_Simulator::helpNamesEveryOption()
{
    QProcess process;
    process.start(QStringLiteral(LANFINCH_SIM_PATH), {QStringLiteral("--help")});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(process.readAllStandardOutput());
    for (const char* option :
         {"--boards",          "--config",       "--bind",           "--snmp-port", "--no-snmp",
          "--reply-broadcast", "--log",          "--help",           "silent",      "replyDelayMs",
          "answerTwice",       "replyBroadcast", "setAddressResult", "replyMac",    "dhcpWire",
          "keepSettings",      "--snmp-delay",   "--snmp-jitter",    "delayMs",     "jitterMs",
          "appearAfterMs"})
        QVERIFY2(help.contains(QLatin1String(option)), option);
}

void tst_Simulator::badStartIsAnErrorWithQuietStdout_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QJsonObject>("config");
    QTest::newRow("unknown option") << Args({"--frobnicate"}) << QJsonObject();
    QTest::newRow("bad bind") << Args({"--bind", "127.0.0.1"}) << QJsonObject();
    QTest::newRow("too many boards") << Args({"--boards", "1000001"}) << QJsonObject();
    QTest::newRow("option without value") << Args({"--boards"}) << QJsonObject();
    QTest::newRow("bind to a foreign address") << Args({"--bind", "192.0.2.1:0"}) << QJsonObject();
    QTest::newRow("missing config") << Args({"--config", "/nonexistent/lanfinch.json"}) << QJsonObject();
    QTest::newRow("log in a missing folder") << Args({"--log", "/nonexistent/log"}) << QJsonObject();
    QTest::newRow("bad config") << QStringList() << Boards({Board("00:0a:ff:10:20:3b", "127.0.0.300")});
    QTest::newRow("SNMP delay too long") << Args({"--snmp-delay", "60001"}) << QJsonObject();
    QTest::newRow("negative SNMP jitter") << Args({"--snmp-jitter=-1"}) << QJsonObject();
    QTest::newRow("board's SNMP delay too long")
        << QStringList()
        << Boards({Board("00:0a:ff:10:20:3b", "127.0.0.2",
                         {{QStringLiteral("snmp"), QJsonObject{{QStringLiteral("delayMs"), 60001}}}})});
    QTest::newRow("a board appearing after ten minutes")
        << QStringList()
        << Boards({Board("00:0a:ff:10:20:3b", "127.0.0.2", {{QStringLiteral("appearAfterMs"), 600001}})});
}

void tst_Simulator::badStartIsAnErrorWithQuietStdout()
{
    QFETCH(QStringList, arguments);
    QFETCH(QJsonObject, config);
    SimProcess helper; // only for its temporary folder
    if (!config.isEmpty())
        arguments << QStringLiteral("--config") << helper.WriteConfig(config);
    arguments << QStringLiteral("--no-snmp");
    if (!arguments.contains(QStringLiteral("--bind")))
        arguments << QStringLiteral("--bind") << QStringLiteral("127.0.0.1:0");

    QProcess process;
    process.start(QStringLiteral(LANFINCH_SIM_PATH), arguments);
    QVERIFY(process.waitForFinished(10000));
    QVERIFY(process.exitCode() != 0);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(process.readAllStandardError().startsWith("lanfinch-sim: "));
}

void tst_Simulator::searchGetsOneReplyPerBoardFromItsAddress()
{
    Session s;
    const QString config =
        s.sim.WriteConfig(Boards({Board("00:0a:ff:10:20:3b", "127.0.0.9",
                                        {{QStringLiteral("dhcp"), 1},
                                         {QStringLiteral("mask"), QStringLiteral("255.255.0.0")},
                                         {QStringLiteral("gateway"), QStringLiteral("127.0.0.1")}})}));
    QVERIFY(s.Start({QStringLiteral("--config"), config, QStringLiteral("--boards"), QStringLiteral("3"),
                     QStringLiteral("--no-snmp")}));
    QCOMPARE(s.sim.UdpAddress(), kLoopback);
    QCOMPARE(s.sim.SnmpPort(), quint16(0));
    QCOMPARE(s.sim.BoardCount(), 4);

    const NodeRequest search = NodeRequest::Search("a1b2c3d4");
    QVERIFY(s.Send(search));
    const QList<NodeReply> replies = s.Collect(search.tid, 4);
    QCOMPARE(replies.size(), 4);
    QVERIFY(!s.client.Receive(100));

    struct Expected
    {
        const char* mac;
        const char* ip;
        const char* mask;
        const char* gateway;
        const char* dhcp;
    };
    for (const Expected& e :
         {Expected{"00:0a:ff:10:20:3b", "127.0.0.9", "255.255.0.0", "127.0.0.1", "01000000"},
          Expected{"02:4c:46:00:00:00", "127.0.0.2", "255.0.0.0", "0.0.0.0", "00000000"},
          Expected{"02:4c:46:00:00:01", "127.0.0.3", "255.0.0.0", "0.0.0.0", "00000000"},
          Expected{"02:4c:46:00:00:02", "127.0.0.4", "255.0.0.0", "0.0.0.0", "00000000"}}) {
        const NodeReply* reply = FindByMac(replies, QLatin1String(e.mac));
        QVERIFY2(reply, e.mac);
        QCOMPARE(reply->op, 1u);
        QCOMPARE(reply->result, 0u);
        QCOMPARE(reply->reserved, QByteArray(2, '\0'));
        QCOMPARE(reply->ip, QLatin1String(e.ip));
        QCOMPARE(reply->mask, QLatin1String(e.mask));
        QCOMPARE(reply->gateway, QLatin1String(e.gateway));
        QCOMPARE(reply->dhcp.toHex(), QByteArray(e.dhcp));
        QCOMPARE(reply->from, QLatin1String(e.ip));
        QCOMPARE(reply->fromPort, s.sim.UdpPort());
    }

    QTRY_COMPARE(s.sim.LogEntries().size(), 5); // the last line may follow the last reply
    const QList<QJsonObject> log = s.sim.LogEntries();
    QCOMPARE(log.first().value(QStringLiteral("dir")).toString(), QStringLiteral("in"));
    QCOMPARE(log.first().value(QStringLiteral("tid")).toString(), QStringLiteral("a1b2c3d4"));
    QCOMPARE(log.first().value(QStringLiteral("peer")).toString(),
             QStringLiteral("127.0.0.1:%1").arg(s.client.Port()));
    QCOMPARE(log.last().value(QStringLiteral("dir")).toString(), QStringLiteral("out"));
    QCOMPARE(log.last().value(QStringLiteral("src")).toString(),
             log.last().value(QStringLiteral("ip")).toString());
    QVERIFY(s.sim.Stop());
}

void tst_Simulator::setAddressChangesTheNextSearch()
{
    Session s;
    QVERIFY(s.Start(Args({"--boards", "2", "--no-snmp"})));
    QVERIFY(s.Send(NodeRequest::SetAddress("01000000", "02:4c:46:00:00:09", "127.0.9.9", "0.0.0.0")));
    NodeRequest set = NodeRequest::SetAddress("02000000", "02:4c:46:00:00:01", "127.0.5.5", "255.255.0.0");
    set.dhcp = QByteArray::fromHex("01000000");
    set.gateway = QStringLiteral("127.0.0.1");
    QVERIFY(s.Send(set));

    // Requests are handled in order, so a reply to the unknown MAC would come first.
    const NodeReply reply = s.Next();
    QVERIFY(reply.valid);
    QCOMPARE(reply.tid, set.tid);
    QCOMPARE(reply.op, 3u);
    QCOMPARE(reply.result, 0u);
    QCOMPARE(reply.mac, set.mac);
    QCOMPARE(reply.dhcp, set.dhcp);
    QCOMPARE(reply.ip, set.ip);
    QCOMPARE(reply.mask, set.mask);
    QCOMPARE(reply.gateway, set.gateway);
    QCOMPARE(reply.from, set.ip); // the board already answers from its new address

    const NodeRequest search = NodeRequest::Search("03000000");
    QVERIFY(s.Send(search));
    const QList<NodeReply> replies = s.Collect(search.tid, 2);
    QCOMPARE(replies.size(), 2);
    const NodeReply* changed = FindByMac(replies, set.mac);
    const NodeReply* unchanged = FindByMac(replies, QStringLiteral("02:4c:46:00:00:00"));
    QVERIFY(changed && unchanged);
    QCOMPARE(changed->ip, set.ip);
    QCOMPARE(changed->mask, set.mask);
    QCOMPARE(changed->dhcp, set.dhcp);
    QCOMPARE(changed->gateway, set.gateway);
    QCOMPARE(unchanged->ip, QStringLiteral("127.0.0.2"));
    QVERIFY(!s.client.Receive(0));
}

void tst_Simulator::malformedDatagramsAreIgnored()
{
    const QByteArray valid = NodeRequest().Bytes();
    const auto withOp = [&valid](const char* hex) { return QByteArray::fromHex(hex) + valid.mid(4); };
    const struct
    {
        QByteArray datagram;
        const char* ignored;
    } cases[] = {
        {QByteArray(), "size"},
        {QByteArray(1, '\0'), "size"},
        {valid.left(35), "size"},
        {valid + '\0', "size"},
        {valid + valid, "size"},           // two searches in one
        {QByteArray(65507, '\0'), "size"}, // the largest UDP payload
        {withOp("00000004"), "op"},
        {withOp("ffffffff"), "op"},
        {withOp("02000000"), "op"}, // set-address, op code little-endian
        {withOp("00000001"), "op"}, // a search reply
        {withOp("00000003"), "op"}, // a set-address reply
    };
    Session s;
    QVERIFY(s.Start(Args({"--boards", "2", "--no-snmp"})));
    for (const auto& c : cases)
        QVERIFY(s.Send(c.datagram));
    const NodeRequest search = NodeRequest::Search("77770000");
    QVERIFY(s.Send(search));
    QCOMPARE(s.Next().tid, search.tid); // nothing answered the bad datagrams
    QCOMPARE(s.Collect(search.tid, 1).size(), 1);

    const QList<QJsonObject> log = s.sim.LogEntries();
    QVERIFY(log.size() > qsizetype(std::size(cases)));
    for (qsizetype i = 0; i < qsizetype(std::size(cases)); ++i) {
        QCOMPARE(log[i].value(QStringLiteral("len")).toInt(), cases[i].datagram.size());
        QCOMPARE(log[i].value(QStringLiteral("ignored")).toString(), QLatin1String(cases[i].ignored));
    }
    QVERIFY(s.sim.Stop());
}

void tst_Simulator::randomBurstDoesNotStopIt()
{
    Session s;
    QVERIFY(s.sim.Start(Args({"--boards", "3", "--no-snmp"})));
    QVERIFY(s.client.Open(kLoopback, 0, 8 * 1024 * 1024));

    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 80);
    std::uniform_int_distribution<int> op(0, 5);
    for (int round = 0; round < 6; ++round) {
        for (int i = 0; i < 500; ++i) {
            const int size = i % 3 == 0 ? 36 : length(random);
            QByteArray datagram(size, '\0');
            for (char& c : datagram)
                c = static_cast<char>(byte(random));
            // Mostly plausible op codes, so the decoding path is exercised and not only the size check.
            if (size >= 4 && i % 2 == 0)
                datagram.replace(0, 4, QByteArray::fromHex("0000000" + QByteArray::number(op(random))));
            QVERIFY(s.Send(datagram));
        }
        // Answered after the burst, which also paces the next one within the simulator's buffer.
        NodeRequest search = NodeRequest::Search("feed0000");
        search.tid[2] = static_cast<char>(round);
        QVERIFY(s.Send(search));
        QCOMPARE(s.Collect(search.tid, 3, 10000).size(), 3);
    }
    QVERIFY(s.sim.IsRunning());
    QVERIFY(s.sim.Stop());
}

void tst_Simulator::searchFaults()
{
    Session s;
    QVERIFY(s.StartWith({
        Board("00:00:5e:00:53:01", "127.0.0.20"),
        Board("00:00:5e:00:53:02", "127.0.0.21", {{QStringLiteral("silent"), true}}),
        Board("00:00:5e:00:53:03", "127.0.0.22", {{QStringLiteral("replyDelayMs"), 300}}),
        Board("00:00:5e:00:53:04", "127.0.0.40", {{QStringLiteral("answerTwice"), true}}),
        Board("00:00:5e:00:53:05", "127.0.0.24", {{QStringLiteral("dhcpWire"), QStringLiteral("00000001")}}),
        Board("00:00:5e:00:53:06", "127.0.0.25",
              {{QStringLiteral("replyMac"), QStringLiteral("00:00:5e:00:53:ff")}}),
    }));

    QElapsedTimer sent;
    sent.start();
    const NodeRequest first = NodeRequest::Search("11110000");
    const NodeRequest second = NodeRequest::Search("22220000");
    QVERIFY(s.Send(first));
    QVERIFY(s.Send(second));

    // Each search: 5 answering boards, one of them twice. The delayed board comes last.
    QList<NodeReply> replies;
    while (replies.size() < 12) {
        replies.append(s.Next());
        QVERIFY(replies.last().valid);
    }
    QVERIFY(!s.client.Receive(100));
    QVERIFY(sent.elapsed() >= 300);

    QCOMPARE(replies.at(10).mac, QStringLiteral("00:00:5e:00:53:03"));
    QCOMPARE(replies.at(10).tid, first.tid);
    QCOMPARE(replies.at(11).mac, QStringLiteral("00:00:5e:00:53:03"));
    QCOMPARE(replies.at(11).tid, second.tid);
    QVERIFY(!FindByMac(replies, QStringLiteral("00:00:5e:00:53:02")));

    const QList<NodeReply> firstOnly = replies.mid(0, 5);
    QStringList twice;
    for (const NodeReply& reply : firstOnly) {
        QCOMPARE(reply.tid, first.tid); // the delayed board held nobody else back
        if (reply.mac == QLatin1String("00:00:5e:00:53:04"))
            twice << reply.ip;
    }
    QCOMPARE(twice, QStringList({QStringLiteral("127.0.0.40"), QStringLiteral("127.0.0.41")}));
    QCOMPARE(FindByMac(firstOnly, QStringLiteral("00:00:5e:00:53:05"))->dhcp,
             QByteArray::fromHex("00000001"));
    // replyMac is for set-address replies only; searches list the board under its own MAC.
    QVERIFY(FindByMac(firstOnly, QStringLiteral("00:00:5e:00:53:06")));
    QVERIFY(s.sim.Stop());
}

void tst_Simulator::setAddressFaults_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<quint32>("result");
    QTest::addColumn<QString>("replyMac");
    QTest::addColumn<bool>("claimed"); // the reply carries the new settings
    QTest::addColumn<bool>("applied");
    QTest::addColumn<int>("minDelayMs");
    const QString own = QStringLiteral("00:00:5e:00:53:10");
    QTest::newRow("silent") << QJsonObject{{QStringLiteral("silent"), true}} << false << 0u << own << false
                            << false << 0;
    QTest::newRow("failure result") << QJsonObject{{QStringLiteral("setAddressResult"), 7}} << true << 7u
                                    << own << false << false << 0;
    QTest::newRow("other MAC") << QJsonObject{{QStringLiteral("replyMac"),
                                               QStringLiteral("00:00:5e:00:53:99")}}
                               << true << 0u << QStringLiteral("00:00:5e:00:53:99") << true << true << 0;
    QTest::newRow("delayed") << QJsonObject{{QStringLiteral("replyDelayMs"), 200}} << true << 0u << own
                             << true << true << 200;
    QTest::newRow("success claimed, settings kept")
        << QJsonObject{{QStringLiteral("keepSettings"), true}} << true << 0u << own << true << false << 0;
}

void tst_Simulator::setAddressFaults()
{
    QFETCH(QJsonObject, fault);
    QFETCH(bool, answers);
    QFETCH(quint32, result);
    QFETCH(QString, replyMac);
    QFETCH(bool, claimed);
    QFETCH(bool, applied);
    QFETCH(int, minDelayMs);

    Session s;
    QVERIFY(s.StartWith({Board("00:00:5e:00:53:10", "127.0.0.30", fault)}));
    const NodeRequest set =
        NodeRequest::SetAddress("5e000000", "00:00:5e:00:53:10", "127.0.0.31", "255.255.255.0");
    QElapsedTimer timer;
    timer.start();
    QVERIFY(s.Send(set));
    QVERIFY(s.Send(NodeRequest::Search("5f000000")));

    const QList<NodeReply> setReplies = s.Collect(set.tid, 1, answers ? kReplyWaitMs : 300);
    QCOMPARE(setReplies.size(), answers ? 1 : 0);
    if (answers) {
        QVERIFY(timer.elapsed() >= minDelayMs);
        const NodeReply& reply = setReplies.first();
        QCOMPARE(reply.op, 3u);
        QCOMPARE(reply.result, result);
        QCOMPARE(reply.mac, replyMac);
        QCOMPARE(reply.ip, claimed ? set.ip : QStringLiteral("127.0.0.30"));
        // The search went out after the set-address request, so it sees the outcome.
        const NodeRequest again = NodeRequest::Search("60000000");
        QVERIFY(s.Send(again));
        const QList<NodeReply> found = s.Collect(again.tid, 1);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().ip, applied ? set.ip : QStringLiteral("127.0.0.30"));
        QCOMPARE(found.first().mask, applied ? set.mask : QStringLiteral("255.0.0.0"));
    }
    QVERIFY(s.sim.Stop());
}

void tst_Simulator::snmpAgentLifecycle()
{
    SimProcess sim;
    QVERIFY(sim.Start(Args({"--boards", "2"})));
    QVERIFY(sim.SnmpPort() != 0);
    QVERIFY(sim.Stop());

    // The agent dying takes the simulator down with an error.
    SimProcess doomed;
    QVERIFY(doomed.Start(Args({"--boards", "1"})));
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(doomed.Pid()));
    QVERIFY(children.open(QIODevice::ReadOnly));
    const QList<QByteArray> pids = children.readAll().trimmed().split(' ');
    QCOMPARE(pids.size(), 1);
    QCOMPARE(::kill(pids.first().toInt(), SIGKILL), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!doomed.IsRunning(), 10000);
    QVERIFY(!doomed.Stop());
}

void tst_Simulator::snmpLatency_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QJsonObject>("slow"); // the "snmp" objects of the two boards
    QTest::addColumn<QJsonObject>("fast");
    QTest::addColumn<int>("delayMs");
    const QString delay = QStringLiteral("delayMs");
    const QString jitter = QStringLiteral("jitterMs");
    const QJsonObject none{{delay, 0}, {jitter, 0}};
    QTest::newRow("a board's delay") << QStringList() << QJsonObject{{delay, 300}} << QJsonObject() << 300;
    QTest::newRow("--snmp-delay, a board's 0 wins")
        << Args({"--snmp-delay", "300"}) << QJsonObject() << none << 300;
    QTest::newRow("--snmp-jitter on a board's delay")
        << Args({"--snmp-jitter", "300"}) << QJsonObject{{delay, 300}} << none << 300;
    QTest::newRow("a board's jitter on --snmp-delay")
        << Args({"--snmp-delay=300"}) << QJsonObject{{jitter, 300}} << none << 300;
}

// Ten GETs to a delayed board, then one to an undelayed one on the same agent: the undelayed answer
// comes first, and the delayed ones each no earlier than the delay after its request, in order.
void tst_Simulator::snmpLatency()
{
    QFETCH(QStringList, arguments);
    QFETCH(QJsonObject, slow);
    QFETCH(QJsonObject, fast);
    QFETCH(int, delayMs);
    const QString slowIp = QStringLiteral("127.0.0.50");
    const QString fastIp = QStringLiteral("127.0.0.51");
    SimProcess sim;
    const QString config =
        sim.WriteConfig(Boards({Board("00:00:5e:00:53:50", "127.0.0.50", {{QStringLiteral("snmp"), slow}}),
                                Board("00:00:5e:00:53:51", "127.0.0.51", {{QStringLiteral("snmp"), fast}})}));
    QVERIFY(sim.Start(QStringList{QStringLiteral("--config"), config} + arguments));
    UdpTestSocket client;
    QVERIFY(client.Open());

    const QList<quint32> bitRate{1, 3, 6, 1, 4, 1, 32473, 1, 4, 2, 10, 0};
    constexpr int kRequests = 10;
    QElapsedTimer clock;
    clock.start();
    QList<qint64> sentNs;
    for (int id = 1; id <= kRequests; ++id) {
        sentNs << clock.nsecsElapsed();
        QVERIFY(client.SendTo(SnmpRequest::Bytes(id, bitRate), slowIp, sim.SnmpPort()));
    }
    QVERIFY(client.SendTo(SnmpRequest::Bytes(1000, bitRate), fastIp, sim.SnmpPort()));

    const auto first = client.Receive(kReplyWaitMs);
    QVERIFY(first);
    QCOMPARE(first->address, fastIp);
    QCOMPARE(SnmpRequest::ReplyId(first->data), qint64(1000));
    for (int id = 1; id <= kRequests; ++id) {
        const auto reply = client.Receive(kReplyWaitMs);
        QVERIFY(reply);
        const qint64 tookMs = (clock.nsecsElapsed() - sentNs.at(id - 1)) / 1000000;
        QCOMPARE(reply->address, slowIp);
        QCOMPARE(SnmpRequest::ReplyId(reply->data), qint64(id));
        QVERIFY2(tookMs >= delayMs, qPrintable(QStringLiteral("reply %1 after %2 ms").arg(id).arg(tookMs)));
    }
    QVERIFY(sim.Stop());
}

// A board plugged in later: before it appears, neither a search nor an SNMP GET gets an answer
// from it; once it has taken a new address, its SNMP agent answers there and no longer at the old.
void tst_Simulator::lateBoardAnswersNothingThenFollowsItsAddress()
{
    Session s;
    const QString late = QStringLiteral("00:00:5e:00:53:70");
    const QString config = s.sim.WriteConfig(
        Boards({Board("00:00:5e:00:53:70", "127.0.0.70", {{QStringLiteral("appearAfterMs"), 3000}}),
                Board("00:00:5e:00:53:71", "127.0.0.71")}));
    QVERIFY(s.Start({QStringLiteral("--config"), config}));
    const QList<quint32> bitRate{1, 3, 6, 1, 4, 1, 32473, 1, 4, 2, 10, 0};
    int requestId = 0;
    const auto answersSnmp = [&](const QString& address) {
        const qint32 id = ++requestId;
        if (!s.client.SendTo(SnmpRequest::Bytes(id, bitRate), address, s.sim.SnmpPort()))
            return false;
        const auto reply = s.client.Receive(300);
        return reply && reply->address == address && SnmpRequest::ReplyId(reply->data) == id;
    };
    int searches = 0;
    const auto listed = [&]() {
        const NodeRequest search =
            NodeRequest::Search(QByteArray::number(0x70000000u + ++searches, 16).constData());
        return s.Send(search) ? s.Collect(search.tid, 2, 300) : QList<NodeReply>();
    };

    const QList<NodeReply> before = listed();
    QCOMPARE(before.size(), 1);
    QVERIFY(!FindByMac(before, late));
    QVERIFY(!answersSnmp(QStringLiteral("127.0.0.70")));
    QVERIFY(QTest::qWaitFor([&]() { return listed().size() == 2; }, 10000));
    QVERIFY(answersSnmp(QStringLiteral("127.0.0.70")));

    QVERIFY(s.Send(NodeRequest::SetAddress("71000000", "00:00:5e:00:53:70", "127.0.0.72", "255.0.0.0")));
    QCOMPARE(s.Collect(QByteArray::fromHex("71000000"), 1).size(), 1);
    QVERIFY(QTest::qWaitFor([&]() { return answersSnmp(QStringLiteral("127.0.0.72")); }, 5000));
    QVERIFY(!answersSnmp(QStringLiteral("127.0.0.70")));
    QVERIFY(s.sim.Stop());
}

QTEST_GUILESS_MAIN(tst_Simulator)
#include "tst_Simulator.moc"
