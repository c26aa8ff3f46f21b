// The simulator on the product's own ports, found by a broadcast. Runs only in a private namespace.
#include "tests/sim/SimClient.h"
#include "tests/support/SimProcess.h"
#include "tests/support/UdpTestSocket.h"

#include <QJsonObject>
#include <QSet>
#include <QTest>

class tst_SimulatorNetns : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void broadcastSearchOnTheRealPorts_data();
    void broadcastSearchOnTheRealPorts();
};

void tst_SimulatorNetns::initTestCase()
{
    QVERIFY2(RunningInPrivateNetns(), "run through scripts/netns-run");
}

void tst_SimulatorNetns::broadcastSearchOnTheRealPorts_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("repliesTo");
    QTest::newRow("boards answer the requester") << QStringList() << QStringLiteral("127.0.0.1:22223");
    QTest::newRow("boards answer by broadcast")
        << QStringList{QStringLiteral("--reply-broadcast")} << QStringLiteral("255.255.255.255:22223");
}

void tst_SimulatorNetns::broadcastSearchOnTheRealPorts()
{
    QFETCH(QStringList, options);
    QFETCH(QString, repliesTo);
    QStringList args{QStringLiteral("--bind"), QStringLiteral("0.0.0.0:22222"), QStringLiteral("--boards"),
                     QStringLiteral("3")};
    args << options;
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
    QSet<QString> destinations;
    for (const QJsonObject& entry : sim.LogEntries()) {
        if (entry.value(QStringLiteral("proto")).toString() == QLatin1String("node") &&
            entry.value(QStringLiteral("dir")).toString() == QLatin1String("out"))
            destinations.insert(entry.value(QStringLiteral("peer")).toString());
    }
    QCOMPARE(destinations, QSet<QString>{repliesTo});
}

QTEST_GUILESS_MAIN(tst_SimulatorNetns)
#include "tst_SimulatorNetns.moc"
