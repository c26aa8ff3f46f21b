// The serial and I/O settings dialogs against a board whose SNMP agent answers with garbage: each
// dialog must show its failure message within the sum of its requests' timeouts, show nothing of
// what the garbage held, and neither crash nor hang. Each exchange has an access object of its own,
// since the first SET lengthens every later timeout of its object. Reads and writes run as
// separate processes (ctest passes the function name) so that they can run side by side.
#include "snmpconfig/CGpioConfigDlg.h"
#include "resources/CIpAddressCtrl.h"
#include "snmpconfig/CSerialConfigDlg.h"
#include "snmpconfig/CSnmpAccess.h"
#include "tests/hostile/HostileSnmpPeer.h"
#include "tests/support/RecordedMessages.h"
#include "resources/ResourceIds.h"
#include "snmpconfig/SnmpDialogSupport.h"
#include "tests/snmpconfig/SnmpDialogTestSupport.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

using Behaviour = HostileSnmpPeer::Behaviour;
using SnmpDialogTest::RunDialog;
Q_DECLARE_METATYPE(HostileSnmpPeer::Behaviour)

namespace {

const QString kPeerAddress = QStringLiteral("127.0.0.9");
constexpr quint32 kPeerHostOrder = 0x7f000009;
constexpr qint64 kGetTimeoutMs = kGetTimeoutUs / 1000;
constexpr qint64 kSetTimeoutMs = kSetTimeoutUs / 1000;
// Scheduling slack on a loaded machine with sanitizers.
constexpr qint64 kSlackMs = 2500;

// A hostile peer that CSnmpAccess talks to, and when after clock.start() the one message came.
struct HostileExchange
{
    HostileExchange(Behaviour behaviour, uint seed) : peer(behaviour, seed)
    {
        started = peer.Start(kPeerAddress);
        access.SetAgentPortForTesting(peer.Port());
        InstallSnmpWaitHook(access);
    }

    // The dialog showed exactly this message within the timeouts of its requests, and every
    // request it sent decoded.
    void Check(int stringId, int requests, qint64 timeoutMs)
    {
        peer.Stop();
        QCOMPARE(messages.Ids(), QList<int>({stringId}));
        QVERIFY2(messageAfter <= requests * timeoutMs + kSlackMs, qPrintable(QString::number(messageAfter)));
        QCOMPARE(peer.Requests(), requests);
        QCOMPARE(peer.Undecodable(), 0);
    }

    HostileSnmpPeer peer;
    CSnmpAccess access;
    bool started = false;
    QElapsedTimer clock;
    qint64 messageAfter = -1;
    RecordedMessages messages{[this](const ShownMessage&) { messageAfter = clock.elapsed(); }};
};

const std::initializer_list<std::pair<const char*, Behaviour>> kAllBehaviours = {
    {"random bytes", Behaviour::RandomBytes}, {"wrong request id", Behaviour::WrongRequestId},
    {"truncated", Behaviour::Truncated},      {"bad lengths", Behaviour::BadLengths},
    {"wrong types", Behaviour::WrongTypes},   {"unknown names", Behaviour::UnknownNames},
    {"error status", Behaviour::ErrorStatus}, {"mixed", Behaviour::Mixed},
};

void AddAllBehaviours()
{
    QTest::addColumn<Behaviour>("behaviour");
    for (const auto& [name, behaviour] : kAllBehaviours)
        QTest::newRow(name) << behaviour;
}

} // namespace

class TestHostileSnmpPeer : public QObject
{
    Q_OBJECT

  private slots:
    void serialRead_data() { AddAllBehaviours(); }
    void serialRead();
    void gpioRead_data() { AddAllBehaviours(); }
    void gpioRead();
    void writes_data();
    void writes();
};

// Two GETs while the dialog opens; the controls keep their defaults.
void TestHostileSnmpPeer::serialRead()
{
    QFETCH(Behaviour, behaviour);
    HostileExchange exchange(behaviour, 1);
    QVERIFY(exchange.started);
    CSerialConfigDlg dialog(kPeerHostOrder, exchange.access);
    QString rate;
    QString port;
    quint32 peerAddress = 1;
    exchange.clock.start();
    RunDialog(dialog, [&] {
        rate = dialog.Item<QComboBox>(SerialConfigIds::BitRate)->currentText();
        port = dialog.Item<QLineEdit>(SerialConfigIds::PortNumber)->text();
        dialog.Item<CIpAddressCtrl>(SerialConfigIds::PeerAddress)->GetAddress(peerAddress);
    });
    exchange.Check(IDS_GET_FAILED, 2, kGetTimeoutMs);
    QCOMPARE(rate, QStringLiteral("9600"));
    QCOMPARE(port, QStringLiteral("21347"));
    QCOMPARE(peerAddress, 0u);
}

// One GET on the Get button; the period the operator typed stays.
void TestHostileSnmpPeer::gpioRead()
{
    QFETCH(Behaviour, behaviour);
    HostileExchange exchange(behaviour, 2);
    QVERIFY(exchange.started);
    CGpioConfigDlg dialog(0, exchange.access);
    QString period;
    quint32 manager = 1;
    RunDialog(dialog, [&] {
        dialog.Item<CIpAddressCtrl>(GpioConfigIds::NodeAddress)->SetAddress(kPeerHostOrder);
        dialog.Item<QLineEdit>(GpioConfigIds::Period)->setText(QStringLiteral("55"));
        exchange.clock.start();
        dialog.RunCommand(GpioConfigIds::Get);
        period = dialog.Item<QLineEdit>(GpioConfigIds::Period)->text();
        dialog.Item<CIpAddressCtrl>(GpioConfigIds::ManagerAddress)->GetAddress(manager);
    });
    exchange.Check(IDS_GET_FAILED, 1, kGetTimeoutMs);
    QCOMPARE(period, QStringLiteral("55"));
    QCOMPARE(manager, 0u);
}

void TestHostileSnmpPeer::writes_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<Behaviour>("behaviour");
    // Only a refusal or silence can fail a write: a reply with the right id and no error status
    // is a success whatever variables it carries.
    QTest::newRow("serial, error status") << true << Behaviour::ErrorStatus;
    QTest::newRow("I/O, error status") << false << Behaviour::ErrorStatus;
    QTest::newRow("I/O, random bytes") << false << Behaviour::RandomBytes;
    QTest::newRow("serial, wrong request id") << true << Behaviour::WrongRequestId;
}

// Every settings write is followed by its commit, which meets the same peer.
void TestHostileSnmpPeer::writes()
{
    QFETCH(bool, serial);
    QFETCH(Behaviour, behaviour);
    HostileExchange exchange(behaviour, 3);
    QVERIFY(exchange.started);
    if (serial) {
        CSerialConfigDlg dialog(0, exchange.access);
        RunDialog(dialog, [&] {
            dialog.Item<CIpAddressCtrl>(SerialConfigIds::NodeAddress)->SetAddress(kPeerHostOrder);
            dialog.Item<CIpAddressCtrl>(SerialConfigIds::PeerAddress)->SetAddress(0xc0000207);
            exchange.clock.start();
            dialog.RunCommand(SerialConfigIds::Set);
        });
    } else {
        CGpioConfigDlg dialog(0, exchange.access);
        RunDialog(dialog, [&] {
            dialog.Item<CIpAddressCtrl>(GpioConfigIds::NodeAddress)->SetAddress(kPeerHostOrder);
            dialog.Item<CIpAddressCtrl>(GpioConfigIds::ManagerAddress)->SetAddress(0xc0000207);
            exchange.clock.start();
            dialog.RunCommand(GpioConfigIds::Set);
        });
    }
    exchange.Check(IDS_SET_FAILED, serial ? 3 : 2, kSetTimeoutMs);
}

QTEST_MAIN(TestHostileSnmpPeer)
#include "tst_HostileSnmpPeer.moc"
