#include "CGpioConfigDlg.h"
#include "CIpAddressCtrl.h"
#include "CSerialConfigDlg.h"
#include "MessageBox.h"
#include "ResourceIds.h"
#include "SnmpDialogTestSupport.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

using namespace SnmpDialogTest;

// A board whose agent takes every request off the wire and never answers. The access object of
// these tests makes no SET, so every GET gives up after the first timeout of 5 s.
class TestSnmpDialogTimeouts : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void serialReadWaitsForBothRequests();
    void gpioReadWaitsForOneRequest();

  private:
    SimProcess m_sim;
    CSnmpAccess m_snmp;
    const QString m_silent = QStringLiteral("127.0.0.2");
};

void TestSnmpDialogTimeouts::initTestCase()
{
    QVERIFY(StartBoards(m_sim, m_snmp, QJsonArray{Board(m_silent, {{QStringLiteral("silent"), true}})}));
    QCOMPARE(m_snmp.TimeoutMicroseconds(), CSnmpAccess::kGetTimeoutUs);
}

void TestSnmpDialogTimeouts::serialReadWaitsForBothRequests()
{
    CSerialConfigDlg dialog(HostOrder(127, 0, 0, 2), m_snmp);
    bool visibleAtMessage = true;
    qint64 elapsedAtMessage = 0;
    QElapsedTimer clock;
    RecordedMessages messages([&](const ShownMessage&) {
        visibleAtMessage = dialog.isVisible();
        elapsedAtMessage = clock.elapsed();
    });
    QString rate;
    QString port;
    int length = -2;
    clock.start();
    RunDialog(dialog, [&] {
        rate = dialog.Item<QComboBox>(SerialConfigIds::BitRate)->currentText();
        length = dialog.Item<QComboBox>(SerialConfigIds::DataLength)->currentIndex();
        port = dialog.Item<QLineEdit>(SerialConfigIds::PortNumber)->text();
    });
    QCOMPARE(messages.Ids(), QList<int>({IDS_GET_FAILED}));
    QVERIFY(!visibleAtMessage);
    QVERIFY2(elapsedAtMessage >= 9500 && elapsedAtMessage < 15000,
             qPrintable(QString::number(elapsedAtMessage)));
    QCOMPARE(rate, QStringLiteral("9600"));
    QCOMPARE(length, 3);
    QCOMPARE(port, QStringLiteral("21347"));
}

void TestSnmpDialogTimeouts::gpioReadWaitsForOneRequest()
{
    CGpioConfigDlg dialog(0, m_snmp);
    RecordedMessages messages;
    QElapsedTimer clock;
    qint64 elapsed = 0;
    QString period;
    RunDialog(dialog, [&] {
        dialog.Item<CIpAddressCtrl>(GpioConfigIds::NodeAddress)->SetAddress(HostOrder(127, 0, 0, 2));
        dialog.Item<QLineEdit>(GpioConfigIds::Period)->setText(QStringLiteral("55"));
        clock.start();
        QTest::mouseClick(dialog.Item<QWidget>(GpioConfigIds::Get), Qt::LeftButton);
        elapsed = clock.elapsed();
        period = dialog.Item<QLineEdit>(GpioConfigIds::Period)->text();
    });
    QCOMPARE(messages.Ids(), QList<int>({IDS_GET_FAILED}));
    QVERIFY2(elapsed >= 4500 && elapsed < 9000, qPrintable(QString::number(elapsed)));
    QCOMPARE(period, QStringLiteral("55"));
}

QTEST_MAIN(TestSnmpDialogTimeouts)
#include "tst_SnmpDialogTimeouts.moc"
