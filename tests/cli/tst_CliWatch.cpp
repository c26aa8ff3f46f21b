// lanfinch-cli watch, the commissioning station, against simulated boards that are plugged in over
// time (appearAfterMs). Runs only in a private network namespace (scripts/netns-run).
#include "tests/support/SimProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

const QString kSetBitRate = QStringLiteral("1.3.6.1.4.1.32473.1.4.2.10.0");
const QString kProfile = QStringLiteral(R"({"serial": {"bitrate": 57600}})");

// A board's MAC: this prefix and the last octet of its address.
const QString kMacPrefix = QStringLiteral("02:4c:46:00:20");

QString Mac(int last)
{
    return QStringLiteral("%1:%2").arg(kMacPrefix).arg(last, 2, 16, QLatin1Char('0'));
}

// Board `last` on 127.0.0.`last`, plugged in after appearMs.
QJsonObject Board(int last, int appearMs, QJsonObject extra = {})
{
    extra.insert(QStringLiteral("appearAfterMs"), appearMs);
    return SimBoard(last, extra, kMacPrefix);
}

QByteArray PlanLine(int last, int ip)
{
    return QStringLiteral("%1,127.0.0.%2,255.0.0.0\n").arg(Mac(last)).arg(ip).toLatin1();
}

QList<QJsonObject> JsonLines(const QByteArray& text)
{
    QList<QJsonObject> objects;
    for (const QByteArray& line : text.split('\n')) {
        if (!line.isEmpty())
            objects << QJsonDocument::fromJson(line).object();
    }
    return objects;
}

// "mac result ip" of each record, in their order.
QStringList Summary(const QList<QJsonObject>& records)
{
    QStringList lines;
    for (const QJsonObject& record : records)
        lines
            << QStringLiteral("%1 %2 %3")
                   .arg(
                       record.value(QStringLiteral("mac")).toString(),
                       record.value(QStringLiteral("result")).toString(),
                       record.value(QStringLiteral("now")).toObject().value(QStringLiteral("ip")).toString());
    return lines;
}

// One run of `lanfinch-cli watch`, its output read as it comes.
class Watch
{
  public:
    explicit Watch(const QStringList& arguments)
    {
        m_process.start(QStringLiteral(LANFINCH_CLI_PATH), QStringList{QStringLiteral("watch")} + arguments);
    }
    ~Watch()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    QList<QJsonObject> Records()
    {
        Read();
        return JsonLines(m_out);
    }
    const QByteArray& Out()
    {
        Read();
        return m_out;
    }
    const QString& Err()
    {
        Read();
        return m_err;
    }
    void Signal() { m_process.terminate(); }
    // The exit status, once it has ended by itself; -1 when it did not within the time.
    int Finish(int timeoutMs = 60000)
    {
        if (!m_process.waitForFinished(timeoutMs) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        Read();
        return m_process.exitCode();
    }

  private:
    void Read()
    {
        m_out += m_process.readAllStandardOutput();
        m_err += QString::fromUtf8(m_process.readAllStandardError());
    }

    QProcess m_process;
    QByteArray m_out;
    QString m_err;
};

} // namespace

class tst_CliWatch : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void boardsThatAppearAreCommissioned_data();
    void boardsThatAppearAreCommissioned();
    void refusedProfileIsRetried_data();
    void refusedProfileIsRetried();
    void resumedRunLeavesBoardsDoneAlone();
    void signalLetsBoardsInProgressFinish_data();
    void signalLetsBoardsInProgressFinish();

  private:
    bool StartSim(const QJsonArray& boards);
    QString WriteFile(const QString& name, const QByteArray& contents);
    QByteArray Journal() const;
    // From the log entry `logged` on: the set-address requests by MAC, and the boards SNMP SETs went to.
    QStringList SetAddressesSince(qsizetype logged) const;
    QStringList SetBoardsSince(qsizetype logged) const;

    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_CliWatch::initTestCase()
{
    QVERIFY2(RunningInPrivateNetns(), "run through scripts/netns-run");
}

void tst_CliWatch::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    WriteFile(QStringLiteral("profile.json"), kProfile.toUtf8());
}

void tst_CliWatch::cleanup()
{
    if (m_sim)
        QVERIFY(m_sim->Stop());
    m_sim.reset();
}

// Each test its own simulator, so that the boards appear counting from its start.
bool tst_CliWatch::StartSim(const QJsonArray& boards)
{
    m_sim = std::make_unique<SimProcess>();
    return m_sim->StartOnProductPorts(boards);
}

QString tst_CliWatch::WriteFile(const QString& name, const QByteArray& contents)
{
    QFile file(m_dir->filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return {};
    return file.fileName();
}

QByteArray tst_CliWatch::Journal() const
{
    QFile file(m_dir->filePath(QStringLiteral("journal.jsonl")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList tst_CliWatch::SetAddressesSince(qsizetype logged) const
{
    return m_sim->SetAddressMacs(logged);
}

// In the order of their first SET.
QStringList tst_CliWatch::SetBoardsSince(qsizetype logged) const
{
    QStringList boards = m_sim->SnmpSets(QStringLiteral("board"), logged);
    boards.removeDuplicates();
    return boards;
}

void tst_CliWatch::boardsThatAppearAreCommissioned_data()
{
    QTest::addColumn<QJsonArray>("boards");
    QTest::addColumn<QStringList>("arguments"); // {plan}: the plan below
    QTest::addColumn<QByteArray>("plan");
    QTest::addColumn<QByteArray>("journal"); // what an earlier run left
    QTest::addColumn<QStringList>("expected");

    // Plugged in 2 s apart, the lower MAC later; the first sits on 127.0.0.101.
    QJsonObject first = Board(0x10, 0);
    first.insert(QStringLiteral("ip"), QStringLiteral("127.0.0.101"));
    const QJsonArray boards{first, Board(0x11, 3500), Board(0x12, 1500)};
    const QString done = QStringLiteral("%1 done 127.0.0.%2");
    QJsonArray withOther = boards;
    withOther.append(Board(0x13, 0));
    QTest::newRow("a plan: in the order they appear, a board outside it left alone")
        << withOther << QStringList{QStringLiteral("--plan"), QStringLiteral("{plan}")}
        << QByteArray("mac,ip,mask,gateway\n" + PlanLine(0x10, 110) + PlanLine(0x11, 111) +
                      PlanLine(0x12, 112))
        << QByteArray()
        << QStringList{done.arg(Mac(0x10)).arg(110), done.arg(Mac(0x12)).arg(112),
                       done.arg(Mac(0x11)).arg(111)};
    // 127.0.0.100 was handed out by an earlier run, 127.0.0.101 is in use.
    const QByteArray earlier = QByteArrayLiteral(
        R"({"mac": "02:4c:46:00:20:99", "result": "failed", "status": 4,)"
        R"( "planned": {"ip": "127.0.0.100", "mask": "255.0.0.0", "gateway": null, "dhcp": false}})"
        "\n");
    QTest::newRow("--from: the next free address, in the order they appear")
        << boards
        << QStringList{QStringLiteral("--from=127.0.0.100"), QStringLiteral("--mask=255.0.0.0"),
                       QStringLiteral("--count=3")}
        << QByteArray() << earlier
        << QStringList{done.arg(Mac(0x10)).arg(102), done.arg(Mac(0x12)).arg(103),
                       done.arg(Mac(0x11)).arg(104)};
}

void tst_CliWatch::boardsThatAppearAreCommissioned()
{
    QFETCH(QJsonArray, boards);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, plan);
    QFETCH(QByteArray, journal);
    QFETCH(QStringList, expected);
    QVERIFY(StartSim(boards));
    arguments.replaceInStrings(QStringLiteral("{plan}"), WriteFile(QStringLiteral("plan.csv"), plan));
    WriteFile(QStringLiteral("journal.jsonl"), journal);

    Watch watch(arguments +
                QStringList{QStringLiteral("--profile"), m_dir->filePath(QStringLiteral("profile.json")),
                            QStringLiteral("--journal"), m_dir->filePath(QStringLiteral("journal.jsonl")),
                            QStringLiteral("--format=json")});
    QCOMPARE(watch.Finish(), 0);
    const QList<QJsonObject> records = watch.Records();
    QCOMPARE(Summary(records), expected);
    for (const QJsonObject& record : records) {
        const QJsonObject steps = record.value(QStringLiteral("steps")).toObject();
        QCOMPARE(steps.value(QStringLiteral("profile")).toObject().value(QStringLiteral("result")).toString(),
                 QStringLiteral("ok"));
    }
    QCOMPARE(JsonLines(Journal()).mid(journal.isEmpty() ? 0 : 1), records);
    // The profile went to each board at its new address, and nothing to a board the plan leaves out.
    QStringList addresses;
    for (const QString& line : expected)
        addresses << line.section(QLatin1Char(' '), 2);
    QCOMPARE(SetBoardsSince(0), addresses);
    QVERIFY(!SetAddressesSince(0).contains(Mac(0x13)));
}

void tst_CliWatch::refusedProfileIsRetried_data()
{
    QTest::addColumn<int>("retries");
    QTest::addColumn<bool>("withGoodBoard"); // plugged in after 2.5 s; the run stops once it is done
    QTest::addColumn<int>("earlier");        // failed tries that the journal holds
    QTest::addColumn<QString>("summary");

    QTest::newRow("given up after --retries")
        << 1 << false << 0 << QStringLiteral(": 0 done, 1 failed, 0 left");
    QTest::newRow("--count reached while it waits for its next try")
        << 5 << true << 0 << QStringLiteral("1 board done (--count): 1 done, 1 failed, 0 left");
    QTest::newRow("a resumed run goes on counting the journal's tries")
        << 2 << false << 1 << QStringLiteral(": 0 done, 1 failed, 0 left");
    QTest::newRow("given up in the journal: left alone, and no success")
        << 1 << false << 2
        << QStringLiteral("given up before (in the journal), left for the operator: 02:4c:46:00:20:20 (2 "
                          "attempts); a larger --retries tries them again");
}

// The board takes its settings but refuses every SET: the profile fails, is tried again at the
// board's next answer without a second set-address request, and counts as failed at the end.
void tst_CliWatch::refusedProfileIsRetried()
{
    QFETCH(int, retries);
    QFETCH(bool, withGoodBoard);
    QFETCH(int, earlier);
    QFETCH(QString, summary);
    QByteArray journal;
    for (int i = 0; i < earlier; ++i)
        journal +=
            QByteArrayLiteral(R"({"mac": "02:4c:46:00:20:20", "result": "failed", "status": 3,)"
                              R"( "planned": {"ip": "127.0.0.120", "mask": "255.0.0.0", "gateway": null,)"
                              R"( "dhcp": false}})"
                              "\n");
    WriteFile(QStringLiteral("journal.jsonl"), journal);
    QJsonArray boards{
        Board(0x20, 0, {{QStringLiteral("snmp"), QJsonObject{{QStringLiteral("refuseSets"), true}}}})};
    if (withGoodBoard)
        boards.append(Board(0x21, 2500));
    QVERIFY(StartSim(boards));
    const QString plan = WriteFile(QStringLiteral("plan.csv"),
                                   PlanLine(0x20, 120) + (withGoodBoard ? PlanLine(0x21, 121) : ""));
    QStringList arguments{QStringLiteral("--plan"),
                          plan,
                          QStringLiteral("--profile"),
                          m_dir->filePath(QStringLiteral("profile.json")),
                          QStringLiteral("--retries=%1").arg(retries),
                          QStringLiteral("--journal"),
                          m_dir->filePath(QStringLiteral("journal.jsonl")),
                          QStringLiteral("--format=json")};
    if (withGoodBoard)
        arguments << QStringLiteral("--count=1");
    Watch watch(arguments);
    QCOMPARE(watch.Finish(), 3);
    QList<QJsonObject> records = watch.Records();
    records.removeIf(
        [](const QJsonObject& record) { return record.value(QStringLiteral("mac")) != Mac(0x20); });
    const int tries = std::max(retries + 1 - earlier, 0);
    QVERIFY2(watch.Err().contains(summary), qPrintable(watch.Err()));
    QVERIFY(records.size() <= tries);
    if (tries == 0) {
        QVERIFY(SetAddressesSince(0).isEmpty());
        QVERIFY(SetBoardsSince(0).isEmpty());
        return;
    }
    QVERIFY(!records.isEmpty());
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QJsonObject& record = records[i];
        QCOMPARE(record.value(QStringLiteral("result")).toString(), QStringLiteral("failed"));
        QCOMPARE(record.value(QStringLiteral("attempt")).toInt(), earlier + i + 1);
        QCOMPARE(record.value(QStringLiteral("retry")).toBool(), earlier + i < retries);
        const QJsonObject steps = record.value(QStringLiteral("steps")).toObject();
        QCOMPARE(steps.value(QStringLiteral("ip")).toObject().value(QStringLiteral("result")).toString(),
                 i == 0 ? QStringLiteral("ok") : QStringLiteral("skipped"));
        QCOMPARE(steps.value(QStringLiteral("profile")).toObject().value(QStringLiteral("detail")).toString(),
                 QStringLiteral("writing serial settings: the board refused it (genErr)"));
    }
    QVERIFY(SetAddressesSince(0).count(Mac(0x20)) == 1);
    if (!withGoodBoard) {
        QCOMPARE(records.size(), tries);
        QVERIFY2(
            watch.Err().contains(QStringLiteral("02:4c:46:00:20:20: given up after %1 attempts; left for "
                                                "the operator")
                                     .arg(retries + 1)),
            qPrintable(watch.Err()));
    }
}

// A first station stops after two boards; a second one on the same journal does the third and
// sends nothing, on either protocol, to the two that are done.
void tst_CliWatch::resumedRunLeavesBoardsDoneAlone()
{
    QVERIFY(StartSim({Board(0x30, 0), Board(0x31, 0), Board(0x32, 2500)}));
    const QString plan = WriteFile(QStringLiteral("plan.csv"),
                                   PlanLine(0x30, 130) + PlanLine(0x31, 131) + PlanLine(0x32, 132));
    const QStringList common{QStringLiteral("--plan"),    plan,
                             QStringLiteral("--profile"), m_dir->filePath(QStringLiteral("profile.json")),
                             QStringLiteral("--journal"), m_dir->filePath(QStringLiteral("journal.jsonl"))};
    Watch first(common + QStringList{QStringLiteral("--count=2")});
    QCOMPARE(first.Finish(), 0);
    const QList<QByteArray> table = first.Out().trimmed().split('\n');
    QCOMPARE(table.size(), 3);
    QCOMPARE(table[0].simplified(), QByteArray("mac result had now ip profile time detail"));
    for (const QByteArray& row : table.mid(1))
        QVERIFY2(row.contains(" done ") && row.contains(" ok "), row.constData());

    const qsizetype logged = m_sim->LogEntries().size();
    Watch second(common + QStringList{QStringLiteral("--format=json")});
    QCOMPARE(second.Finish(), 0);
    QCOMPARE(Summary(second.Records()), QStringList{QStringLiteral("%1 done 127.0.0.132").arg(Mac(0x32))});
    QCOMPARE(SetAddressesSince(logged), QStringList{Mac(0x32)});
    QCOMPARE(SetBoardsSince(logged), QStringList{QStringLiteral("127.0.0.132")});
    QVERIFY2(second.Err().contains(
                 QStringLiteral("1 done, 0 failed, 0 left; 2 done before (in the journal) left alone")),
             qPrintable(second.Err()));
    QCOMPARE(JsonLines(Journal()).size(), 3);
}

void tst_CliWatch::signalLetsBoardsInProgressFinish_data()
{
    QTest::addColumn<int>("signalCount");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("journal"); // "mac result", in order
    QTest::addColumn<QString>("summary");

    QTest::newRow("one signal: the board in progress finishes")
        << 1 << 0 << QStringList{Mac(0x40) + QStringLiteral(" done"), Mac(0x41) + QStringLiteral(" done")}
        << QStringLiteral(
               "stopped by SIGTERM: 2 done, 0 failed, 1 left\n  left: 02:4c:46:00:20:42 (not seen)");
    QTest::newRow("a second signal abandons it")
        << 2 << 4
        << QStringList{Mac(0x40) + QStringLiteral(" done"), Mac(0x41) + QStringLiteral(" abandoned")}
        << QStringLiteral("stopped by SIGTERM: 1 done, 0 failed, 2 left");
}

// Board 0x41 answers its set-address request after 4 s; the signal comes while it waits.
void tst_CliWatch::signalLetsBoardsInProgressFinish()
{
    QFETCH(int, signalCount);
    QFETCH(int, exitCode);
    QFETCH(QStringList, journal);
    QFETCH(QString, summary);
    QVERIFY(StartSim({Board(0x40, 0), Board(0x41, 0, {{QStringLiteral("setAddressDelayMs"), 4000}}),
                      Board(0x42, 600000)}));
    const QString plan = WriteFile(QStringLiteral("plan.csv"),
                                   PlanLine(0x40, 140) + PlanLine(0x41, 141) + PlanLine(0x42, 142));
    Watch watch({QStringLiteral("--plan"), plan, QStringLiteral("--profile"),
                 m_dir->filePath(QStringLiteral("profile.json")), QStringLiteral("--journal"),
                 m_dir->filePath(QStringLiteral("journal.jsonl")), QStringLiteral("--format=json")});
    QVERIFY(QTest::qWaitFor([&]() { return watch.Records().size() == 1 && SetAddressesSince(0).size() == 2; },
                            20000));
    watch.Signal();
    if (signalCount == 2) {
        QVERIFY(QTest::qWaitFor([&]() { return watch.Err().contains(QStringLiteral("in progress finish")); },
                                10000));
        watch.Signal();
    }
    QCOMPARE(watch.Finish(), exitCode);
    QStringList journaled;
    for (const QJsonObject& record : JsonLines(Journal()))
        journaled << record.value(QStringLiteral("mac")).toString() + QLatin1Char(' ') +
                         record.value(QStringLiteral("result")).toString();
    QCOMPARE(journaled, journal);
    QCOMPARE(JsonLines(Journal()), watch.Records());
    QVERIFY2(watch.Err().contains(summary), qPrintable(watch.Err()));
    if (signalCount == 2)
        QVERIFY2(
            watch.Err().contains(QStringLiteral("a second signal (SIGTERM): abandoned 1 board in progress")),
            qPrintable(watch.Err()));
}

QTEST_GUILESS_MAIN(tst_CliWatch)
#include "tst_CliWatch.moc"
