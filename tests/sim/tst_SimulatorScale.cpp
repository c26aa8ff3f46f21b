// How many of 10,000 simulated boards reach one client with one search. Reports, asserts only "some".
#include "SimClient.h"
#include "SimProcess.h"
#include "UdpTestSocket.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTest>

class tst_SimulatorScale : public QObject
{
    Q_OBJECT

  private slots:
    void tenThousandBoardsAnswerOneSearch();
};

void tst_SimulatorScale::tenThousandBoardsAnswerOneSearch()
{
    SimProcess sim;
    QVERIFY(
        sim.Start({QStringLiteral("--boards"), QStringLiteral("10000"), QStringLiteral("--no-snmp")}, 60000));
    QCOMPARE(sim.BoardCount(), 10000);
    UdpTestSocket client;
    QVERIFY(client.Open(QStringLiteral("127.0.0.1"), 0, 64 * 1024 * 1024));

    const NodeRequest search = NodeRequest::Search("10270000");
    QElapsedTimer timer;
    timer.start();
    QVERIFY(client.SendTo(search.Bytes(), QStringLiteral("127.0.0.1"), sim.UdpPort()));
    const QList<UdpTestSocket::Datagram> datagrams = client.ReceiveUntilQuiet(2000, 60000);
    const qint64 elapsed = timer.elapsed() - (datagrams.isEmpty() ? 0 : 2000);

    QSet<QString> sources;
    for (const UdpTestSocket::Datagram& datagram : datagrams) {
        const NodeReply reply = NodeReply::From(datagram);
        if (reply.valid && reply.tid == search.tid && reply.from == reply.ip)
            sources.insert(reply.from);
    }
    qInfo("10000 boards: %lld datagrams, %lld distinct boards, in about %lld ms",
          static_cast<long long>(datagrams.size()), static_cast<long long>(sources.size()),
          static_cast<long long>(elapsed));
    QVERIFY(!sources.isEmpty());
    QVERIFY(sim.Stop());
}

QTEST_GUILESS_MAIN(tst_SimulatorScale)
#include "tst_SimulatorScale.moc"
