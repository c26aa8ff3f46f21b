#include "resources/CTemplateDialog.h"
#include "resources/DataExchange.h"
#include "tests/support/RecordedMessages.h"
#include "resources/ResourceIds.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kStillOpen = -99;

enum class Action
{
    Enter,
    Escape,
    F1,
    Space,
    CloseBox,
    Click,
};

// Records which of the framework's entry points ran.
class ProbeDialog final : public CTemplateDialog
{
  public:
    explicit ProbeDialog(int templateId) : CTemplateDialog(templateId)
    {
        for (int id : {3, 1001})
            OnCommand(id, [this, id] { log << QStringLiteral("cmd:%1").arg(id); });
    }

    QStringList log;
    std::function<void(ProbeDialog&)> onInit;
    bool ddxSucceeds = true;
    bool cancelEnds = true;
    int closeCode = -1; // -1: the default close handling
    bool visibleAtInit = true;

  protected:
    void OnInitDialog() override
    {
        log << QStringLiteral("init");
        visibleAtInit = isVisible();
        CTemplateDialog::OnInitDialog();
        if (onInit)
            onInit(*this);
    }
    bool DoDataExchange(bool save) override
    {
        if (save)
            log << QStringLiteral("ddx");
        return ddxSucceeds;
    }
    void OnOK() override
    {
        log << QStringLiteral("ok");
        CTemplateDialog::OnOK();
    }
    void OnCancel() override
    {
        log << QStringLiteral("cancel");
        if (cancelEnds)
            CTemplateDialog::OnCancel();
    }
    void OnClose() override
    {
        log << QStringLiteral("close");
        if (closeCode >= 0)
            EndDialog(closeCode);
        else
            CTemplateDialog::OnClose();
    }
};

// The data exchange of the serial (signed port) and I/O (unsigned period, trap time) dialogs.
class ExchangeDialog final : public CTemplateDialog
{
  public:
    explicit ExchangeDialog(int templateId)
        : CTemplateDialog(templateId), serial(templateId == IDD_SERIAL_CONFIG)
    {
    }

    const bool serial;

    qint32 port = 21347;
    quint32 period = 100;
    quint32 trapTime = 7;

    QLineEdit* Edit(int id) { return Item<QLineEdit>(id); }

  protected:
    bool DoDataExchange(bool save) override
    {
        DataExchange dx(this, save);
        if (serial)
            return dx.Text(1024, port) && dx.MinMax(port, 1024, 65535);
        return dx.Text(1017, period) && dx.MinMax(period, 10u, 1000u) && dx.Text(1023, trapTime) &&
               dx.MinMax(trapTime, 0u, 604800000u);
    }
};

QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

class TestTemplateDialog : public QObject
{
    Q_OBJECT

  private slots:
    void cleanup();
    void commands_data();
    void commands();
    void firstEndDialogCodeWinsUntilTheNextRun();
    void endDuringInitNeverShows();
    void initRunsBeforeShowAndMessagesComeFirst();
    void initialFocus_data();
    void initialFocus();
    void recordedMessages_data();
    void recordedMessages();
    void recorderScopesNest();
    void realMessageBox();
    void dataExchange_data();
    void dataExchange();
    void dataExchangeLoadsFields();
};

void TestTemplateDialog::cleanup()
{
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty() ||
                std::none_of(QApplication::topLevelWidgets().cbegin(), QApplication::topLevelWidgets().cend(),
                             [](QWidget* w) { return w->isVisible(); }));
}

void TestTemplateDialog::commands_data()
{
    QTest::addColumn<int>("templateId");
    QTest::addColumn<int>("focusId"); // 0: leave the initial focus
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("log");

    const QString init = QStringLiteral("init");
    auto L = [&](std::initializer_list<const char*> entries) {
        QStringList l{init};
        for (const char* e : entries)
            l << QString::fromLatin1(e);
        return l;
    };

    QTest::newRow("enter on address field runs the default button")
        << IDD_IP_CONFIG << 1004 << Action::Enter << QString() << 1 << L({"ok", "ddx"});
    QTest::newRow("enter on check box runs the default button")
        << IDD_IP_CONFIG << 1008 << Action::Enter << QString() << 1 << L({"ok", "ddx"});
    QTest::newRow("enter on a push button clicks it")
        << IDD_IP_CONFIG << 2 << Action::Enter << QString() << 2 << L({"cancel"});
    QTest::newRow("enter with disabled default button does nothing")
        << IDD_IP_CONFIG << 1004 << Action::Enter << QStringLiteral("disable 1") << kStillOpen << L({});
    QTest::newRow("enter without default button sends OK")
        << IDD_GPIO_CONFIG << 1017 << Action::Enter << QString() << 1 << L({"ok", "ddx"});
    QTest::newRow("enter on a drop-down list sends OK")
        << IDD_GPIO_CONFIG << 1019 << Action::Enter << QString() << 1 << L({"ok", "ddx"});
    QTest::newRow("enter on the list view sends OK")
        << IDD_NODE_LIST << 1002 << Action::Enter << QString() << 1 << L({"ok", "ddx"});
    QTest::newRow("enter on get button runs its handler")
        << IDD_GPIO_CONFIG << 3 << Action::Enter << QString() << kStillOpen << L({"cmd:3"});
    QTest::newRow("failed data exchange keeps the dialog open")
        << IDD_GPIO_CONFIG << 1023 << Action::Enter << QStringLiteral("ddx fails") << kStillOpen
        << L({"ok", "ddx"});
    QTest::newRow("space on a push button clicks it")
        << IDD_SERIAL_CONFIG << 2 << Action::Space << QString() << 2 << L({"cancel"});
    QTest::newRow("click on set button runs its handler")
        << IDD_SERIAL_CONFIG << 1001 << Action::Click << QString() << kStillOpen << L({"cmd:1001"});
    QTest::newRow("click on OK") << IDD_IP_CONFIG << 1 << Action::Click << QString() << 1 << L({"ok", "ddx"});
    QTest::newRow("escape cancels") << IDD_IP_CONFIG << 1004 << Action::Escape << QString() << 2
                                    << L({"cancel"});
    QTest::newRow("escape cancels without a cancel button")
        << IDD_NODE_LIST << 1000 << Action::Escape << QString() << 2 << L({"cancel"});
    QTest::newRow("escape with a cancel that stays")
        << IDD_NODE_LIST << 1002 << Action::Escape << QStringLiteral("cancel stays") << kStillOpen
        << L({"cancel"});
    QTest::newRow("close box cancels")
        << IDD_WAIT_REPLY << 0 << Action::CloseBox << QString() << 2 << L({"close", "cancel"});
    QTest::newRow("close box with its own code")
        << IDD_NODE_LIST << 0 << Action::CloseBox << QStringLiteral("close ends 0") << 0 << L({"close"});
    QTest::newRow("F1 is swallowed") << IDD_IP_CONFIG << 1004 << Action::F1 << QString() << kStillOpen
                                     << L({});
}

void TestTemplateDialog::commands()
{
    QFETCH(int, templateId);
    QFETCH(int, focusId);
    QFETCH(Action, action);
    QFETCH(QString, setup);
    QFETCH(int, result);
    QFETCH(QStringList, log);

    ProbeDialog dialog(templateId);
    dialog.ddxSucceeds = setup != u"ddx fails";
    dialog.cancelEnds = setup != u"cancel stays";
    if (setup == u"close ends 0")
        dialog.closeCode = 0;
    if (setup == u"disable 1")
        dialog.GetDlgItem(IDOK)->setEnabled(false);

    QWidget* activeModal = nullptr;
    QTimer::singleShot(0, &dialog, [&] {
        activeModal = QApplication::activeModalWidget();
        if (focusId)
            dialog.GetDlgItem(focusId)->setFocus(Qt::OtherFocusReason);
        QWidget* target = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
        switch (action) {
        case Action::Enter:
            QTest::keyClick(target, Qt::Key_Return);
            break;
        case Action::Escape:
            QTest::keyClick(target, Qt::Key_Escape);
            break;
        case Action::F1:
            QTest::keyClick(target, Qt::Key_F1);
            break;
        case Action::Space:
            QTest::keyClick(target, Qt::Key_Space);
            break;
        case Action::CloseBox:
            dialog.close();
            break;
        case Action::Click:
            QTest::mouseClick(dialog.GetDlgItem(focusId), Qt::LeftButton);
            break;
        }
        if (dialog.isVisible())
            dialog.EndDialog(kStillOpen);
    });
    QCOMPARE(dialog.DoModal(), result);
    QCOMPARE(activeModal, &dialog);
    QCOMPARE(dialog.log, log);
    QVERIFY(!dialog.isVisible());
}

void TestTemplateDialog::firstEndDialogCodeWinsUntilTheNextRun()
{
    ProbeDialog dialog(IDD_WAIT_REPLY);
    QTimer::singleShot(0, &dialog, [&] {
        dialog.EndDialog(3);
        dialog.EndDialog(1); // e.g. a timer tick still pending after the reply ended the wait
        dialog.done(0);
        dialog.RunCommand(IDCANCEL);
    });
    QCOMPARE(dialog.DoModal(), 3);
    QCOMPARE(dialog.result(), 3);
    QVERIFY(dialog.IsEnded());

    QTimer::singleShot(0, &dialog, [&] { dialog.EndDialog(1); });
    QCOMPARE(dialog.DoModal(), 1);
}

void TestTemplateDialog::endDuringInitNeverShows()
{
    ProbeDialog dialog(IDD_IP_CONFIG);
    int shows = 0;
    QObject::connect(qApp, &QApplication::focusChanged, &dialog,
                     [&] { shows += dialog.isVisible() ? 1 : 0; });
    dialog.onInit = [](ProbeDialog& d) {
        d.EndDialog(IDCANCEL);
        d.EndDialog(IDOK);
    };
    QCOMPARE(dialog.DoModal(), IDCANCEL);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(shows, 0);
}

void TestTemplateDialog::initRunsBeforeShowAndMessagesComeFirst()
{
    ProbeDialog dialog(IDD_SERIAL_CONFIG);
    bool visibleWhenMessageShown = true;
    RecordedMessages messages([&](const ShownMessage&) { visibleWhenMessageShown = dialog.isVisible(); });
    dialog.onInit = [](ProbeDialog& d) { MessageBox::Show(&d, IDS_GET_FAILED); };
    bool visibleDuringRun = false;
    QTimer::singleShot(0, &dialog, [&] {
        visibleDuringRun = dialog.isVisible();
        dialog.EndDialog(IDCANCEL);
    });
    QCOMPARE(dialog.DoModal(), IDCANCEL);
    QVERIFY(!dialog.visibleAtInit);
    QCOMPARE(messages.Ids(), QList<int>{IDS_GET_FAILED});
    QCOMPARE(messages.All().front().owner.data(), &dialog);
    QVERIFY(!visibleWhenMessageShown);
    QVERIFY(visibleDuringRun);
}

void TestTemplateDialog::initialFocus_data()
{
    QTest::addColumn<int>("templateId");
    QTest::addColumn<int>("focusId");

    QTest::newRow("main window: search") << IDD_NODE_LIST << 1000;
    QTest::newRow("wait: cancel") << IDD_WAIT_REPLY << 2;
    QTest::newRow("ip: OK") << IDD_IP_CONFIG << 1;
    QTest::newRow("serial: set") << IDD_SERIAL_CONFIG << 1001;
}

void TestTemplateDialog::initialFocus()
{
    QFETCH(int, templateId);
    QFETCH(int, focusId);

    ProbeDialog dialog(templateId);
    QWidget* focused = nullptr;
    QTimer::singleShot(0, &dialog, [&] {
        focused = dialog.focusWidget();
        dialog.EndDialog(0);
    });
    dialog.DoModal();
    QCOMPARE(focused, dialog.GetDlgItem(focusId));
}

void TestTemplateDialog::recordedMessages_data()
{
    QTest::addColumn<int>("stringId");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");

    QTest::newRow("own text, no icon")
        << IDS_SEND_FAILED << QStringList() << U("送信に失敗しました") << int(QMessageBox::NoIcon);
    QTest::newRow("argument containing a marker")
        << IDS_PARSE_INT_RANGE << QStringList{QStringLiteral("%2"), QStringLiteral("9")}
        << U("%2 から 9 までの整数を入力してください。") << int(QMessageBox::Warning);
}

void TestTemplateDialog::recordedMessages()
{
    QFETCH(int, stringId);
    QFETCH(QStringList, args);
    QFETCH(QString, text);
    QFETCH(int, icon);

    QWidget owner;
    RecordedMessages messages;
    QCOMPARE(MessageBox::Show(&owner, stringId, args), 1);
    QCOMPARE(messages.Count(), 1);
    const ShownMessage& m = messages.All().front();
    QCOMPARE(m.stringId, stringId);
    QCOMPARE(m.text, text);
    QCOMPARE(int(m.icon), icon);
    QCOMPARE(m.title, QStringLiteral("tst_CTemplateDialog"));
    QCOMPARE(m.owner.data(), &owner);
}

void TestTemplateDialog::recorderScopesNest()
{
    RecordedMessages outer;
    {
        RecordedMessages inner;
        MessageBox::Show(nullptr, IDS_SET_DONE);
        QCOMPARE(inner.Ids(), QList<int>{IDS_SET_DONE});
    }
    MessageBox::Show(nullptr, IDS_SET_FAILED);
    QCOMPARE(outer.Ids(), QList<int>{IDS_SET_FAILED});
}

void TestTemplateDialog::realMessageBox()
{
    QWidget owner;
    owner.show();
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen = true;
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        parent = box->parentWidget();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    QCOMPARE(MessageBox::Show(&owner, IDS_PARSE_UINT), 1);
    QVERIFY(seen);
    QCOMPARE(title, QStringLiteral("tst_CTemplateDialog"));
    QCOMPARE(text, U("正の整数を入力してください。"));
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(parent, &owner);
}

void TestTemplateDialog::dataExchange_data()
{
    QTest::addColumn<int>("templateId");
    QTest::addColumn<QString>("first");  // port (serial) or period (I/O)
    QTest::addColumn<QString>("second"); // trap time (I/O)
    QTest::addColumn<int>("message");    // 0: none
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("focusId");
    QTest::addColumn<qint64>("firstValue");
    QTest::addColumn<qint64>("secondValue");

    const QString notInt = U("整数を入力してください。");
    const QString notUint = U("正の整数を入力してください。");
    const auto range = [](int min, int max) {
        return U("%1 から %2 までの整数を入力してください。").arg(min).arg(max);
    };
    // The serial dialog's port field; a text that does not parse leaves the member at 21347.
    const auto port = [](const char* name, const char* text, int message, const QString& shown,
                         qint64 value) {
        QTest::newRow(name) << IDD_SERIAL_CONFIG << U(text) << QString() << message << shown
                            << (message ? 1024 : 0) << value << 0ll;
    };
    // The I/O dialog's period and trap time; the members start at 100 and 7.
    const auto io = [](const char* name, const char* period, const char* trapTime, int message,
                       const QString& shown, int focusId, qint64 periodValue, qint64 trapTimeValue) {
        QTest::newRow(name) << IDD_GPIO_CONFIG << U(period) << U(trapTime) << message << shown << focusId
                            << periodValue << trapTimeValue;
    };

    port("port ok", "1024", 0, {}, 1024);
    port("port upper bound", " 65535\t", 0, {}, 65535);
    port("port too large is stored, then refused", "65536", IDS_PARSE_INT_RANGE, range(1024, 65535), 65536);
    port("port too small", "1023", IDS_PARSE_INT_RANGE, range(1024, 65535), 1023);
    port("negative port", "-1", IDS_PARSE_INT_RANGE, range(1024, 65535), -1);
    port("port text", "abc", IDS_PARSE_INT, notInt, 21347);
    port("port empty", "", IDS_PARSE_INT, notInt, 21347);

    io("io ok", "10", "0", 0, {}, 0, 10, 0);
    io("io upper bounds", "1000", "604800000", 0, {}, 0, 1000, 604800000);
    io("period too small", "9", "0", IDS_PARSE_INT_RANGE, range(10, 1000), 1017, 9, 7);
    io("period too large", "1001", "0", IDS_PARSE_INT_RANGE, range(10, 1000), 1017, 1001, 7);
    io("period text", "abc", "0", IDS_PARSE_UINT, notUint, 1017, 100, 7);
    io("period negative", "-5", "0", IDS_PARSE_UINT, notUint, 1017, 100, 7);
    io("trap time too large", "100", "604800001", IDS_PARSE_INT_RANGE, range(0, 604800000), 1023, 100,
       604800001);
    io("only the first failure is reported", "abc", "xyz", IDS_PARSE_UINT, notUint, 1017, 100, 7);
}

void TestTemplateDialog::dataExchange()
{
    QFETCH(int, templateId);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, message);
    QFETCH(QString, text);
    QFETCH(int, focusId);
    QFETCH(qint64, firstValue);
    QFETCH(qint64, secondValue);

    ExchangeDialog dialog(templateId);
    const bool serial = templateId == IDD_SERIAL_CONFIG;
    dialog.Edit(serial ? 1024 : 1017)->setText(first);
    if (!serial)
        dialog.Edit(1023)->setText(second);

    RecordedMessages messages;
    QCOMPARE(dialog.UpdateData(true), message == 0);
    QCOMPARE(messages.Ids(), message ? QList<int>{message} : QList<int>());
    if (message) {
        const ShownMessage& m = messages.All().front();
        QCOMPARE(m.text, text);
        QCOMPARE(m.icon, QMessageBox::Warning);
        QCOMPARE(m.owner.data(), &dialog);
        QLineEdit* field = dialog.Edit(focusId);
        QCOMPARE(dialog.focusWidget(), field);
        QCOMPARE(field->selectedText(), field->text());
    }
    if (serial) {
        QCOMPARE(qint64(dialog.port), firstValue);
    } else {
        QCOMPARE(qint64(dialog.period), firstValue);
        QCOMPARE(qint64(dialog.trapTime), secondValue);
    }
}

void TestTemplateDialog::dataExchangeLoadsFields()
{
    RecordedMessages messages;
    ExchangeDialog io(IDD_GPIO_CONFIG);
    io.period = 5000; // out of range: showing never checks
    QVERIFY(io.UpdateData(false));
    QCOMPARE(io.Edit(1017)->text(), QStringLiteral("5000"));
    QCOMPARE(io.Edit(1023)->text(), QStringLiteral("7"));

    ExchangeDialog serial(IDD_SERIAL_CONFIG);
    serial.port = -3;
    QVERIFY(serial.UpdateData(false));
    QCOMPARE(serial.Edit(1024)->text(), QStringLiteral("-3"));
    QCOMPARE(messages.Count(), 0);
}

QTEST_MAIN(TestTemplateDialog)
#include "tst_CTemplateDialog.moc"
