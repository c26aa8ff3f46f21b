#include "tests/app/AppTestSupport.h"
#include "app/CWaitReplyDlg.h"
#include "resources/ResourceIds.h"

#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimerEvent>

using namespace AppTest;

namespace {

// Notes the id of every timer event the dialog gets: the last one before a step is its tick.
struct TickTimerSpy : QObject
{
    explicit TickTimerSpy(QObject* dialog) { dialog->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Timer)
            lastTimerId = static_cast<QTimerEvent*>(event)->timerId();
        return false;
    }
    int lastTimerId = 0;
};

} // namespace

class TestWaitReplyDlg : public QObject
{
    Q_OBJECT

  private slots:
    void timesOutOnTheTenthTick_data();
    void timesOutOnTheTenthTick();
    void cancelGivesCancelled_data();
    void cancelGivesCancelled();
    void codeFromOutsideIsFinal();
};

void TestWaitReplyDlg::timesOutOnTheTenthTick_data()
{
    QTest::addColumn<quint32>("given");
    QTest::addColumn<quint32>("rounded");
    for (quint32 ms : {0u, 1u, 9u}) {
        QTest::addRow("%u ms", ms) << ms << 10u;
    }
    QTest::newRow("19 ms") << 19u << 10u;
    QTest::newRow("1005 ms") << 1005u << 1000u;
}

void TestWaitReplyDlg::timesOutOnTheTenthTick()
{
    QFETCH(quint32, given);
    QFETCH(quint32, rounded);

    QCOMPARE(CWaitReplyDlg::RoundedWaitTime(given), rounded);
    CWaitReplyDlg dialog(given);
    QSignalSpy values(dialog.Item<QProgressBar>(WaitReplyIds::Progress), &QProgressBar::valueChanged);
    QCOMPARE(dialog.DoModal(), int(WAIT_RESULT_TIMEOUT));

    QList<int> seen;
    for (const QList<QVariant>& args : values) {
        seen << args.at(0).toInt();
    }
    QCOMPARE(seen, QList<int>({10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
}

void TestWaitReplyDlg::cancelGivesCancelled_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Cancel button") << 0;
    QTest::newRow("Esc") << 1;
    QTest::newRow("close box") << 2;
}

void TestWaitReplyDlg::cancelGivesCancelled()
{
    QFETCH(int, how);

    CWaitReplyDlg dialog(15000);
    bool cancelHasFocus = false;
    WhenReady([&] { return IsActiveModal(&dialog); },
              [&] {
                  cancelHasFocus = dialog.focusWidget() == dialog.GetDlgItem(WaitReplyIds::Cancel);
                  if (how == 0) {
                      QTest::mouseClick(dialog.Item<QPushButton>(WaitReplyIds::Cancel), Qt::LeftButton);
                  } else if (how == 1) {
                      QTest::keyClick(&dialog, Qt::Key_Escape);
                  } else {
                      dialog.close();
                  }
              });
    QCOMPARE(dialog.DoModal(), int(WAIT_RESULT_CANCELLED));
    QVERIFY(cancelHasFocus);
}

void TestWaitReplyDlg::codeFromOutsideIsFinal()
{
    CWaitReplyDlg dialog(100);
    auto* bar = dialog.Item<QProgressBar>(WaitReplyIds::Progress);
    TickTimerSpy ticks(&dialog);
    int timerId = 0;
    connect(bar, &QProgressBar::valueChanged, &dialog, [&](int value) {
        if (value == 30) {
            timerId = ticks.lastTimerId;
            dialog.EndDialog(WAIT_RESULT_SUCCEEDED);
            dialog.EndDialog(WAIT_RESULT_FAILED);
        }
    });
    QCOMPARE(dialog.DoModal(), int(WAIT_RESULT_SUCCEEDED));
    QCOMPARE(bar->value(), 30);

    // A tick that was already queued when the wait ended moves nothing.
    QTimerEvent lateTick(timerId);
    QCoreApplication::sendEvent(&dialog, &lateTick);
    QCOMPARE(bar->value(), 30);
    QCOMPARE(dialog.result(), int(WAIT_RESULT_SUCCEEDED));
}

QTEST_MAIN(TestWaitReplyDlg)
#include "tst_CWaitReplyDlg.moc"
