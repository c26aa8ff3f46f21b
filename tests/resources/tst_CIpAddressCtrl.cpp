#include "resources/CIpAddressCtrl.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

// A window with an edit before and after the control, to see where the focus goes.
struct Host
{
    QWidget window;
    QLineEdit* before = new QLineEdit(&window);
    CIpAddressCtrl* ctrl = new CIpAddressCtrl(&window);
    QLineEdit* after = new QLineEdit(&window);

    Host()
    {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(before);
        layout->addWidget(ctrl);
        layout->addWidget(after);
    }
};

// "a|b||" -> the four field texts.
static QStringList Fields(const char* bars)
{
    return QString::fromLatin1(bars).split(u'|');
}

class TestIpAddressCtrl : public QObject
{
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void typing_data();
    void typing();
    void addressRoundTrip_data();
    void addressRoundTrip();
    void blankFieldsCount();
    void paste_data();
    void paste();
    void disablingGreysAllFieldsAndKeepsThem();
    void tabTreatsControlAsOneStop();
    void editedSignalOnlyForOperator();

  private:
    QStringList Texts() const;
    // '\b' = Backspace, '<' = Left, '>' = Right; other characters are typed as they are.
    void Type(const QString& keys);

    Host* m_host = nullptr;
};

void TestIpAddressCtrl::init()
{
    m_host = new Host;
    m_host->window.show();
    QApplication::setActiveWindow(&m_host->window);
    QVERIFY(QTest::qWaitForWindowActive(&m_host->window));
    m_host->ctrl->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), m_host->ctrl->Field(0));
}

void TestIpAddressCtrl::cleanup()
{
    delete m_host;
    m_host = nullptr;
}

QStringList TestIpAddressCtrl::Texts() const
{
    QStringList texts;
    for (int i = 0; i < 4; ++i)
        texts << m_host->ctrl->Field(i)->text();
    return texts;
}

void TestIpAddressCtrl::Type(const QString& keys)
{
    for (QChar c : keys) {
        QWidget* target = QApplication::focusWidget();
        QVERIFY(target);
        if (c == u'\b')
            QTest::keyClick(target, Qt::Key_Backspace);
        else if (c == u'<')
            QTest::keyClick(target, Qt::Key_Left);
        else if (c == u'>')
            QTest::keyClick(target, Qt::Key_Right);
        else
            QTest::keyClick(target, c.toLatin1());
    }
}

void TestIpAddressCtrl::typing_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<int>("focusedField");

    QTest::newRow("dots") << QStringLiteral("1.2.3.4") << Fields("1|2|3|4") << 3;
    QTest::newRow("third digit advances") << QStringLiteral("192168001002") << Fields("192|168|001|002") << 3;
    QTest::newRow("dot after auto-advance is ignored")
        << QStringLiteral("192.168.0.1") << Fields("192|168|0|1") << 3;
    QTest::newRow("dot in empty field stays") << QStringLiteral("10..5") << Fields("10|5||") << 1;
    QTest::newRow("space advances like dot") << QStringLiteral("7 8") << Fields("7|8||") << 1;
    QTest::newRow("above 255 refused") << QStringLiteral("256") << Fields("25|||") << 0;
    QTest::newRow("300 refused at last digit") << QStringLiteral("300.1") << Fields("30|1||") << 1;
    QTest::newRow("letters refused") << QStringLiteral("1a2-b") << Fields("12|||") << 0;
    QTest::newRow("no fifth field") << QStringLiteral("1.2.3.4.5") << Fields("1|2|3|45") << 3;
    QTest::newRow("backspace walks back") << QStringLiteral("1.23\b\b\b9") << Fields("19|||") << 0;
    QTest::newRow("backspace at start of filled field") << QStringLiteral("1.2<\b\b") << Fields("|2||") << 0;
    QTest::newRow("left crosses to previous end") << QStringLiteral("1.34<<<5") << Fields("15|34||") << 0;
    QTest::newRow("right crosses to next start") << QStringLiteral("1.2<<>>9") << Fields("1|29||") << 1;
}

void TestIpAddressCtrl::typing()
{
    QFETCH(QString, keys);
    QFETCH(QStringList, fields);
    QFETCH(int, focusedField);

    Type(keys);
    QCOMPARE(Texts(), fields);
    QCOMPARE(QApplication::focusWidget(), m_host->ctrl->Field(focusedField));
}

void TestIpAddressCtrl::addressRoundTrip_data()
{
    QTest::addColumn<quint32>("address");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("zero shows 0.0.0.0") << 0u << Fields("0|0|0|0");
    QTest::newRow("first octet most significant") << 0xC0A80001u << Fields("192|168|0|1");
    QTest::newRow("all ones") << 0xFFFFFFFFu << Fields("255|255|255|255");
}

void TestIpAddressCtrl::addressRoundTrip()
{
    QFETCH(quint32, address);
    QFETCH(QStringList, fields);

    m_host->ctrl->SetAddress(address);
    QCOMPARE(Texts(), fields);
    quint32 read = 0x12345678;
    QCOMPARE(m_host->ctrl->GetAddress(read), 4);
    QCOMPARE(read, address);
}

void TestIpAddressCtrl::blankFieldsCount()
{
    quint32 address = 1;
    QCOMPARE(m_host->ctrl->GetAddress(address), 0);
    QCOMPARE(address, 0u);
    QVERIFY(m_host->ctrl->IsBlank());

    m_host->ctrl->SetAddress(0x0A010203);
    m_host->ctrl->Field(2)->clear();
    QCOMPARE(m_host->ctrl->GetAddress(address), 3);
    QCOMPARE(address, 0x0A010003u); // a blank field counts as 0

    m_host->ctrl->ClearAddress();
    QCOMPARE(m_host->ctrl->GetAddress(address), 0);
    QVERIFY(m_host->ctrl->IsBlank());
}

void TestIpAddressCtrl::paste_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<int>("pasteField");
    QTest::addColumn<QStringList>("fields");
    // Every case starts from 9.9.9.9 with the caret at the end of the pasted-into field.

    QTest::newRow("dotted fills all four") << QStringLiteral("10.1.2.3") << 0 << Fields("10|1|2|3");
    QTest::newRow("dotted from a later field")
        << QStringLiteral(" 172.16.0.9\n") << 2 << Fields("172|16|0|9");
    QTest::newRow("dotted with a gap") << QStringLiteral("1.2..4") << 0 << Fields("1|2||4");
    QTest::newRow("octet appended to field") << QStringLiteral("7") << 1 << Fields("9|97|9|9");
    QTest::newRow("octet that would exceed 255 refused") << QStringLiteral("99") << 1 << Fields("9|9|9|9");
    QTest::newRow("too large refused") << QStringLiteral("300") << 1 << Fields("9|9|9|9");
    QTest::newRow("three parts refused") << QStringLiteral("1.2.3") << 0 << Fields("9|9|9|9");
    QTest::newRow("octet above 255 refused") << QStringLiteral("1.2.3.999") << 0 << Fields("9|9|9|9");
}

void TestIpAddressCtrl::paste()
{
    QFETCH(QString, clipboard);
    QFETCH(int, pasteField);
    QFETCH(QStringList, fields);

    m_host->ctrl->SetAddress(0x09090909);
    QApplication::clipboard()->setText(clipboard);
    QLineEdit* field = m_host->ctrl->Field(pasteField);
    field->setFocus(Qt::MouseFocusReason);
    field->end(false);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(Texts(), fields);
}

void TestIpAddressCtrl::disablingGreysAllFieldsAndKeepsThem()
{
    m_host->ctrl->SetAddress(0xC0A80001);
    m_host->ctrl->setEnabled(false);
    for (int i = 0; i < 4; ++i)
        QVERIFY(!m_host->ctrl->Field(i)->isEnabled());
    QCOMPARE(Texts(), Fields("192|168|0|1"));
    quint32 address = 0;
    QCOMPARE(m_host->ctrl->GetAddress(address), 4);

    m_host->after->setFocus();
    QTest::keyClick(m_host->after, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), m_host->before); // a disabled control is no tab stop

    m_host->ctrl->setEnabled(true);
    QVERIFY(m_host->ctrl->Field(3)->isEnabled());
}

void TestIpAddressCtrl::tabTreatsControlAsOneStop()
{
    m_host->before->setFocus();
    QTest::keyClick(m_host->before, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), m_host->ctrl->Field(0));

    m_host->ctrl->Field(2)->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(m_host->ctrl->Field(2), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), m_host->after);

    QTest::keyClick(m_host->after, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), m_host->ctrl->Field(0));

    m_host->ctrl->Field(2)->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(m_host->ctrl->Field(2), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), m_host->before);
}

void TestIpAddressCtrl::editedSignalOnlyForOperator()
{
    QSignalSpy edited(m_host->ctrl, &CIpAddressCtrl::AddressEdited);
    m_host->ctrl->SetAddress(0x01020304);
    m_host->ctrl->ClearAddress();
    QCOMPARE(edited.count(), 0);
    Type(QStringLiteral("5"));
    QCOMPARE(edited.count(), 1);
}

QTEST_MAIN(TestIpAddressCtrl)
#include "tst_CIpAddressCtrl.moc"
