// The simulator on the product's own ports, found by a broadcast. Runs only in a private namespace.
#include "tests/sim/SimClient.h"
#include "tests/support/SimProcess.h"
#include "tests/support/UdpTestSocket.h"

#include <QSet>
#include <QTest>

class tst_SimulatorNetns : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void broadcastSearchOnTheRealPorts();
};

void tst_SimulatorNetns::initTestCase()
{
    QVERIFY2(RunningInPrivateNetns(), "run through scripts/netns-run");
}

void tst_SimulatorNetns::broadcastSearchOnTheRealPorts()
{
    QStringList args{QStringLiteral("--bind"), QStringLiteral("0.0.0.0:22222"), QStringLiteral("--boards"),
                     QStringLiteral("3")};
    args << QStringLiteral("--snmp-port") << QStringLiteral("161");
    SimProcess sim;
    QVERIFY(sim.Start(args));
    QCOMPARE(sim.SnmpPort(), quint16(161));
    QCOMPARE(sim.UdpAddress(), QStringLiteral("0.0.0.0"));
    QCOMPARE(sim.UdpPort(), quint16(22222));

    UdpTestSocket tool;
    QVERIFY(tool.Open(QStringLiteral("0.0.0.0"), 22223, 0, true));
    const NodeRequest search = NodeRequest::Search("39300000");
    QVERIFY(tool.SendTo(search.Bytes(), QStringLiteral("255.255.255.255"), 22222));

    QSet<QString> sources;
    while (sources.size() < 3) {
        const auto datagram = tool.Receive(3000);
        QVERIFY(datagram);
        const NodeReply reply = NodeReply::From(*datagram);
        QVERIFY(reply.valid);
        QCOMPARE(reply.tid, search.tid);
        QCOMPARE(reply.fromPort, quint16(22222));
        QCOMPARE(reply.from, reply.ip);
        sources.insert(reply.from);
    }
    QCOMPARE(sources, QSet<QString>({QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3"),
                                     QStringLiteral("127.0.0.4")}));
    QVERIFY(sim.Stop());
}

QTEST_GUILESS_MAIN(tst_SimulatorNetns)
#include "tst_SimulatorNetns.moc"
