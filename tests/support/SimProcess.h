#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs lanfinch-sim for one test. Needs a QCoreApplication (QTEST_MAIN / QTEST_GUILESS_MAIN, or
// one made by a GoogleTest main). Not thread-safe: use it from the test's thread.
//
//   SimProcess sim;
//   QVERIFY(sim.Start({"--boards", "3", "--no-snmp"}));
//   ... talk to 127.0.0.1:sim.UdpPort() (board k answers from 127.0.0.(k+2)) ...
//   sim.LogEntries();   // what it received and sent, one JSON object per datagram
//
// The log's fields are listed by `lanfinch-sim --help`; SNMP agent entries carry "proto":"snmp",
// node protocol entries "proto":"node".
class SimProcess
{
  public:
    // launcher: a command that runs the simulator for us, such as {"nsenter", "--net=PATH"} to run
    // it in another network namespace; empty runs it directly.
    explicit SimProcess(const QStringList& launcher = {});
    ~SimProcess(); // Stop()
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the simulator with extraArgs plus --log <temp file>, plus --bind 127.0.0.1:0 unless
    // extraArgs has --bind, plus --snmp-port 0 unless it has --snmp-port or --no-snmp. Waits for the
    // ready line; false (with the reason on stderr) when it does not come within timeoutMs.
    bool Start(const QStringList& extraArgs, int timeoutMs = 10000);
    // Starts with these boards as its config on the product's ports: the node protocol on
    // 0.0.0.0:22222, SNMP on 161. Only inside a private network namespace.
    bool StartOnProductPorts(const QJsonArray& boards, int timeoutMs = 10000);
    // SIGTERM, then waits. True when a simulator that had started ended with exit code 0 (now or
    // earlier) and wrote nothing after its ready line.
    bool Stop();
    bool IsRunning() const;

    // From the ready line; 0 before Start() succeeded.
    QString UdpAddress() const { return m_udpAddress; }
    quint16 UdpPort() const { return m_udpPort; }
    quint16 SnmpPort() const { return m_snmpPort; }
    int BoardCount() const { return m_boardCount; }
    qint64 Pid() const;

    // Every log line so far, parsed; lines that are not JSON objects are skipped.
    QList<QJsonObject> LogEntries() const;
    QString LogPath() const;
    // From log entry `from` on, in their order: the MACs of the set-address requests the boards
    // received, and the given field ("board", "oid", ...) of each SNMP SET.
    QStringList SetAddressMacs(qsizetype from = 0) const;
    QStringList SnmpSets(const QString& field, qsizetype from = 0) const;

    // Writes {"boards": ...} or any object as a config file in this object's temporary directory;
    // returns its path for --config (empty on failure). The file lives as long as this object.
    QString WriteConfig(const QJsonObject& config);

  private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QStringList m_launcher;
    QString m_udpAddress;
    quint16 m_udpPort = 0;
    quint16 m_snmpPort = 0;
    int m_boardCount = 0;
    int m_configCount = 0;
};

// Board `last` of a config: fields, with the MAC <macPrefix>:<last in hex> and the address
// 127.0.0.<last>.
QJsonObject SimBoard(int last, QJsonObject fields = {},
                     const QString& macPrefix = QStringLiteral("02:4c:46:00:53"));

// True inside scripts/netns-run: LANFINCH_NETNS=1 and no interface but loopback is up, so a
// broadcast to 255.255.255.255 cannot leave this machine.
bool RunningInPrivateNetns();

// The names of the interfaces that are up.
QSet<QString> InterfacesUp();
