// The IP settings command end to end: the node list window on the product's ports and broadcast
// address, lanfinch-sim on 0.0.0.0:22222, inside a private network namespace.
#include "tests/app/AppTestSupport.h"
#include "resources/CIpAddressCtrl.h"
#include "ipconfig/CIpConfigDlg.h"
#include "app/CNodeListDlg.h"
#include "snmpconfig/CSnmpAccess.h"
#include "tests/support/RecordedMessages.h"
#include "resources/ResourceIds.h"
#include "tests/support/SimProcess.h"
#include "tests/support/UdpTestSocket.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <functional>
#include <optional>

using namespace AppTest;

namespace {

// Boards by the last byte of their MAC address.
constexpr uint8_t kChanged = 1, kRefuses = 2, kSilent = 3, kSilent2 = 4;

QString MacText(uint8_t board)
{
    return QString::fromStdString(Reply(board, 0).GetMacText());
}

// One board that takes new settings, one that refuses them (result 7), and two that never answer
// at all; the test lists those two itself.
QJsonObject SimConfig()
{
    return QJsonDocument::fromJson(R"({"boards": [
        {"mac": "00:0a:ff:00:00:01", "ip": "127.0.0.2", "mask": "255.0.0.0"},
        {"mac": "00:0a:ff:00:00:02", "ip": "127.0.0.3", "mask": "255.0.0.0", "setAddressResult": 7},
        {"mac": "00:0a:ff:00:00:03", "ip": "127.0.0.4", "mask": "255.0.0.0", "silent": true},
        {"mac": "00:0a:ff:00:00:04", "ip": "127.0.0.5", "mask": "255.0.0.0", "silent": true}]})")
        .object();
}

// A packet from board 00:0a:ff:00:00:<board> under the window's transaction id.
QByteArray BoardPacket(quint32 op, quint32 transactionId, uint8_t board, quint32 ip)
{
    NodeInfo packet = Reply(board, ip);
    packet.SetOpCode(htonl(op));
    packet.SetTransactionId(transactionId);
    return Datagram(packet);
}

QString TidHex(quint32 transactionId)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(&transactionId), 4).toHex());
}

QStringList RowTexts(const CNodeListDlg& window)
{
    QStringList rows;
    QTreeWidget* list = window.NodeList();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QStringList columns;
        for (int c = 0; c < list->columnCount(); ++c) {
            columns << list->topLevelItem(i)->text(c);
        }
        rows << columns.join(QLatin1Char('|'));
    }
    return rows;
}

int RowOf(const QStringList& rows, const QString& mac)
{
    for (int i = 0; i < rows.size(); ++i) {
        if (rows.at(i).startsWith(mac + QLatin1Char('|'))) {
            return i;
        }
    }
    return -1;
}

int RowOf(const CNodeListDlg& window, const QString& mac)
{
    return RowOf(RowTexts(window), mac);
}

// What a person's double click delivers: press and release, then a press that is also the double
// click. Whatever the double click runs has ended before the button is moved and released.
void DoubleClick(QWidget* widget, QPoint position)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, position);
    QTest::mousePress(widget, Qt::LeftButton, {}, position);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, position);
    const QPoint moved = position + QPoint(1, 1);
    QTest::mouseMove(widget, moved);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, moved);
}

} // namespace

class IpSettingCommandTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanup();

    void setAddressOutcome_data();
    void setAddressOutcome();
    void commandNeedsASelectedRow();
    void requestThatCannotBeSentShowsSendFailed();
    void doubleClickOpensTheRowsSettings();

  private:
    // Runs the node list window; once its first search has ended (the silent boards' rows injected
    // during it), runs body inside the window's modal loop, then closes the window.
    void RunNodeList(const std::function<void(CNodeListDlg&)>& body);
    QList<QJsonObject> SetAddressRequestsSeen() const
    {
        return RequestsReceived(m_sim.LogEntries(), OP_SET_ADDRESS_REQUEST);
    }

    SimProcess m_sim;
    UdpTestSocket m_board;
    CSnmpAccess m_snmp;
};

void IpSettingCommandTest::initTestCase()
{
    // Everything below uses the real broadcast address and ports: never outside a private namespace.
    QVERIFY2(RunningInPrivateNetns(), "must run through scripts/netns-run");
    const QString config = m_sim.WriteConfig(SimConfig());
    QVERIFY(!config.isEmpty());
    QVERIFY(m_sim.Start({QStringLiteral("--config"), config, QStringLiteral("--bind"),
                         QStringLiteral("0.0.0.0:22222"), QStringLiteral("--no-snmp")}));
    QVERIFY(m_board.Open());
}

void IpSettingCommandTest::cleanup()
{
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void IpSettingCommandTest::RunNodeList(const std::function<void(CNodeListDlg&)>& body)
{
    CNodeListDlg window(m_snmp);

    // The silent boards never answer a search either; their rows come from replies made here.
    WhenActive<CWaitReplyDlg>([&](CWaitReplyDlg&) {
        const quint32 tid = window.OutstandingTransactionId();
        for (uint8_t board : {kSilent, kSilent2}) {
            QVERIFY(m_board.SendTo(BoardPacket(OP_SEARCH_REPLY, tid, board, 0x7f000001 + board),
                                   QStringLiteral("127.0.0.1"), 22223));
        }
    });
    bool ran = false;
    WhenActive<CNodeListDlg>([&](CNodeListDlg& active) {
        // Whatever happens below, the window closes afterwards.
        const std::unique_ptr<CNodeListDlg, void (*)(CNodeListDlg*)> closer(
            &active, [](CNodeListDlg* w) { w->EndDialog(0); });
        QCOMPARE(&active, &window);
        QTRY_COMPARE(window.NodeList()->topLevelItemCount(), 4);
        QCOMPARE(window.WaitDialog(), nullptr);
        ran = true;
        body(window);
    });
    window.DoModal();
    QVERIFY(ran);
}

void IpSettingCommandTest::setAddressOutcome_data()
{
    QTest::addColumn<int>("board");
    QTest::addColumn<QString>("typedIp");
    QTest::addColumn<bool>("cancelWait");
    QTest::addColumn<QList<int>>("expectedMessages");
    QTest::addColumn<int>("minWaitMs");
    QTest::addColumn<bool>("rowReplaced");
    QTest::addColumn<bool>("doubleClick"); // started by a double click on the row, else by button 1016

    QTest::newRow("success") << int(kChanged) << "127.0.0.52" << false << QList<int>{IDS_NETWORK_CHANGED} << 0
                             << true << false;
    // The row leaves the place that was double-clicked; whatever stands there afterwards stays unselected.
    QTest::newRow("success, double click")
        << int(kChanged) << "127.0.0.53" << false << QList<int>{IDS_NETWORK_CHANGED} << 0 << true << true;
    QTest::newRow("node refuses") << int(kRefuses) << "127.0.0.60" << false
                                  << QList<int>{IDS_NETWORK_CHANGE_FAILED} << 0 << false << false;
    // Takes the full 15 s wait.
    QTest::newRow("no reply") << int(kSilent) << "127.0.0.61" << false << QList<int>{IDS_NO_REPLY} << 14000
                              << false << false;
    QTest::newRow("wait cancelled, late success")
        << int(kSilent2) << "127.0.0.62" << true << QList<int>{} << 0 << false << false;
}

void IpSettingCommandTest::setAddressOutcome()
{
    QFETCH(int, board);
    const QString mac = MacText(uint8_t(board));
    QFETCH(QString, typedIp);
    QFETCH(bool, cancelWait);
    QFETCH(bool, doubleClick);

    RecordedMessages messages;
    std::optional<PacketCounter> lateReplies;
    const qsizetype requestsBefore = SetAddressRequestsSeen().size();
    QStringList before;
    QStringList after;
    QString mainWindowOwnsMessages;
    bool nothingSelected = false;
    bool buttonEnabled = true;
    quint32 tid = 0;
    qint64 waitedMs = 0;

    RunNodeList([&](CNodeListDlg& window) {
        before = RowTexts(window);
        const int row = RowOf(window, mac);
        QVERIFY(row >= 0);
        QTreeWidget* list = window.NodeList();
        auto* ipSetting = window.Item<QPushButton>(NodeListIds::IpSetting);
        if (!doubleClick) {
            list->setCurrentItem(list->topLevelItem(row));
            QVERIFY(ipSetting->isEnabled());
        }

        WhenActive<CIpConfigDlg>([&](CIpConfigDlg& dialog) {
            const QStringList octets = typedIp.split(QLatin1Char('.'));
            for (int i = 0; i < 4; ++i) {
                dialog.Item<CIpAddressCtrl>(IpConfigIds::IpAddress)->Field(i)->setText(octets.at(i));
            }
            if (cancelWait) {
                WhenActive<CWaitReplyDlg>([&](CWaitReplyDlg& wait) {
                    lateReplies.emplace(&window);
                    wait.Item<QPushButton>(IDCANCEL)->click();
                });
            }
            dialog.Item<QPushButton>(IDOK)->click();
        });
        QElapsedTimer clock;
        clock.start();
        if (doubleClick) {
            DoubleClick(list->viewport(), list->visualItemRect(list->topLevelItem(row)).center());
        } else {
            ipSetting->click();
        }
        waitedMs = clock.elapsed();
        tid = window.OutstandingTransactionId();

        if (cancelWait) {
            QCOMPARE(messages.Count(), 0);
            QVERIFY(m_board.SendTo(BoardPacket(OP_SET_ADDRESS_REPLY, tid, uint8_t(board), 0x7f00003e),
                                   QStringLiteral("127.0.0.1"), 22223));
            QTRY_COMPARE(lateReplies->Count(), 1);
            lateReplies.reset();
        }
        after = RowTexts(window);
        nothingSelected = window.NodeList()->selectedItems().isEmpty();
        buttonEnabled = ipSetting->isEnabled();
        for (const ShownMessage& m : messages.All()) {
            if (m.owner != &window) {
                mainWindowOwnsMessages =
                    QStringLiteral("message %1 not owned by the main window").arg(m.stringId);
            }
        }
    });

    QFETCH(QList<int>, expectedMessages);
    QCOMPARE(messages.Ids(), expectedMessages);
    QCOMPARE(mainWindowOwnsMessages, QString());
    QVERIFY(tid != 0);

    // Exactly one request left, for the selected node, with what was typed, under the window's id.
    const QList<QJsonObject> requests = SetAddressRequestsSeen().mid(requestsBefore);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.front().value(QStringLiteral("mac")).toString(), mac);
    QCOMPARE(requests.front().value(QStringLiteral("ip")).toString(), typedIp);
    QCOMPARE(requests.front().value(QStringLiteral("mask")).toString(), QStringLiteral("255.0.0.0"));
    QCOMPARE(requests.front().value(QStringLiteral("tid")).toString(), TidHex(tid));

    QFETCH(bool, rowReplaced);
    if (rowReplaced) {
        QStringList expected = before;
        expected.removeAt(RowOf(before, mac));
        expected << QStringList{mac, typedIp, QStringLiteral("255.0.0.0"), QStringLiteral("none"),
                                QStringLiteral("no")}
                        .join(QLatin1Char('|'));
        QCOMPARE(after, expected);
        QVERIFY(nothingSelected);
        QVERIFY(!buttonEnabled);
    } else {
        QCOMPARE(after, before);
    }
    QFETCH(int, minWaitMs);
    QVERIFY2(waitedMs >= minWaitMs, qPrintable(QString::number(waitedMs)));
}

void IpSettingCommandTest::commandNeedsASelectedRow()
{
    RecordedMessages messages;
    const qsizetype requestsBefore = SetAddressRequestsSeen().size();
    bool buttonEnabled = true;
    RunNodeList([&](CNodeListDlg& window) {
        QVERIFY(window.NodeList()->selectedItems().isEmpty());
        buttonEnabled = window.Item<QPushButton>(NodeListIds::IpSetting)->isEnabled();
        // A double click that selects nothing does nothing.
        QWidget* viewport = window.NodeList()->viewport();
        DoubleClick(viewport, QPoint(5, viewport->height() - 3));
        QCOMPARE(messages.Count(), 0);
        // The command itself refuses without a selection, whatever starts it.
        window.RunCommand(NodeListIds::IpSetting);
    });
    QVERIFY(!buttonEnabled);
    QCOMPARE(messages.Ids(), QList<int>{IDS_SELECT_NODE});
    QCOMPARE(SetAddressRequestsSeen().size(), requestsBefore);
}

void IpSettingCommandTest::doubleClickOpensTheRowsSettings()
{
    RecordedMessages messages;
    QStringList shown;
    QStringList before;
    QStringList after;
    RunNodeList([&](CNodeListDlg& window) {
        before = RowTexts(window);
        QTreeWidget* list = window.NodeList();
        const QRect rect = list->visualItemRect(list->topLevelItem(RowOf(window, MacText(kRefuses))));
        WhenActive<CIpConfigDlg>([&](CIpConfigDlg& dialog) {
            for (int id : {IpConfigIds::IpAddress, IpConfigIds::SubnetMask}) {
                quint32 address = 0;
                dialog.Item<CIpAddressCtrl>(id)->GetAddress(address);
                shown << QString::fromStdString(DottedText(htonl(address)));
            }
            dialog.Item<QPushButton>(IDCANCEL)->click();
        });
        DoubleClick(list->viewport(), rect.center());
        after = RowTexts(window);
    });
    QCOMPARE(shown, QStringList({QStringLiteral("127.0.0.3"), QStringLiteral("255.0.0.0")}));
    // Leaving the settings dialog with Cancel sends nothing and says nothing.
    QCOMPARE(messages.Count(), 0);
    QCOMPARE(after, before);
}

// An engine whose every send fails: the accepted settings give message 120 and no reply wait.
void IpSettingCommandTest::requestThatCannotBeSentShowsSendFailed()
{
    constexpr UdpEndpoint kLoopbackAny{0x7f000001, 0};
    constexpr UdpEndpoint kNowhere{0x7f000001, 0}; // sending to port 0 always fails
    RecordedMessages messages;
    CNodeListDlg window(m_snmp, kLoopbackAny, kNowhere);
    bool waited = false;
    WhenActive<CNodeListDlg>([&](CNodeListDlg& active) {
        const std::unique_ptr<CNodeListDlg, void (*)(CNodeListDlg*)> closer(
            &active, [](CNodeListDlg* w) { w->EndDialog(0); });
        QCOMPARE(messages.Ids(), QList<int>{IDS_SEND_FAILED}); // the start-up search
        window.AddNodeRow(Reply(kChanged, 0x7f000002));
        window.NodeList()->setCurrentItem(window.NodeList()->topLevelItem(0));
        WhenActive<CIpConfigDlg>([&](CIpConfigDlg& dialog) {
            dialog.Item<CIpAddressCtrl>(IpConfigIds::IpAddress)->Field(3)->setText(QStringLiteral("9"));
            dialog.Item<QPushButton>(IDOK)->click();
        });
        window.Item<QPushButton>(NodeListIds::IpSetting)->click();
        waited = window.OutstandingTransactionId() != 0;
    });
    window.DoModal();
    QCOMPARE(messages.Ids(), (QList<int>{IDS_SEND_FAILED, IDS_SEND_FAILED}));
    QVERIFY(!waited);
}
QTEST_MAIN(IpSettingCommandTest)
#include "tst_IpSettingCommand.moc"
