#include "tests/support/SimProcess.h"

#include <QMap>

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

#include <ifaddrs.h>
#include <net/if.h>
#include <signal.h>
#include <sys/prctl.h>

namespace {

constexpr int kStopTimeoutMs = 10000;

void Report(const QString& message)
{
    std::fprintf(stderr, "SimProcess: %s\n", message.toLocal8Bit().constData());
}

} // namespace

SimProcess::SimProcess(const QStringList& launcher) : m_launcher(launcher)
{
    // The simulator's stderr goes where the test's goes, so its complaints show in ctest output.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setProgram(launcher.isEmpty() ? QStringLiteral(LANFINCH_SIM_PATH) : launcher.front());
    // A test that crashes must not leave a simulator holding its ports.
    m_process.setChildProcessModifier([]() { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

SimProcess::~SimProcess()
{
    Stop();
}

bool SimProcess::Start(const QStringList& extraArgs, int timeoutMs)
{
    if (IsRunning()) {
        Report(QStringLiteral("already running"));
        return false;
    }
    if (!m_dir.isValid()) {
        Report(QStringLiteral("no temporary directory"));
        return false;
    }
    m_udpAddress.clear();
    m_udpPort = m_snmpPort = 0;
    m_boardCount = 0;

    QStringList arguments = extraArgs;
    arguments << QStringLiteral("--log") << LogPath();
    const auto hasOption = [&extraArgs](const QString& name) {
        return std::any_of(extraArgs.begin(), extraArgs.end(), [&name](const QString& argument) {
            return argument == name || argument.startsWith(name + QLatin1Char('='));
        });
    };
    if (!hasOption(QStringLiteral("--bind")))
        arguments << QStringLiteral("--bind") << QStringLiteral("127.0.0.1:0");
    if (!hasOption(QStringLiteral("--snmp-port")) && !hasOption(QStringLiteral("--no-snmp")))
        arguments << QStringLiteral("--snmp-port") << QStringLiteral("0");
    if (!m_launcher.isEmpty())
        arguments = m_launcher.mid(1) + QStringList{QStringLiteral(LANFINCH_SIM_PATH)} + arguments;
    m_process.setArguments(arguments);
    m_process.start();
    if (!m_process.waitForStarted(timeoutMs)) {
        Report(QStringLiteral("cannot start %1: %2").arg(m_process.program(), m_process.errorString()));
        return false;
    }

    static const QRegularExpression readyLine(
        QStringLiteral("^lanfinch-sim ready udp=([0-9.]+):(\\d+) snmp=(\\d+) boards=(\\d+)$"));
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_process.canReadLine()) {
        if (m_process.state() != QProcess::Running || deadline.hasExpired()) {
            Report(QStringLiteral("no ready line (%1)")
                       .arg(m_process.state() == QProcess::Running ? QStringLiteral("timed out")
                                                                   : QStringLiteral("it ended")));
            Stop();
            return false;
        }
        m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
    const QString line = QString::fromLatin1(m_process.readLine()).trimmed();
    const QRegularExpressionMatch match = readyLine.match(line);
    if (!match.hasMatch()) {
        Report(QStringLiteral("unexpected line: %1").arg(line));
        Stop();
        return false;
    }
    m_udpAddress = match.captured(1);
    m_udpPort = match.captured(2).toUShort();
    m_snmpPort = match.captured(3).toUShort();
    m_boardCount = match.captured(4).toInt();
    return true;
}

bool SimProcess::StartOnProductPorts(const QJsonArray& boards, int timeoutMs)
{
    const QString config = WriteConfig({{QStringLiteral("boards"), boards}});
    if (config.isEmpty()) {
        Report(QStringLiteral("cannot write the config"));
        return false;
    }
    return Start({QStringLiteral("--config"), config, QStringLiteral("--bind"),
                  QStringLiteral("0.0.0.0:22222"), QStringLiteral("--snmp-port"), QStringLiteral("161")},
                 timeoutMs);
}

bool SimProcess::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return m_udpPort != 0 && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    m_process.terminate();
    if (!m_process.waitForFinished(kStopTimeoutMs)) {
        Report(QStringLiteral("did not stop on SIGTERM; killed"));
        m_process.kill();
        m_process.waitForFinished(kStopTimeoutMs);
        return false;
    }
    const QByteArray extra = m_process.readAllStandardOutput();
    if (!extra.isEmpty()) {
        Report(QStringLiteral("wrote more than its ready line: %1").arg(QString::fromLocal8Bit(extra)));
        return false;
    }
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

bool SimProcess::IsRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

qint64 SimProcess::Pid() const
{
    return m_process.processId();
}

QList<QJsonObject> SimProcess::LogEntries() const
{
    QList<QJsonObject> entries;
    QFile file(LogPath());
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    while (!file.atEnd()) {
        const QJsonDocument document = QJsonDocument::fromJson(file.readLine());
        if (document.isObject())
            entries.append(document.object());
    }
    return entries;
}

QStringList SimProcess::SetAddressMacs(qsizetype from) const
{
    QStringList macs;
    for (const QJsonObject& entry : LogEntries().mid(from)) {
        if (entry.value(QStringLiteral("proto")).toString() == QLatin1String("node") &&
            entry.value(QStringLiteral("dir")).toString() == QLatin1String("in") &&
            entry.value(QStringLiteral("op")).toInt(-1) == 2)
            macs << entry.value(QStringLiteral("mac")).toString();
    }
    return macs;
}

QStringList SimProcess::SnmpSets(const QString& field, qsizetype from) const
{
    QStringList values;
    for (const QJsonObject& entry : LogEntries().mid(from)) {
        if (entry.value(QStringLiteral("snmp")).toString() == QLatin1String("set"))
            values << entry.value(field).toString();
    }
    return values;
}

QString SimProcess::LogPath() const
{
    return m_dir.filePath(QStringLiteral("sim-log.jsonl"));
}

QString SimProcess::WriteConfig(const QJsonObject& config)
{
    const QString path = m_dir.filePath(QStringLiteral("sim-config-%1.json").arg(++m_configCount));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(QJsonDocument(config).toJson()) < 0 || !file.flush())
        return {};
    return path;
}

QJsonObject SimBoard(int last, QJsonObject fields, const QString& macPrefix)
{
    fields.insert(QStringLiteral("mac"),
                  QStringLiteral("%1:%2").arg(macPrefix).arg(last, 2, 16, QLatin1Char('0')));
    fields.insert(QStringLiteral("ip"), QStringLiteral("127.0.0.%1").arg(last));
    return fields;
}

namespace {

// The interfaces that are up, by name, and whether each is a loopback one.
QMap<QString, bool> UpInterfaces()
{
    QMap<QString, bool> names;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return names;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if ((entry->ifa_flags & IFF_UP) != 0)
            names.insert(QString::fromLatin1(entry->ifa_name), (entry->ifa_flags & IFF_LOOPBACK) != 0);
    }
    ::freeifaddrs(list);
    return names;
}

} // namespace

bool RunningInPrivateNetns()
{
    if (qEnvironmentVariable("LANFINCH_NETNS") != QLatin1String("1"))
        return false;
    const QMap<QString, bool> up = UpInterfaces();
    return std::all_of(up.cbegin(), up.cend(), [](bool loopback) { return loopback; });
}

QSet<QString> InterfacesUp()
{
    const QStringList names = UpInterfaces().keys();
    return QSet<QString>(names.cbegin(), names.cend());
}
