#include "snmpconfig/CGpioConfigDlg.h"
#include "resources/CIpAddressCtrl.h"
#include "snmpconfig/CSerialConfigDlg.h"
#include "tests/support/RecordedMessages.h"
#include "resources/ResourceIds.h"
#include "tests/snmpconfig/SnmpDialogTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

using namespace SnmpDialogTest;

namespace {

// Counts the paint events a widget gets.
class PaintCounter final : public QObject
{
  public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

// A board whose agent takes every request off the wire and never answers. The access object of
// these tests makes no SET, so every GET gives up after the first timeout of 5 s.
class TestSnmpDialogTimeouts : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void serialReadWaitsForBothRequests();
    void gpioReadWaitsForOneRequestWithoutFreezing();

  private:
    SimProcess m_sim;
    CSnmpAccess m_snmp;
    const QString m_silent = QStringLiteral("127.0.0.2");
};

void TestSnmpDialogTimeouts::initTestCase()
{
    QVERIFY(StartBoards(m_sim, m_snmp, QJsonArray{Board(m_silent, {{QStringLiteral("silent"), true}})}));
    QCOMPARE(m_snmp.TimeoutMicroseconds(), kGetTimeoutUs);
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

// While the read waits, timers run and the dialog paints, but neither the operator's clicks and
// keys nor a close reach any window; the outcome is that of a blocking wait.
void TestSnmpDialogTimeouts::gpioReadWaitsForOneRequestWithoutFreezing()
{
    CGpioConfigDlg dialog(0, m_snmp);
    QWidget otherWindow;
    otherWindow.show();
    PaintCounter paints(&dialog);
    RecordedMessages messages;
    QElapsedTimer clock;
    qint64 elapsed = 0;
    QString period;
    int ticks = 0;
    int paintsAtFirstTick = -1;
    int paintsAfterWait = -1;
    bool visibleAfterWait = false;
    QList<bool> busyCursor; // during the wait, after it
    QList<bool> closed;
    QTimer timer;
    timer.setInterval(100);
    connect(&timer, &QTimer::timeout, this, [&] {
        if (ticks++ > 0)
            return;
        paintsAtFirstTick = paints.count;
        busyCursor << (QApplication::overrideCursor() &&
                       QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        dialog.update();
        QTest::mouseClick(dialog.Item<QWidget>(IDCANCEL), Qt::LeftButton);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QTest::keyClicks(dialog.Item<QLineEdit>(GpioConfigIds::Period), QStringLiteral("9"));
        closed = {dialog.close(), otherWindow.close()};
    });
    RunDialog(dialog, [&] {
        dialog.Item<CIpAddressCtrl>(GpioConfigIds::NodeAddress)->SetAddress(HostOrder(127, 0, 0, 2));
        dialog.Item<QLineEdit>(GpioConfigIds::Period)->setText(QStringLiteral("55"));
        timer.start();
        clock.start();
        QTest::mouseClick(dialog.Item<QWidget>(GpioConfigIds::Get), Qt::LeftButton);
        elapsed = clock.elapsed();
        timer.stop();
        paintsAfterWait = paints.count;
        busyCursor << (QApplication::overrideCursor() != nullptr);
        visibleAfterWait = dialog.isVisible();
        period = dialog.Item<QLineEdit>(GpioConfigIds::Period)->text();
    });
    QCOMPARE(messages.Ids(), QList<int>({IDS_GET_FAILED}));
    QVERIFY2(elapsed >= 4500 && elapsed < 9000, qPrintable(QString::number(elapsed)));
    QCOMPARE(period, QStringLiteral("55"));
    QCOMPARE(busyCursor, QList<bool>({true, false}));
    QCOMPARE(closed, QList<bool>({false, false}));
    QVERIFY(visibleAfterWait);
    QVERIFY(otherWindow.isVisible());
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    QVERIFY(paintsAfterWait > paintsAtFirstTick && paintsAtFirstTick >= 0);
}

QTEST_MAIN(TestSnmpDialogTimeouts)
#include "tst_SnmpDialogTimeouts.moc"
