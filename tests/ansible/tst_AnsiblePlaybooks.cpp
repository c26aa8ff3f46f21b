// The collection as its users run it: ansible-playbook with the example playbook on two sites of
// simulated boards, on the product's ports. Runs only in a private network namespace
// (scripts/netns-run). The functions run in order: each run starts from what the one before left.
#include "tests/ansible/AnsibleProcess.h"
#include "tests/support/SimProcess.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

namespace {

const QString kSource = QStringLiteral(LANFINCH_SOURCE_DIR);

QString Source(const char* path)
{
    return kSource + QLatin1Char('/') + QLatin1String(path);
}

// What reached the boards since the log had `logged` entries: the set-address requests by MAC and
// the SNMP SETs by the address of the board they went to.
struct Writes
{
    QStringList setAddress;
    QStringList snmpSets;
};

} // namespace

class tst_AnsiblePlaybooks : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void checkModeReportsAndSendsNothing();
    void firstRunChangesTheBoards();
    void secondRunChangesNothing();
    void silentBoardFailsOnlyItself();
    void modulesReportAsAnsibleExpects();

  private:
    AnsibleProcess::Result Playbook(const QStringList& arguments);
    Writes WritesSince(qsizetype logged) const;
    void VerifyRecap(const AnsibleProcess::Result& run, const QMap<QString, QString>& expected);

    SimProcess m_sim;
    AnsibleProcess m_ansible{QStringLiteral(LANFINCH_ANSIBLE_WORK)};
    QString m_playbook;
};

void tst_AnsiblePlaybooks::initTestCase()
{
    QVERIFY2(RunningInPrivateNetns(), "run through scripts/netns-run");
    QString error;
    m_playbook = AnsibleProcess::Find(QStringLiteral("ansible-playbook"), error);
    QVERIFY2(!m_playbook.isEmpty(), qPrintable(error));
    QVERIFY(m_ansible.IsValid());
    // The example playbook finds lanfinch-cli on PATH, as on a site host.
    m_ansible.PrependPath(QStringLiteral(LANFINCH_CLI_DIR));

    const QJsonObject silent{{QStringLiteral("silent"), true}};
    QJsonObject sharingMac = SimBoard(14);
    sharingMac.insert(QStringLiteral("ip"), QStringLiteral("127.0.0.114"));
    // Boards that answer a while after the request, as real ones may: long enough for the search of
    // another fork to start meanwhile and take the replies, unless the searches take turns.
    const QJsonObject slow{{QStringLiteral("replyDelayMs"), 300}};
    const QJsonObject refusing{{QStringLiteral("refuseSets"), true}};
    QJsonArray boards{SimBoard(2, slow), SimBoard(3, slow), SimBoard(4, slow)};
    boards << SimBoard(6, {{QStringLiteral("silent"), true}, {QStringLiteral("snmp"), silent}}) << SimBoard(7)
           << SimBoard(8, {{QStringLiteral("snmp"), refusing}}) << SimBoard(14) << sharingMac;
    QVERIFY(m_sim.StartOnProductPorts(boards));
}

void tst_AnsiblePlaybooks::cleanupTestCase()
{
    QVERIFY(m_sim.Stop());
}

AnsibleProcess::Result tst_AnsiblePlaybooks::Playbook(const QStringList& arguments)
{
    // Forks as many as the boards, so that their searches on one site host run side by side.
    const AnsibleProcess::Result run = m_ansible.Run(
        m_playbook, QStringList{QStringLiteral("--forks=5"), QStringLiteral("-i"),
                                Source("tests/ansible/inventory.yml"), QStringLiteral("-e"),
                                QStringLiteral("board_settings=") + Source("tests/ansible/line.json")} +
                        arguments);
    // The transcript, for the log of a failing run and for whoever wants to see what users see.
    qInfo().noquote() << run.output;
    return run;
}

Writes tst_AnsiblePlaybooks::WritesSince(qsizetype logged) const
{
    Writes writes{m_sim.SetAddressMacs(logged), m_sim.SnmpSets(QStringLiteral("board"), logged)};
    writes.setAddress.sort();
    writes.snmpSets.removeDuplicates();
    writes.snmpSets.sort();
    return writes;
}

void tst_AnsiblePlaybooks::VerifyRecap(const AnsibleProcess::Result& run,
                                       const QMap<QString, QString>& expected)
{
    const QMap<QString, QString> recap = PlayRecap(run.output);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(recap.value(it.key()) == it.value(),
                 qPrintable(
                     QStringLiteral("%1: %2, expected %3").arg(it.key(), recap.value(it.key()), it.value())));
    QCOMPARE(recap.keys(), expected.keys());
}

namespace {

const QString kSiteHost = QStringLiteral("ok=2 changed=0 unreachable=0 failed=0");

QMap<QString, QString> Recap(const QString& boards, const QStringList& more = {})
{
    QMap<QString, QString> recap{{QStringLiteral("north-gw"), kSiteHost},
                                 {QStringLiteral("south-gw"), kSiteHost},
                                 {QStringLiteral("north-line1"), boards},
                                 {QStringLiteral("north-line2"), boards},
                                 {QStringLiteral("south-spare"), boards}};
    for (qsizetype i = 0; i + 1 < more.size(); i += 2)
        recap.insert(more[i], more[i + 1]);
    return recap;
}

} // namespace

// Both tasks of every board would change something: the diff says what; nothing is written.
void tst_AnsiblePlaybooks::checkModeReportsAndSendsNothing()
{
    const qsizetype logged = m_sim.LogEntries().size();
    const AnsibleProcess::Result run =
        Playbook({Source("ansible/examples/site.yml"), QStringLiteral("--check"), QStringLiteral("--diff")});
    QCOMPARE(run.exitCode, 0);
    VerifyRecap(run, Recap(QStringLiteral("ok=2 changed=2 unreachable=0 failed=0")));
    for (const char* line :
         {"-    \"gateway\": null,", "+    \"gateway\": \"127.0.0.1\",", "-    \"dhcp\": false,",
          "+    \"dhcp\": true,", "-    \"serial.bitrate\": 9600,", "+    \"serial.bitrate\": 115200,",
          "+    \"gpio.port3.mode\": \"INPUT\","})
        QVERIFY2(run.output.contains(QLatin1String(line)), line);
    const Writes writes = WritesSince(logged);
    QCOMPARE(writes.setAddress, QStringList());
    QCOMPARE(writes.snmpSets, QStringList());
}

void tst_AnsiblePlaybooks::firstRunChangesTheBoards()
{
    const qsizetype logged = m_sim.LogEntries().size();
    const AnsibleProcess::Result run = Playbook({Source("ansible/examples/site.yml")});
    QCOMPARE(run.exitCode, 0);
    VerifyRecap(run, Recap(QStringLiteral("ok=2 changed=2 unreachable=0 failed=0")));
    const Writes writes = WritesSince(logged);
    QCOMPARE(writes.setAddress,
             (QStringList{QStringLiteral("02:4c:46:00:53:02"), QStringLiteral("02:4c:46:00:53:03"),
                          QStringLiteral("02:4c:46:00:53:04")}));
    QCOMPARE(writes.snmpSets, (QStringList{QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3"),
                                           QStringLiteral("127.0.0.4")}));
}

// Every board has its settings now: nothing changed, nothing written.
void tst_AnsiblePlaybooks::secondRunChangesNothing()
{
    const qsizetype logged = m_sim.LogEntries().size();
    const AnsibleProcess::Result run =
        Playbook({Source("ansible/examples/site.yml"), QStringLiteral("--diff")});
    QCOMPARE(run.exitCode, 0);
    VerifyRecap(run, Recap(QStringLiteral("ok=2 changed=0 unreachable=0 failed=0")));
    const Writes writes = WritesSince(logged);
    QCOMPARE(writes.setAddress, QStringList());
    QCOMPARE(writes.snmpSets, QStringList());
}

void tst_AnsiblePlaybooks::silentBoardFailsOnlyItself()
{
    const AnsibleProcess::Result run = Playbook(
        {QStringLiteral("-i"), Source("tests/ansible/silent.yml"), Source("ansible/examples/site.yml")});
    // ansible-playbook's status when a host failed.
    QCOMPARE(run.exitCode, 2);
    VerifyRecap(run, Recap(QStringLiteral("ok=2 changed=0 unreachable=0 failed=0"),
                           {QStringLiteral("north-silent"),
                            QStringLiteral("ok=0 changed=0 unreachable=0 failed=1")}));
    QVERIFY(
        run.output.contains(QLatin1String("02:4c:46:00:53:06: no board with this MAC answered the search")));
}

// The playbook asserts each result itself; here it must have got through without a failure.
void tst_AnsiblePlaybooks::modulesReportAsAnsibleExpects()
{
    const qsizetype logged = m_sim.LogEntries().size();
    const AnsibleProcess::Result run = Playbook(
        {Source("tests/ansible/modules.yml"), QStringLiteral("-e"),
         QStringLiteral("lanfinch_cli=") + QStringLiteral(LANFINCH_CLI_DIR) + QStringLiteral("/lanfinch-cli"),
         QStringLiteral("-e"), QStringLiteral("matching_document=") + Source("tests/ansible/defaults.json")});
    QCOMPARE(run.exitCode, 0);
    const QString recap = PlayRecap(run.output).value(QStringLiteral("north-gw"));
    QVERIFY2(recap.endsWith(QLatin1String(" failed=0")), qPrintable(recap));
    // Only the board that refuses them got SETs.
    QCOMPARE(WritesSince(logged).snmpSets, QStringList{QStringLiteral("127.0.0.8")});
}

QTEST_GUILESS_MAIN(tst_AnsiblePlaybooks)
#include "tst_AnsiblePlaybooks.moc"
