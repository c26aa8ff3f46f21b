// lanfinch-cli as a user runs it, against the simulated boards on the product's SNMP port. Runs only
// in a private network namespace (scripts/netns-run).
#include "tests/support/SimProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <functional>

namespace {

const QString kEnterprise = QStringLiteral("1.3.6.1.4.1.32473.1.4.");

// Boards of the simulator, by the last octet of their address.
const QString kReadBoard = QStringLiteral("127.0.0.2");    // settings differ from the defaults
const QString kWriteBoard = QStringLiteral("127.0.0.3");   // changed by the tests
const QString kRefusing = QStringLiteral("127.0.0.4");     // refuses every SET
const QString kSilent = QStringLiteral("127.0.0.5");       // never answers
const QString kKeepsBitRate = QStringLiteral("127.0.0.6"); // accepts a bit rate, keeps its own
const QString kCopyBoard = QStringLiteral("127.0.0.7");    // takes an exported document
// Boards of the node protocol, by MAC: 02:4c:46:00:53 and the last octet of their address.
const QString kFixedMac = QStringLiteral("02:4c:46:00:53:08");   // takes new settings
const QString kDhcpMac = QStringLiteral("02:4c:46:00:53:09");    // uses DHCP
const QString kUnknownMac = QStringLiteral("02:4c:46:00:53:ff"); // no such board
// Boards with faults of their SNMP agent, silent on the node protocol so that no search lists them.
const QString kPortGetSilent = QStringLiteral("127.0.0.20");  // port 4001; no answer to a GET of it
const QString kPortGetRefused = QStringLiteral("127.0.0.21"); // port 4001; a GET of it gets genErr
const QString kNoPortNumber = QStringLiteral("127.0.0.22");   // has no port number
const QString kRefusesPort = QStringLiteral("127.0.0.23");    // port 4001; refuses a SET of it
const QString kBadVariables = QStringLiteral("127.0.0.24");   // bit rate mistyped, port 1's mode missing
const QString kOtherPort = QStringLiteral("127.0.0.25");      // answers for the next I/O port
const QString kRefusesPeriod = QStringLiteral("127.0.0.26");  // refuses a SET of the I/O period
const QString kRefusesCommit = QStringLiteral("127.0.0.27");  // refuses a SET of the commit variable
// No route leads there inside the namespace: requests cannot be sent.
const QString kUnreachable = QStringLiteral("192.0.2.10");

// node: settings and faults of its node protocol.
QJsonObject Board(int last, const QJsonObject& snmp = {}, QJsonObject node = {})
{
    if (!snmp.isEmpty())
        node.insert(QStringLiteral("snmp"), snmp);
    return SimBoard(last, node);
}

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QString err;

    QJsonDocument Json() const { return QJsonDocument::fromJson(out); }
};

} // namespace

class tst_CliNetns : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void searchListsEveryBoard();
    void reads_data();
    void reads();
    void writes_data();
    void writes();
    void exportThenApplyCopiesABoard();
    void inventory_data();
    void inventory();
    void badInputSendsNothing_data();
    void badInputSendsNothing();
    void failures_data();
    void failures();
    void outputFailures_data();
    void outputFailures();
    void setIp_data();
    void setIp();
    void noReceiveSocketIsNotSent_data();
    void noReceiveSocketIsNotSent();
    void manualPageProgramAnswersAsTheTool_data();
    void manualPageProgramAnswersAsTheTool();

  private:
    // setUp: what to change about the process before it starts.
    Run Cli(QStringList arguments, const std::function<void(QProcess&)>& setUp = {});
    QStringList SetsSince(qsizetype logged) const;
    void WriteFile(const QString& name, const QByteArray& contents);
    qsizetype LogSize() const;
    qsizetype SetAddressRequests() const;

    SimProcess m_sim;
    QTemporaryDir m_dir;
};

void tst_CliNetns::initTestCase()
{
    QVERIFY2(RunningInPrivateNetns(), "run through scripts/netns-run");
    QVERIFY(m_dir.isValid());
    const QJsonObject readValues{
        {kEnterprise + QStringLiteral("2.2.0"), 1},
        {kEnterprise + QStringLiteral("2.4.0"), QStringLiteral("192.0.2.10")},
        {kEnterprise + QStringLiteral("2.5.0"), 40001},
        {kEnterprise + QStringLiteral("2.10.0"), 115200},
        {kEnterprise + QStringLiteral("2.20.0"), 2},
        {kEnterprise + QStringLiteral("3.1.0"), QStringLiteral("192.0.2.1")},
        {kEnterprise + QStringLiteral("3.2.0"), 250},
        {kEnterprise + QStringLiteral("3.10.3.1.0"), 1},
        {kEnterprise + QStringLiteral("3.10.3.4.0"), 1},
        {kEnterprise + QStringLiteral("3.10.3.5.0"), 1000},
    };
    QJsonObject sharingMac = Board(14);
    sharingMac.insert(QStringLiteral("ip"), QStringLiteral("127.0.0.114"));
    QJsonArray boards{
        Board(2, {{QStringLiteral("values"), readValues}}),
        Board(3),
        Board(4, {{QStringLiteral("refuseSets"), true}}),
        Board(5, {{QStringLiteral("silent"), true}}),
        Board(6, {{QStringLiteral("ignoreSets"), kEnterprise + QStringLiteral("2.10.0")}}),
        Board(7),
        Board(8),
        Board(9, {}, {{QStringLiteral("dhcp"), 1}}),
        Board(10, {}, {{QStringLiteral("setAddressResult"), 1}}),
        Board(11, {}, {{QStringLiteral("ignoreSetAddress"), true}}),
        Board(12),
        Board(13, {}, {{QStringLiteral("keepSettings"), true}}),
        // Two boards with one MAC (factory settings), on two addresses.
        Board(14),
        sharingMac,
        Board(16),
        Board(17),
    };
    const QJsonObject quiet{{QStringLiteral("silent"), true}};
    const QString port = kEnterprise + QStringLiteral("2.5.0");
    const QJsonObject port4001{{port, 4001}};
    const QJsonArray faulty{
        Board(20, {{QStringLiteral("values"), port4001}, {QStringLiteral("silentGets"), port}}, quiet),
        Board(21, {{QStringLiteral("values"), port4001}, {QStringLiteral("refuseGets"), port}}, quiet),
        Board(22, {{QStringLiteral("noPortNumber"), true}}, quiet),
        Board(23,
              {{QStringLiteral("values"), port4001},
               {QStringLiteral("refuseSets"), port},
               {QStringLiteral("refuseStatus"), 17}},
              quiet),
        Board(24,
              {{QStringLiteral("wrongType"), kEnterprise + QStringLiteral("2.10.0")},
               {QStringLiteral("exception"), kEnterprise + QStringLiteral("3.10.1.1.0")}},
              quiet),
        Board(25, {{QStringLiteral("otherPort"), true}}, quiet),
        Board(26, {{QStringLiteral("refuseSets"), kEnterprise + QStringLiteral("3.2.0")}}, quiet),
        Board(27, {{QStringLiteral("refuseSets"), kEnterprise + QStringLiteral("1.2.0")}}, quiet),
    };
    for (const QJsonValue& board : faulty)
        boards.append(board);
    QVERIFY(m_sim.StartOnProductPorts(boards));

    WriteFile(QStringLiteral("bitrate.json"),
              R"({"serial": {"bitrate": 57600, "parity": "odd"}, "gpio": {"period": 500}})");
    WriteFile(QStringLiteral("broken.json"),
              "{\n  \"serial\": {\"bitrate\": 57600},\n  \"gpio\": {\"ports\": "
              "[{\"port\": 2, \"mode\": \"INPT\"}]}\n}\n");
    WriteFile(
        QStringLiteral("check.json"),
        R"({"serial": {"bitrate": 115200, "databits": 8}, "gpio": {"ports": [{"port": 3, "mode": "INPUT"}]}})");
    WriteFile(QStringLiteral("plan.csv"), "mac,ip,mask,gateway\n"
                                          "02:4c:46:00:53:0c,dhcp\n"
                                          "02:4c:46:00:53:0a,127.0.0.50,255.0.0.0\n"
                                          "02:4c:46:00:53:0b,127.0.0.51,255.0.0.0,127.0.0.1\n");
    WriteFile(QStringLiteral("invalid.csv"), "# changes nothing while a line is wrong\n"
                                             "02:4c:46:00:53:0c,dhcp\n"
                                             "02:4c:46:00:53:0a,127.0.0.255,255.255.255.0\n");
    WriteFile(QStringLiteral("handover.csv"), "02:4c:46:00:53:10,127.0.0.17,255.0.0.0\n"
                                              "02:4c:46:00:53:11,127.0.0.70,255.0.0.0\n");
    WriteFile(QStringLiteral("swap.csv"), "02:4c:46:00:53:02,127.0.0.3,255.0.0.0\n"
                                          "02:4c:46:00:53:03,127.0.0.2,255.0.0.0\n");
    WriteFile(QStringLiteral("taken.csv"), "02:4c:46:00:53:0c,dhcp\n"
                                           "02:4c:46:00:53:02,127.0.0.3,255.0.0.0\n");
    WriteFile(QStringLiteral("own.csv"), "02:4c:46:00:53:02,127.0.0.1,255.0.0.0\n");
    WriteFile(QStringLiteral("bad.jsonl"), "{\"mac\": \"02:4c:46:00:53:99\", \"status\": 0, \"planned\": "
                                           "{\"dhcp\": true}}\n[]\n");
    WriteFile(QStringLiteral("given.jsonl"), "{\"mac\": \"02:4c:46:00:53:99\", \"status\": 0, \"planned\": "
                                             "{\"ip\": \"127.0.0.51\", \"mask\": \"255.0.0.0\", \"gateway\": "
                                             "null}}\n");
}

void tst_CliNetns::WriteFile(const QString& name, const QByteArray& contents)
{
    QFile file(m_dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(contents), contents.size());
}

void tst_CliNetns::cleanupTestCase()
{
    QVERIFY(m_sim.Stop());
}

Run tst_CliNetns::Cli(QStringList arguments, const std::function<void(QProcess&)>& setUp)
{
    for (QString& argument : arguments)
        argument.replace(QStringLiteral("{dir}"), m_dir.path());
    QProcess process;
    if (setUp)
        setUp(process);
    process.start(QStringLiteral(LANFINCH_CLI_PATH), arguments);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// Every datagram the boards received or sent, on either protocol.
qsizetype tst_CliNetns::LogSize() const
{
    return m_sim.LogEntries().size();
}

// The variables of the SETs the boards received since the log had `logged` entries, in order, by
// their names below the enterprise subtree.
QStringList tst_CliNetns::SetsSince(qsizetype logged) const
{
    return m_sim.SnmpSets(QStringLiteral("oid"), logged).replaceInStrings(kEnterprise, QString());
}

qsizetype tst_CliNetns::SetAddressRequests() const
{
    return m_sim.SetAddressMacs().size();
}

void tst_CliNetns::searchListsEveryBoard()
{
    const Run run = Cli({QStringLiteral("search"), QStringLiteral("--format=json")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QJsonArray expected;
    const auto board = [](int last, int ip) {
        return QJsonObject{
            {QStringLiteral("mac"), QStringLiteral("02:4c:46:00:53:%1").arg(last, 2, 16, QLatin1Char('0'))},
            {QStringLiteral("ip"), QStringLiteral("127.0.0.%1").arg(ip)},
            {QStringLiteral("mask"), QStringLiteral("255.0.0.0")},
            {QStringLiteral("gateway"), QJsonValue()},
            {QStringLiteral("dhcp"), last == 9},
            {QStringLiteral("interface"), QStringLiteral("lo")},
            {QStringLiteral("sharedMac"), last == 14}};
    };
    for (int last = 2; last <= 17; ++last) {
        // By MAC and address text: the second board with the MAC ...:0e on 127.0.0.114 first.
        if (last == 14)
            expected.append(board(14, 114));
        if (last != 15)
            expected.append(board(last, last));
    }
    // The simulator answers for its boards in their order; the test does not rely on the order in
    // which the replies arrive.
    QList<QJsonObject> listed;
    for (const QJsonValue& entry : run.Json().array())
        listed << entry.toObject();
    std::sort(listed.begin(), listed.end(), [](const QJsonObject& a, const QJsonObject& b) {
        const auto key = [](const QJsonObject& o) {
            return o.value(QStringLiteral("mac")).toString() + o.value(QStringLiteral("ip")).toString();
        };
        return key(a) < key(b);
    });
    QJsonArray sorted;
    for (const QJsonObject& entry : listed)
        sorted.append(entry);
    QCOMPARE(sorted, expected);
}

void tst_CliNetns::reads_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("serial get")
        << QStringList{QStringLiteral("serial"), QStringLiteral("get"), kReadBoard,
                       QStringLiteral("--format=json")}
        << QByteArray(R"({"mode": "TCPCLIENT", "port": 40001, "peer": "192.0.2.10", "bitrate": 115200,
                         "databits": 8, "stopbits": 1, "parity": "even", "flow": "none"})");
    QTest::newRow("serial get, a board without a port number")
        << QStringList{QStringLiteral("serial"), QStringLiteral("get"), kNoPortNumber,
                       QStringLiteral("--format=json")}
        << QByteArray(R"({"mode": "TCPSERVER", "port": null, "peer": "0.0.0.0", "bitrate": 9600,
                         "databits": 8, "stopbits": 1, "parity": "none", "flow": "none"})");
    QTest::newRow("gpio get one port")
        << QStringList{QStringLiteral("gpio"),   QStringLiteral("get"), kReadBoard,
                       QStringLiteral("--port"), QStringLiteral("3"),   QStringLiteral("--format"),
                       QStringLiteral("json")}
        << QByteArray(R"({"manager": "192.0.2.1", "period": 250, "ports": [
                         {"port": 3, "mode": "INPUT", "state": "LOW", "initial": "LOW", "trapstate": "HIGH",
                          "traptime": 1000}]})");
}

void tst_CliNetns::reads()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, expected);
    const Run run = Cli(arguments);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.Json(), QJsonDocument::fromJson(expected));
}

void tst_CliNetns::writes_data()
{
    QTest::addColumn<QStringList>("write");
    QTest::addColumn<QStringList>("read");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("sets"); // the variables SET, in order

    const QString serialSets = QStringLiteral("2.2.0 2.4.0 2.10.0 2.12.0 2.15.0 2.20.0 2.25.0 2.5.0 1.2.0");

    QTest::newRow("serial set, other settings kept")
        << QStringList{QStringLiteral("serial"),
                       QStringLiteral("set"),
                       kWriteBoard,
                       QStringLiteral("bitrate=57600"),
                       QStringLiteral("parity=odd"),
                       QStringLiteral("peer=192.0.2.20"),
                       QStringLiteral("--verify")}
        << QStringList{QStringLiteral("serial"), QStringLiteral("get"), kWriteBoard}
        << QByteArray(R"({"mode": "TCPSERVER", "port": 21347, "peer": "192.0.2.20", "bitrate": 57600,
                         "databits": 8, "stopbits": 1, "parity": "odd", "flow": "none"})")
        << serialSets;
    QTest::newRow("serial set, a board without a port number: none written")
        << QStringList{QStringLiteral("serial"), QStringLiteral("set"), kNoPortNumber,
                       QStringLiteral("bitrate=19200"), QStringLiteral("--verify")}
        << QStringList{QStringLiteral("serial"), QStringLiteral("get"), kNoPortNumber}
        << QByteArray(R"({"mode": "TCPSERVER", "port": null, "peer": "0.0.0.0", "bitrate": 19200,
                         "databits": 8, "stopbits": 1, "parity": "none", "flow": "none"})")
        << QString(serialSets).remove(QStringLiteral(" 2.5.0"));
    QTest::newRow("gpio set INPUT port with node-wide settings")
        << QStringList{QStringLiteral("gpio"),
                       QStringLiteral("set"),
                       kWriteBoard,
                       QStringLiteral("--manager"),
                       QStringLiteral("192.0.2.1"),
                       QStringLiteral("--period"),
                       QStringLiteral("500"),
                       QStringLiteral("--port"),
                       QStringLiteral("6"),
                       QStringLiteral("mode=INPUT"),
                       QStringLiteral("trapstate=HIGH"),
                       QStringLiteral("traptime=30"),
                       QStringLiteral("--verify")}
        << QStringList{QStringLiteral("gpio"), QStringLiteral("get"), kWriteBoard, QStringLiteral("--port=6")}
        << QByteArray(R"({"manager": "192.0.2.1", "period": 500, "ports": [
                         {"port": 6, "mode": "INPUT", "state": "LOW", "initial": "LOW", "trapstate": "HIGH",
                          "traptime": 30}]})")
        << QStringLiteral("3.1.0 3.2.0 3.10.6.1.0 3.10.6.4.0 3.10.6.5.0 1.2.0");
    QTest::newRow("gpio set OUTPUT port leaves its trap settings")
        << QStringList{QStringLiteral("gpio"),
                       QStringLiteral("set"),
                       kWriteBoard,
                       QStringLiteral("--port=6"),
                       QStringLiteral("mode=OUTPUT"),
                       QStringLiteral("state=HIGH"),
                       QStringLiteral("traptime=0")}
        << QStringList{QStringLiteral("gpio"), QStringLiteral("get"), kWriteBoard, QStringLiteral("--port=6")}
        << QByteArray(R"({"manager": "192.0.2.1", "period": 500, "ports": [
                         {"port": 6, "mode": "OUTPUT", "state": "HIGH", "initial": "LOW", "trapstate": "HIGH",
                          "traptime": 30}]})")
        << QStringLiteral("3.1.0 3.2.0 3.10.6.1.0 3.10.6.2.0 3.10.6.3.0 1.2.0");
}

void tst_CliNetns::writes()
{
    QFETCH(QStringList, write);
    QFETCH(QStringList, read);
    QFETCH(QByteArray, expected);
    QFETCH(QString, sets);

    const qsizetype logged = LogSize();
    const Run written = Cli(write << QStringLiteral("--format=json"));
    QVERIFY2(written.exitCode == 0, (written.out + written.err.toUtf8()).constData());
    const QJsonObject result = written.Json().array().at(0).toObject();
    QCOMPARE(result.value(QStringLiteral("board")).toString(), write.at(2));
    QCOMPARE(result.value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
    QCOMPARE(SetsSince(logged).join(QLatin1Char(' ')), sets);

    const Run run = Cli(read << QStringLiteral("--format=json"));
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.Json(), QJsonDocument::fromJson(expected));
}

void tst_CliNetns::exportThenApplyCopiesABoard()
{
    const Run exported = Cli({QStringLiteral("export"), kReadBoard});
    QVERIFY2(exported.exitCode == 0, qPrintable(exported.err));
    const QJsonObject document = exported.Json().object();
    QCOMPARE(document.keys(), (QStringList{QStringLiteral("gpio"), QStringLiteral("serial")}));
    QCOMPARE(
        document.value(QStringLiteral("gpio")).toObject().value(QStringLiteral("ports")).toArray().size(), 8);

    QFile file(m_dir.filePath(QStringLiteral("exported.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(exported.out);
    file.close();
    const Run applied = Cli({QStringLiteral("apply"), file.fileName(), kCopyBoard});
    QVERIFY2(applied.exitCode == 0, (applied.out + applied.err.toUtf8()).constData());
    QVERIFY2(applied.out.contains("written and verified"), applied.out.constData());

    const Run copy = Cli({QStringLiteral("export"), kCopyBoard});
    QCOMPARE(copy.Json(), exported.Json());
}

void tst_CliNetns::inventory_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("count");           // records printed
    QTest::addColumn<QByteArray>("expected"); // records by their ip, each with some of its keys

    const QString inventory = QStringLiteral("inventory");
    // The silent board costs the one timeout of its serial read. Both boards with one MAC say that
    // they share it, the one that answered first too.
    QTest::newRow("every board the search lists, one silent")
        << QStringList{inventory} << 4 << 16 << QByteArray(R"([
        {"ip": "127.0.0.2", "mac": "02:4c:46:00:53:02", "interface": "lo", "status": 0, "result": "ok",
         "serial": {"mode": "TCPCLIENT", "port": 40001, "peer": "192.0.2.10", "bitrate": 115200, "databits": 8,
                    "stopbits": 1, "parity": "even", "flow": "none"},
         "gpio": {"manager": "192.0.2.1", "period": 250, "ports": [
            {"port": 1, "mode": "OUTPUT", "state": "LOW", "initial": "LOW", "trapstate": "LOW", "traptime": 0},
            {"port": 2, "mode": "OUTPUT", "state": "LOW", "initial": "LOW", "trapstate": "LOW", "traptime": 0},
            {"port": 3, "mode": "INPUT", "state": "LOW", "initial": "LOW", "trapstate": "HIGH", "traptime": 1000},
            {"port": 4, "mode": "OUTPUT", "state": "LOW", "initial": "LOW", "trapstate": "LOW", "traptime": 0},
            {"port": 5, "mode": "OUTPUT", "state": "LOW", "initial": "LOW", "trapstate": "LOW", "traptime": 0},
            {"port": 6, "mode": "OUTPUT", "state": "LOW", "initial": "LOW", "trapstate": "LOW", "traptime": 0},
            {"port": 7, "mode": "OUTPUT", "state": "LOW", "initial": "LOW", "trapstate": "LOW", "traptime": 0},
            {"port": 8, "mode": "OUTPUT", "state": "LOW", "initial": "LOW", "trapstate": "LOW", "traptime": 0}]}},
        {"ip": "127.0.0.5", "status": 4, "result": "no reply",
         "detail": "reading serial settings: no reply in time", "serial": null, "gpio": null},
        {"ip": "127.0.0.14", "mac": "02:4c:46:00:53:0e", "sharedMac": true, "result": "ok"},
        {"ip": "127.0.0.114", "mac": "02:4c:46:00:53:0e", "sharedMac": true, "result": "ok"}])");
    QTest::newRow("checked: one board matches, one differs in two settings")
        << QStringList{inventory, QStringLiteral("--check={dir}/check.json"),
                       QStringLiteral("02:4c:46:00:53:02"), QStringLiteral("02:4c:46:00:53:04")}
        << 3 << 2 << QByteArray(R"([
        {"ip": "127.0.0.2", "status": 0, "result": "ok", "detail": "matches",
         "check": {"matches": true, "differences": []}},
        {"ip": "127.0.0.4", "status": 3, "result": "differs",
         "detail": "serial.bitrate: board 9600, document 115200; gpio.port3.mode: board OUTPUT, document INPUT",
         "check": {"matches": false, "differences": [
            {"key": "serial.bitrate", "board": 9600, "document": 115200},
            {"key": "gpio.port3.mode", "board": "OUTPUT", "document": "INPUT"}]}}])");
    // The address picks one of the two boards that share a MAC, not both.
    QTest::newRow("chosen by address and by MAC, an address no board has")
        << QStringList{inventory, QStringLiteral("--check={dir}/check.json"), QStringLiteral("127.0.0.114"),
                       QStringLiteral("02:4c:46:00:53:04"), QStringLiteral("127.0.0.99")}
        << 6 << 2 << QByteArray(R"([
        {"ip": "127.0.0.114", "mac": "02:4c:46:00:53:0e", "sharedMac": true, "result": "differs"},
        {"ip": "127.0.0.4", "result": "differs"}])");
    QTest::newRow("a MAC no board answers for, the others listed")
        << QStringList{inventory, kUnknownMac, QStringLiteral("02:4c:46:00:53:04"),
                       QStringLiteral("--jobs=1")}
        << 6 << 1 << QByteArray(R"([{"ip": "127.0.0.4", "result": "ok"}])");
}

// Reads only: no SET reaches a board.
void tst_CliNetns::inventory()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(int, count);
    QFETCH(QByteArray, expected);
    const qsizetype logged = LogSize();
    const Run run = Cli(arguments << QStringLiteral("--format=json"));
    QVERIFY2(run.exitCode == exitCode, (run.out + run.err.toUtf8()).constData());
    QJsonObject byIp;
    for (const QJsonValue& record : run.Json().array())
        byIp.insert(record.toObject().value(QStringLiteral("ip")).toString(), record);
    QCOMPARE(byIp.size(), count);
    for (const QJsonValue& want : QJsonDocument::fromJson(expected).array()) {
        const QJsonObject wanted = want.toObject();
        const QJsonObject record = byIp.value(wanted.value(QStringLiteral("ip")).toString()).toObject();
        for (auto it = wanted.begin(); it != wanted.end(); ++it)
            QVERIFY2(record.value(it.key()) == it.value(),
                     qPrintable(it.key() + QStringLiteral(" in ") +
                                QString::fromUtf8(QJsonDocument(record).toJson())));
    }
    QVERIFY(SetsSince(logged).isEmpty());
}

void tst_CliNetns::badInputSendsNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    const QString serial = QStringLiteral("serial");
    const QString gpio = QStringLiteral("gpio");
    const QString set = QStringLiteral("set");
    const QString get = QStringLiteral("get");
    QTest::newRow("unlisted bit rate") << QStringList{serial, set, kWriteBoard, QStringLiteral("bitrate=300")}
                                       << QStringLiteral("bitrate: expected one of 600");
    QTest::newRow("unknown key") << QStringList{serial, set, kWriteBoard, QStringLiteral("mode=UDP"),
                                                QStringLiteral("baud=9600")}
                                 << QStringLiteral("baud: unknown setting");
    QTest::newRow("nothing to set") << QStringList{serial, set, kWriteBoard}
                                    << QStringLiteral("missing arguments");
    QTest::newRow("network address") << QStringList{serial, get, QStringLiteral("10.0.0.0")}
                                     << QStringLiteral("10.0.0.0 is not an address a board can have");
    QTest::newRow("short address") << QStringList{gpio, get, QStringLiteral("127.0.2")}
                                   << QStringLiteral("\"127.0.2\" is not an IPv4 address");
    QTest::newRow("port 9") << QStringList{gpio, get, kWriteBoard, QStringLiteral("--port=9")}
                            << QStringLiteral("--port: expected a port number from 1 to 8");
    QTest::newRow("short INPUT trap time") << QStringList{gpio,
                                                          set,
                                                          kWriteBoard,
                                                          QStringLiteral("--port=2"),
                                                          QStringLiteral("mode=INPUT"),
                                                          QStringLiteral("traptime=29")}
                                           << QStringLiteral("traptime: an INPUT port takes 0");
    QTest::newRow("port settings without --port")
        << QStringList{gpio, set, kWriteBoard, QStringLiteral("mode=INPUT")}
        << QStringLiteral("KEY=VALUE settings need --port N");
    QTest::newRow("period out of range")
        << QStringList{gpio, set, kWriteBoard, QStringLiteral("--period=1001")}
        << QStringLiteral("--period: expected a whole number from 10 to 1000");
    QTest::newRow("bad format") << QStringList{serial, get, kWriteBoard, QStringLiteral("--format=xml")}
                                << QStringLiteral("--format: expected table, json or csv");
    QTest::newRow("misspelt value in a document, named with its line")
        << QStringList{QStringLiteral("apply"), QStringLiteral("{dir}/broken.json"), kWriteBoard}
        << QStringLiteral("broken.json: gpio.ports[0].mode: expected one of OUTPUT, INPUT");
    QTest::newRow("one bad address in a batch")
        << QStringList{QStringLiteral("apply"), QStringLiteral("{dir}/bitrate.json"), kWriteBoard,
                       QStringLiteral("224.0.0.1")}
        << QStringLiteral("224.0.0.1 is not an address a board can have");
    QTest::newRow("a document to check against, named with its line")
        << QStringList{QStringLiteral("inventory"), QStringLiteral("--check"),
                       QStringLiteral("{dir}/broken.json")}
        << QStringLiteral("broken.json: gpio.ports[0].mode: expected one of OUTPUT, INPUT");
    QTest::newRow("missing document")
        << QStringList{QStringLiteral("apply"), QStringLiteral("{dir}/none.json"), kWriteBoard}
        << QStringLiteral("none.json: ");
    QTest::newRow("unknown command") << QStringList{QStringLiteral("serail"), get, kWriteBoard}
                                     << QStringLiteral("unknown command \"serail\"");
    const QString setIp = QStringLiteral("set-ip");
    QTest::newRow("a plan with one bad line, named")
        << QStringList{setIp, QStringLiteral("--plan"), QStringLiteral("{dir}/invalid.csv")}
        << QStringLiteral("invalid.csv: line 3: 127.0.0.255/255.255.255.0: the IP address does not fit the "
                          "subnet mask");
    QTest::newRow("the address rules, before any search")
        << QStringList{setIp, kFixedMac, QStringLiteral("--ip=10.0.0.0"),
                       QStringLiteral("--mask=255.255.255.0")}
        << QStringLiteral("10.0.0.0/255.255.255.0: the IP address is not valid");
    QTest::newRow("an incomplete address")
        << QStringList{setIp, kFixedMac, QStringLiteral("--ip=127.0.0."), QStringLiteral("--mask=255.0.0.0")}
        << QStringLiteral("--ip: \"127.0.0.\" is not a dotted IPv4 address");
    QTest::newRow("DHCP and a fixed address at once")
        << QStringList{setIp, kFixedMac, QStringLiteral("--dhcp"), QStringLiteral("--ip=127.0.0.40")}
        << QStringLiteral("--ip cannot be used with --dhcp");
    const QString watch = QStringLiteral("watch");
    const QStringList watchPlan{watch, QStringLiteral("--plan"), QStringLiteral("{dir}/plan.csv")};
    QTest::newRow("watch without a plan or a range")
        << QStringList{watch} << QStringLiteral("expected either --plan or --from");
    QTest::newRow("watch: searches less than a second apart")
        << watchPlan + QStringList{QStringLiteral("--interval=500")}
        << QStringLiteral("--interval: expected a whole number from 1000 to 3600000");
    QTest::newRow("watch: a misspelt value in the profile")
        << watchPlan + QStringList{QStringLiteral("--profile"), QStringLiteral("{dir}/broken.json")}
        << QStringLiteral("broken.json: gpio.ports[0].mode: expected one of OUTPUT, INPUT");
    QTest::newRow("watch: a journal line that is no record")
        << watchPlan + QStringList{QStringLiteral("--journal"), QStringLiteral("{dir}/bad.jsonl")}
        << QStringLiteral("bad.jsonl: line 2 is not a record of lanfinch-cli watch");
    QTest::newRow("watch: a plan address that an earlier run gave another board")
        << watchPlan + QStringList{QStringLiteral("--journal"), QStringLiteral("{dir}/given.jsonl")}
        << QStringLiteral(
               "plan.csv: line 4 (02:4c:46:00:53:0b): 127.0.0.51 was given to 02:4c:46:00:53:99 by an "
               "earlier run");
}

void tst_CliNetns::badInputSendsNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const qsizetype logged = LogSize();
    const Run run = Cli(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    QCOMPARE(LogSize(), logged);
}

void tst_CliNetns::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines"); // each expected in stdout and stderr together
    QTest::addColumn<int>("sets");          // variables SET on the boards

    const QString serial = QStringLiteral("serial");
    const QString gpio = QStringLiteral("gpio");
    const QString set = QStringLiteral("set");
    const QString get = QStringLiteral("get");
    QTest::newRow("refused write")
        << QStringList{serial, set, kRefusing, QStringLiteral("bitrate=57600")} << 3
        << QStringList{QStringLiteral("refused  writing serial settings: the board refused it (genErr)\n")}
        << 7;
    QTest::newRow("silent board") << QStringList{gpio, get, kSilent} << 4
                                  << QStringList{QStringLiteral(
                                         "127.0.0.5: reading I/O port 1: no reply in time")}
                                  << 0;
    QTest::newRow("unreachable board")
        << QStringList{QStringLiteral("export"), kUnreachable} << 5
        << QStringList{QStringLiteral("192.0.2.10: reading serial settings: the request could not be sent")}
        << 0;
    // The board keeps port 4001: a write that cannot read it writes nothing.
    QTest::newRow("port number unanswered")
        << QStringList{serial, set, kPortGetSilent, QStringLiteral("bitrate=19200")} << 4
        << QStringList{QStringLiteral("no reply  reading serial port number: no reply in time\n")} << 0;
    QTest::newRow("port number refused to a GET")
        << QStringList{serial, set, kPortGetRefused, QStringLiteral("bitrate=19200")} << 3
        << QStringList{QStringLiteral("refused  reading serial port number: the board refused it (genErr)\n")}
        << 0;
    QTest::newRow("port number given to a board without one: no commit")
        << QStringList{serial, set, kNoPortNumber, QStringLiteral("port=5000")} << 3
        << QStringList{QStringLiteral(
               "writing serial port number: the board refused it (noCreation); the other "
               "serial settings had been accepted, nothing was committed\n")}
        << 8;
    QTest::newRow("port number refused to a SET: no commit")
        << QStringList{serial, set, kRefusesPort, QStringLiteral("port=5000"), QStringLiteral("--verify")}
        << 3 << QStringList{QStringLiteral("writing serial port number: the board refused it (notWritable)")}
        << 8;
    QTest::newRow("mistyped variable")
        << QStringList{serial, get, kBadVariables} << 3
        << QStringList{QStringLiteral(
               "127.0.0.24: reading serial settings: serial bitrate "
               "(1.3.6.1.4.1.32473.1.4.2.10.0) came back as OCTET STRING, not INTEGER\n")}
        << 0;
    QTest::newRow("a variable the board lacks")
        << QStringList{gpio, get, kBadVariables} << 3
        << QStringList{QStringLiteral("127.0.0.24: reading I/O port 1: the board lacks I/O port 1 mode "
                                      "(1.3.6.1.4.1.32473.1.4.3.10.1.1.0)\n")}
        << 0;
    QTest::newRow("an answer for another I/O port")
        << QStringList{QStringLiteral("export"), kOtherPort} << 3
        << QStringList{QStringLiteral("127.0.0.25: reading I/O port 1: the reply has "
                                      "1.3.6.1.4.1.32473.1.4.3.10.2.1.0, which was not asked for\n")}
        << 0;
    QTest::newRow("a refused record after one written")
        << QStringList{QStringLiteral("apply"), QStringLiteral("{dir}/bitrate.json"), kRefusesPeriod} << 3
        << QStringList{QStringLiteral("127.0.0.26,refused,writing I/O port 1: the board refused it (genErr); "
                                      "serial had been written\r\n")}
        << 14;
    QTest::newRow("refused commit")
        << QStringList{gpio, set, kRefusesCommit, QStringLiteral("--period=500")} << 3
        << QStringList{QStringLiteral(
               "committing I/O port 1: the board refused it (genErr); its settings had "
               "been accepted\n")}
        << 6;
    QTest::newRow("batch: each board's result, the worst status")
        << QStringList{QStringLiteral("apply"),
                       QStringLiteral("{dir}/bitrate.json"),
                       kKeepsBitRate,
                       kRefusing,
                       kSilent,
                       kWriteBoard}
        << 4
        << QStringList{QStringLiteral("127.0.0.6,differs,\"read-back differs: serial bitrate: wrote 57600, "
                                      "read 9600\"\r\n"),
                       QStringLiteral(
                           "127.0.0.4,refused,writing serial settings: the board refused it (genErr)\r\n"),
                       QStringLiteral("127.0.0.5,no reply,reading serial settings: no reply in time\r\n"),
                       QStringLiteral("127.0.0.3,ok,serial and I/O port 1 written and verified\r\n")}
        << 37;
}

void tst_CliNetns::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);
    QFETCH(int, sets);
    if (arguments.first() == QLatin1String("apply"))
        arguments << QStringLiteral("--format=csv");
    const qsizetype logged = LogSize();
    const Run run = Cli(arguments);
    const QString output = QString::fromUtf8(run.out) + run.err;
    QCOMPARE(run.exitCode, exitCode);
    for (const QString& line : lines)
        QVERIFY2(output.contains(line), qPrintable(output));
    QCOMPARE(SetsSince(logged).size(), sets);
}

void tst_CliNetns::outputFailures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("closedPipe"); // otherwise stdout is /dev/full
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");

    const QString full = QStringLiteral("No space left on device");
    const QString closed = QStringLiteral("Broken pipe");
    QTest::newRow("help, full disk") << QStringList{QStringLiteral("--help")} << false << 1 << full;
    QTest::newRow("help, closed pipe") << QStringList{QStringLiteral("--help")} << true << 1 << closed;
    QTest::newRow("a board's settings, full disk")
        << QStringList{QStringLiteral("serial"), QStringLiteral("get"), kReadBoard} << false << 1 << full;
    QTest::newRow("a document, closed pipe")
        << QStringList{QStringLiteral("export"), kReadBoard} << true << 1 << closed;
    QTest::newRow("a refused write keeps its status")
        << QStringList{QStringLiteral("serial"), QStringLiteral("set"), kRefusing,
                       QStringLiteral("bitrate=57600")}
        << true << 3 << closed;
}

void tst_CliNetns::outputFailures()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, closedPipe);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    // A pipe whose reader has gone before anything is written: the first write fails with EPIPE.
    int ends[2] = {-1, -1};
    QVERIFY(pipe2(ends, O_CLOEXEC) == 0);
    close(ends[0]);
    const Run run = Cli(arguments, [&](QProcess& process) {
        if (!closedPipe) {
            process.setStandardOutputFile(QStringLiteral("/dev/full"));
            return;
        }
        // Signals ignored here would stay ignored in the program; it must ignore SIGPIPE itself.
        process.setChildProcessModifier([fd = ends[1]] {
            dup2(fd, STDOUT_FILENO);
            std::signal(SIGPIPE, SIG_DFL);
        });
    });
    close(ends[1]);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("lanfinch-cli: writing to standard output failed: ") + reason),
             qPrintable(run.err));
}

void tst_CliNetns::setIp_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("requests"); // set-address requests the boards received
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("message"); // in stderr

    const QString setIp = QStringLiteral("set-ip");
    QTest::newRow("one board, fixed settings")
        << QStringList{setIp,
                       kFixedMac,
                       QStringLiteral("--ip"),
                       QStringLiteral("127.0.0.40"),
                       QStringLiteral("--mask"),
                       QStringLiteral("255.0.0.0"),
                       QStringLiteral("--gateway"),
                       QStringLiteral("127.0.0.1")}
        << 0 << 1 << QByteArray(R"json([{"mac": "02:4c:46:00:53:08", "status": 0, "result": "ok",
            "detail": "network settings changed and confirmed by a search",
            "reported": {"ip": "127.0.0.40", "mask": "255.0.0.0", "gateway": "127.0.0.1", "dhcp": false},
            "previous": {"ip": "127.0.0.8", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "requested": {"ip": "127.0.0.40", "mask": "255.0.0.0", "gateway": "127.0.0.1", "dhcp": false}}])json")
        << QString();
    QTest::newRow("DHCP for a board that uses it: nothing sent")
        << QStringList{setIp, kDhcpMac, QStringLiteral("--dhcp")} << 3 << 0
        << QByteArray(R"json([{"mac": "02:4c:46:00:53:09", "status": 3, "result": "unchanged",
            "detail": "settings not changed: the board uses DHCP already",
            "reported": {"ip": "127.0.0.9", "mask": "255.0.0.0", "gateway": null, "dhcp": true},
            "previous": {"ip": "127.0.0.9", "mask": "255.0.0.0", "gateway": null, "dhcp": true},
            "requested": null}])json")
        << QString();
    QTest::newRow("a MAC no board answers for")
        << QStringList{setIp, kUnknownMac, QStringLiteral("--ip=127.0.0.41"),
                       QStringLiteral("--mask=255.0.0.0")}
        << 6 << 0 << QByteArray(R"json([{"mac": "02:4c:46:00:53:ff", "status": 6, "result": "not found",
            "detail": "no board with this MAC answered the search", "reported": null, "previous": null,
            "requested": null}])json")
        << QString();
    // Ten searches, a second each, find the board with its old settings.
    QTest::newRow("success answered, settings kept: unconfirmed")
        << QStringList{setIp, QStringLiteral("02:4c:46:00:53:0d"), QStringLiteral("--ip=127.0.0.42"),
                       QStringLiteral("--mask=255.0.0.0")}
        << 3 << 1 << QByteArray(R"json([{"mac": "02:4c:46:00:53:0d", "status": 3, "result": "unconfirmed",
            "detail": "network settings changed, but searches for 10 s showed it with 127.0.0.13/255.0.0.0 gateway none DHCP no",
            "reported": {"ip": "127.0.0.13", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "previous": {"ip": "127.0.0.13", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "requested": {"ip": "127.0.0.42", "mask": "255.0.0.0", "gateway": null, "dhcp": false}}])json")
        << QString();
    QTest::newRow("the same without confirmation: the reply's word")
        << QStringList{setIp, QStringLiteral("02:4c:46:00:53:0d"), QStringLiteral("--ip=127.0.0.42"),
                       QStringLiteral("--mask=255.0.0.0"), QStringLiteral("--no-confirm")}
        << 0 << 1 << QByteArray(R"json([{"mac": "02:4c:46:00:53:0d", "status": 0, "result": "ok",
            "detail": "network settings changed",
            "reported": {"ip": "127.0.0.42", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "previous": {"ip": "127.0.0.13", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "requested": {"ip": "127.0.0.42", "mask": "255.0.0.0", "gateway": null, "dhcp": false}}])json")
        << QString();
    QTest::newRow("a MAC two boards answer with: nothing sent")
        << QStringList{setIp, QStringLiteral("02:4c:46:00:53:0e"), QStringLiteral("--dhcp")} << 2 << 0
        << QByteArray()
        << QStringLiteral("02:4c:46:00:53:0e: 2 boards answer with this MAC (127.0.0.14, 127.0.0.114); a "
                          "set-address request would change them all; nothing was changed");
    QTest::newRow("consecutive addresses for boards that include a shared MAC: nothing sent")
        << QStringList{setIp, QStringLiteral("--from=127.0.0.80"), QStringLiteral("--mask=255.0.0.0"),
                       QStringLiteral("02:4c:46:00:53:0e"), QStringLiteral("02:4c:46:00:53:02")}
        << 2 << 0 << QByteArray() << QStringLiteral("2 boards answer with this MAC");
    QTest::newRow("plan: an address a board outside it uses")
        << QStringList{setIp, QStringLiteral("--plan"), QStringLiteral("{dir}/taken.csv")} << 2 << 0
        << QByteArray()
        << QStringLiteral(
               "line 2 (02:4c:46:00:53:02): 127.0.0.3 is in use by 02:4c:46:00:53:03, which the plan "
               "does not change; nothing was changed");
    QTest::newRow("watch: a plan address a board outside it uses, refused at the start")
        << QStringList{QStringLiteral("watch"), QStringLiteral("--plan"), QStringLiteral("{dir}/taken.csv")}
        << 2 << 0 << QByteArray()
        << QStringLiteral(
               "line 2 (02:4c:46:00:53:02): 127.0.0.3 is in use by 02:4c:46:00:53:03, which the plan "
               "does not change; nothing was changed");
    QTest::newRow("plan: this computer's address")
        << QStringList{setIp, QStringLiteral("--plan"), QStringLiteral("{dir}/own.csv")} << 2 << 0
        << QByteArray()
        << QStringLiteral("line 1 (02:4c:46:00:53:02): 127.0.0.1 is an address of this computer");
    QTest::newRow("plan: two boards swapping addresses")
        << QStringList{setIp, QStringLiteral("--plan"), QStringLiteral("{dir}/swap.csv")} << 2 << 0
        << QByteArray()
        << QStringLiteral(
               "line 1 (02:4c:46:00:53:02) takes 127.0.0.3 from line 2 (02:4c:46:00:53:03), line 2 "
               "(02:4c:46:00:53:03) takes 127.0.0.2 from line 1 (02:4c:46:00:53:02): in no order can "
               "they change without two boards on one address; give one of them a free address first");
    QTest::newRow("plan: the board that gives up its address goes first")
        << QStringList{setIp, QStringLiteral("--plan"), QStringLiteral("{dir}/handover.csv")} << 0 << 2
        << QByteArray(R"json([{"mac": "02:4c:46:00:53:10", "status": 0, "result": "ok",
            "detail": "network settings changed and confirmed by a search",
            "reported": {"ip": "127.0.0.17", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "previous": {"ip": "127.0.0.16", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "requested": {"ip": "127.0.0.17", "mask": "255.0.0.0", "gateway": null, "dhcp": false}},
            {"mac": "02:4c:46:00:53:11", "status": 0, "result": "ok",
            "detail": "network settings changed and confirmed by a search",
            "reported": {"ip": "127.0.0.70", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "previous": {"ip": "127.0.0.17", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "requested": {"ip": "127.0.0.70", "mask": "255.0.0.0", "gateway": null, "dhcp": false}}])json")
        << QString();
    QTest::newRow("dry run: what a board would get, nothing sent")
        << QStringList{setIp,
                       QStringLiteral("02:4c:46:00:53:07"),
                       QStringLiteral("--ip=127.0.0.7"),
                       QStringLiteral("--mask=255.0.0.0"),
                       QStringLiteral("--gateway=127.0.0.1"),
                       QStringLiteral("--dry-run")}
        << 0 << 0 << QByteArray(R"json([{"mac": "02:4c:46:00:53:07", "status": 0, "result": "would change",
            "detail": "would send 127.0.0.7/255.0.0.0 gateway 127.0.0.1 DHCP no; nothing was sent",
            "reported": {"ip": "127.0.0.7", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "previous": {"ip": "127.0.0.7", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "requested": {"ip": "127.0.0.7", "mask": "255.0.0.0", "gateway": "127.0.0.1", "dhcp": false}}])json")
        << QString();
    QTest::newRow("settings a board has already, unchanged-ok: status 0")
        << QStringList{setIp, QStringLiteral("02:4c:46:00:53:07"), QStringLiteral("--ip=127.0.0.7"),
                       QStringLiteral("--mask=255.0.0.0"), QStringLiteral("--unchanged-ok")}
        << 0 << 0 << QByteArray(R"json([{"mac": "02:4c:46:00:53:07", "status": 0, "result": "unchanged",
            "detail": "settings not changed: the board has them already",
            "reported": {"ip": "127.0.0.7", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "previous": {"ip": "127.0.0.7", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "requested": null}])json")
        << QString();
    QTest::newRow("dry run of a plan: each board as the change would find it")
        << QStringList{setIp, QStringLiteral("--plan={dir}/plan.csv"), QStringLiteral("--dry-run")} << 0 << 0
        << QByteArray(R"json([{"mac": "02:4c:46:00:53:0c", "status": 0, "result": "would change",
            "detail": "would send 127.0.0.12/255.0.0.0 gateway none DHCP yes; nothing was sent",
            "reported": {"ip": "127.0.0.12", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "previous": {"ip": "127.0.0.12", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "requested": {"ip": "127.0.0.12", "mask": "255.0.0.0", "gateway": null, "dhcp": true}},
            {"mac": "02:4c:46:00:53:0a", "status": 0, "result": "would change",
            "detail": "would send 127.0.0.50/255.0.0.0 gateway none DHCP no; nothing was sent",
            "reported": {"ip": "127.0.0.10", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "previous": {"ip": "127.0.0.10", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "requested": {"ip": "127.0.0.50", "mask": "255.0.0.0", "gateway": null, "dhcp": false}},
            {"mac": "02:4c:46:00:53:0b", "status": 0, "result": "would change",
            "detail": "would send 127.0.0.51/255.0.0.0 gateway 127.0.0.1 DHCP no; nothing was sent",
            "reported": {"ip": "127.0.0.11", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "previous": {"ip": "127.0.0.11", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "requested": {"ip": "127.0.0.51", "mask": "255.0.0.0", "gateway": "127.0.0.1", "dhcp": false}}])json")
        << QString();
    QTest::newRow("dry run of a plan that cannot be carried out")
        << QStringList{setIp, QStringLiteral("--plan={dir}/taken.csv"), QStringLiteral("--dry-run")} << 2 << 0
        << QByteArray() << QStringLiteral("127.0.0.3 is in use by 02:4c:46:00:53:03");
    // The silent board costs the full 15 s wait.
    QTest::newRow("plan: one board changes, one refuses, one stays silent")
        << QStringList{setIp, QStringLiteral("--plan"), QStringLiteral("{dir}/plan.csv")} << 4 << 3
        << QByteArray(R"json([{"mac": "02:4c:46:00:53:0c", "status": 0, "result": "ok",
            "detail": "network settings changed and confirmed by a search",
            "reported": {"ip": "127.0.0.12", "mask": "255.0.0.0", "gateway": null, "dhcp": true},
            "previous": {"ip": "127.0.0.12", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "requested": {"ip": "127.0.0.12", "mask": "255.0.0.0", "gateway": null, "dhcp": true}},
            {"mac": "02:4c:46:00:53:0a", "status": 3, "result": "refused",
            "detail": "the board refused the settings (result 1)",
            "reported": {"ip": "127.0.0.10", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "previous": {"ip": "127.0.0.10", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "requested": {"ip": "127.0.0.50", "mask": "255.0.0.0", "gateway": null, "dhcp": false}},
            {"mac": "02:4c:46:00:53:0b", "status": 4, "result": "no reply",
            "detail": "no reply within 15 s", "reported": null,
            "previous": {"ip": "127.0.0.11", "mask": "255.0.0.0", "gateway": null, "dhcp": false},
            "requested": {"ip": "127.0.0.51", "mask": "255.0.0.0", "gateway": "127.0.0.1", "dhcp": false}}])json")
        << QString();
    QTest::newRow("consecutive addresses, dry run: the addresses in use are skipped")
        << QStringList{setIp,
                       QStringLiteral("--from=127.0.0.10"),
                       QStringLiteral("--mask=255.0.0.0"),
                       QStringLiteral("--dry-run"),
                       QStringLiteral("02:4c:46:00:53:03"),
                       QStringLiteral("02:4c:46:00:53:02")}
        << 0 << 0
        << QByteArray(
               R"json([{"mac": "02:4c:46:00:53:02", "ip": "127.0.0.15", "mask": "255.0.0.0", "gateway": null},
            {"mac": "02:4c:46:00:53:03", "ip": "127.0.0.16", "mask": "255.0.0.0", "gateway": null}])json")
        << QString();
}

void tst_CliNetns::setIp()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(int, requests);
    QFETCH(QByteArray, expected);
    QFETCH(QString, message);
    const qsizetype sent = SetAddressRequests();
    const Run run = Cli(arguments << QStringLiteral("--format=json"));
    QVERIFY2(run.exitCode == exitCode, (run.out + run.err.toUtf8()).constData());
    QCOMPARE(run.Json(), QJsonDocument::fromJson(expected));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QCOMPARE(SetAddressRequests() - sent, requests);
}

// Another program holds the port replies come to. Without SO_REUSEADDR the engine cannot bind it
// and has no socket to receive on: nothing is sent. With it both hold the port and the kernel hands
// each reply to one of them: the command goes on, and says so.
void tst_CliNetns::noReceiveSocketIsNotSent_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("shared");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString none =
        QStringLiteral("no socket could be opened to receive the boards' replies (UDP port 22223)");
    QTest::newRow("search") << QStringList{QStringLiteral("search")} << false << 5 << none;
    QTest::newRow("set-ip") << QStringList{QStringLiteral("set-ip"), kFixedMac, QStringLiteral("--dhcp")}
                            << false << 5 << none;
    QTest::newRow("inventory") << QStringList{QStringLiteral("inventory")} << false << 5 << none;
    QTest::newRow("search on a shared port")
        << QStringList{QStringLiteral("search")} << true << 0
        << QStringLiteral(
               "another program holds UDP port 22223 too: the boards' replies may go to it instead");
}

void tst_CliNetns::noReceiveSocketIsNotSent()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, shared);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const int holder = socket(AF_INET, SOCK_DGRAM, 0);
    QVERIFY(holder >= 0);
    const int reuse = shared ? 1 : 0;
    QCOMPARE(setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse), 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(22223);
    QCOMPARE(bind(holder, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
    const qsizetype logged = LogSize();
    const Run run = Cli(arguments);
    close(holder);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    if (!shared) {
        QCOMPARE(LogSize(), logged);
        QVERIFY2(!run.err.contains(QStringLiteral("another program holds")), qPrintable(run.err));
    }
}

// The manual page is made from a build-time program that links only the help texts.
void tst_CliNetns::manualPageProgramAnswersAsTheTool_data()
{
    QTest::addColumn<QString>("option");
    QTest::newRow("help") << QStringLiteral("--help");
    QTest::newRow("version") << QStringLiteral("--version");
}

void tst_CliNetns::manualPageProgramAnswersAsTheTool()
{
    QFETCH(QString, option);
    const Run tool = Cli({option});
    QCOMPARE(tool.exitCode, 0);
    QProcess helper;
    helper.start(QStringLiteral(LANFINCH_CLI_HELP_PATH), {option});
    QVERIFY(helper.waitForFinished(10000));
    QCOMPARE(helper.exitCode(), 0);
    QCOMPARE(helper.readAllStandardOutput(), tool.out);
}

QTEST_GUILESS_MAIN(tst_CliNetns)
#include "tst_CliNetns.moc"
