#include "snmpconfig/CGpioConfigDlg.h"
#include "resources/CIpAddressCtrl.h"
#include "tests/support/RecordedMessages.h"
#include "resources/ResourceIds.h"
#include "tests/snmpconfig/SnmpDialogTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

using namespace SnmpDialogTest;
namespace Ids = GpioConfigIds;

namespace {

const QString kValuesBoard = QStringLiteral("127.0.0.2");
const QString kWriteBoard = QStringLiteral("127.0.0.3");
const QString kRefusingBoard = QStringLiteral("127.0.0.4");
const QString kExceptionBoard = QStringLiteral("127.0.0.5");
const QString kOtherPortBoard = QStringLiteral("127.0.0.6");
const QString kOddValuesBoard = QStringLiteral("127.0.0.7");

QString PortGet(int port)
{
    QString line = QStringLiteral("get 3.1.0 3.2.0");
    for (int leaf = 1; leaf <= 5; ++leaf)
        line += QStringLiteral(" 3.10.%1.%2.0").arg(port).arg(leaf);
    return line;
}

struct Controls
{
    explicit Controls(const CGpioConfigDlg& d)
        : node(d.Item<CIpAddressCtrl>(Ids::NodeAddress)),
          manager(d.Item<CIpAddressCtrl>(Ids::ManagerAddress)), period(d.Item<QLineEdit>(Ids::Period)),
          port(d.Item<QComboBox>(Ids::Port)), mode(d.Item<QComboBox>(Ids::Mode)),
          state(d.Item<QComboBox>(Ids::State)), initialState(d.Item<QComboBox>(Ids::InitialState)),
          trapState(d.Item<QComboBox>(Ids::TrapState)), trapTime(d.Item<QLineEdit>(Ids::TrapTime))
    {
    }

    // "node|manager|period|port|mode|state|initial|trapState|trapTime", lists as positions.
    QString Summary() const
    {
        return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9")
            .arg(Shown(node), Shown(manager), period->text(), port->currentText())
            .arg(mode->currentIndex())
            .arg(state->currentIndex())
            .arg(initialState->currentIndex())
            .arg(trapState->currentIndex())
            .arg(trapTime->text());
    }

    // Which of state, initial state, trap state, trap time are enabled, as "1100".
    QString Enabled() const
    {
        QString flags;
        for (const QWidget* w :
             {static_cast<const QWidget*>(state), static_cast<const QWidget*>(initialState),
              static_cast<const QWidget*>(trapState), static_cast<const QWidget*>(trapTime)})
            flags += w->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return flags;
    }

    CIpAddressCtrl* node;
    CIpAddressCtrl* manager;
    QLineEdit* period;
    QComboBox* port;
    QComboBox* mode;
    QComboBox* state;
    QComboBox* initialState;
    QComboBox* trapState;
    QLineEdit* trapTime;
};

// Chooses an item as the operator does, so that the dialog hears of it.
void Choose(QComboBox* list, const QString& item)
{
    const int index = list->findText(item, Qt::MatchExactly);
    QVERIFY(index >= 0);
    list->setCurrentIndex(index);
    emit list->activated(index);
}

const QString kOutputEnabled = QStringLiteral("1100");
const QString kInputEnabled = QStringLiteral("0011");

} // namespace

class TestGpioConfigDlg : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void cleanup();

    void opensAndReadsPort_data();
    void opensAndReadsPort();
    void write_data();
    void write();
    void dataExchangeStopsTheWrite_data();
    void dataExchangeStopsTheWrite();
    void refusedWriteReportsFailureAfterCommit();
    void incompleteAddresses_data();
    void incompleteAddresses();
    void unreadableReplyChangesNoControl_data();
    void unreadableReplyChangesNoControl();
    void valuesOutsideTheLists();
    void modeDecidesWhichControlsAreEnabled();

  private:
    SimProcess m_sim;
    CSnmpAccess m_snmp;
    qsizetype m_logMark = 0;
};

void TestGpioConfigDlg::initTestCase()
{
    QJsonObject values;
    values[Oid("3.1.0")] = QStringLiteral("192.0.2.1");
    values[Oid("3.2.0")] = 250;
    const int port1[] = {1, 0, 1, 1, 500};
    const int port5[] = {0, 1, 1, 0, 40};
    for (int leaf = 1; leaf <= 5; ++leaf) {
        values[Oid("3.10.1.") + QString::number(leaf) + QStringLiteral(".0")] = port1[leaf - 1];
        values[Oid("3.10.5.") + QString::number(leaf) + QStringLiteral(".0")] = port5[leaf - 1];
    }
    QJsonObject odd;
    odd[Oid("3.10.1.2.0")] = 2; // a state the list does not have
    odd[Oid("3.10.2.1.0")] = 3; // a mode the list does not have
    QVERIFY(StartBoards(m_sim, m_snmp,
                        QJsonArray{
                            Board(kValuesBoard, {{QStringLiteral("values"), values}}),
                            Board(kWriteBoard, {}),
                            Board(kRefusingBoard, {{QStringLiteral("refuseSets"), true}}),
                            Board(kExceptionBoard, {{QStringLiteral("exception"), Oid("3.10.1.3.0")}}),
                            Board(kOtherPortBoard, {{QStringLiteral("otherPort"), true}}),
                            Board(kOddValuesBoard, {{QStringLiteral("values"), odd}}),
                        }));
}

void TestGpioConfigDlg::init()
{
    m_logMark = m_sim.LogEntries().size();
}

void TestGpioConfigDlg::cleanup()
{
    QCOMPARE(QApplication::topLevelWidgets().count(), 0);
}

void TestGpioConfigDlg::opensAndReadsPort_data()
{
    QTest::addColumn<QString>("board"); // empty: no node
    QTest::addColumn<bool>("choosePort5");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<QStringList>("requests");

    QTest::newRow("without node, defaults")
        << QString() << false << QStringLiteral("0.0.0.0/4|0.0.0.0/4|100|1|0|0|0|0|0") << kOutputEnabled
        << QStringList();
    // An INPUT port: state and initial state are disabled but still show the board's values.
    QTest::newRow("for a board, one read of port 1")
        << kValuesBoard << false << QStringLiteral("127.0.0.2/4|192.0.2.1/4|250|1|1|0|1|1|500")
        << kInputEnabled << QStringList({PortGet(1)});
    QTest::newRow("choosing port 5 reads it")
        << kValuesBoard << true << QStringLiteral("127.0.0.2/4|192.0.2.1/4|250|5|0|1|1|0|40")
        << kOutputEnabled << QStringList({PortGet(1), PortGet(5)});
}

void TestGpioConfigDlg::opensAndReadsPort()
{
    QFETCH(QString, board);
    QFETCH(bool, choosePort5);
    QFETCH(QString, shown);
    QFETCH(QString, enabled);
    QFETCH(QStringList, requests);

    RecordedMessages messages;
    CGpioConfigDlg dialog(board.isEmpty() ? 0 : Host(board), m_snmp);
    const Controls c(dialog);
    QString summary;
    QString enabling;
    RunDialog(dialog, [&] {
        if (choosePort5) {
            // A key press on the list is the operator's choice, just as a click in its popup.
            c.port->setFocus();
            QTest::keyClick(c.port, Qt::Key_5);
        }
        summary = c.Summary();
        enabling = c.Enabled();
    });
    QCOMPARE(summary, shown);
    QCOMPARE(enabling, enabled);
    QCOMPARE(messages.Count(), 0);
    QCOMPARE(Requests(m_sim, board, m_logMark), requests);
}

void TestGpioConfigDlg::write_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("trapTime");
    QTest::addColumn<int>("messageId");
    QTest::addColumn<QStringList>("sent");

    const auto input = [](const char* time) {
        return QStringList{
            QStringLiteral("set 3.1.0=IpAddress:10.1.2.3 3.2.0=INTEGER:1000 3.10.7.1.0=INTEGER:1 "
                           "3.10.7.4.0=INTEGER:1 3.10.7.5.0=INTEGER:%1")
                .arg(QLatin1String(time)),
            kCommit};
    };
    // The trap time is in the disabled field; an OUTPUT port is written without it, so no range
    // check either.
    QTest::newRow("OUTPUT, trap time 5")
        << QStringLiteral("3") << QStringLiteral("OUTPUT") << QStringLiteral("5") << int(IDS_SET_DONE)
        << QStringList({QStringLiteral("set 3.1.0=IpAddress:10.1.2.3 3.2.0=INTEGER:1000 3.10.3.1.0=INTEGER:0 "
                                       "3.10.3.2.0=INTEGER:1 3.10.3.3.0=INTEGER:0"),
                        kCommit});
    for (const char* time : {"29", "1"})
        QTest::addRow("INPUT, trap time %s", time)
            << QStringLiteral("7") << QStringLiteral("INPUT") << QString::fromLatin1(time)
            << int(IDS_TRAP_TIME_RANGE) << QStringList();
    for (const char* time : {"30", "0", "604800000"})
        QTest::addRow("INPUT, trap time %s", time)
            << QStringLiteral("7") << QStringLiteral("INPUT") << QString::fromLatin1(time)
            << int(IDS_SET_DONE) << input(time);
}

void TestGpioConfigDlg::write()
{
    QFETCH(QString, port);
    QFETCH(QString, mode);
    QFETCH(QString, trapTime);
    QFETCH(int, messageId);
    QFETCH(QStringList, sent);

    RecordedMessages messages;
    CGpioConfigDlg dialog(Host(kWriteBoard), m_snmp);
    const Controls c(dialog);
    qsizetype afterRead = 0;
    RunDialog(dialog, [&] {
        Choose(c.port, port);
        afterRead = m_sim.LogEntries().size();
        c.manager->SetAddress(HostOrder(10, 1, 2, 3));
        c.period->setText(QStringLiteral("1000"));
        Choose(c.mode, mode);
        c.state->setCurrentIndex(1);
        c.initialState->setCurrentIndex(0);
        c.trapState->setCurrentIndex(1);
        c.trapTime->setText(trapTime);
        QTest::mouseClick(dialog.Item<QWidget>(Ids::Set), Qt::LeftButton);
    });
    QCOMPARE(messages.Ids(), QList<int>({messageId}));
    QCOMPARE(messages.All().front().icon, QMessageBox::NoIcon);
    QCOMPARE(Requests(m_sim, kWriteBoard, afterRead), sent);
}

void TestGpioConfigDlg::dataExchangeStopsTheWrite_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("period");
    QTest::addColumn<QString>("trapTime");
    QTest::addColumn<int>("messageId");
    QTest::addColumn<QStringList>("bounds");
    QTest::addColumn<int>("focusId");

    const QStringList periodBounds{QStringLiteral("10"), QStringLiteral("1000")};
    const QStringList trapBounds{QStringLiteral("0"), QStringLiteral("604800000")};
    // The period does not depend on the mode; the trap time is checked in both.
    QTest::newRow("period 9") << 0 << QStringLiteral("9") << QStringLiteral("0") << int(IDS_PARSE_INT_RANGE)
                              << periodBounds << Ids::Period;
    QTest::newRow("period 1001") << 0 << QStringLiteral("1001") << QStringLiteral("0")
                                 << int(IDS_PARSE_INT_RANGE) << periodBounds << Ids::Period;
    QTest::newRow("period abc") << 0 << QStringLiteral("abc") << QStringLiteral("0") << int(IDS_PARSE_UINT)
                                << QStringList() << Ids::Period;
    QTest::newRow("period -100") << 0 << QStringLiteral("-100") << QStringLiteral("0") << int(IDS_PARSE_UINT)
                                 << QStringList() << Ids::Period;
    // Only the first failing field is reported.
    QTest::newRow("period first") << 1 << QStringLiteral("9") << QStringLiteral("abc")
                                  << int(IDS_PARSE_INT_RANGE) << periodBounds << Ids::Period;
    for (int mode : {0, 1}) {
        const QByteArray m = mode ? "INPUT " : "OUTPUT ";
        QTest::newRow(m + "trap time 604800001")
            << mode << QStringLiteral("100") << QStringLiteral("604800001") << int(IDS_PARSE_INT_RANGE)
            << trapBounds << Ids::TrapTime;
        QTest::newRow(m + "trap time abc") << mode << QStringLiteral("100") << QStringLiteral("abc")
                                           << int(IDS_PARSE_UINT) << QStringList() << Ids::TrapTime;
    }
}

void TestGpioConfigDlg::dataExchangeStopsTheWrite()
{
    QFETCH(int, mode);
    QFETCH(QString, period);
    QFETCH(QString, trapTime);
    QFETCH(int, messageId);
    QFETCH(QStringList, bounds);
    QFETCH(int, focusId);

    QWidget* focus = nullptr;
    RecordedMessages messages;
    CGpioConfigDlg dialog(0, m_snmp);
    const Controls c(dialog);
    RunDialog(dialog, [&] {
        c.node->SetAddress(Host(kWriteBoard));
        c.mode->setCurrentIndex(mode);
        // Enabled so that the failing field can take the focus whatever the mode.
        c.trapTime->setEnabled(true);
        c.period->setText(period);
        c.trapTime->setText(trapTime);
        QTest::mouseClick(dialog.Item<QWidget>(Ids::Set), Qt::LeftButton);
        focus = dialog.focusWidget();
    });
    QCOMPARE(messages.Ids(), QList<int>({messageId}));
    const ShownMessage& shown = messages.All().front();
    QCOMPARE(shown.icon, QMessageBox::Warning);
    for (const QString& bound : bounds)
        QVERIFY2(shown.text.contains(bound), qPrintable(shown.text));
    QCOMPARE(focus, dialog.GetDlgItem(focusId));
    QCOMPARE(m_sim.LogEntries().size(), m_logMark);
}

void TestGpioConfigDlg::refusedWriteReportsFailureAfterCommit()
{
    RecordedMessages messages;
    CGpioConfigDlg dialog(Host(kRefusingBoard), m_snmp);
    qsizetype afterOpen = 0;
    RunDialog(dialog, [&] {
        afterOpen = m_sim.LogEntries().size();
        QTest::mouseClick(dialog.Item<QWidget>(Ids::Set), Qt::LeftButton);
    });
    QCOMPARE(messages.Ids(), QList<int>({IDS_SET_FAILED}));
    const QStringList sent = Requests(m_sim, kRefusingBoard, afterOpen);
    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent.back(), kCommit);
}

void TestGpioConfigDlg::incompleteAddresses_data()
{
    QTest::addColumn<int>("blankNodeField");
    QTest::addColumn<int>("blankManagerField");
    QTest::addColumn<int>("button");
    QTest::addColumn<QList<int>>("messageIds");
    QTest::addColumn<int>("requests");

    QTest::newRow("get, node") << 3 << -1 << Ids::Get << QList<int>{IDS_GET_NODE_ADDRESS} << 0;
    QTest::newRow("set, node") << 0 << -1 << Ids::Set << QList<int>{IDS_SET_NODE_ADDRESS} << 0;
    QTest::newRow("set, node and manager") << 2 << 1 << Ids::Set << QList<int>{IDS_SET_NODE_ADDRESS} << 0;
    QTest::newRow("set, manager") << -1 << 1 << Ids::Set << QList<int>{IDS_SET_PEER_ADDRESS} << 0;
    QTest::newRow("get, manager does not matter") << -1 << 1 << Ids::Get << QList<int>() << 1;
}

void TestGpioConfigDlg::incompleteAddresses()
{
    QFETCH(int, blankNodeField);
    QFETCH(int, blankManagerField);
    QFETCH(int, button);
    QFETCH(QList<int>, messageIds);
    QFETCH(int, requests);

    RecordedMessages messages;
    CGpioConfigDlg dialog(0, m_snmp);
    const Controls c(dialog);
    RunDialog(dialog, [&] {
        c.node->SetAddress(Host(kWriteBoard));
        if (blankNodeField >= 0)
            c.node->Field(blankNodeField)->clear();
        if (blankManagerField >= 0)
            c.manager->Field(blankManagerField)->clear();
        QTest::mouseClick(dialog.Item<QWidget>(button), Qt::LeftButton);
    });
    QCOMPARE(messages.Ids(), messageIds);
    QCOMPARE(Requests(m_sim, kWriteBoard, m_logMark).size(), requests);
}

void TestGpioConfigDlg::unreadableReplyChangesNoControl_data()
{
    QTest::addColumn<QString>("board");
    QTest::newRow("exception value") << kExceptionBoard;
    QTest::newRow("another port's variable") << kOtherPortBoard;
}

void TestGpioConfigDlg::unreadableReplyChangesNoControl()
{
    QFETCH(QString, board);

    // Opened for the board: the failure is reported before the dialog appears.
    {
        bool visibleAtMessage = true;
        CGpioConfigDlg dialog(Host(board), m_snmp);
        RecordedMessages messages([&](const ShownMessage&) { visibleAtMessage = dialog.isVisible(); });
        const Controls c(dialog);
        QString shown;
        RunDialog(dialog, [&] { shown = c.Summary(); });
        QCOMPARE(messages.Ids(), QList<int>({IDS_GET_FAILED}));
        QVERIFY(!visibleAtMessage);
        QCOMPARE(shown, QStringLiteral("%1/4|0.0.0.0/4|100|1|0|0|0|0|0").arg(board));
    }

    // A later read leaves what the operator entered.
    RecordedMessages messages;
    CGpioConfigDlg dialog(0, m_snmp);
    const Controls c(dialog);
    QString before;
    QString after;
    RunDialog(dialog, [&] {
        c.node->SetAddress(Host(board));
        c.manager->SetAddress(HostOrder(192, 0, 2, 99));
        c.period->setText(QStringLiteral("777"));
        c.mode->setCurrentIndex(1);
        c.state->setCurrentIndex(1);
        c.initialState->setCurrentIndex(1);
        c.trapState->setCurrentIndex(1);
        c.trapTime->setText(QStringLiteral("12345"));
        before = c.Summary();
        QTest::mouseClick(dialog.Item<QWidget>(Ids::Get), Qt::LeftButton);
        after = c.Summary();
    });
    QCOMPARE(messages.Ids(), QList<int>({IDS_GET_FAILED}));
    QCOMPARE(after, before);
}

void TestGpioConfigDlg::valuesOutsideTheLists()
{
    RecordedMessages messages;
    CGpioConfigDlg dialog(Host(kOddValuesBoard), m_snmp);
    const Controls c(dialog);
    int stateShown = 0;
    int modeShown = 0;
    QString enabledWithoutMode;
    qsizetype afterFirstWrite = 0;
    qsizetype afterSecondRead = 0;
    RunDialog(dialog, [&] {
        stateShown = c.state->currentIndex();
        QTest::mouseClick(dialog.Item<QWidget>(Ids::Set), Qt::LeftButton);
        afterFirstWrite = m_sim.LogEntries().size();

        // Port 2 reports mode 3: no list fits, so the write is refused; the enabling stays.
        c.trapState->setEnabled(false);
        c.trapTime->setEnabled(true);
        Choose(c.port, QStringLiteral("2"));
        modeShown = c.mode->currentIndex();
        enabledWithoutMode = c.Enabled();
        afterSecondRead = m_sim.LogEntries().size();
        QTest::mouseClick(dialog.Item<QWidget>(Ids::Set), Qt::LeftButton);
    });
    QCOMPARE(stateShown, -1);
    QCOMPARE(modeShown, -1);
    QCOMPARE(enabledWithoutMode, QStringLiteral("1101"));
    QCOMPARE(messages.Ids(), QList<int>({IDS_SET_DONE, IDS_SELECT_MODE}));
    QVERIFY(!messages.All().back().text.isEmpty());
    const QStringList requests = Requests(m_sim, kOddValuesBoard, m_logMark);
    QCOMPARE(requests.value(1),
             QStringLiteral("set 3.1.0=IpAddress:0.0.0.0 3.2.0=INTEGER:100 3.10.1.1.0=INTEGER:0 "
                            "3.10.1.2.0=INTEGER:-1 3.10.1.3.0=INTEGER:0"));
    QCOMPARE(m_sim.LogEntries().size(), afterSecondRead);
    QVERIFY(afterFirstWrite < afterSecondRead);
}

void TestGpioConfigDlg::modeDecidesWhichControlsAreEnabled()
{
    RecordedMessages messages;
    CGpioConfigDlg dialog(0, m_snmp);
    const Controls c(dialog);
    QStringList enabled;
    QString shown;
    RunDialog(dialog, [&] {
        c.state->setCurrentIndex(1);
        c.trapTime->setText(QStringLiteral("31"));
        c.mode->setFocus();
        QTest::keyClick(c.mode, Qt::Key_Down); // INPUT
        enabled << c.Enabled();
        QTest::keyClick(c.mode, Qt::Key_Up); // OUTPUT
        enabled << c.Enabled();
        Choose(c.mode, QStringLiteral("INPUT"));
        enabled << c.Enabled();
        shown = c.Summary();
    });
    QCOMPARE(enabled, QStringList({kInputEnabled, kOutputEnabled, kInputEnabled}));
    // A disabled control keeps its value.
    QCOMPARE(shown, QStringLiteral("0.0.0.0/4|0.0.0.0/4|100|1|1|1|0|0|31"));
    QCOMPARE(messages.Count(), 0);
}

QTEST_MAIN(TestGpioConfigDlg)
#include "tst_GpioConfigDlg.moc"
