#include "tests/ansible/AnsibleProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

QString TemplateIn(const QString& root)
{
    QDir().mkpath(root);
    return root + QStringLiteral("/run-XXXXXX");
}

} // namespace

AnsibleProcess::AnsibleProcess(const QString& workRoot) : m_dir(TemplateIn(workRoot))
{
    m_environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : m_environment.keys()) {
        if (name.startsWith(QLatin1String("ANSIBLE_")))
            m_environment.remove(name);
    }
    for (const char* folder : {"home", "tmp", "remote-tmp"})
        QDir().mkpath(Path(QLatin1String(folder)));
    QFile config(Path(QStringLiteral("ansible.cfg")));
    if (!config.open(QIODevice::WriteOnly))
        m_dir.remove();

    const auto set = [&](const char* name, const QString& value) {
        m_environment.insert(QLatin1String(name), value);
    };
    set("HOME", Path(QStringLiteral("home")));
    set("ANSIBLE_HOME", Path(QStringLiteral("home/.ansible")));
    set("ANSIBLE_CONFIG", config.fileName());
    set("ANSIBLE_LOCAL_TEMP", Path(QStringLiteral("tmp")));
    set("ANSIBLE_REMOTE_TEMP", Path(QStringLiteral("remote-tmp")));
    // The modules' lock file and their temporary files.
    set("TMPDIR", Path(QStringLiteral("tmp")));
    set("ANSIBLE_COLLECTIONS_PATH", QStringLiteral(LANFINCH_COLLECTIONS_PATH));
    set("ANSIBLE_COLLECTIONS_SCAN_SYS_PATH", QStringLiteral("false"));
    set("ANSIBLE_NOCOLOR", QStringLiteral("1"));
    set("ANSIBLE_RETRY_FILES_ENABLED", QStringLiteral("false"));
    // The collection is a link to the source tree: no __pycache__ there.
    set("PYTHONDONTWRITEBYTECODE", QStringLiteral("1"));
    // Ansible refuses to start without a UTF-8 locale.
    set("LC_ALL", QStringLiteral("C.UTF-8"));
}

QString AnsibleProcess::Find(const QString& program, QString& error)
{
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        error = QStringLiteral("%1 not found on PATH: ansible-core is not installed (scripts/install-deps "
                               "installs it: apt-get install ansible-core)")
                    .arg(program);
    return path;
}

void AnsibleProcess::PrependPath(const QString& directory)
{
    m_environment.insert(QStringLiteral("PATH"),
                         directory + QLatin1Char(':') + m_environment.value(QStringLiteral("PATH")));
}

AnsibleProcess::Result AnsibleProcess::Run(const QString& program, const QStringList& arguments,
                                           const QProcessEnvironment& extra, int timeoutMs) const
{
    QProcessEnvironment environment = m_environment;
    environment.insert(extra);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    Result result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
    result.output = QString::fromUtf8(process.readAll());
    if (process.exitStatus() == QProcess::NormalExit && process.error() != QProcess::FailedToStart)
        result.exitCode = process.exitCode();
    return result;
}

QMap<QString, QString> PlayRecap(const QString& output)
{
    static const QRegularExpression line(
        QStringLiteral(R"(^(\S+)\s+:\s+ok=(\d+)\s+changed=(\d+)\s+unreachable=(\d+)\s+failed=(\d+)\s)"));
    QMap<QString, QString> recap;
    const qsizetype start = output.lastIndexOf(QLatin1String("PLAY RECAP"));
    if (start < 0)
        return recap;
    for (const QString& text : output.mid(start).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            recap.insert(match.captured(1), QStringLiteral("ok=%1 changed=%2 unreachable=%3 failed=%4")
                                                .arg(match.captured(2), match.captured(3), match.captured(4),
                                                     match.captured(5)));
    }
    return recap;
}
