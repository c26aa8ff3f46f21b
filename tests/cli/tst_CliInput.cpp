// lanfinch-cli's reading of its input: settings, documents, board addresses, and its output forms;
// which replies count. No network: what is checked here is what decides whether anything is sent
// at all, and what is made of what comes back.
#include "cli/AddressBatch.h"
#include "cli/AddressChange.h"
#include "cli/AddressPlan.h"
#include "cli/BoardAddress.h"
#include "cli/InputText.h"
#include "cli/Inventory.h"
#include "protocol/CNodeQueue.h"
#include "core/GpioSettings.h"
#include "cli/NodeExchange.h"
#include "cli/Records.h"
#include "core/SerialSettings.h"
#include "cli/SettingsChange.h"
#include "cli/WatchJournal.h"
#include "resources/TextParsers.h"

#include <QBuffer>
#include <QJsonArray>
#include <QRegularExpression>
#include <QtEndian>
#include <QTest>
#include <QTextStream>

#include <arpa/inet.h>

static QStringList Texts(const QList<SettingDifference>& differences)
{
    QStringList texts;
    for (const SettingDifference& difference : differences)
        texts << DifferenceText(difference);
    return texts;
}

class tst_CliInput : public QObject
{
    Q_OBJECT

  private slots:
    void assignments_data();
    void assignments();
    void document_data();
    void document();
    void exportedDocumentReadsBack();
    void boardAddress_data();
    void boardAddress();
    void gpioReadBackComparesWhatTheModeWrites();
    void records_data();
    void records();
    void inventoryCheck_data();
    void inventoryCheck();
    void inventoryRecords();
    void addressPlan_data();
    void addressPlan();
    void allocation_data();
    void allocation();
    void settingsToSend_data();
    void settingsToSend();
    void planOrder_data();
    void planOrder();
    void changeResult_data();
    void changeResult();
    void replyMatching_data();
    void replyMatching();
    void journal_data();
    void journal();
};

void tst_CliInput::assignments_data()
{
    QTest::addColumn<bool>("gpio");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::addColumn<QString>("key");   // then this key holds
    QTest::addColumn<qint64>("value");

    const auto words = [](const char* text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); };
    QTest::newRow("names in any case")
        << false << words("parity=EVEN flow=Hardware") << QString() << QStringLiteral("parity") << qint64(2);
    QTest::newRow("data bits by count")
        << false << words("databits=7") << QString() << QStringLiteral("databits") << qint64(2);
    QTest::newRow("listed bit rate") << false << words("bitrate=230400") << QString()
                                     << QStringLiteral("bitrate") << qint64(230400);
    QTest::newRow("port at both ends")
        << false << words("port=1024") << QString() << QStringLiteral("port") << qint64(1024);
    QTest::newRow("peer 0.0.0.0 counts as given")
        << false << words("peer=0.0.0.0") << QString() << QStringLiteral("peer") << qint64(0);
    QTest::newRow("unlisted bit rate")
        << false << words("bitrate=300") << QStringLiteral("bitrate: expected one of 600") << QString()
        << qint64(0);
    QTest::newRow("an unlisted bit rate names every listed one")
        << false << words("bitrate=9601")
        << QStringLiteral("bitrate: expected one of 600, 1200, 1800, 2400, 4800, 9600, 19200, 38400, 57600, "
                          "115200, 230400")
        << QString() << qint64(0);
    QTest::newRow("port below range")
        << false << words("port=1023") << QStringLiteral("port: expected a whole number from 1024 to 65535")
        << QString() << qint64(0);
    QTest::newRow("port above range")
        << false << words("port=65536") << QStringLiteral("port: expected") << QString() << qint64(0);
    QTest::newRow("port not a number")
        << false << words("port=4k") << QStringLiteral("port: expected") << QString() << qint64(0);
    QTest::newRow("peer with a blank octet")
        << false << words("peer=192.0..10") << QStringLiteral("peer: expected a dotted") << QString()
        << qint64(0);
    QTest::newRow("stop bits 3") << false << words("stopbits=3")
                                 << QStringLiteral("stopbits: expected one of 1, 2") << QString()
                                 << qint64(0);
    QTest::newRow("unknown key") << false << words("speed=9600") << QStringLiteral("speed: unknown setting")
                                 << QString() << qint64(0);
    QTest::newRow("a gpio key is no serial key")
        << false << words("traptime=0") << QStringLiteral("traptime: unknown setting") << QString()
        << qint64(0);
    QTest::newRow("no equals sign") << false << words("mode")
                                    << QStringLiteral("\"mode\": expected KEY=VALUE") << QString()
                                    << qint64(0);
    QTest::newRow("given twice") << false << words("mode=UDP MODE=udp") << QStringLiteral("mode: given twice")
                                 << QString() << qint64(0);

    QTest::newRow("INPUT with trap time 30")
        << true << words("mode=INPUT traptime=30") << QString() << QStringLiteral("traptime") << qint64(30);
    QTest::newRow("INPUT with trap time 0")
        << true << words("mode=INPUT traptime=0") << QString() << QStringLiteral("mode") << qint64(1);
    QTest::newRow("OUTPUT with trap time 5")
        << true << words("mode=OUTPUT traptime=5") << QString() << QStringLiteral("traptime") << qint64(5);
    QTest::newRow("INPUT with trap time 29")
        << true << words("traptime=29 mode=input") << QStringLiteral("traptime: an INPUT port takes 0")
        << QString() << qint64(0);
    QTest::newRow("trap time above a week")
        << true << words("traptime=604800001")
        << QStringLiteral("traptime: expected a whole number from 0 to 604800000") << QString() << qint64(0);
    QTest::newRow("negative trap time")
        << true << words("traptime=-1") << QStringLiteral("traptime: expected") << QString() << qint64(0);
    QTest::newRow("level by name") << true << words("state=HIGH initial=low") << QString()
                                   << QStringLiteral("state") << qint64(1);
}

void tst_CliInput::assignments()
{
    QFETCH(bool, gpio);
    QFETCH(QStringList, words);
    QFETCH(QString, error);

    SettingValues values;
    QString message;
    bool ok = ParseAssignments(words, gpio ? GpioPortFields() : SerialFields(), values, message);
    if (ok && gpio) {
        const SettingProblem problem = CheckGpioValues(values);
        message = problem ? ProblemText(problem) : QString();
        ok = !problem;
    }
    if (!error.isEmpty()) {
        QVERIFY2(!ok, qPrintable(words.join(QLatin1Char(' '))));
        QVERIFY2(message.startsWith(error), qPrintable(message));
        return;
    }
    QVERIFY2(ok, qPrintable(message));
    QFETCH(QString, key);
    QFETCH(qint64, value);
    QCOMPARE(values.value(key, -1), value);
}

void tst_CliInput::document_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error"); // empty: accepted

    QTest::newRow("trailing comma") << QByteArray("{\n  \"serial\": {\n    \"bitrate\": 9600,\n  }\n}")
                                    << QStringLiteral("line 4, column 3: ");
    QTest::newRow("not JSON at all") << QByteArray("bitrate=9600") << QStringLiteral("line 1, column 1: ");
    QTest::newRow("an array") << QByteArray("[]") << QStringLiteral("expected an object");
    QTest::newRow("empty object") << QByteArray("{}") << QStringLiteral("nothing to write");
    QTest::newRow("misspelt section")
        << QByteArray(R"({"serail": {}})") << QStringLiteral("serail: unknown section");
    QTest::newRow("unknown serial key")
        << QByteArray(R"({"serial": {"baud": 9600}})") << QStringLiteral("serial.baud: unknown setting");
    QTest::newRow("bit rate out of the list")
        << QByteArray(R"({"serial": {"bitrate": 300}})") << QStringLiteral("serial.bitrate: expected one of");
    QTest::newRow("fractional port") << QByteArray(R"({"serial": {"port": 4000.5}})")
                                     << QStringLiteral("serial.port: expected a whole number");
    QTest::newRow("a bit rate that is neither number nor text")
        << QByteArray(R"({"serial": {"bitrate": true}})")
        << QStringLiteral("serial.bitrate: expected one of 600, 1200, 1800, 2400, 4800, 9600, 19200, 38400, "
                          "57600, 115200, 230400");
    QTest::newRow("an address as a list") << QByteArray(R"({"gpio": {"manager": [192, 0, 2, 1]}})")
                                          << QStringLiteral("gpio.manager: expected a dotted IPv4 address");
    QTest::newRow("null value") << QByteArray(R"({"serial": {"parity": null}})")
                                << QStringLiteral("serial.parity: expected one of none, odd, even");
    QTest::newRow("numbers as text or numbers")
        << QByteArray(R"({"serial": {"databits": "7", "stopbits": 2}})") << QString();
    QTest::newRow("port 9") << QByteArray(R"({"gpio": {"ports": [{"port": 9}]}})")
                            << QStringLiteral("gpio.ports[0].port: expected a port number from 1 to 8");
    QTest::newRow("port missing") << QByteArray(R"({"gpio": {"ports": [{"mode": "INPUT"}]}})")
                                  << QStringLiteral("gpio.ports[0].port: expected");
    QTest::newRow("port twice") << QByteArray(R"({"gpio": {"ports": [{"port": 2}, {"port": 2}]}})")
                                << QStringLiteral("gpio.ports[1].port: port 2 is listed twice");
    QTest::newRow("short INPUT trap time")
        << QByteArray(R"({"gpio": {"ports": [{"port": 4, "mode": "INPUT", "traptime": 1}]}})")
        << QStringLiteral("gpio.ports[0].traptime: an INPUT port takes 0");
    QTest::newRow("period out of range")
        << QByteArray(R"({"gpio": {"period": 9}})")
        << QStringLiteral("gpio.period: expected a whole number from 10 to 1000");
    QTest::newRow("ports not a list") << QByteArray(R"({"gpio": {"ports": {"port": 1}}})")
                                      << QStringLiteral("gpio.ports: expected an array");
    QTest::newRow("node-wide settings only")
        << QByteArray(R"({"gpio": {"manager": "192.0.2.1"}})") << QString();
    QTest::newRow("a byte-order mark hides no key given twice")
        << QByteArray("\xEF\xBB\xBF{\"serial\": {\"bitrate\": 9600, \"bitrate\": 600}}")
        << QStringLiteral("serial.bitrate: given twice");
    QTest::newRow("section given twice")
        << QByteArray(R"({"serial": {"bitrate": 9600}, "gpio": {}, "serial": {}})")
        << QStringLiteral("serial: given twice");
    QTest::newRow("key given twice, once escaped")
        << QByteArray(R"({"serial": {"parity": "odd", "p\u0061rity": "even"}})")
        << QStringLiteral("serial.parity: given twice");
    QTest::newRow("key given twice in a port")
        << QByteArray(R"({"gpio": {"ports": [{"port": 1}, {"port": 2, "mode": "INPUT", "mode": "OUTPUT"}]}})")
        << QStringLiteral("gpio.ports[1].mode: given twice");
    QTest::newRow("one key in sibling objects, and as text")
        << QByteArray(R"({"gpio": {"ports": [{"port": 1, "mode": "INPUT"}, {"port": 2, "mode": "INPUT"}]},
                         "serial": {"bitrate": 9600, "mode": "UDP"}, "x": "{\"a\": 1, \"a\": 2}"})")
        << QStringLiteral("x: unknown section");
    QTest::newRow("fractional I/O port") << QByteArray(R"({"gpio": {"ports": [{"port": 1.0000001}]}})")
                                         << QStringLiteral("gpio.ports[0].port: expected a whole number");
    QTest::newRow("fraction beyond a double's digits")
        << QByteArray(R"({"serial": {"port": 4001.00000000000000001}})")
        << QStringLiteral("serial.port: expected a whole number, not 4001.00000000000000001");
    QTest::newRow("fractional bit rate") << QByteArray(R"({"serial": {"bitrate": 96.005e2}})")
                                         << QStringLiteral("serial.bitrate: expected a whole number");
    QTest::newRow("fractional period") << QByteArray(R"({"gpio": {"period": 100.5}})")
                                       << QStringLiteral("gpio.period: expected a whole number");
    QTest::newRow("fractional trap time")
        << QByteArray(R"({"gpio": {"ports": [{"port": 2, "traptime": 3e-1}]}})")
        << QStringLiteral("gpio.ports[0].traptime: expected a whole number");
    QTest::newRow("whole numbers written with a point or an exponent")
        << QByteArray(R"({"serial": {"port": 4.001e3, "bitrate": 9600.000, "databits": 80e-1}})")
        << QString();
    QTest::newRow("no port number, as a board without one exports")
        << QByteArray(R"({"serial": {"port": null, "bitrate": 9600}})") << QString();
    QTest::newRow("no I/O port number") << QByteArray(R"({"gpio": {"ports": [{"port": null}]}})")
                                        << QStringLiteral("gpio.ports[0].port: expected a port number");
}

void tst_CliInput::document()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    QBuffer file(&json);
    QVERIFY(file.open(QIODevice::ReadOnly));
    SettingsChange change;
    QString message;
    const bool ok = ParseSettingsDocument(ReadInputText(file), change, message);
    if (error.isEmpty()) {
        QVERIFY2(ok, qPrintable(message));
    } else {
        QVERIFY(!ok);
        QVERIFY2(message.startsWith(error), qPrintable(message));
    }
}

// What export prints, apply must read as the same values: names and list positions agree.
void tst_CliInput::exportedDocumentReadsBack()
{
    BoardSerial serial;
    serial.settings.connectionMode = 2;
    serial.settings.peerAddress = static_cast<int32_t>(qToBigEndian(0xc000020au)); // 192.0.2.10
    serial.settings.bitRate = 115200;
    serial.settings.dataLength = 0;
    serial.settings.stopBits = 1;
    serial.settings.parity = 1;
    serial.settings.flowControl = 1;
    serial.settings.portNumber = 40001;
    GpioSettings input;
    input.managerAddress = qToBigEndian(0xc0000201u);
    input.period = 250;
    input.mode = 1;
    input.trapState = 1;
    input.trapTime = 604800000;
    GpioSettings output = input;
    output.mode = 0;
    output.state = 1;
    output.trapTime = 0;

    const QJsonObject document{{QStringLiteral("serial"), SerialObject(serial)},
                               {QStringLiteral("gpio"), GpioObject(input, {{3, input}, {8, output}})}};
    SettingsChange change;
    QString error;
    QVERIFY2(ParseSettingsDocument(QJsonDocument(document).toJson(), change, error), qPrintable(error));

    QVERIFY(change.serial);
    BoardSerial readSerial;
    readSerial.hasPort = false;
    StoreSerialValues(*change.serial, readSerial);
    QVERIFY(readSerial.hasPort);
    QVERIFY(SerialDifferences(serial, readSerial).isEmpty());
    QCOMPARE(change.serial->size(), 8);

    QVERIFY(change.gpio);
    QCOMPARE(change.gpio->ports.size(), 2);
    QCOMPARE(change.gpio->ports[1].port, 8);
    GpioSettings readInput;
    StoreGpioValues(change.gpio->node, readInput);
    StoreGpioValues(change.gpio->ports[0].values, readInput);
    QCOMPARE(GpioValues(readInput), GpioValues(input));

    // A board without a port number exports none, and what reads that back writes none.
    serial.hasPort = false;
    const QJsonObject noPort = SerialObject(serial);
    QCOMPARE(noPort.value(QStringLiteral("port")), QJsonValue(QJsonValue::Null));
    QVERIFY2(ParseSettingsDocument(QJsonDocument(QJsonObject{{QStringLiteral("serial"), noPort}}).toJson(),
                                   change, error),
             qPrintable(error));
    QCOMPARE(change.serial->size(), 7);
    QVERIFY(!change.serial->contains(QStringLiteral("port")));
    QVERIFY(SerialDifferences(serial, BoardSerial{serial.settings, false}).isEmpty());
    readSerial = BoardSerial{serial.settings, false};
    serial.hasPort = true;
    QCOMPARE(Texts(SerialDifferences(serial, readSerial)),
             QStringList{QStringLiteral("port: wrote 40001, read none")});
}

void tst_CliInput::boardAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // empty: refused

    QTest::newRow("simulated board") << QStringLiteral("127.0.0.2") << QStringLiteral("127.0.0.2");
    QTest::newRow("blanks and leading zeros")
        << QStringLiteral(" 192.168.000.010 ") << QStringLiteral("192.168.0.10");
    QTest::newRow("all zeros") << QStringLiteral("0.0.0.0") << QString();
    QTest::newRow("limited broadcast") << QStringLiteral("255.255.255.255") << QString();
    QTest::newRow("multicast") << QStringLiteral("224.0.0.1") << QString();
    QTest::newRow("class A network") << QStringLiteral("10.0.0.0") << QString();
    QTest::newRow("class C broadcast") << QStringLiteral("192.168.1.255") << QString();
    QTest::newRow("three octets") << QStringLiteral("192.168.0") << QString();
    QTest::newRow("octet above 255") << QStringLiteral("192.168.0.256") << QString();
    QTest::newRow("host name") << QStringLiteral("board.local") << QString();
}

void tst_CliInput::boardAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QString error;
    const std::optional<QString> address = ParseBoardAddress(text, error);
    QCOMPARE(address.value_or(QString()), expected);
    QCOMPARE(error.isEmpty(), !expected.isEmpty());

    QVERIFY(!ParseBoardAddresses({QStringLiteral("127.0.0.2"), QStringLiteral("127.000.0.2")}, error));
    QVERIFY(error.contains(QStringLiteral("listed twice")));
}

// An OUTPUT port is never written with its trap settings, so they may read back as anything.
void tst_CliInput::gpioReadBackComparesWhatTheModeWrites()
{
    GpioSettings written;
    written.mode = 0;
    written.state = 1;
    GpioSettings read = written;
    read.trapState = 1;
    read.trapTime = 500;
    QVERIFY(GpioDifferences(written, read).isEmpty());
    read.state = 0;
    QCOMPARE(Texts(GpioDifferences(written, read)),
             QStringList{QStringLiteral("state: wrote HIGH, read LOW")});

    written.mode = 1;
    written.trapTime = 500;
    read = written;
    read.state = 1;
    QVERIFY(GpioDifferences(written, read).isEmpty());
    read.trapTime = 30;
    QCOMPARE(Texts(GpioDifferences(written, read)),
             QStringList{QStringLiteral("traptime: wrote 500, read 30")});
}

void tst_CliInput::records_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");

    QTest::newRow("table") << QStringLiteral("table")
                           << QStringLiteral("board      result   detail\n"
                                             "127.0.0.2  ok       serial written\n"
                                             "127.0.0.3  refused  no, \"really\"\n"
                                             "127.0.0.4  ok\n");
    QTest::newRow("csv") << QStringLiteral("csv")
                         << QStringLiteral("board,result,detail\r\n"
                                           "127.0.0.2,ok,serial written\r\n"
                                           "127.0.0.3,refused,\"no, \"\"really\"\"\"\r\n"
                                           "127.0.0.4,ok,\r\n");
}

void tst_CliInput::records()
{
    QFETCH(QString, format);
    QFETCH(QString, expected);
    Records records;
    records.columns = {QStringLiteral("board"), QStringLiteral("result"), QStringLiteral("detail")};
    records.rows = {
        {QStringLiteral("127.0.0.2"), QStringLiteral("ok"), QStringLiteral("serial written")},
        {QStringLiteral("127.0.0.3"), QStringLiteral("refused"), QStringLiteral("no, \"really\"")},
        {QStringLiteral("127.0.0.4"), QStringLiteral("ok"), QString()}};
    QString text;
    QTextStream out(&text);
    PrintRecords(records, *ParseOutputFormat(format), out);
    QCOMPARE(text, expected);
}

// Each entry as "mac ip/mask gateway" or "mac dhcp", in plan order.
static QStringList PlanText(const QList<PlannedAddress>& plan)
{
    QStringList text;
    for (const PlannedAddress& entry : plan) {
        text << (entry.dhcp ? MacText(entry.mac) + QStringLiteral(" dhcp")
                            : QStringLiteral("%1 %2/%3 %4")
                                  .arg(MacText(entry.mac), HostAddressText(entry.ip),
                                       HostAddressText(entry.mask), HostAddressText(entry.gateway)));
    }
    return text;
}

void tst_CliInput::addressPlan_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::addColumn<QStringList>("plan");

    QTest::newRow("header, comments, DHCP, no gateway, CRLF")
        << QByteArray("# line 3\r\nmac,ip,mask,gateway\r\n00:0a:ff:10:20:3b, 192.168.0.10 "
                      ",255.255.255.0,192.168.0.1\r\n"
                      "\r\n00-0A-FF-10-20-3C,DHCP\r\n00:0a:ff:10:20:3d,192.168.0.12,255.255.255.0,\r\n"
                      "00:0a:ff:10:20:3e,192.168.0.13,255.255.255.0\r\n")
        << QString()
        << QStringList{QStringLiteral("00:0a:ff:10:20:3b 192.168.0.10/255.255.255.0 192.168.0.1"),
                       QStringLiteral("00:0a:ff:10:20:3c dhcp"),
                       QStringLiteral("00:0a:ff:10:20:3d 192.168.0.12/255.255.255.0 0.0.0.0"),
                       QStringLiteral("00:0a:ff:10:20:3e 192.168.0.13/255.255.255.0 0.0.0.0")};
    QTest::newRow("classful network address")
        << QByteArray(
               "00:0a:ff:10:20:3b,192.168.0.10,255.255.255.0\n00:0a:ff:10:20:3c,10.0.0.0,255.255.255.0\n")
        << QStringLiteral("line 2: 10.0.0.0/255.255.255.0: the IP address is not valid") << QStringList();
    QTest::newRow("broken mask") << QByteArray("00:0a:ff:10:20:3b,10.1.2.3,255.0.255.0\n")
                                 << QStringLiteral(
                                        "line 1: 10.1.2.3/255.0.255.0: the subnet mask is not valid")
                                 << QStringList();
    QTest::newRow("subnet broadcast")
        << QByteArray("00:0a:ff:10:20:3b,10.1.0.255,255.255.255.0\n")
        << QStringLiteral("line 1: 10.1.0.255/255.255.255.0: the IP address does not fit") << QStringList();
    QTest::newRow("gateway in another subnet")
        << QByteArray("00:0a:ff:10:20:3b,192.168.0.10,255.255.255.0,192.168.1.1\n")
        << QStringLiteral(
               "line 1: 192.168.0.10/255.255.255.0 gateway 192.168.1.1: the gateway address is not valid")
        << QStringList();
    QTest::newRow("one board twice") << QByteArray("00:0a:ff:10:20:3b,dhcp\n#\n00:0A:FF:10:20:3B,dhcp\n")
                                     << QStringLiteral(
                                            "line 3: 00:0a:ff:10:20:3b is already planned on line 1")
                                     << QStringList();
    QTest::newRow("one address twice")
        << QByteArray("00:0a:ff:10:20:3b,10.1.2.3,255.0.0.0\n00:0a:ff:10:20:3c,10.1.2.3,255.255.0.0\n")
        << QStringLiteral("line 2: 10.1.2.3 is already given to the board on line 1") << QStringList();
    QTest::newRow("bad MAC") << QByteArray("00:0a:ff:10:20,dhcp\n")
                             << QStringLiteral("line 1: \"00:0a:ff:10:20\" is not a MAC address")
                             << QStringList();
    QTest::newRow("mask missing") << QByteArray("00:0a:ff:10:20:3b,10.1.2.3\n")
                                  << QStringLiteral("line 1: expected mac,ip,mask,gateway or mac,dhcp")
                                  << QStringList();
    QTest::newRow("incomplete address")
        << QByteArray("00:0a:ff:10:20:3b,10.1.2.,255.0.0.0\n")
        << QStringLiteral("line 1: IP address \"10.1.2.\" is not a dotted IPv4 address") << QStringList();
    QTest::newRow("byte-order mark before the header")
        << QByteArray("\xEF\xBB\xBFmac,ip,mask,gateway\n00:0a:ff:10:20:3b,dhcp\n") << QString()
        << QStringList{QStringLiteral("00:0a:ff:10:20:3b dhcp")};
    QTest::newRow("only a header") << QByteArray("mac,ip,mask,gateway\n")
                                   << QStringLiteral("the plan lists no boards") << QStringList();
}

void tst_CliInput::addressPlan()
{
    QFETCH(QByteArray, csv);
    QFETCH(QString, error);
    QFETCH(QStringList, plan);
    QBuffer file(&csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QList<PlannedAddress> parsed;
    QString message;
    const bool ok = ParseAddressPlan(ReadInputText(file), parsed, message);
    QVERIFY2(ok == error.isEmpty(), qPrintable(message));
    QVERIFY2(message.startsWith(error), qPrintable(message));
    QCOMPARE(PlanText(parsed), plan);
}

void tst_CliInput::allocation_data()
{
    QTest::addColumn<QStringList>("boards"); // "mac ip", or "other ip" for a board that keeps its address
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("plan");

    const QStringList three{QStringLiteral("00:0a:ff:00:00:03 192.168.0.11"),
                            QStringLiteral("00:0a:ff:00:00:01 192.168.0.200"),
                            QStringLiteral("00:0a:ff:00:00:02 10.1.2.3")};
    QTest::newRow("MAC order, used addresses skipped")
        << three << QStringLiteral("192.168.0.10") << QStringLiteral("255.255.255.0")
        << QStringLiteral("0.0.0.0") << QString()
        << QStringList{QStringLiteral("00:0a:ff:00:00:01 192.168.0.10/255.255.255.0 0.0.0.0"),
                       QStringLiteral("00:0a:ff:00:00:02 192.168.0.12/255.255.255.0 0.0.0.0"),
                       QStringLiteral("00:0a:ff:00:00:03 192.168.0.13/255.255.255.0 0.0.0.0")};
    QTest::newRow("addresses of boards that are not renumbered are skipped")
        << QStringList{QStringLiteral("other 192.168.0.10"), QStringLiteral("00:0a:ff:00:00:01 10.1.2.3"),
                       QStringLiteral("other 192.168.0.11")}
        << QStringLiteral("192.168.0.10") << QStringLiteral("255.255.255.0") << QStringLiteral("0.0.0.0")
        << QString() << QStringList{QStringLiteral("00:0a:ff:00:00:01 192.168.0.12/255.255.255.0 0.0.0.0")};
    QTest::newRow("the gateway's address is skipped")
        << three.mid(0, 1) << QStringLiteral("192.168.0.1") << QStringLiteral("255.255.255.0")
        << QStringLiteral("192.168.0.1") << QString()
        << QStringList{QStringLiteral("00:0a:ff:00:00:03 192.168.0.2/255.255.255.0 192.168.0.1")};
    QTest::newRow("classful broadcast and network skipped in a wider subnet")
        << three << QStringLiteral("192.168.0.254") << QStringLiteral("255.255.0.0")
        << QStringLiteral("0.0.0.0") << QString()
        << QStringList{QStringLiteral("00:0a:ff:00:00:01 192.168.0.254/255.255.0.0 0.0.0.0"),
                       QStringLiteral("00:0a:ff:00:00:02 192.168.1.1/255.255.0.0 0.0.0.0"),
                       QStringLiteral("00:0a:ff:00:00:03 192.168.1.2/255.255.0.0 0.0.0.0")};
    QTest::newRow("subnet too small")
        << three << QStringLiteral("192.168.0.253") << QStringLiteral("255.255.255.0")
        << QStringLiteral("0.0.0.0")
        << QStringLiteral(
               "the subnet 192.168.0.0/255.255.255.0 has no free address left from 192.168.0.253 on for "
               "00:0a:ff:00:00:03")
        << QStringList();
    QTest::newRow("start is the subnet's network address")
        << three << QStringLiteral("192.168.0.0") << QStringLiteral("255.255.255.0")
        << QStringLiteral("0.0.0.0")
        << QStringLiteral("192.168.0.0/255.255.255.0: the IP address is not valid") << QStringList();
}

void tst_CliInput::allocation()
{
    QFETCH(QStringList, boards);
    QFETCH(QString, from);
    QFETCH(QString, mask);
    QFETCH(QString, gateway);
    QFETCH(QString, error);
    QFETCH(QStringList, plan);
    const auto address = [](const QString& text) { return ParseDottedAddress(text)->HostOrder(); };
    QList<ListedBoard> listed;
    QList<quint32> others;
    for (const QString& board : boards) {
        const QStringList parts = board.split(QLatin1Char(' '));
        if (parts[0] == QLatin1String("other"))
            others << address(parts[1]);
        else
            listed << ListedBoard{*ParseMacAddress(parts[0]), address(parts[1])};
    }
    QList<PlannedAddress> allocated;
    QString message;
    const bool ok =
        AllocateAddresses(listed, address(from), address(mask), address(gateway), allocated, message, others);
    QVERIFY2(ok == error.isEmpty(), qPrintable(message));
    QVERIFY2(message.startsWith(error), qPrintable(message));
    QCOMPARE(PlanText(allocated), plan);
}

// "FLAG IP/MASK GATEWAY", FLAG the DHCP flag as the 32-bit value the record holds.
static NetworkSettings Settings(const QString& text)
{
    const QStringList parts = text.split(QRegularExpression(QStringLiteral("[ /]")));
    const auto address = [](const QString& dotted) { return htonl(ParseDottedAddress(dotted)->HostOrder()); };
    NetworkSettings settings;
    settings.SetDhcp(static_cast<int32_t>(parts[0].toUInt()));
    settings.SetIpAddress(address(parts[1]));
    settings.SetSubnetMask(address(parts[2]));
    settings.SetGateway(address(parts[3]));
    return settings;
}

static QString SettingsText(const NetworkSettings& settings)
{
    return QStringLiteral("%1 %2/%3 %4")
        .arg(static_cast<quint32>(settings.IsDhcp() ? 1 : 0))
        .arg(QString::fromStdString(settings.GetIpText()), QString::fromStdString(settings.GetMaskText()),
             QString::fromStdString(DottedText(settings.GetGateway())));
}

void tst_CliInput::settingsToSend_data()
{
    QTest::addColumn<QString>("entry");    // "dhcp" or "IP/MASK GATEWAY"
    QTest::addColumn<QString>("current");  // as the board reported it
    QTest::addColumn<QString>("expected"); // empty: refused as unchanged

    const QString fixed = QStringLiteral("0 192.168.0.10/255.255.255.0 192.168.0.1");
    QTest::newRow("DHCP keeps the reported addresses")
        << QStringLiteral("dhcp") << fixed << QStringLiteral("1 192.168.0.10/255.255.255.0 192.168.0.1");
    QTest::newRow("DHCP on a board that has it, flag in either byte order")
        << QStringLiteral("dhcp") << QStringLiteral("16777216 10.1.2.3/255.0.0.0 0.0.0.0") << QString();
    QTest::newRow("fixed settings as reported")
        << QStringLiteral("192.168.0.10/255.255.255.0 192.168.0.1") << fixed << QString();
    QTest::newRow("the same addresses on a DHCP board")
        << QStringLiteral("192.168.0.10/255.255.255.0 192.168.0.1")
        << QStringLiteral("1 192.168.0.10/255.255.255.0 192.168.0.1") << fixed;
    QTest::newRow("gateway dropped") << QStringLiteral("192.168.0.10/255.255.255.0 0.0.0.0") << fixed
                                     << QStringLiteral("0 192.168.0.10/255.255.255.0 0.0.0.0");
}

void tst_CliInput::settingsToSend()
{
    QFETCH(QString, entry);
    QFETCH(QString, current);
    QFETCH(QString, expected);
    PlannedAddress planned;
    planned.dhcp = entry == QLatin1String("dhcp");
    if (!planned.dhcp) {
        const NetworkSettings fixed = Settings(QStringLiteral("0 ") + entry);
        planned.ip = ntohl(fixed.GetIpAddress());
        planned.mask = ntohl(fixed.GetSubnetMask());
        planned.gateway = ntohl(fixed.GetGateway());
    }
    const std::optional<NetworkSettings> sent = SettingsToSend(planned, Settings(current));
    QCOMPARE(sent ? SettingsText(*sent) : QString(), expected);
    if (sent && planned.dhcp)
        QCOMPARE(sent->IsDhcp() ? 1 : 0, 1);
    // A search that lists the board so confirms the change exactly when there is nothing to send.
    FoundBoard listed;
    listed.record.GetSettings() = Settings(current);
    QCOMPARE(Confirmed({listed}, planned), expected.isEmpty());
}

// Boards and plans by the last byte of the MAC 02:00:00:00:00:xx, on 10.0.0.0/8.
static NodeInfo::MacAddress TestMac(const QString& last)
{
    return {2, 0, 0, 0, 0, static_cast<uint8_t>(last.toUInt(nullptr, 16))};
}

void tst_CliInput::planOrder_data()
{
    QTest::addColumn<QStringList>("found"); // "LAST IP", with " shared" when its MAC answered twice
    QTest::addColumn<QStringList>("plan");  // plan lines with LAST for the MAC
    QTest::addColumn<QString>("expected");  // the plan lines of each wave ("2 | 1"), or how the error starts

    const QStringList two{QStringLiteral("01 10.0.0.1"), QStringLiteral("02 10.0.0.2")};
    QTest::newRow("independent boards: one wave")
        << two
        << QStringList{QStringLiteral("01,10.0.0.11,255.0.0.0"), QStringLiteral("02,10.0.0.12,255.0.0.0")}
        << QStringLiteral("1 2");
    QTest::newRow("the board that gives up an address goes first")
        << two
        << QStringList{QStringLiteral("01,10.0.0.2,255.0.0.0"), QStringLiteral("02,10.0.0.3,255.0.0.0")}
        << QStringLiteral("2 | 1");
    QTest::newRow("a chain") << (two + QStringList{QStringLiteral("03 10.0.0.3")})
                             << QStringList{QStringLiteral("01,10.0.0.2,255.0.0.0"),
                                            QStringLiteral("02,10.0.0.3,255.0.0.0"),
                                            QStringLiteral("03,10.0.0.4,255.0.0.0")}
                             << QStringLiteral("3 | 2 | 1");
    QTest::newRow("factory boards on one address: the one that keeps it goes last")
        << QStringList{QStringLiteral("01 10.0.0.10"), QStringLiteral("02 10.0.0.10"),
                       QStringLiteral("03 10.0.0.10")}
        << QStringList{QStringLiteral("01,10.0.0.10,255.0.0.0"), QStringLiteral("02,10.0.0.11,255.0.0.0"),
                       QStringLiteral("03,10.0.0.12,255.0.0.0")}
        << QStringLiteral("2 3 | 1");
    QTest::newRow("a board the search did not find holds nothing")
        << QStringList() << QStringList{QStringLiteral("01,10.0.0.1,255.0.0.0")} << QStringLiteral("1");
    QTest::newRow("two boards taking each other's addresses")
        << two
        << QStringList{QStringLiteral("01,10.0.0.2,255.0.0.0"), QStringLiteral("02,10.0.0.1,255.0.0.0")}
        << QStringLiteral("line 1 (02:00:00:00:00:01) takes 10.0.0.2 from line 2 (02:00:00:00:00:02), line 2 "
                          "(02:00:00:00:00:02) takes 10.0.0.1 from line 1 (02:00:00:00:00:01): in no order");
    QTest::newRow("the address of a board outside the plan")
        << two << QStringList{QStringLiteral("01,10.0.0.2,255.0.0.0")}
        << QStringLiteral(
               "line 1 (02:00:00:00:00:01): 10.0.0.2 is in use by 02:00:00:00:00:02, which the plan "
               "does not change");
    QTest::newRow("an address of this computer")
        << two << QStringList{QStringLiteral("01,10.0.0.99,255.0.0.0")}
        << QStringLiteral("line 1 (02:00:00:00:00:01): 10.0.0.99 is an address of this computer");
    QTest::newRow("a MAC two boards answer with")
        << QStringList{QStringLiteral("01 10.0.0.1 shared"), QStringLiteral("01 10.0.0.7 shared")}
        << QStringList{QStringLiteral("01,10.0.0.20,255.0.0.0")}
        << QStringLiteral("line 1 (02:00:00:00:00:01): 2 boards answer with this MAC (10.0.0.1, 10.0.0.7)");
    QTest::newRow("the address of a board that switches to DHCP")
        << two << QStringList{QStringLiteral("01,10.0.0.2,255.0.0.0"), QStringLiteral("02,dhcp")}
        << QStringLiteral(
               "line 1 (02:00:00:00:00:01): 10.0.0.2 is in use by line 2 (02:00:00:00:00:02), which "
               "switches to DHCP");
}

void tst_CliInput::planOrder()
{
    QFETCH(QStringList, found);
    QFETCH(QStringList, plan);
    QFETCH(QString, expected);
    QList<FoundBoard> boards;
    for (const QString& text : found) {
        const QStringList parts = text.split(QLatin1Char(' '));
        FoundBoard board;
        board.record.SetMacAddress(TestMac(parts[0]).data());
        board.record.GetSettings() = Settings(QStringLiteral("0 %1/255.0.0.0 0.0.0.0").arg(parts[1]));
        board.sharedMac = parts.size() > 2;
        boards << board;
    }
    QByteArray csv;
    for (const QString& line : plan)
        csv += (QStringLiteral("02:00:00:00:00:") + line + QLatin1Char('\n')).toUtf8();
    QList<PlannedAddress> entries;
    QString error;
    QVERIFY2(ParseAddressPlan(csv, entries, error), qPrintable(error));

    const std::optional<PlanOrder> order =
        OrderPlan(entries, boards, {ParseDottedAddress(QStringLiteral("10.0.0.99"))->HostOrder()}, error);
    QStringList waves;
    for (const QList<qsizetype>& wave : order ? order->waves : QList<QList<qsizetype>>()) {
        QStringList lines;
        for (const qsizetype i : wave)
            lines << QString::number(entries[i].line);
        waves << lines.join(QLatin1Char(' '));
    }
    QVERIFY2(order ? waves.join(QStringLiteral(" | ")) == expected : error.startsWith(expected),
             qPrintable(order ? waves.join(QStringLiteral(" | ")) : error));
}

void tst_CliInput::changeResult_data()
{
    QTest::addColumn<int>("status"); // of the answer; Done with the board's reply
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("requested"); // the request's settings on record

    QTest::newRow("answered") << static_cast<int>(CliStatus::Done) << QStringLiteral("ok") << true;
    QTest::newRow("sent, no reply") << static_cast<int>(CliStatus::NoReply) << QStringLiteral("no reply")
                                    << true;
    QTest::newRow("not sent: nothing requested")
        << static_cast<int>(CliStatus::NotSent) << QStringLiteral("not sent") << false;
}

void tst_CliInput::changeResult()
{
    QFETCH(int, status);
    QFETCH(QString, result);
    QFETCH(bool, requested);
    PlannedAddress entry;
    entry.mac = TestMac(QStringLiteral("01"));
    const AddressRequest request{Settings(QStringLiteral("0 10.0.0.5/255.0.0.0 0.0.0.0")), entry.mac, 3};
    SetAddressAnswer answer;
    answer.status = static_cast<CliStatus>(status);
    if (answer.status == CliStatus::Done)
        answer.reply.emplace().GetSettings() = request.settings;

    const AddressChangeResult change = ChangeResult(entry, request, answer);
    QCOMPARE(change.result, result);
    QCOMPARE(change.requested.has_value(), requested);
    if (requested)
        QVERIFY(*change.requested == request.settings);
    const QJsonValue json = AddressChangeRecords({change}).json.array().at(0)[QStringLiteral("requested")];
    QCOMPARE(json.isNull(), !requested);
}

// Default settings, but port 3 an INPUT that reads HIGH and traps on HIGH after 1000 ms.
static BoardReading Reading(bool hasPort = true)
{
    BoardReading board;
    board.serial.hasPort = hasPort;
    for (int port = 1; port <= 8; ++port)
        board.ports.append({port, GpioSettings{}});
    GpioSettings& input = board.ports[2].second;
    input.mode = input.state = input.trapState = 1;
    input.trapTime = 1000;
    return board;
}

void tst_CliInput::inventoryCheck_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<bool>("hasPort");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("equal values match; a document without gpio compares serial only")
        << QByteArray(R"({"serial": {"bitrate": 9600, "databits": 8}})") << true << QStringList();
    QTest::newRow("each setting named with both values")
        << QByteArray(R"({"serial": {"bitrate": 115200, "stopbits": 2},
                          "gpio": {"ports": [{"port": 3, "mode": "OUTPUT"}]}})")
        << true
        << QStringList{QStringLiteral("serial.bitrate: board 9600, document 115200"),
                       QStringLiteral("serial.stopbits: board 1, document 2"),
                       QStringLiteral("gpio.port3.mode: board INPUT, document OUTPUT")};
    QTest::newRow("node-wide settings against port 1's; ports not listed are not compared")
        << QByteArray(
               R"({"gpio": {"manager": "192.0.2.1", "period": 100, "ports": [{"port": 5, "state": "LOW"}]}})")
        << true << QStringList{QStringLiteral("gpio.manager: board 0.0.0.0, document 192.0.2.1")};
    QTest::newRow("an INPUT port on what its mode writes, not on the level it reads")
        << QByteArray(
               R"({"gpio": {"ports": [{"port": 3, "mode": "INPUT", "state": "LOW", "traptime": 30}]}})")
        << true << QStringList{QStringLiteral("gpio.port3.traptime: board 1000, document 30")};
    QTest::newRow("a port number the board lacks")
        << QByteArray(R"({"serial": {"port": 4001}})") << false
        << QStringList{QStringLiteral("serial.port: board none, document 4001")};
}

void tst_CliInput::inventoryCheck()
{
    QFETCH(QByteArray, document);
    QFETCH(bool, hasPort);
    QFETCH(QStringList, expected);
    SettingsChange change;
    QString error;
    QVERIFY2(ParseSettingsDocument(document, change, error), qPrintable(error));
    QStringList texts;
    for (const CheckDifference& difference : CheckBoard(change, Reading(hasPort)))
        texts << CheckDifferenceText(difference);
    QCOMPARE(texts, expected);
}

// A board that was read and one that was not, in the summary table and in CSV's columns.
void tst_CliInput::inventoryRecords()
{
    QList<FoundBoard> boards;
    for (const int last : {1, 2}) {
        FoundBoard board;
        board.record.SetMacAddress(TestMac(QString::number(last)).data());
        board.record.GetSettings() = Settings(QStringLiteral("0 10.0.0.%1/255.0.0.0 0.0.0.0").arg(last));
        board.interfaceName = QStringLiteral("eth1");
        boards << board;
    }
    boards[0].sharedMac = true;
    BoardReading read = Reading();
    read.serial.settings.parity = 2;
    read.serial.settings.flowControl = 1;
    const QList<InventoryEntry> entries{
        {CliStatus::Done, QStringLiteral("ok"), QString(), read, std::nullopt},
        {CliStatus::NoReply, QStringLiteral("no reply"),
         QStringLiteral("reading serial settings: no reply in time"), std::nullopt, std::nullopt}};

    QString text;
    QTextStream out(&text);
    PrintRecords(InventoryRecords(boards, entries, false, OutputFormat::Table), OutputFormat::Table, out);
    const QStringList table = text.split(QLatin1Char('\n'));
    QVERIFY2(table[1].startsWith(QStringLiteral("02:00:00:00:00:01  10.0.0.1  eth1       ok        "
                                                "TCPSERVER 21347 9600 8E1 flow=hardware  OOIOOOOO  "
                                                "MAC shared with another board")),
             qPrintable(text));

    text.clear();
    PrintRecords(InventoryRecords(boards, entries, false, OutputFormat::Csv), OutputFormat::Csv, out);
    QList<QStringList> csv;
    for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        csv << line.split(QLatin1Char(','));
    QCOMPARE(csv.size(), 3);
    QCOMPARE(csv[1].size(), csv[0].size());
    QCOMPARE(csv[2].size(), csv[0].size());
    const auto field = [&](int row, const char* column) {
        return csv[row][csv[0].indexOf(QLatin1String(column))];
    };
    QCOMPARE(field(1, "serial.parity"), QStringLiteral("even"));
    QCOMPARE(field(1, "gpio.port3.trapstate"), QStringLiteral("HIGH"));
    QCOMPARE(field(1, "gpio.port8.mode"), QStringLiteral("OUTPUT"));
    QCOMPARE(field(2, "result"), QStringLiteral("no reply"));
    QCOMPARE(field(2, "serial.mode"), QString());
}

void tst_CliInput::replyMatching_data()
{
    // Each packet "OP TID MAC IP": MAC the last byte of 02:00:00:00:00:xx, IP the last octet of
    // 10.0.0.x. The requests' transaction id is 7; set-address requests went to the MACs "addressed".
    QTest::addColumn<QStringList>("packets");
    QTest::addColumn<int>("stopAfter");      // the search has all it needs once it lists this many; 0: never
    QTest::addColumn<QStringList>("listed"); // "MAC IP" of the search, in order; "*" after a shared MAC
    QTest::addColumn<QStringList>("addressed");
    QTest::addColumn<QStringList>("setReplies"); // per request: "MAC IP" of its reply, or empty
    QTest::addColumn<QStringList>("others");     // MACs of the other set-address replies, first request

    const QStringList one{QStringLiteral("01")};
    QTest::newRow("repeats are one board, other settings another one with the MAC")
        << QStringList{QStringLiteral("1 7 02 10"), QStringLiteral("1 7 01 11"), QStringLiteral("1 7 02 10"),
                       QStringLiteral("1 7 02 12")}
        << 0 << QStringList{QStringLiteral("02 10*"), QStringLiteral("01 11"), QStringLiteral("02 12*")}
        << one << QStringList{QString()} << QStringList();
    QTest::newRow("other ids and op codes do not count")
        << QStringList{QStringLiteral("1 8 01 10"), QStringLiteral("3 7 01 11"), QStringLiteral("0 7 02 12"),
                       QStringLiteral("2 7 03 13"), QStringLiteral("1 7 04 14")}
        << 0 << QStringList{QStringLiteral("04 14")} << one << QStringList{QStringLiteral("01 11")}
        << QStringList();
    QTest::newRow("only the addressed board's reply with the id ends the wait")
        << QStringList{QStringLiteral("1 7 01 10"), QStringLiteral("3 8 04 11"), QStringLiteral("3 7 03 12"),
                       QStringLiteral("3 7 04 13"), QStringLiteral("3 7 04 14")}
        << 0 << QStringList{QStringLiteral("01 10")} << QStringList{QStringLiteral("04")}
        << QStringList{QStringLiteral("04 13")} << QStringList{QStringLiteral("03")};
    QTest::newRow("replies of other boards only: no answer")
        << QStringList{QStringLiteral("3 7 03 12"), QStringLiteral("3 7 05 12"), QStringLiteral("3 7 03 12")}
        << 0 << QStringList() << QStringList{QStringLiteral("04")} << QStringList{QString()}
        << QStringList{QStringLiteral("03"), QStringLiteral("05")};
    QTest::newRow("requests that share an id: each board's reply answers its own")
        << QStringList{QStringLiteral("3 7 05 15"), QStringLiteral("3 7 09 19"), QStringLiteral("3 7 04 14"),
                       QStringLiteral("3 7 05 16")}
        << 0 << QStringList() << QStringList{QStringLiteral("04"), QStringLiteral("05")}
        << QStringList{QStringLiteral("04 14"), QStringLiteral("05 15")} << QStringList{QStringLiteral("09")};
    QTest::newRow("a search ends once it has what it waits for")
        << QStringList{QStringLiteral("1 7 01 10"), QStringLiteral("1 7 02 11")} << 1
        << QStringList{QStringLiteral("01 10")} << one << QStringList{QString()} << QStringList();
}

void tst_CliInput::replyMatching()
{
    QFETCH(QStringList, packets);
    QFETCH(int, stopAfter);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, addressed);
    QFETCH(QStringList, setReplies);
    QFETCH(QStringList, others);

    const auto fill = [&](CNodeQueue& queue) {
        ReceivedNodes nodes;
        for (const QString& packet : packets) {
            const QStringList fields = packet.split(QLatin1Char(' '));
            auto record = std::make_unique<NodeInfo>();
            record->SetOpCode(htonl(fields[0].toUInt()));
            record->SetTransactionId(fields[1].toUInt());
            record->SetMacAddress(TestMac(fields[2]).data());
            record->GetSettings().SetIpAddress(htonl(0x0a000000u + fields[3].toUInt()));
            nodes.push_back(ReceivedNode{std::move(record), 3, "eth1", 0x0a000000u + fields[3].toUInt()});
        }
        queue.OnNodesReceived(std::move(nodes));
    };
    const auto text = [](const NodeInfo& record) {
        return QStringLiteral("%1 %2")
            .arg(record.GetMacAddress()[5], 2, 16, QLatin1Char('0'))
            .arg(ntohl(record.GetSettings().GetIpAddress()) & 0xff);
    };
    // Everything is queued already: a deadline that has passed takes what is there and no more.
    const auto now = std::chrono::steady_clock::now();

    CNodeQueue queue;
    fill(queue);
    const QList<FoundBoard> found =
        CollectSearchReplies(queue, 7, now, [stopAfter](const QList<FoundBoard>& boards) {
            return stopAfter && boards.size() >= stopAfter;
        });
    QStringList texts;
    for (const FoundBoard& board : found) {
        texts << text(board.record) + (board.sharedMac ? QStringLiteral("*") : QString());
        QCOMPARE(board.interfaceName, QStringLiteral("eth1"));
        QCOMPARE(board.interfaceIndex, 3u);
        QCOMPARE(board.sourceAddress, ntohl(board.record.GetSettings().GetIpAddress()));
    }
    QCOMPARE(texts, listed);

    CNodeQueue replies;
    fill(replies);
    SetAddressWaits waits;
    QList<SetAddressAnswer> answers(addressed.size());
    for (qsizetype i = 0; i < addressed.size(); ++i)
        waits.Add(i, 7, TestMac(addressed[i]), now);
    for (const ReceivedNode& node : replies.TakeAll())
        (void)waits.Take(*node.record, answers);
    QStringList replyTexts;
    for (const SetAddressAnswer& answer : answers)
        replyTexts << (answer.reply ? text(*answer.reply) : QString());
    QCOMPARE(replyTexts, setReplies);
    QStringList otherTexts;
    for (const NodeInfo::MacAddress& mac : answers[0].otherMacs)
        otherTexts << QStringLiteral("%1").arg(mac[5], 2, 16, QLatin1Char('0'));
    QCOMPARE(otherTexts, others);
    // What has no reply by its deadline has none.
    const QList<qsizetype> expired = waits.Expire(now, answers);
    QCOMPARE(expired.size(), setReplies.count(QString()));

    // Taken after the deadline, even the addressed board's reply is too late: the records that
    // wait in the queue hold off no request's expiry.
    CNodeQueue late;
    fill(late);
    SetAddressWaits lateWaits;
    QList<SetAddressAnswer> lateAnswers(addressed.size());
    for (qsizetype i = 0; i < addressed.size(); ++i)
        lateWaits.Add(i, 7, TestMac(addressed[i]), now);
    QCOMPARE(lateWaits.TakeNext(late, lateAnswers).size(), addressed.size());
    for (const SetAddressAnswer& answer : std::as_const(lateAnswers))
        QVERIFY(answer.status == CliStatus::NoReply && !answer.reply);
}

void tst_CliInput::journal_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error"); // empty: read
    QTest::addColumn<QStringList>("done");
    QTest::addColumn<QStringList>("handedOut"); // "mac ip", each board's latest
    QTest::addColumn<bool>("incomplete");

    const auto record = [](const char* mac, const char* result, int status, const char* planned) {
        return QByteArray(R"({"mac": ")") + mac + R"(", "result": ")" + result + R"(", "status": )" +
               QByteArray::number(status) + R"(, "planned": )" + planned + "}\n";
    };
    const char* first = R"({"ip": "10.1.0.100", "mask": "255.255.0.0", "gateway": null, "dhcp": false})";
    const char* second =
        R"({"ip": "10.1.0.101", "mask": "255.255.0.0", "gateway": "10.1.0.1", "dhcp": false})";
    const QByteArray twoRuns = record("02:4c:46:00:53:0a", "failed", 4, first) +
                               record("02:4c:46:00:53:0a", "done", 0, second) +
                               record("02:4c:46:00:53:0b", "failed", 3, R"({"dhcp": true})");
    QTest::newRow("a failure, then done elsewhere; a DHCP board hands out nothing")
        << twoRuns << QString() << QStringList{QStringLiteral("02:4c:46:00:53:0a")}
        << QStringList{QStringLiteral("02:4c:46:00:53:0a 10.1.0.101")} << false;
    QTest::newRow("a last line cut short by an interrupted write is ignored")
        << record("02:4c:46:00:53:0a", "done", 0, first) + R"({"mac": "02:4c:46:0)" << QString()
        << QStringList{QStringLiteral("02:4c:46:00:53:0a")}
        << QStringList{QStringLiteral("02:4c:46:00:53:0a 10.1.0.100")} << true;
    QTest::newRow("a bad line before the last is named")
        << record("02:4c:46:00:53:0a", "done", 0, first) + "not a record\n\n" +
               record("02:4c:46:00:53:0b", "done", 0, second)
        << QStringLiteral("line 2 is not a record of lanfinch-cli watch") << QStringList() << QStringList()
        << false;
    QTest::newRow("a record without the settings it was given")
        << QByteArray(R"({"mac": "02:4c:46:00:53:0a", "result": "done", "status": 0})"
                      "\n")
        << QStringLiteral("line 1 is not a record") << QStringList() << QStringList() << false;
}

void tst_CliInput::journal()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    QFETCH(QStringList, done);
    QFETCH(QStringList, handedOut);
    QFETCH(bool, incomplete);
    QList<JournalEntry> entries;
    bool cut = false;
    QString problem;
    QCOMPARE(ReadJournal(text, entries, cut, problem), error.isEmpty());
    QVERIFY2(problem.startsWith(error), qPrintable(problem));
    QCOMPARE(cut, incomplete);
    QStringList doneMacs;
    for (const JournalEntry& entry : entries) {
        if (entry.done)
            doneMacs << MacText(entry.mac);
    }
    QCOMPARE(doneMacs, done);
    QStringList given;
    for (const PlannedAddress& planned : HandedOut(entries))
        given << MacText(planned.mac) + QLatin1Char(' ') + HostAddressText(planned.ip);
    QCOMPARE(given, handedOut);
}

QTEST_GUILESS_MAIN(tst_CliInput)
#include "tst_CliInput.moc"
