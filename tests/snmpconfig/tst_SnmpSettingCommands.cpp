#include "snmpconfig/CGpioConfigDlg.h"
#include "resources/CIpAddressCtrl.h"
#include "app/CNodeListDlg.h"
#include "snmpconfig/CSerialConfigDlg.h"
#include "tests/support/RecordedMessages.h"
#include "protocol/NodeInfo.h"
#include "resources/ResourceIds.h"
#include "tests/snmpconfig/SnmpDialogTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTreeWidget>

#include <arpa/inet.h>

using namespace SnmpDialogTest;

namespace {

constexpr uint32_t kLoopback = 0x7f000001;
const QString kBoard = QStringLiteral("127.0.0.2");

NodeInfo Node(uint8_t last, uint32_t hostOrderIp)
{
    const uint8_t mac[6] = {0x00, 0x0a, 0xff, 0x00, 0x00, last};
    NodeInfo node;
    node.SetMacAddress(mac);
    NetworkSettings settings;
    settings.SetIpAddress(htonl(hostOrderIp));
    settings.SetSubnetMask(htonl(0xff000000));
    node.SetSettings(settings);
    return node;
}

} // namespace

// The node list's serial and I/O buttons open their dialog for the selected node, or for none.
class TestSnmpSettingCommands : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void buttonOpensDialogForSelectedNode_data();
    void buttonOpensDialogForSelectedNode();

  private:
    SimProcess m_sim;
    CSnmpAccess m_snmp;
};

void TestSnmpSettingCommands::initTestCase()
{
    QVERIFY(StartBoards(m_sim, m_snmp, QJsonArray{Board(kBoard, {})}));
}

void TestSnmpSettingCommands::buttonOpensDialogForSelectedNode_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("selectedRow"); // -1: none
    QTest::addColumn<QString>("nodeShown");
    QTest::addColumn<int>("requests");

    QTest::newRow("serial, second row") << NodeListIds::Serial << 1 << QStringLiteral("127.0.0.2/4") << 2;
    QTest::newRow("serial, no row") << NodeListIds::Serial << -1 << QStringLiteral("0.0.0.0/4") << 0;
    QTest::newRow("I/O, second row") << NodeListIds::Gpio << 1 << QStringLiteral("127.0.0.2/4") << 1;
    QTest::newRow("I/O, no row") << NodeListIds::Gpio << -1 << QStringLiteral("0.0.0.0/4") << 0;
}

void TestSnmpSettingCommands::buttonOpensDialogForSelectedNode()
{
    QFETCH(int, button);
    QFETCH(int, selectedRow);
    QFETCH(QString, nodeShown);
    QFETCH(int, requests);

    RecordedMessages messages;
    const qsizetype mark = m_sim.LogEntries().size();
    CNodeListDlg window(m_snmp, UdpEndpoint{kLoopback, 0}, UdpEndpoint{kLoopback, 9});

    QString shown;
    bool opened = false;
    bool clicked = false;
    // The dialog's first read waits with timers running: look for it until it is the modal one.
    QTimer find;
    find.setInterval(10);
    connect(&find, &QTimer::timeout, this, [&] {
        auto* dialog = qobject_cast<CTemplateDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || dialog == &window)
            return;
        find.stop();
        opened = button == NodeListIds::Serial ? qobject_cast<CSerialConfigDlg*>(dialog) != nullptr
                                               : qobject_cast<CGpioConfigDlg*>(dialog) != nullptr;
        shown = Shown(dialog->Item<CIpAddressCtrl>(SerialConfigIds::NodeAddress));
        dialog->EndDialog(IDCANCEL);
    });
    // The window's own search runs first; once its wait is over the window is the modal one.
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
        if (clicked || QApplication::activeModalWidget() != &window)
            return;
        clicked = true;
        window.AddNodeRow(Node(1, 0x7f0000fe));
        window.AddNodeRow(Node(2, 0x7f000002));
        if (selectedRow >= 0)
            window.NodeList()->topLevelItem(selectedRow)->setSelected(true);
        find.start();
        window.Item<QAbstractButton>(button)->click();
        window.close();
    });
    poll.start();
    QTimer::singleShot(10000, &window, [&] { window.close(); });
    window.DoModal();

    QVERIFY(clicked);
    QVERIFY(opened);
    QCOMPARE(shown, nodeShown);
    QCOMPARE(messages.Count(), 0);
    QCOMPARE(Requests(m_sim, kBoard, mark).size(), requests);
}

QTEST_MAIN(TestSnmpSettingCommands)
#include "tst_SnmpSettingCommands.moc"
