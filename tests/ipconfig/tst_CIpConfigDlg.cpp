#include "ipconfig/CIpConfigDlg.h"

#include "resources/CIpAddressCtrl.h"
#include "tests/ipconfig/IpConfigTestSupport.h"
#include "tests/support/RecordedMessages.h"
#include "resources/ResourceIds.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

Q_DECLARE_METATYPE(NetworkSettings)

namespace {

QString Describe(const NetworkSettings& s)
{
    return QStringLiteral("dhcp=%1 ip=%2 mask=%3 gw=%4")
        .arg(s.IsDhcp())
        .arg(QString::fromStdString(s.GetIpText()), QString::fromStdString(s.GetMaskText()),
             QString::fromStdString(s.GetGatewayText()));
}

CIpAddressCtrl* Address(CIpConfigDlg& dlg, int id)
{
    return dlg.Item<CIpAddressCtrl>(id);
}

QCheckBox* Check(CIpConfigDlg& dlg, int id)
{
    return dlg.Item<QCheckBox>(id);
}

QString AddressText(CIpConfigDlg& dlg, int id)
{
    QStringList parts;
    for (int i = 0; i < 4; ++i) {
        parts << Address(dlg, id)->Field(i)->text();
    }
    return parts.join(QLatin1Char('.'));
}

// "a.b.c.d" with any part possibly empty (a blank field).
void TypeAddress(CIpConfigDlg& dlg, int id, const QString& dotted)
{
    const QStringList parts = dotted.split(QLatin1Char('.'));
    Q_ASSERT(parts.size() == 4);
    for (int i = 0; i < 4; ++i) {
        Address(dlg, id)->Field(i)->setText(parts.at(i));
    }
}

// Shows the dialog modally, runs script inside its modal loop, and then cancels it unless the
// script ended it. Returns the modal result; ended tells whether the script's actions ended it.
int RunDialog(CIpConfigDlg& dlg, const std::function<void(CIpConfigDlg&)>& script, bool* ended = nullptr)
{
    bool ran = false;
    QTimer::singleShot(0, &dlg, [&] {
        ran = true;
        if (QApplication::activeModalWidget() != &dlg) {
            qWarning("the IP settings dialog is not the active modal window");
            dlg.EndDialog(-1);
            return;
        }
        script(dlg);
        if (ended) {
            *ended = dlg.IsEnded();
        }
        if (!dlg.IsEnded()) {
            dlg.Item<QPushButton>(IDCANCEL)->click();
        }
    });
    const int result = dlg.DoModal();
    if (!ran) {
        qWarning("the script never ran");
    }
    return result;
}

// The check boxes' states and which controls are enabled, as one comparable text:
// "D" / "-" for the DHCP box, "G" / "-" for the gateway box, then 1 or 0 for the enabled state of
// 1004, 1005, 1007 and 1009.
QString CurrentState(CIpConfigDlg& dlg)
{
    const auto on = [](bool b) { return QLatin1String(b ? "1" : "0"); };
    return QLatin1String(Check(dlg, IpConfigIds::UseDhcp)->isChecked() ? "D" : "-") +
           QLatin1String(Check(dlg, IpConfigIds::UseGateway)->isChecked() ? "G " : "- ") +
           on(Address(dlg, IpConfigIds::IpAddress)->isEnabled()) +
           on(Address(dlg, IpConfigIds::SubnetMask)->isEnabled()) +
           on(Address(dlg, IpConfigIds::Gateway)->isEnabled()) +
           on(Check(dlg, IpConfigIds::UseGateway)->isEnabled());
}

QStringList AllAddressTexts(CIpConfigDlg& dlg)
{
    return {AddressText(dlg, IpConfigIds::IpAddress), AddressText(dlg, IpConfigIds::SubnetMask),
            AddressText(dlg, IpConfigIds::Gateway)};
}

// Clicks check boxes by letter: D the DHCP box, G the gateway box. A disabled box ignores it.
void ClickBoxes(CIpConfigDlg& dlg, const QString& clicks)
{
    for (QChar c : clicks) {
        Check(dlg, c == QLatin1Char('D') ? IpConfigIds::UseDhcp : IpConfigIds::UseGateway)->click();
    }
}

// One enabling case: the held settings, check-box clicks, and the state they leave (see CurrentState).
void AddStateRow(const char* tag, const NetworkSettings& settings, const char* clicks, const char* state)
{
    QTest::newRow(tag) << settings << QString::fromLatin1(clicks) << QString::fromLatin1(state);
}

// One OK-button case: check-box clicks, addresses typed ("" leaves a control as shown, "a.b..d"
// leaves a field blank), more clicks, then OK.
void AddOkRow(const char* tag, const NetworkSettings& settings, const char* clicks, const char* ip,
              const char* mask, const char* gateway, const char* clicksAfter, int message,
              const NetworkSettings& result)
{
    QTest::newRow(tag) << settings << QString::fromLatin1(clicks) << QString::fromLatin1(ip)
                       << QString::fromLatin1(mask) << QString::fromLatin1(gateway)
                       << QString::fromLatin1(clicksAfter) << message << result;
}

const NetworkSettings kDhcp = Settings(1, "192.168.0.10", "255.255.255.0", "0.0.0.0");
const NetworkSettings kDhcpGw = Settings(1, "192.168.0.10", "255.255.255.0", "192.168.0.1");
const NetworkSettings kFixed = Settings(0, "192.168.0.10", "255.255.255.0", "192.168.0.1");
const NetworkSettings kFixedNoGw = Settings(0, "192.168.0.10", "255.255.255.0", "0.0.0.0");

} // namespace

class CIpConfigDlgTest : public QObject
{
    Q_OBJECT

  private slots:
    void cleanup();

    void enablingRules_data();
    void enablingRules();
    void okProcedure_data();
    void okProcedure();
    void leavingWithoutOkChangesNothing_data();
    void leavingWithoutOkChangesNothing();
};

void CIpConfigDlgTest::cleanup()
{
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void CIpConfigDlgTest::enablingRules_data()
{
    QTest::addColumn<NetworkSettings>("settings");
    QTest::addColumn<QString>("clicks");
    QTest::addColumn<QString>("state");

    // As the dialog opens.
    AddStateRow("dhcp, no gateway", kDhcp, "", "D- 0000");
    AddStateRow("dhcp with gateway", kDhcpGw, "", "DG 0000");
    // The flag is a number: any nonzero pattern, as a board may send it in either byte order.
    AddStateRow("dhcp flag in wire order", Settings(0x01000000, "10.1.2.3", "255.0.0.0", "0.0.0.0"), "",
                "D- 0000");
    AddStateRow("fixed with gateway", kFixed, "", "-G 1111");
    AddStateRow("fixed, no gateway", kFixedNoGw, "", "-- 1101");
    AddStateRow("all zero", NetworkSettings(), "", "-- 1101");
    // Clicks on the boxes.
    AddStateRow("dhcp on greys all", kFixed, "D", "DG 0000");
    AddStateRow("dhcp on and off, gateway checked", kFixed, "DD", "-G 1111");
    AddStateRow("dhcp on and off, gateway unchecked", kFixedNoGw, "DD", "-- 1101");
    AddStateRow("gateway box on", kFixedNoGw, "G", "-G 1111");
    AddStateRow("gateway box off", kFixed, "G", "-- 1101");
    AddStateRow("gateway box is dead while dhcp", kFixedNoGw, "DGD", "-- 1101");
    AddStateRow("dhcp off, gateway on", kDhcp, "DG", "-G 1111");
    AddStateRow("dhcp off keeps the gateway choice", kDhcpGw, "D", "-G 1111");
}

void CIpConfigDlgTest::enablingRules()
{
    QFETCH(NetworkSettings, settings);
    QFETCH(QString, clicks);

    CIpConfigDlg dlg;
    dlg.SetNetworkSettings(settings);
    QString state;
    QStringList shownBefore;
    QStringList shownAfter;
    QWidget* focus = nullptr;
    RunDialog(dlg, [&](CIpConfigDlg& d) {
        focus = d.focusWidget();
        shownBefore = AllAddressTexts(d);
        ClickBoxes(d, clicks);
        state = CurrentState(d);
        shownAfter = AllAddressTexts(d);
    });
    QTEST(state, "state");
    QCOMPARE(focus, dlg.GetDlgItem(IDOK));
    // The controls show the held addresses (0 as 0.0.0.0), greyed or not, and clicks keep them.
    const auto text = [](quint32 wire) { return QString::fromStdString(DottedText(wire)); };
    QCOMPARE(shownBefore, QStringList({text(settings.GetIpAddress()), text(settings.GetSubnetMask()),
                                       text(settings.GetGateway())}));
    QCOMPARE(shownAfter, shownBefore);
}

void CIpConfigDlgTest::okProcedure_data()
{
    QTest::addColumn<NetworkSettings>("settings");
    QTest::addColumn<QString>("clicks");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("clicksAfter");
    QTest::addColumn<int>("message"); // 0: none, the dialog ends with OK
    QTest::addColumn<NetworkSettings>("result");

    const NetworkSettings badHeld = Settings(0, "10.0.0.0", "255.0.255.0", "0.0.0.0");
    const auto dhcpOf = [](NetworkSettings s) {
        s.SetDhcp(1);
        return s;
    };

    // DHCP chosen: the held addresses go back unchecked, whatever the greyed controls show.
    AddOkRow("dhcp node, OK at once", kDhcp, "", "", "", "", "", IDS_NOT_CHANGED, kDhcp);
    AddOkRow("dhcp node, off and on again", kDhcp, "D", "10.9.9.9", "255.0.0.0", "", "D", IDS_NOT_CHANGED,
             kDhcp);
    AddOkRow("fixed to dhcp drops typed addresses", kFixed, "", "10.9.9.9", "255.0.0.0", "10.0.0.1", "D", 0,
             dhcpOf(kFixed));
    AddOkRow("fixed to dhcp with blank fields", kFixed, "", "...", "...", "...", "D", 0, dhcpOf(kFixed));
    AddOkRow("dhcp path applies no rule", badHeld, "D", "", "", "", "", 0, dhcpOf(badHeld));
    // Fixed addresses: blank fields, in control order.
    AddOkRow("ip blank before all else", kFixed, "", "192.168..1", "...", "...", "", IDS_NO_IP_ADDRESS,
             kFixed);
    AddOkRow("mask blank", kFixed, "", "", "255.255.255.", "...", "", IDS_NO_SUBNET_MASK, kFixed);
    AddOkRow("gateway blank, box checked", kFixed, "", "", "", ".168.0.1", "", IDS_NO_GATEWAY, kFixed);
    AddOkRow("gateway blank, box unchecked", kFixed, "G", "", "", "...", "", 0, kFixedNoGw);
    AddOkRow("dhcp turned off, ip blank", kDhcp, "D", "...", "", "", "", IDS_NO_IP_ADDRESS, kDhcp);
    // Fixed addresses: the rules' verdict reaches the operator.
    AddOkRow("bad ip", kFixed, "", "224.0.0.1", "255.0.255.0", "", "", IDS_BAD_IP_ADDRESS, kFixed);
    AddOkRow("gateway outside", kFixed, "", "", "", "192.168.1.1", "", IDS_BAD_GATEWAY, kFixed);
    AddOkRow("typed gateway ignored when unchecked", kFixed, "", "", "", "192.168.1.1", "G", 0, kFixedNoGw);
    // Changed or not.
    AddOkRow("fixed unchanged", kFixed, "", "", "", "", "", IDS_NOT_CHANGED, kFixed);
    AddOkRow("fixed retyped the same", kFixed, "", "192.168.0.10", "255.255.255.0", "192.168.0.1", "",
             IDS_NOT_CHANGED, kFixed);
    AddOkRow("new address", kFixed, "", "192.168.0.20", "", "", "", 0,
             Settings(0, "192.168.0.20", "255.255.255.0", "192.168.0.1"));
    AddOkRow("gateway 0.0.0.0 means none", kFixedNoGw, "G", "192.168.0.11", "", "0.0.0.0", "", 0,
             Settings(0, "192.168.0.11", "255.255.255.0", "0.0.0.0"));
    AddOkRow("dhcp off with the same addresses", kDhcp, "D", "", "", "", "", 0, kFixedNoGw);
    AddOkRow("wire-order dhcp flag off", Settings(0x01000000, "10.1.2.3", "255.0.0.0", "0.0.0.0"), "D", "",
             "", "", "", 0, Settings(0, "10.1.2.3", "255.0.0.0", "0.0.0.0"));
}

void CIpConfigDlgTest::okProcedure()
{
    QFETCH(NetworkSettings, settings);
    QFETCH(QString, clicks);
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(QString, gateway);
    QFETCH(QString, clicksAfter);
    QFETCH(int, message);
    QFETCH(NetworkSettings, result);

    RecordedMessages messages;
    CIpConfigDlg dlg;
    dlg.SetNetworkSettings(settings);
    bool ended = false;
    QStringList beforeOk;
    QStringList afterOk;
    NetworkSettings heldAfterMessage;
    const auto snapshot = [](CIpConfigDlg& d) { return AllAddressTexts(d) << CurrentState(d); };
    const int code = RunDialog(
        dlg,
        [&](CIpConfigDlg& d) {
            ClickBoxes(d, clicks);
            if (!ip.isEmpty()) {
                TypeAddress(d, IpConfigIds::IpAddress, ip);
            }
            if (!mask.isEmpty()) {
                TypeAddress(d, IpConfigIds::SubnetMask, mask);
            }
            if (!gateway.isEmpty()) {
                TypeAddress(d, IpConfigIds::Gateway, gateway);
            }
            ClickBoxes(d, clicksAfter);
            beforeOk = snapshot(d);
            d.Item<QPushButton>(IDOK)->click();
            afterOk = snapshot(d);
            heldAfterMessage = d.GetNetworkSettings();
        },
        &ended);

    if (message == 0) {
        QCOMPARE(messages.Ids(), QList<int>());
        QVERIFY(ended);
        QCOMPARE(code, IDOK);
    } else {
        QCOMPARE(messages.Ids(), QList<int>({message}));
        QCOMPARE(messages.All().front().owner.data(), &dlg);
        QVERIFY(!ended);
        QCOMPARE(afterOk, beforeOk);
        QCOMPARE(Describe(heldAfterMessage), Describe(settings));
        QCOMPARE(code, IDCANCEL);
    }
    QCOMPARE(Describe(dlg.GetNetworkSettings()), Describe(result));
}

void CIpConfigDlgTest::leavingWithoutOkChangesNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("cancel button") << "cancel";
    QTest::newRow("escape") << "esc";
    QTest::newRow("close box") << "close";
}

void CIpConfigDlgTest::leavingWithoutOkChangesNothing()
{
    QFETCH(QString, how);
    RecordedMessages messages;
    CIpConfigDlg dlg;
    dlg.SetNetworkSettings(kFixed);
    const int code = RunDialog(dlg, [&](CIpConfigDlg& d) {
        TypeAddress(d, IpConfigIds::IpAddress, QStringLiteral("192.168.0.99"));
        ClickBoxes(d, QStringLiteral("GD"));
        if (how == QLatin1String("cancel")) {
            d.Item<QPushButton>(IDCANCEL)->click();
        } else if (how == QLatin1String("esc")) {
            QTest::keyClick(&d, Qt::Key_Escape);
        } else {
            d.close();
        }
    });
    QCOMPARE(code, IDCANCEL);
    QCOMPARE(messages.Count(), 0);
    QCOMPARE(Describe(dlg.GetNetworkSettings()), Describe(kFixed));
}

QTEST_MAIN(CIpConfigDlgTest)
#include "tst_CIpConfigDlg.moc"
