// The collection describes itself as Ansible expects: ansible-doc renders every module, the
// documented options are those the module takes, and the examples are tasks Ansible accepts.
// Nothing here touches the network.
#include "tests/ansible/AnsibleProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

namespace {

const QString kCollection = QStringLiteral(LANFINCH_SOURCE_DIR "/ansible");

QStringList ModuleNames()
{
    QStringList names;
    for (const QString& file : QDir(kCollection + QStringLiteral("/plugins/modules"))
                                   .entryList({QStringLiteral("*.py")}, QDir::Files, QDir::Name))
        names << file.chopped(3);
    return names;
}

QString FullName(const QString& module)
{
    return QStringLiteral("lanfinch.boards.") + module;
}

// The interpreter of a script by its first line, as the kernel reads it: the program, and the rest
// of the line (if any) as its one argument. Empty without "#!".
QStringList Interpreter(const QString& firstLine)
{
    if (!firstLine.startsWith(QLatin1String("#!")))
        return {};
    const QString line = firstLine.mid(2).trimmed();
    const qsizetype end = line.indexOf(QRegularExpression(QStringLiteral("\\s")));
    if (end < 0)
        return line.isEmpty() ? QStringList() : QStringList{line};
    return {line.left(end), line.mid(end).trimmed()};
}

} // namespace

class tst_AnsibleDoc : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void interpreterOfAScript_data();
    void interpreterOfAScript();
    void rendersEachModule_data();
    void rendersEachModule();
    void examplesAreTasksAnsibleAccepts();

  private:
    QJsonObject Doc(const QString& module);
    QStringList TakenOptions(const QString& module);

    AnsibleProcess m_ansible{QStringLiteral(LANFINCH_ANSIBLE_WORK)};
    QString m_doc;
    QString m_playbook;
};

void tst_AnsibleDoc::initTestCase()
{
    QString error;
    m_doc = AnsibleProcess::Find(QStringLiteral("ansible-doc"), error);
    QVERIFY2(!m_doc.isEmpty(), qPrintable(error));
    m_playbook = AnsibleProcess::Find(QStringLiteral("ansible-playbook"), error);
    QVERIFY2(!m_playbook.isEmpty(), qPrintable(error));
    QVERIFY(m_ansible.IsValid());
    QCOMPARE(ModuleNames(),
             (QStringList{QStringLiteral("ip"), QStringLiteral("search"), QStringLiteral("settings")}));
}

QJsonObject tst_AnsibleDoc::Doc(const QString& module)
{
    const AnsibleProcess::Result run = m_ansible.Run(
        m_doc, {QStringLiteral("--json"), QStringLiteral("-t"), QStringLiteral("module"), FullName(module)});
    if (run.exitCode != 0)
        qWarning().noquote() << run.output;
    return QJsonDocument::fromJson(run.output.toUtf8()).object().value(FullName(module)).toObject();
}

void tst_AnsibleDoc::interpreterOfAScript_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("blank after #!") << QStringLiteral("#! /usr/bin/python3\n")
                                    << QStringList{QStringLiteral("/usr/bin/python3")};
    QTest::newRow("through env") << QStringLiteral("#!/usr/bin/env python3\n")
                                 << QStringList{QStringLiteral("/usr/bin/env"), QStringLiteral("python3")};
    QTest::newRow("the rest is one argument")
        << QStringLiteral("#!/usr/bin/python3\t-E -s \n")
        << QStringList{QStringLiteral("/usr/bin/python3"), QStringLiteral("-E -s")};
    QTest::newRow("no #!") << QStringLiteral("# /usr/bin/python3\n") << QStringList();
    QTest::newRow("#! alone") << QStringLiteral("#!\n") << QStringList();
}

void tst_AnsibleDoc::interpreterOfAScript()
{
    QFETCH(QString, line);
    QFETCH(QStringList, expected);
    QCOMPARE(Interpreter(line), expected);
}

void tst_AnsibleDoc::rendersEachModule_data()
{
    QTest::addColumn<QString>("module");
    for (const QString& module : ModuleNames())
        QTest::newRow(qPrintable(module)) << module;
}

// The module run by hand, with an option it does not take (so it ends before it would run
// anything, and a lanfinch-cli that is not there besides): Ansible reports every option it has.
QStringList tst_AnsibleDoc::TakenOptions(const QString& module)
{
    QFile arguments(m_ansible.Path(QStringLiteral("probe.json")));
    if (!arguments.open(QIODevice::WriteOnly) ||
        arguments.write(
            R"({"ANSIBLE_MODULE_ARGS": {"lanfinch_probe": true, "cli_path": "/nonexistent/lanfinch-cli",
                             "_ansible_check_mode": true}})") < 0)
        return {};
    arguments.close();
    // The interpreter that ansible-doc runs with has Ansible's module_utils.
    QFile script(m_doc);
    QStringList python =
        Interpreter(script.open(QIODevice::ReadOnly) ? QString::fromUtf8(script.readLine()) : QString());
    if (python.isEmpty()) {
        qWarning().noquote() << "no interpreter on the first line of" << m_doc;
        return {};
    }
    QProcessEnvironment collection;
    collection.insert(QStringLiteral("PYTHONPATH"), QStringLiteral(LANFINCH_COLLECTIONS_PATH));
    const QString program = python.takeFirst();
    const AnsibleProcess::Result run = m_ansible.Run(
        program,
        python << kCollection + QStringLiteral("/plugins/modules/") + module + QStringLiteral(".py")
               << arguments.fileName(),
        collection);
    const QJsonObject invocation =
        QJsonDocument::fromJson(run.output.toUtf8()).object().value(QStringLiteral("invocation")).toObject();
    QStringList names = invocation.value(QStringLiteral("module_args")).toObject().keys();
    if (names.isEmpty())
        qWarning().noquote() << run.output;
    names.removeOne(QStringLiteral("lanfinch_probe"));
    return names;
}

void tst_AnsibleDoc::rendersEachModule()
{
    QFETCH(QString, module);
    const AnsibleProcess::Result text =
        m_ansible.Run(m_doc, {QStringLiteral("-t"), QStringLiteral("module"), FullName(module)});
    QVERIFY2(text.exitCode == 0, qPrintable(text.output));
    for (const QString& part :
         {QStringLiteral("> ") + FullName(module).toUpper(), QStringLiteral("OPTIONS"),
          QStringLiteral("ATTRIBUTES"), QStringLiteral("EXAMPLES:"), QStringLiteral("RETURN VALUES:")})
        QVERIFY2(text.output.contains(part), qPrintable(part + QStringLiteral(" in:\n") + text.output));
    QVERIFY2(!text.output.contains(QLatin1String("WARNING")), qPrintable(text.output));

    const QJsonObject doc = Doc(module);
    const QJsonObject description = doc.value(QStringLiteral("doc")).toObject();
    const QJsonObject options = description.value(QStringLiteral("options")).toObject();
    QVERIFY(!doc.value(QStringLiteral("return")).toObject().isEmpty());
    QCOMPARE(TakenOptions(module), options.keys());
}

// Every module's examples as the tasks of one play: ansible-playbook --syntax-check resolves each
// module and checks each keyword.
void tst_AnsibleDoc::examplesAreTasksAnsibleAccepts()
{
    QString playbook = QStringLiteral("- hosts: localhost\n  gather_facts: false\n  tasks:\n");
    for (const QString& module : ModuleNames()) {
        const QString examples = Doc(module).value(QStringLiteral("examples")).toString();
        QVERIFY2(!examples.trimmed().isEmpty(), qPrintable(module));
        for (const QString& line : examples.split(QLatin1Char('\n')))
            playbook += QStringLiteral("    ") + line + QLatin1Char('\n');
    }
    QFile file(m_ansible.Path(QStringLiteral("examples.yml")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(playbook.toUtf8()) > 0);
    file.close();
    const AnsibleProcess::Result run =
        m_ansible.Run(m_playbook, {QStringLiteral("--syntax-check"), QStringLiteral("-i"),
                                   QStringLiteral("localhost,"), file.fileName()});
    QVERIFY2(run.exitCode == 0, qPrintable(run.output + playbook));
}

QTEST_GUILESS_MAIN(tst_AnsibleDoc)
#include "tst_AnsibleDoc.moc"
