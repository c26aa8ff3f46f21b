// The simulator at scale: how many of 10,000 boards reach one client with one search (reports,
// asserts only "some"), and SNMP agents for more boards than a plain select() can watch.
#include "tests/sim/SimClient.h"
#include "tests/support/SimProcess.h"
#include "tests/support/UdpTestSocket.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

namespace {

// Net-SNMP's snmpget against one board's agent; its output, empty when it got no answer.
QByteArray SnmpGet(const QString& board, quint16 port, const char* oid)
{
    QTemporaryDir state; // keeps the tool from writing under /var/lib/snmp
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SNMP_PERSISTENT_DIR"), state.path());
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral("snmpget"),
               {QStringLiteral("-v2c"), QStringLiteral("-c"), QStringLiteral("vantile"), QStringLiteral("-r"),
                QStringLiteral("1"), QStringLiteral("-t"), QStringLiteral("3"),
                QStringLiteral("%1:%2").arg(board).arg(port), QString::fromLatin1(oid)});
    if (!tool.waitForFinished(20000) || tool.exitCode() != 0)
        return {};
    return tool.readAllStandardOutput();
}

} // namespace

class tst_SimulatorScale : public QObject
{
    Q_OBJECT

  private slots:
    void tenThousandBoardsAnswerOneSearch();
    void agentsBeyondTheSelectLimit();
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

void tst_SimulatorScale::agentsBeyondTheSelectLimit()
{
    const QStringList twoThousand{QStringLiteral("--boards"), QStringLiteral("2000")};

    // A hard limit below what the agents need is refused at start, with the reason.
    QProcess refused;
    refused.setChildProcessModifier([] {
        const rlimit low{512, 512};
        ::setrlimit(RLIMIT_NOFILE, &low);
    });
    refused.start(QStringLiteral(LANFINCH_SIM_PATH),
                  twoThousand + QStringList{QStringLiteral("--bind"), QStringLiteral("127.0.0.1:0"),
                                            QStringLiteral("--snmp-port"), QStringLiteral("0")});
    QVERIFY(refused.waitForFinished(30000));
    QCOMPARE(refused.exitCode(), 1);
    QVERIFY(refused.readAllStandardOutput().isEmpty());
    QVERIFY(refused.readAllStandardError().contains("open files"));

    // Otherwise every board answers SNMP, the last one (descriptor beyond 1024) included.
    SimProcess sim;
    QVERIFY(sim.Start(twoThousand, 60000));
    const char* bitRate = "1.3.6.1.4.1.32473.1.4.2.10.0";
    QVERIFY(SnmpGet(QStringLiteral("127.0.0.2"), sim.SnmpPort(), bitRate).contains("9600"));
    QVERIFY(SnmpGet(QStringLiteral("127.0.7.209"), sim.SnmpPort(), bitRate).contains("9600"));
    QVERIFY(sim.Stop());
}

QTEST_GUILESS_MAIN(tst_SimulatorScale)
#include "tst_SimulatorScale.moc"
