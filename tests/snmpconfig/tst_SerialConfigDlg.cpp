#include "resources/CIpAddressCtrl.h"
#include "snmpconfig/CSerialConfigDlg.h"
#include "tests/support/RecordedMessages.h"
#include "resources/ResourceIds.h"
#include "tests/snmpconfig/SnmpDialogTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

using namespace SnmpDialogTest;
namespace Ids = SerialConfigIds;

namespace {

// Board addresses; each scenario has a board of its own so that writes do not disturb reads.
const QString kValuesBoard = QStringLiteral("127.0.0.2");
const QString kWriteBoard = QStringLiteral("127.0.0.3");
const QString kNoPortBoard = QStringLiteral("127.0.0.4");
const QString kRefusingBoard = QStringLiteral("127.0.0.5");
const QString kOddRateBoard = QStringLiteral("127.0.0.6");
const QString kUnlistedRateBoard = QStringLiteral("127.0.0.7");

const QString kSevenGet = QStringLiteral("get 2.2.0 2.4.0 2.10.0 2.12.0 2.15.0 2.20.0 2.25.0");
const QString kPortGet = QStringLiteral("get 2.5.0");

struct Controls
{
    explicit Controls(const CSerialConfigDlg& d)
        : node(d.Item<CIpAddressCtrl>(Ids::NodeAddress)), port(d.Item<QLineEdit>(Ids::PortNumber)),
          mode(d.Item<QComboBox>(Ids::ConnectionMode)), peer(d.Item<CIpAddressCtrl>(Ids::PeerAddress)),
          bitRate(d.Item<QComboBox>(Ids::BitRate)), dataLength(d.Item<QComboBox>(Ids::DataLength)),
          stopBits(d.Item<QComboBox>(Ids::StopBits)), parity(d.Item<QComboBox>(Ids::Parity)),
          flow(d.Item<QComboBox>(Ids::FlowControl))
    {
    }

    // "node|port|mode|peer|rate|length|stop|parity|flow", lists as positions, for one-line compares.
    QString Summary() const
    {
        return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9")
            .arg(Shown(node), port->text())
            .arg(mode->currentIndex())
            .arg(Shown(peer), bitRate->currentText())
            .arg(dataLength->currentIndex())
            .arg(stopBits->currentIndex())
            .arg(parity->currentIndex())
            .arg(flow->currentIndex());
    }

    CIpAddressCtrl* node;
    QLineEdit* port;
    QComboBox* mode;
    CIpAddressCtrl* peer;
    QComboBox* bitRate;
    QComboBox* dataLength;
    QComboBox* stopBits;
    QComboBox* parity;
    QComboBox* flow;
};

} // namespace

class TestSerialConfigDlg : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void cleanup();

    void opens_data();
    void opens();
    void writeSendsSevenVariablesThenPortThenCommit();
    void writeOutcome_data();
    void writeOutcome();
    void bitRateAndOutOfRangePositions_data();
    void bitRateAndOutOfRangePositions();
    void setChecks_data();
    void setChecks();
    void enterRunsDataExchange_data();
    void enterRunsDataExchange();

  private:
    QStringList NewRequests(const QString& board) const { return Requests(m_sim, board, m_logMark); }

    SimProcess m_sim;
    CSnmpAccess m_snmp;
    qsizetype m_logMark = 0;
};

void TestSerialConfigDlg::initTestCase()
{
    const auto value = [](const char* tail, const QJsonValue& v) { return qMakePair(Oid(tail), v); };
    const auto values = [](std::initializer_list<QPair<QString, QJsonValue>> list) {
        QJsonObject object;
        for (const auto& [key, v] : list)
            object[key] = v;
        return QJsonObject{{QStringLiteral("values"), object}};
    };
    QJsonObject refusing{{QStringLiteral("refuseSets"), QJsonArray{Oid("2.10.0")}}};
    QVERIFY(StartBoards(
        m_sim, m_snmp,
        QJsonArray{
            Board(kValuesBoard, values({value("2.2.0", 1), value("2.4.0", QStringLiteral("192.0.2.7")),
                                        value("2.5.0", 4001), value("2.10.0", 115200), value("2.12.0", 2),
                                        value("2.15.0", 1), value("2.20.0", 2), value("2.25.0", 1)})),
            Board(kWriteBoard, {}),
            Board(kNoPortBoard, {{QStringLiteral("noPortNumber"), true}}),
            Board(kRefusingBoard, refusing),
            Board(kOddRateBoard, values({value("2.10.0", 1), value("2.12.0", 4)})),
            Board(kUnlistedRateBoard, values({value("2.10.0", 300)})),
        }));
}

void TestSerialConfigDlg::init()
{
    m_logMark = m_sim.LogEntries().size();
}

void TestSerialConfigDlg::cleanup()
{
    QCOMPARE(QApplication::topLevelWidgets().count(), 0);
}

void TestSerialConfigDlg::opens_data()
{
    QTest::addColumn<QString>("board"); // empty: no node
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("requests");

    QTest::newRow("without node, defaults")
        << QString() << QStringLiteral("0.0.0.0/4|21347|0|0.0.0.0/4|9600|3|0|0|0") << QStringList();
    QTest::newRow("for a board, its values")
        << kValuesBoard << QStringLiteral("127.0.0.2/4|4001|1|192.0.2.7/4|115200|2|1|2|1")
        << QStringList({kSevenGet, kPortGet});
}

void TestSerialConfigDlg::opens()
{
    QFETCH(QString, board);
    QFETCH(QString, shown);
    QFETCH(QStringList, requests);

    RecordedMessages messages;
    CSerialConfigDlg dialog(board.isEmpty() ? 0 : Host(board), m_snmp);
    const Controls c(dialog);
    QString summary;
    RunDialog(dialog, [&] { summary = c.Summary(); });
    QCOMPARE(summary, shown);
    QCOMPARE(messages.Count(), 0);
    QCOMPARE(Requests(m_sim, board, m_logMark), requests);
}

void TestSerialConfigDlg::writeSendsSevenVariablesThenPortThenCommit()
{
    RecordedMessages messages;
    CSerialConfigDlg dialog(Host(kWriteBoard), m_snmp);
    const Controls c(dialog);
    qsizetype afterOpen = 0;
    RunDialog(dialog, [&] {
        afterOpen = m_sim.LogEntries().size();
        c.mode->setCurrentIndex(2);
        c.peer->SetAddress(HostOrder(192, 0, 2, 9));
        c.bitRate->setCurrentIndex(c.bitRate->findText(QStringLiteral("57600")));
        c.dataLength->setCurrentIndex(1);
        c.stopBits->setCurrentIndex(1);
        c.parity->setCurrentIndex(1);
        c.flow->setCurrentIndex(1);
        c.port->setText(QStringLiteral("5000"));
        QTest::mouseClick(dialog.Item<QWidget>(Ids::Set), Qt::LeftButton);
    });
    QCOMPARE(messages.Ids(), QList<int>({IDS_SET_DONE}));
    QCOMPARE(
        Requests(m_sim, kWriteBoard, afterOpen),
        QStringList({QStringLiteral("set 2.2.0=INTEGER:2 2.4.0=IpAddress:192.0.2.9 2.10.0=INTEGER:57600 "
                                    "2.12.0=INTEGER:1 2.15.0=INTEGER:1 2.20.0=INTEGER:1 2.25.0=INTEGER:1"),
                     QStringLiteral("set 2.5.0=INTEGER:5000"), kCommit}));
    QCOMPARE(messages.All().front().icon, QMessageBox::NoIcon);
}

void TestSerialConfigDlg::writeOutcome_data()
{
    QTest::addColumn<QString>("board");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<int>("messageId");

    // Read with the default port number, which the write then sends.
    QTest::newRow("no port number variable") << kNoPortBoard << QStringLiteral("4000") << int(IDS_SET_DONE);
    // The board took the port number and the commit; only the seven-variable request decides.
    QTest::newRow("seven-variable set refused") << kRefusingBoard << QString() << int(IDS_SET_FAILED);
}

void TestSerialConfigDlg::writeOutcome()
{
    QFETCH(QString, board);
    QFETCH(QString, portText);
    QFETCH(int, messageId);

    RecordedMessages messages;
    CSerialConfigDlg dialog(Host(board), m_snmp);
    const Controls c(dialog);
    QString shown;
    qsizetype afterOpen = 0;
    RunDialog(dialog, [&] {
        shown = c.Summary();
        afterOpen = m_sim.LogEntries().size();
        if (!portText.isEmpty())
            c.port->setText(portText);
        QTest::mouseClick(dialog.Item<QWidget>(Ids::Set), Qt::LeftButton);
    });
    QCOMPARE(shown, QStringLiteral("%1/4|21347|0|0.0.0.0/4|9600|3|0|0|0").arg(board));
    QCOMPARE(messages.Ids(), QList<int>({messageId}));
    const QStringList sent = Requests(m_sim, board, afterOpen);
    QCOMPARE(sent.size(), 3);
    QCOMPARE(
        sent[1],
        QStringLiteral("set 2.5.0=INTEGER:%1").arg(portText.isEmpty() ? QStringLiteral("21347") : portText));
    QCOMPARE(sent[2], kCommit);
}

void TestSerialConfigDlg::bitRateAndOutOfRangePositions_data()
{
    QTest::addColumn<QString>("board");
    QTest::addColumn<QString>("rateBefore");
    QTest::addColumn<QString>("rateAfter");
    QTest::addColumn<int>("dataLength");
    QTest::addColumn<QString>("sentSettings");

    // Bit rate 1 matches "1200" as the first item beginning with "1"; data length 4 has no item.
    QTest::newRow("prefix match, no data length")
        << kOddRateBoard << QStringLiteral("2400") << QStringLiteral("1200") << -1
        << QStringLiteral("set 2.2.0=INTEGER:0 2.4.0=IpAddress:0.0.0.0 2.10.0=INTEGER:1200 "
                          "2.12.0=INTEGER:-1 2.15.0=INTEGER:0 2.20.0=INTEGER:0 "
                          "2.25.0=INTEGER:0");
    QTest::newRow("no item, selection stays")
        << kUnlistedRateBoard << QStringLiteral("2400") << QStringLiteral("2400") << 3
        << QStringLiteral("set 2.2.0=INTEGER:0 2.4.0=IpAddress:0.0.0.0 2.10.0=INTEGER:2400 "
                          "2.12.0=INTEGER:3 2.15.0=INTEGER:0 2.20.0=INTEGER:0 "
                          "2.25.0=INTEGER:0");
}

void TestSerialConfigDlg::bitRateAndOutOfRangePositions()
{
    QFETCH(QString, board);
    QFETCH(QString, rateBefore);
    QFETCH(QString, rateAfter);
    QFETCH(int, dataLength);
    QFETCH(QString, sentSettings);

    RecordedMessages messages;
    CSerialConfigDlg dialog(0, m_snmp);
    const Controls c(dialog);
    QString rateShown;
    int lengthShown = -2;
    qsizetype afterGet = 0;
    RunDialog(dialog, [&] {
        c.node->SetAddress(Host(board));
        c.bitRate->setCurrentIndex(c.bitRate->findText(rateBefore));
        QTest::mouseClick(dialog.Item<QWidget>(Ids::Get), Qt::LeftButton);
        rateShown = c.bitRate->currentText();
        lengthShown = c.dataLength->currentIndex();
        afterGet = m_sim.LogEntries().size();
        QTest::mouseClick(dialog.Item<QWidget>(Ids::Set), Qt::LeftButton);
    });
    QCOMPARE(rateShown, rateAfter);
    QCOMPARE(lengthShown, dataLength);
    QCOMPARE(messages.Ids(), QList<int>({IDS_SET_DONE}));
    QCOMPARE(Requests(m_sim, board, afterGet).value(0), sentSettings);
}

void TestSerialConfigDlg::setChecks_data()
{
    QTest::addColumn<int>("blankNodeField"); // -1: none
    QTest::addColumn<int>("blankPeerField");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QList<int>>("messageIds");
    QTest::addColumn<QStringList>("messageArgs"); // of the first message, when it is the range text
    QTest::addColumn<bool>("sent");

    const QList<int> range{IDS_PARSE_INT_RANGE};
    const QStringList bounds{QStringLiteral("1024"), QStringLiteral("65535")};
    QTest::newRow("1023") << -1 << -1 << QStringLiteral("1023") << range << bounds << false;
    QTest::newRow("65536") << -1 << -1 << QStringLiteral("65536") << range << bounds << false;
    QTest::newRow("-1024") << -1 << -1 << QStringLiteral("-1024") << range << bounds << false;
    QTest::newRow("1024") << -1 << -1 << QStringLiteral("1024") << QList<int>{IDS_SET_DONE} << QStringList()
                          << true;
    QTest::newRow("65535 with blanks")
        << -1 << -1 << QStringLiteral(" 65535\t") << QList<int>{IDS_SET_DONE} << QStringList() << true;
    QTest::newRow("abc") << -1 << -1 << QStringLiteral("abc") << QList<int>{IDS_PARSE_INT} << QStringList()
                         << false;
    QTest::newRow("empty") << -1 << -1 << QString() << QList<int>{IDS_PARSE_INT} << QStringList() << false;
    QTest::newRow("99999999999") << -1 << -1 << QStringLiteral("99999999999") << QList<int>{IDS_PARSE_INT}
                                 << QStringList() << false;
    // The peer is checked even after the port number failed, and only then does the set stop.
    QTest::newRow("80, blank peer") << -1 << 2 << QStringLiteral("80")
                                    << QList<int>{IDS_PARSE_INT_RANGE, IDS_SET_PEER_ADDRESS} << bounds
                                    << false;
    QTest::newRow("abc, blank peer") << -1 << 0 << QStringLiteral("abc")
                                     << QList<int>{IDS_PARSE_INT, IDS_SET_PEER_ADDRESS} << QStringList()
                                     << false;
    QTest::newRow("blank peer") << -1 << 3 << QStringLiteral("2000") << QList<int>{IDS_SET_PEER_ADDRESS}
                                << QStringList() << false;
    QTest::newRow("blank node field")
        << 1 << -1 << QStringLiteral("80") << QList<int>{IDS_SET_NODE_ADDRESS} << QStringList() << false;
}

void TestSerialConfigDlg::setChecks()
{
    QFETCH(int, blankNodeField);
    QFETCH(int, blankPeerField);
    QFETCH(QString, portText);
    QFETCH(QList<int>, messageIds);
    QFETCH(QStringList, messageArgs);
    QFETCH(bool, sent);

    QWidget* focusAfterSet = nullptr;
    RecordedMessages messages;
    CSerialConfigDlg dialog(Host(kWriteBoard), m_snmp);
    const Controls c(dialog);
    qsizetype afterOpen = 0;
    RunDialog(dialog, [&] {
        afterOpen = m_sim.LogEntries().size();
        if (blankNodeField >= 0)
            c.node->Field(blankNodeField)->clear();
        if (blankPeerField >= 0)
            c.peer->Field(blankPeerField)->clear();
        c.port->setText(portText);
        QTest::mouseClick(dialog.Item<QWidget>(Ids::Set), Qt::LeftButton);
        focusAfterSet = dialog.focusWidget();
    });
    QCOMPARE(messages.Ids(), messageIds);
    QCOMPARE(Requests(m_sim, kWriteBoard, afterOpen).size(), sent ? 3 : 0);

    const ShownMessage& first = messages.All().front();
    const bool dataExchange = first.stringId == IDS_PARSE_INT || first.stringId == IDS_PARSE_INT_RANGE;
    QCOMPARE(first.icon, dataExchange ? QMessageBox::Warning : QMessageBox::NoIcon);
    if (dataExchange)
        QCOMPARE(focusAfterSet, static_cast<QWidget*>(c.port));
    for (const QString& bound : messageArgs)
        QVERIFY2(first.text.contains(bound), qPrintable(first.text));
}

void TestSerialConfigDlg::enterRunsDataExchange_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<int>("result");
    QTest::addColumn<QList<int>>("messageIds");

    QTest::newRow("valid port closes") << QStringLiteral("3000") << int(IDOK) << QList<int>();
    QTest::newRow("text stays open") << QStringLiteral("abc") << int(IDCANCEL) << QList<int>{IDS_PARSE_INT};
    QTest::newRow("range stays open")
        << QStringLiteral("80") << int(IDCANCEL) << QList<int>{IDS_PARSE_INT_RANGE};
}

void TestSerialConfigDlg::enterRunsDataExchange()
{
    QFETCH(QString, portText);
    QFETCH(int, result);
    QFETCH(QList<int>, messageIds);

    RecordedMessages messages;
    CSerialConfigDlg dialog(0, m_snmp);
    const Controls c(dialog);
    bool ran = false;
    const int code = RunDialog(
        dialog,
        [&] {
            c.port->setText(portText);
            c.port->setFocus();
            QTest::keyClick(c.port, Qt::Key_Return);
        },
        &ran);
    QVERIFY(ran);
    QCOMPARE(code, result);
    QCOMPARE(messages.Ids(), messageIds);
    QCOMPARE(m_sim.LogEntries().size(), m_logMark);
}

QTEST_MAIN(TestSerialConfigDlg)
#include "tst_SerialConfigDlg.moc"
