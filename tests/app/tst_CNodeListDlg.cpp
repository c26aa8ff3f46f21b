#include "tests/app/AppTestSupport.h"
#include "app/CNodeListDlg.h"
#include "snmpconfig/CSnmpAccess.h"
#include "tests/support/RecordedMessages.h"
#include "tests/support/SimProcess.h"
#include "protocol/Trace.h"
#include "tests/support/UdpTestSocket.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonObject>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTreeWidget>

#include <atomic>
#include <memory>
#include <thread>

using namespace AppTest;

namespace {

constexpr UdpEndpoint kLoopbackAny{0x7f000001, 0};
constexpr UdpEndpoint kNowhere{0x7f000001, 0}; // sending to port 0 always fails

QJsonObject Board(int id, QJsonObject extra = {})
{
    extra.insert(QStringLiteral("mac"), QStringLiteral("00:0a:ff:00:00:0%1").arg(id, 0, 16));
    extra.insert(QStringLiteral("ip"), QStringLiteral("127.0.0.%1").arg(id - 8));
    extra.insert(QStringLiteral("replyDelayMs"), (id - 9) * 100);
    return extra;
}

bool StartSim(SimProcess& sim, const QJsonArray& boards)
{
    return sim.Start({QStringLiteral("--no-snmp"), QStringLiteral("--config"),
                      sim.WriteConfig(QJsonObject{{QStringLiteral("boards"), boards}})});
}

// The rows top to bottom, each as the last byte of its MAC address.
QString RowIds(const CNodeListDlg& dialog)
{
    QString ids;
    for (int row = 0; row < dialog.RowCount(); ++row) {
        ids += QString::number(dialog.RowRecord(row)->GetMacAddress()[5], 16);
    }
    return ids;
}

void ClickRow(QTreeWidget* list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->topLevelItem(row)).center());
}

void Click(const CNodeListDlg& dialog, int id)
{
    QTest::mouseClick(dialog.Item<QPushButton>(id), Qt::LeftButton);
}

// The texts of the cells that the list shows shortened.
QStringList ElidedCells(const QTreeWidget* list)
{
    const QFontMetricsF metrics(list->font());
    // The view's style elides a text wider than its cell less this margin on each side.
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    QStringList elided;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        for (int column = 0; column < list->columnCount(); ++column) {
            const QModelIndex index = list->model()->index(row, column);
            const QString text = index.data().toString();
            if (metrics.horizontalAdvance(text) > list->visualRect(index).width() - 2 * margin) {
                elided << text;
            }
        }
    }
    return elided;
}

bool IpSettingEnabled(const CNodeListDlg& dialog)
{
    return dialog.Item<QPushButton>(NodeListIds::IpSetting)->isEnabled();
}

} // namespace

class TestNodeListDlg : public QObject
{
    Q_OBJECT

  private slots:
    void cleanup() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); }
    void startUpAndSearch();
    void packetFilter_data();
    void packetFilter();
    void columnSort_data();
    void columnSort();
    void cellsShowWholeTexts();
    void setAddressReply_data();
    void setAddressReply();
    void windowCommands_data();
    void windowCommands();
    void packetsWhileClosing();
    void manyReplies();
    void windowsGetOnlyTheirOwnReplies();

  private:
    CSnmpAccess m_snmp;
};

void TestNodeListDlg::startUpAndSearch()
{
    SimProcess sim;
    QVERIFY(StartSim(sim, {Board(0xc, {{QStringLiteral("gateway"), QStringLiteral("127.0.0.1")}}),
                           Board(0xa, {{QStringLiteral("dhcp"), 1}, {QStringLiteral("answerTwice"), true}}),
                           Board(0xb)}));
    RecordedMessages messages;
    CNodeListDlg dialog(m_snmp, kLoopbackAny, {0x7f000001, sim.UdpPort()});
    PacketCounter counter(&dialog);

    bool waitBeforeShown = false;
    QElapsedTimer firstWait;
    WhenActive<CWaitReplyDlg>([&](CWaitReplyDlg& wait) {
        waitBeforeShown = !dialog.isVisible() && dialog.WaitDialog() == &wait;
        firstWait.start();
    });
    qint64 firstWaitMs = -1;
    QString first, texts, again;
    int handled = 0, rowsAtSecondWait = -1;
    bool enabledAtStart = true, enabledWithSelection = false, enabledAtSecondWait = true;
    WhenReady([&] { return IsActiveModal(&dialog); },
              [&] {
                  firstWaitMs = firstWait.elapsed();
                  first = RowIds(dialog);
                  handled = counter.Count();
                  for (int row : {0, 2}) {
                      for (int column = 1; column < 5; ++column) {
                          texts += dialog.NodeList()->topLevelItem(row)->text(column) + QLatin1Char(' ');
                      }
                  }
                  enabledAtStart = IpSettingEnabled(dialog);
                  ClickRow(dialog.NodeList(), 1);
                  enabledWithSelection = IpSettingEnabled(dialog);
                  WhenActive<CWaitReplyDlg>([&](CWaitReplyDlg&) {
                      rowsAtSecondWait = dialog.RowCount();
                      enabledAtSecondWait = IpSettingEnabled(dialog);
                  });
                  Click(dialog, NodeListIds::Search); // returns when the second search is over
                  again = RowIds(dialog);
                  Click(dialog, NodeListIds::Close);
              });
    QCOMPARE(dialog.DoModal(), IDOK);

    // The search's own wait of 1 s (not a set-address wait of 15 s), before the window shows.
    QVERIFY(waitBeforeShown);
    QVERIFY2(firstWaitMs >= 500 && firstWaitMs < 10000, qPrintable(QString::number(firstWaitMs)));
    QCOMPARE(first, QStringLiteral("abc"));
    QCOMPARE(handled, 4);
    // Board a's second answer carries another address; its first one stays.
    QCOMPARE(texts, QStringLiteral("127.0.0.2 255.0.0.0 none yes 127.0.0.4 255.0.0.0 127.0.0.1 no "));
    QVERIFY(!enabledAtStart && enabledWithSelection && !enabledAtSecondWait);
    QCOMPARE(rowsAtSecondWait, 0);
    QCOMPARE(again, QStringLiteral("abc"));
    QCOMPARE(dialog.RowCount(), 0); // the Close button releases the rows
    QCOMPARE(messages.Count(), 0);
    QCOMPARE(RequestsReceived(sim.LogEntries(), OP_SEARCH_REQUEST).size(), 2);
}

void TestNodeListDlg::packetFilter_data()
{
    QTest::addColumn<uint>("op");
    QTest::addColumn<bool>("sameId");
    QTest::addColumn<bool>("waiting");
    QTest::addColumn<uint>("result");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("waitResult"); // a wait still running when the packet is handled is cancelled

    QTest::newRow("search reply") << 1u << true << true << 0u << 1 << int(WAIT_RESULT_CANCELLED);
    QTest::newRow("op 0") << 0u << true << true << 0u << 0 << int(WAIT_RESULT_CANCELLED);
    QTest::newRow("op 2") << 2u << true << true << 0u << 0 << int(WAIT_RESULT_CANCELLED);
    QTest::newRow("op 7") << 7u << true << true << 0u << 0 << int(WAIT_RESULT_CANCELLED);
    QTest::newRow("other id") << 1u << false << true << 0u << 0 << int(WAIT_RESULT_CANCELLED);
    QTest::newRow("after the wait") << 1u << true << false << 0u << 0 << -1;
    QTest::newRow("set-address success") << 3u << true << true << 0u << 1 << int(WAIT_RESULT_SUCCEEDED);
    QTest::newRow("set-address failure") << 3u << true << true << 9u << 0 << int(WAIT_RESULT_FAILED);
    QTest::newRow("set-address, other id") << 3u << false << true << 0u << 0 << int(WAIT_RESULT_CANCELLED);
}

void TestNodeListDlg::packetFilter()
{
    QFETCH(uint, op);
    QFETCH(bool, sameId);
    QFETCH(bool, waiting);
    QFETCH(uint, result);
    QFETCH(int, rows);
    QFETCH(int, waitResult);

    CNodeListDlg dialog(m_snmp, kLoopbackAny, kNowhere);
    UdpTestSocket socket;
    QVERIFY(socket.Open());
    PacketCounter counter(&dialog);
    dialog.SetOutstandingTransactionId(0x1234);
    NodeInfo packet = Reply(1, 0x0a000001);
    packet.SetOpCode(htonl(op));
    packet.SetResult(htonl(result));
    packet.SetTransactionId(sameId ? 0x1234 : 0x11234);

    bool delivered = false;
    const auto deliver = [&] {
        delivered =
            socket.SendTo(Datagram(packet), QStringLiteral("127.0.0.1"), dialog.Protocol().BoundPort()) &&
            QTest::qWaitFor([&] { return counter.Count() == 1; }, 10000);
        if (dialog.WaitDialog() != nullptr) {
            dialog.WaitDialog()->EndDialog(WAIT_RESULT_CANCELLED);
        }
    };
    int ended = -1;
    if (waiting) {
        WhenActive<CWaitReplyDlg>([&](CWaitReplyDlg&) { deliver(); });
        ended = dialog.RunWaitDialog(15000);
    } else {
        deliver();
    }
    QVERIFY(delivered);
    QCOMPARE(dialog.RowCount(), rows);
    QCOMPARE(ended, waitResult);
}

void TestNodeListDlg::columnSort_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("order"); // rows arrive as 1, 2, 3, 4 (see columnSort)

    QTest::newRow("MAC, first differing byte") << 0 << QStringLiteral("2143");
    QTest::newRow("IP address, numeric") << 1 << QStringLiteral("3241");
    QTest::newRow("subnet mask") << 2 << QStringLiteral("2314");
    QTest::newRow("gateway, ties keep their order") << 3 << QStringLiteral("2314");
    QTest::newRow("DHCP, all no before all yes") << 4 << QStringLiteral("1423");
}

void TestNodeListDlg::columnSort()
{
    QFETCH(int, column);
    QFETCH(QString, order);

    NodeInfo rows[] = {
        Reply(1, 0xc0a8000a, 0xffffff00, 0xc0a80001),                    // 192.168.0.10
        Reply(2, 0x0a000005, 0xff000000, 0, 1),                          // 10.0.0.5, DHCP 01 00 00 00
        Reply(3, 0x09c801c8, 0xffff0000, 0x09c80001, int32_t(htonl(1))), // 9.200.1.200, DHCP 00 00 00 01
        Reply(4, 0xc0a80009, 0xffffff80, 0xc0a80001),                    // 192.168.0.9
    };
    const uint8_t mac2[6] = {0x00, 0x0a, 0xfe, 0xff, 0xff, 0x02}, mac3[6] = {0x01, 0, 0, 0, 0, 0x03};
    rows[1].SetMacAddress(mac2);
    rows[2].SetMacAddress(mac3);

    CNodeListDlg dialog(m_snmp, kLoopbackAny, kNowhere);
    RecordedMessages messages;
    QString sorted, again, withLater;
    int selected = -1;
    bool enabled = false;
    WhenReady([&] { return IsActiveModal(&dialog); },
              [&] {
                  for (const NodeInfo& row : rows) {
                      dialog.AddNodeRow(row);
                  }
                  ClickRow(dialog.NodeList(), 0);
                  QHeaderView* header = dialog.NodeList()->header();
                  const QPoint at(header->sectionViewportPosition(column) + 5, 5);
                  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
                  sorted = RowIds(dialog);
                  selected = dialog.SelectedRow();
                  enabled = IpSettingEnabled(dialog);
                  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
                  again = RowIds(dialog);
                  dialog.AddNodeRow(Reply(0, 0x01010101));
                  withLater = RowIds(dialog);
                  dialog.close();
              });
    QCOMPARE(dialog.DoModal(), 0);

    QCOMPARE(sorted, order);
    QCOMPARE(again, order);
    QCOMPARE(withLater, order + QLatin1Char('0'));
    QCOMPARE(selected, int(order.indexOf(QLatin1Char('1')))); // the selection moves with its row
    QVERIFY(enabled);
}

// One row per hex digit, each address made of one octet: the widest MAC address and dotted
// addresses in the list's font are among them, whichever digit the font draws widest.
void TestNodeListDlg::cellsShowWholeTexts()
{
    CNodeListDlg dialog(m_snmp, kLoopbackAny, kNowhere);
    RecordedMessages messages;
    WhenReady([&] { return IsActiveModal(&dialog); },
              [&] {
                  for (uint8_t digit = 0; digit < 16; ++digit) {
                      // 100, 111, ... 199, then 200, 211, ... 255
                      const uint32_t octet = digit < 10 ? 100 + digit * 11u : 200 + (digit - 10) * 11u;
                      const uint32_t address = octet * 0x01010101u;
                      NodeInfo row = Reply(0, address, address, address, digit % 2);
                      const auto twice = uint8_t(digit * 0x11);
                      const uint8_t mac[6] = {twice, twice, twice, twice, twice, twice};
                      row.SetMacAddress(mac);
                      dialog.AddNodeRow(row);
                  }
                  dialog.close();
              });
    QCOMPARE(dialog.DoModal(), 0);

    QCOMPARE(ElidedCells(dialog.NodeList()), QStringList());
    const int templateWidths[] = {110, 110, 110, 110, 60};
    for (int column = 0; column < 5; ++column) {
        QVERIFY(dialog.NodeList()->columnWidth(column) >= templateWidths[column]);
    }
}

void TestNodeListDlg::setAddressReply_data()
{
    QTest::addColumn<int>("boardResult");
    QTest::addColumn<int>("waitResult");
    QTest::addColumn<QString>("orderAndLastIp");
    QTest::addColumn<int>("selected");

    QTest::newRow("result 0") << 0 << int(WAIT_RESULT_SUCCEEDED) << QStringLiteral("acb 127.0.0.33") << -1;
    QTest::newRow("nonzero result") << 5 << int(WAIT_RESULT_FAILED) << QStringLiteral("abc 127.0.0.4") << 1;
}

void TestNodeListDlg::setAddressReply()
{
    QFETCH(int, boardResult);
    QFETCH(int, waitResult);
    QFETCH(QString, orderAndLastIp);
    QFETCH(int, selected);

    SimProcess sim;
    QVERIFY(StartSim(
        sim, {Board(0xa), Board(0xb, {{QStringLiteral("setAddressResult"), boardResult}}), Board(0xc)}));
    RecordedMessages messages;
    CNodeListDlg dialog(m_snmp, kLoopbackAny, {0x7f000001, sim.UdpPort()});

    int ended = -1, selectedAfter = -2;
    QString after;
    bool enabledAfter = false;
    WhenReady([&] { return IsActiveModal(&dialog); },
              [&] {
                  // What the IP settings command does once the operator has accepted new settings.
                  ClickRow(dialog.NodeList(), 1);
                  NetworkSettings settings;
                  settings.SetIpAddress(htonl(0x7f000021));
                  settings.SetSubnetMask(htonl(0xff000000));
                  const quint32 id =
                      dialog.Protocol().SendAddressRequest(settings, dialog.SelectedNode()->GetMacAddress());
                  dialog.SetOutstandingTransactionId(id);
                  ended = id != 0 ? dialog.RunWaitDialog(15000) : -1;
                  after = RowIds(dialog) + QLatin1Char(' ') +
                          dialog.NodeList()->topLevelItem(dialog.RowCount() - 1)->text(1);
                  selectedAfter = dialog.SelectedRow();
                  enabledAfter = IpSettingEnabled(dialog);
                  dialog.close();
              });
    QCOMPARE(dialog.DoModal(), 0);

    QCOMPARE(ended, waitResult);
    QCOMPARE(after, orderAndLastIp);
    QCOMPARE(selectedAfter, selected);
    QCOMPARE(enabledAfter, selected >= 0);
    QCOMPARE(messages.Count(), 0);
}

void TestNodeListDlg::windowCommands_data()
{
    QTest::addColumn<int>("action"); // a key on the list, or one of the two below
    QTest::addColumn<int>("result"); // -1: the window stays open
    QTest::addColumn<int>("rowsAfter");
    QTest::addColumn<int>("messages");

    constexpr int closeBox = -1, search = NodeListIds::Search, close = NodeListIds::Close;
    QTest::newRow("Close button") << close << IDOK << 0 << 1;
    QTest::newRow("Enter on the list") << int(Qt::Key_Return) << IDOK << 0 << 1;
    QTest::newRow("close box") << closeBox << 0 << 2 << 1;
    QTest::newRow("Esc") << int(Qt::Key_Escape) << -1 << 2 << 1;
    QTest::newRow("F1") << int(Qt::Key_F1) << -1 << 2 << 1;
    QTest::newRow("Search that cannot send") << search << -1 << 0 << 2;
}

// The window's engine cannot send: start-up shows message 120 and no wait.
void TestNodeListDlg::windowCommands()
{
    QFETCH(int, action);
    QFETCH(int, result);
    QFETCH(int, rowsAfter);
    QFETCH(int, messages);

    CNodeListDlg dialog(m_snmp, kLoopbackAny, kNowhere);
    int waitsDuringMessages = 0;
    RecordedMessages shown([&](const ShownMessage& m) {
        waitsDuringMessages += ActiveModal<CWaitReplyDlg>() || m.owner != &dialog;
    });
    bool stayedOpen = false;
    WhenReady([&] { return IsActiveModal(&dialog); },
              [&] {
                  dialog.AddNodeRow(Reply(1, 0x0a000001));
                  dialog.AddNodeRow(Reply(2, 0x0a000002));
                  dialog.SetOutstandingTransactionId(99);
                  dialog.NodeList()->setFocus();
                  if (action == NodeListIds::Close || action == NodeListIds::Search) {
                      Click(dialog, action);
                  } else if (action < 0) {
                      dialog.close();
                  } else {
                      QTest::keyClick(dialog.NodeList(), Qt::Key(action));
                  }
                  stayedOpen = !dialog.IsEnded();
                  dialog.close();
              });
    const int ended = dialog.DoModal();

    QCOMPARE(stayedOpen ? -1 : ended, result);
    QCOMPARE(dialog.RowCount(), rowsAfter);
    QCOMPARE(shown.Ids(), QList<int>(messages, IDS_SEND_FAILED));
    QCOMPARE(waitsDuringMessages, 0);
    QCOMPARE(dialog.OutstandingTransactionId(), action == NodeListIds::Search ? 0u : 99u);
}

// Datagrams keep coming while the window closes and is destroyed; the sanitizers watch for a post
// to the dead window and for leaked records.
void TestNodeListDlg::packetsWhileClosing()
{
    RecordedMessages messages;
    lanfinch::SetTraceSink([](const std::string&) {});
    for (int round = 0; round < 2; ++round) {
        auto dialog = std::make_unique<CNodeListDlg>(m_snmp, kLoopbackAny, kNowhere);
        PacketCounter counter(dialog.get());
        std::atomic<bool> stop{false};
        std::atomic<int> sent{0};
        std::thread flooder([&, port = dialog->Protocol().BoundPort()] {
            UdpTestSocket socket;
            NodeInfo packet = Reply(1, 0x0a000001);
            for (bool open = socket.Open(); open && !stop;
                 packet.SetTransactionId(packet.GetTransactionId() + 1)) {
                sent += socket.SendTo(Datagram(packet), QStringLiteral("127.0.0.1"), port);
            }
        });

        WhenReady([&] { return IsActiveModal(dialog.get()) && counter.Count() >= 200; },
                  [&] { Click(*dialog, NodeListIds::Close); });
        const int ended = dialog->DoModal();
        const int sentAtClose = sent;
        dialog.reset();
        QVERIFY(QTest::qWaitFor([&] { return sent >= sentAtClose + 2000; }, 10000));
        stop = true;
        flooder.join();
        QCOMPARE(ended, IDOK);
    }
    lanfinch::SetTraceSink({});
}

void TestNodeListDlg::manyReplies()
{
    constexpr int kBoards = 5000;
    CNodeListDlg dialog(m_snmp, kLoopbackAny, kNowhere);
    const auto reply = [](int board, uint32_t ip, uint32_t op = OP_SEARCH_REPLY) {
        auto record = std::make_unique<NodeInfo>(Reply(0, ip));
        const uint8_t mac[6] = {0x02, 0x4c, 0x46, uint8_t(board >> 16), uint8_t(board >> 8), uint8_t(board)};
        record->SetMacAddress(mac);
        record->SetOpCode(htonl(op));
        record->SetTransactionId(7);
        return record;
    };
    dialog.SetOutstandingTransactionId(7);
    // Posted as the receive thread hands records over: in batches, one event each.
    ReceivedNodes batch;
    const auto add = [&](std::unique_ptr<NodeInfo> record, bool last = false) {
        batch.push_back(ReceivedNode{std::move(record), 0, {}});
        if (batch.size() == 512 || last) {
            QCoreApplication::postEvent(&dialog, new CNodePacketEvent(std::move(batch)));
            batch = ReceivedNodes();
        }
    };
    WhenActive<CWaitReplyDlg>([&](CWaitReplyDlg&) {
        for (int board = 0; board < kBoards; ++board) {
            add(reply(board, 1));
            add(reply(board / 2, 2)); // a repeat, or the first answer of a later board
        }
        add(reply(10, 3, OP_SET_ADDRESS_REPLY));
        add(reply(kBoards, 4)); // in the same batch, behind the reply that ended the wait
        add(reply(kBoards + 1, 5), true);
        add(reply(kBoards + 2, 6), true); // in a batch of its own, queued behind
    });
    QCOMPARE(dialog.RunWaitDialog(15000), int(WAIT_RESULT_SUCCEEDED));

    QCOMPARE(dialog.RowCount(), kBoards);
    QCOMPARE(dialog.FindRowByMac(*reply(0, 0)), 0);
    QCOMPARE(dialog.FindRowByMac(*reply(10, 0)), kBoards - 1);
    QCOMPARE(dialog.FindRowByMac(*reply(11, 0)), 10);
    QCOMPARE(dialog.FindRowByMac(*reply(kBoards, 0)), -1);
    QCOMPARE(dialog.FindRowByMac(*reply(kBoards + 1, 0)), -1);
    QCOMPARE(dialog.FindRowByMac(*reply(kBoards + 2, 0)), -1);
    QCOMPARE(ntohl(dialog.RowRecord(kBoards - 2)->GetSettings().GetIpAddress()), 1u);
    QCOMPARE(ntohl(dialog.RowRecord(kBoards - 1)->GetSettings().GetIpAddress()), 3u);
}

// Two windows in one process, each with an engine on a port of its own: each gets only the replies
// that reach its own port.
void TestNodeListDlg::windowsGetOnlyTheirOwnReplies()
{
    CNodeListDlg first(m_snmp, kLoopbackAny, kNowhere);
    CNodeListDlg second(m_snmp, kLoopbackAny, kNowhere);
    PacketCounter firstCounter(&first), secondCounter(&second);
    UdpTestSocket socket;
    QVERIFY(socket.Open());
    const QByteArray reply = Datagram(Reply(1, 0x0a000001));
    QVERIFY(socket.SendTo(reply, QStringLiteral("127.0.0.1"), first.Protocol().BoundPort()));
    for (int i = 0; i < 2; ++i) {
        QVERIFY(socket.SendTo(reply, QStringLiteral("127.0.0.1"), second.Protocol().BoundPort()));
    }
    QTRY_COMPARE(secondCounter.Count(), 2);
    QTRY_COMPARE(firstCounter.Count(), 1);
    QCOMPARE(secondCounter.Count(), 2);
}

QTEST_MAIN(TestNodeListDlg)
#include "tst_CNodeListDlg.moc"
