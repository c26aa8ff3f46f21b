#include "resources/AppIcon.h"
#include "resources/CIpAddressCtrl.h"
#include "resources/DialogBuilder.h"
#include "resources/ResourceIds.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <set>

namespace {

const int kTemplateIds[] = {IDD_NODE_LIST, IDD_WAIT_REPLY, IDD_IP_CONFIG, IDD_SERIAL_CONFIG, IDD_GPIO_CONFIG};

bool TakesFocus(const ControlTemplate& c)
{
    return c.kind != ControlKind::Label && c.kind != ControlKind::GroupBox &&
           c.kind != ControlKind::ProgressBar && !(c.style & CS_DISABLED);
}

bool HasExpectedClass(const ControlTemplate& c, QWidget* w)
{
    switch (c.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
        return qobject_cast<QPushButton*>(w);
    case ControlKind::ListView:
        return qobject_cast<QTreeWidget*>(w);
    case ControlKind::ProgressBar:
        return qobject_cast<QProgressBar*>(w);
    case ControlKind::Label:
        return qobject_cast<QLabel*>(w);
    case ControlKind::GroupBox:
        return qobject_cast<QGroupBox*>(w);
    case ControlKind::AutoCheckBox:
        return qobject_cast<QCheckBox*>(w);
    case ControlKind::Edit:
        return qobject_cast<QLineEdit*>(w);
    case ControlKind::DropDownList:
        return qobject_cast<QComboBox*>(w);
    case ControlKind::IpAddress:
        return qobject_cast<CIpAddressCtrl*>(w);
    }
    return false;
}

// The template id of the control that contains w, or 0.
int OwnerId(const QWidget* dialog, const QWidget* w)
{
    for (; w && w != dialog; w = w->parentWidget()) {
        if (w->parentWidget() == dialog && w->objectName().startsWith(u"ctl_"))
            return w->objectName().mid(4).toInt();
    }
    return 0;
}

} // namespace

class TestDialogBuilder : public QObject
{
    Q_OBJECT

  private slots:
    void mulDiv_data();
    void mulDiv();
    void baseUnitsFromFontMetrics();
    void pinnedPixels_data();
    void pinnedPixels();
    void controlsFoundByIdInsideTheWindow_data() { TemplateRows(); }
    void controlsFoundByIdInsideTheWindow();
    void windowFrame_data();
    void windowFrame();
    void tabOrderFollowsTemplate_data() { TemplateRows(); }
    void tabOrderFollowsTemplate();
    void numberFieldsShowWholeNumbers_data() { TemplateRows(); }
    void numberFieldsShowWholeNumbers();
    void controlKinds();
    void groupBoxesLetClicksThrough();

  private:
    static void TemplateRows();
    static bool HaveReferenceFont();
};

void TestDialogBuilder::TemplateRows()
{
    QTest::addColumn<int>("templateId");
    for (int id : kTemplateIds)
        QTest::addRow("template %d", id) << id;
}

bool TestDialogBuilder::HaveReferenceFont()
{
    return QFontInfo(DialogBuilder::DialogFont()).family() == u"IPAPGothic";
}

void TestDialogBuilder::mulDiv_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("expected");

    QTest::newRow("rounds down below half") << 7 << 7 << 4 << 12;   // 12.25
    QTest::newRow("rounds half up") << 6 << 7 << 4 << 11;           // 10.5
    QTest::newRow("rounds up above half") << 179 << 13 << 8 << 291; // 290.875
    QTest::newRow("negative half away from zero") << -6 << 7 << 4 << -11;
    QTest::newRow("negative divisor") << 6 << 7 << -4 << -11;
    QTest::newRow("exact") << 8 << 7 << 4 << 14;
    QTest::newRow("zero divisor") << 5 << 5 << 0 << -1;
    QTest::newRow("no intermediate overflow") << 2000000000 << 3 << 4 << 1500000000;
    QTest::newRow("result overflow") << 2000000000 << 4 << 3 << -1;
}

void TestDialogBuilder::mulDiv()
{
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, c);
    QFETCH(int, expected);
    QCOMPARE(DialogBuilder::MulDiv(a, b, c), expected);
}

void TestDialogBuilder::baseUnitsFromFontMetrics()
{
    const QFont font = DialogBuilder::DialogFont();
    QCOMPARE(font.pointSize(), 9);
    if (!HaveReferenceFont())
        QSKIP("IPAPGothic (fonts-ipafont-gothic) is not installed");
    // 12 px at the pinned 96 dpi; the alphabet is 369 px wide, (369 + 26) / 52 = 7.
    QCOMPARE(QFontInfo(font).pixelSize(), 12);
    QCOMPARE(DialogBuilder::BaseUnits(font), QSize(7, 13));
}

void TestDialogBuilder::pinnedPixels_data()
{
    QTest::addColumn<int>("templateId");
    QTest::addColumn<int>("controlId"); // 0: the dialog's client size
    QTest::addColumn<QRect>("pixels");

    QTest::newRow("main window size") << IDD_NODE_LIST << 0 << QRect(0, 0, 550, 323);
    QTest::newRow("wait dialog size") << IDD_WAIT_REPLY << 0 << QRect(0, 0, 327, 151);
    QTest::newRow("ip dialog size") << IDD_IP_CONFIG << 0 << QRect(0, 0, 305, 187);
    QTest::newRow("search button") << IDD_NODE_LIST << 1000 << QRect(12, 291, 88, 23);
    QTest::newRow("node list") << IDD_NODE_LIST << 1002 << QRect(12, 11, 522, 265);
    QTest::newRow("ip address control") << IDD_IP_CONFIG << 1004 << QRect(131, 41, 158, 24);
    QTest::newRow("progress bar") << IDD_WAIT_REPLY << 1003 << QRect(12, 62, 303, 23);
    // Wider than the template, for its caption.
    QTest::newRow("DHCP check box") << IDD_IP_CONFIG << 1008 << QRect(9, 8, 94, 16);
}

void TestDialogBuilder::pinnedPixels()
{
    QFETCH(int, templateId);
    QFETCH(int, controlId);
    QFETCH(QRect, pixels);
    if (!HaveReferenceFont())
        QSKIP("IPAPGothic (fonts-ipafont-gothic) is not installed");

    QDialog dialog;
    DialogBuilder::Build(&dialog, DialogTemplateById(templateId));
    if (controlId == 0) {
        QCOMPARE(dialog.size(), pixels.size());
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    } else {
        QWidget* w = DialogBuilder::FindControl(&dialog, controlId);
        QVERIFY(w);
        QCOMPARE(w->geometry(), pixels);
    }
}

void TestDialogBuilder::controlsFoundByIdInsideTheWindow()
{
    QFETCH(int, templateId);
    const DialogTemplate& tmpl = DialogTemplateById(templateId);
    QDialog dialog;
    DialogBuilder::Build(&dialog, tmpl);

    std::set<int> ids;
    for (const ControlTemplate& c : tmpl.controls) {
        if (c.id == kNoId)
            continue;
        QVERIFY2(ids.insert(c.id).second, qPrintable(QStringLiteral("duplicate id %1").arg(c.id)));
        QWidget* w = DialogBuilder::FindControl(&dialog, c.id);
        QVERIFY2(w, qPrintable(QStringLiteral("no control %1").arg(c.id)));
        QCOMPARE(w->objectName(), QStringLiteral("ctl_%1").arg(c.id));
        QVERIFY2(HasExpectedClass(c, w),
                 qPrintable(QStringLiteral("control %1 has the wrong class").arg(c.id)));
        QCOMPARE(w->isEnabled(), !(c.style & CS_DISABLED));
    }
    // Every control, labels and frames included, lies inside the client area.
    for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        QVERIFY2(
            dialog.rect().contains(w->geometry()),
            qPrintable(
                QStringLiteral("%1 '%2' sticks out").arg(w->objectName(), w->property("text").toString())));
    QVERIFY(!DialogBuilder::FindControl(&dialog, 4242));
    QVERIFY(!DialogBuilder::FindControl(&dialog, kNoId));
}

void TestDialogBuilder::windowFrame_data()
{
    QTest::addColumn<int>("templateId");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("minimizeBox");

    QTest::newRow("main") << IDD_NODE_LIST << QStringLiteral("Corvane-K1 Tool v1.0.2") << true;
    QTest::newRow("wait") << IDD_WAIT_REPLY << QString::fromUtf8("応答待ちﾀﾞｲｱﾛｸﾞ") << false;
    QTest::newRow("ip") << IDD_IP_CONFIG << QString::fromUtf8("IP設定ﾀﾞｲｱﾛｸﾞ") << false;
    QTest::newRow("serial") << IDD_SERIAL_CONFIG << QString::fromUtf8("ｼﾘｱﾙ通信ﾀﾞｲｱﾛｸﾞ") << false;
    QTest::newRow("gpio") << IDD_GPIO_CONFIG << QString::fromUtf8("汎用I/O設定ﾀﾞｲｱﾛｸﾞ") << false;
}

void TestDialogBuilder::windowFrame()
{
    QFETCH(int, templateId);
    QFETCH(QString, caption);
    QFETCH(bool, minimizeBox);

    QDialog dialog;
    DialogBuilder::Build(&dialog, DialogTemplateById(templateId));
    QCOMPARE(dialog.windowTitle(), caption);
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(flags.testFlag(Qt::WindowMinimizeButtonHint), minimizeBox);
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(QFontInfo(dialog.font()).pointSize(), 9);
}

void TestDialogBuilder::tabOrderFollowsTemplate()
{
    QFETCH(int, templateId);
    const DialogTemplate& tmpl = DialogTemplateById(templateId);
    QList<int> expected;
    for (const ControlTemplate& c : tmpl.controls) {
        if (TakesFocus(c))
            expected << c.id;
    }
    QVERIFY(!expected.isEmpty());

    QDialog dialog;
    DialogBuilder::Build(&dialog, tmpl);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    DialogBuilder::FindControl(&dialog, expected.first())->setFocus(Qt::TabFocusReason);

    QList<int> forward;
    for (qsizetype i = 0; i <= expected.size(); ++i) {
        forward << OwnerId(&dialog, QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(forward, expected + QList<int>{expected.first()});

    DialogBuilder::FindControl(&dialog, expected.first())->setFocus(Qt::TabFocusReason);
    QList<int> backward;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        backward.prepend(OwnerId(&dialog, QApplication::focusWidget()));
    }
    QCOMPARE(backward, expected);
}

// A field too narrow for its text scrolls it: with the cursor at the end, the start is out of sight.
void TestDialogBuilder::numberFieldsShowWholeNumbers()
{
    QFETCH(int, templateId);
    const DialogTemplate& tmpl = DialogTemplateById(templateId);
    QDialog dialog;
    DialogBuilder::Build(&dialog, tmpl);
    for (const ControlTemplate& c : tmpl.controls) {
        auto* field = qobject_cast<QLineEdit*>(DialogBuilder::FindControl(&dialog, c.id));
        for (char16_t digit = u'0'; field && digit <= u'9'; ++digit) {
            field->setText(QString(c.digits, QChar(digit)));
            const auto cursorX = [field](int position) {
                field->setCursorPosition(position);
                field->grab(); // painting scrolls the text to the cursor
                return field->inputMethodQuery(Qt::ImCursorRectangle).toRect().x();
            };
            const int shown = cursorX(c.digits) - cursorX(0);
            QVERIFY2(shown >= qRound(QFontMetricsF(field->font()).horizontalAdvance(field->text())),
                     qPrintable(QStringLiteral("field %1 scrolls %2").arg(c.id).arg(field->text())));
        }
    }
}

void TestDialogBuilder::controlKinds()
{
    QDialog ip;
    QWidget* def = DialogBuilder::Build(&ip, DialogTemplateById(IDD_IP_CONFIG));
    QCOMPARE(def, DialogBuilder::FindControl(&ip, IDOK));

    QDialog serial;
    QCOMPARE(DialogBuilder::Build(&serial, DialogTemplateById(IDD_SERIAL_CONFIG)), nullptr);
    auto* bitRate = qobject_cast<QComboBox*>(DialogBuilder::FindControl(&serial, SerialConfigIds::BitRate));
    QCOMPARE(bitRate->count(), 11);
    QCOMPARE(bitRate->currentIndex(), -1); // the dialog chooses the first selection
    // The template height includes the dropped list; the field keeps its natural height.
    QCOMPARE(bitRate->height(), bitRate->sizeHint().height());

    // The icon's images are embedded in a static library, which a linker may drop.
    const QList<QSize> sizes = AppIcon().availableSizes();
    QCOMPARE(sizes.size(), 3);
    for (int px : {16, 32, 48})
        QVERIFY(sizes.contains(QSize(px, px)));
}

void TestDialogBuilder::groupBoxesLetClicksThrough()
{
    // The IP dialog's frame comes last in its template, above the address controls it encloses.
    QDialog dialog;
    DialogBuilder::Build(&dialog, DialogTemplateById(IDD_IP_CONFIG));
    auto* ctrl = qobject_cast<CIpAddressCtrl*>(DialogBuilder::FindControl(&dialog, IpConfigIds::SubnetMask));
    QVERIFY(ctrl);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QLineEdit* field = ctrl->Field(1);
    const QPoint inDialog = field->mapTo(&dialog, field->rect().center());
    QCOMPARE(dialog.childAt(inDialog), field);
}

QTEST_MAIN(TestDialogBuilder)
#include "tst_DialogBuilder.moc"
