#include "cli/CommandLine.h"

#include "cli/AddressPlan.h"
#include "cli/BoardAddress.h"
#include "cli/CliContext.h"
#include "cli/Commands.h"
#include "cli/InputText.h"
#include "cli/SettingsChange.h"
#include "resources/TextParsers.h"

#include <QFile>
#include <QTextStream>

namespace {

const QString kHelp = QStringLiteral("help");
const QString kFormat = QStringLiteral("format");
const QString kVerify = QStringLiteral("verify");
const QString kJobs = QStringLiteral("jobs");

} // namespace

CommandLine::CommandLine(const QString& words, const QString& description) : m_words(words)
{
    m_parser.setApplicationDescription(description);
    m_parser.addOption({{QStringLiteral("h"), kHelp}, QStringLiteral("Show this help.")});
}

void CommandLine::AddFormatOption(const QString& choices)
{
    m_parser.addOption({kFormat, QStringLiteral("Output as %1.").arg(choices), QStringLiteral("FORMAT"),
                        QStringLiteral("table")});
    m_hasFormat = true;
}

void CommandLine::AddVerifyOption()
{
    m_parser.addOption(
        {kVerify, QStringLiteral("After the commit, read the settings back and compare them.")});
    m_hasVerify = true;
}

void CommandLine::AddJobsOption()
{
    m_parser.addOption({kJobs,
                        QStringLiteral("Work on up to N boards at once (default %1; 1: one after another).")
                            .arg(kDefaultJobs),
                        QStringLiteral("N")});
    m_hasJobs = true;
}

void CommandLine::AddPositional(const QString& name, const QString& description, const QString& syntax)
{
    m_parser.addPositionalArgument(name, description, syntax);
}

void CommandLine::AddBoardPositional()
{
    AddPositional(QStringLiteral("IP"), QStringLiteral("The board's IPv4 address."));
}

bool CommandLine::Verify() const
{
    return m_hasVerify && m_parser.isSet(kVerify);
}

std::optional<CliStatus> CommandLine::Parse(const QStringList& arguments, CliContext& context,
                                            qsizetype minPositional, qsizetype maxPositional)
{
    if (!m_parser.parse(QStringList{ProgramName()} + arguments))
        return Fail(context, m_parser.errorText());
    if (m_parser.isSet(kHelp)) {
        context.out << HelpText();
        context.out.flush();
        return CliStatus::Done;
    }
    const qsizetype count = m_parser.positionalArguments().size();
    if (count < minPositional)
        return Fail(context, QStringLiteral("missing arguments"));
    if (maxPositional >= 0 && count > maxPositional)
        return Fail(context, QStringLiteral("unexpected argument \"%1\"")
                                 .arg(m_parser.positionalArguments().at(maxPositional)));
    if (m_hasJobs && m_parser.isSet(kJobs)) {
        const std::optional<qint32> jobs = ParseSignedInt(m_parser.value(kJobs));
        if (!jobs || *jobs < 1 || *jobs > kMaxJobs)
            return Fail(context,
                        QStringLiteral("--jobs: expected a whole number from 1 to %1").arg(kMaxJobs));
        m_jobs = *jobs;
    }
    if (m_hasFormat) {
        const std::optional<OutputFormat> format = ParseOutputFormat(m_parser.value(kFormat));
        if (!format)
            return Fail(context, QStringLiteral("--format: expected table, json or csv"));
        m_format = *format;
    }
    return std::nullopt;
}

QString CommandLine::HelpText() const
{
    // QCommandLineParser starts with "Usage: <program> [options]"; the command's words belong there.
    QString text = m_parser.helpText();
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    const QString firstLine = text.left(lineEnd);
    const qsizetype options = firstLine.indexOf(QLatin1String(" [options]"));
    if (firstLine.startsWith(QLatin1String("Usage: ")) && options > 0)
        text.replace(0, options, QStringLiteral("Usage: %1 %2").arg(ProgramName(), m_words));
    return text;
}

CliStatus CommandLine::Fail(CliContext& context, const QString& message) const
{
    context.err << ProgramName() << ' ' << m_words << ": " << message << '\n'
                << QStringLiteral("Try '%1 %2 --help'.").arg(ProgramName(), m_words) << '\n';
    context.err.flush();
    return CliStatus::BadInput;
}

void ReportBoardFailure(CliContext& context, const QString& board, const QString& message)
{
    context.err << ProgramName() << ": " << board << ": " << message << '\n';
    context.err.flush();
}

std::optional<QString> CommandLine::BoardAddressAt(qsizetype index, CliContext& context) const
{
    QString error;
    std::optional<QString> address = ParseBoardAddress(Positional().value(index), error);
    if (!address)
        Fail(context, error);
    return address;
}

std::optional<QList<NodeInfo::MacAddress>> CommandLine::MacArguments(CliContext& context) const
{
    QList<NodeInfo::MacAddress> macs;
    QString error;
    for (const QString& text : Positional()) {
        const std::optional<NodeInfo::MacAddress> mac = ParseMacArgument(text, error);
        if (!mac) {
            Fail(context, error);
            return std::nullopt;
        }
        if (macs.contains(*mac)) {
            Fail(context, QStringLiteral("%1 is given twice").arg(MacText(*mac)));
            return std::nullopt;
        }
        macs << *mac;
    }
    return macs;
}

std::optional<QByteArray> CommandLine::ReadFile(const QString& path, CliContext& context) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Fail(context, QStringLiteral("%1: %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    return ReadInputText(file);
}

std::optional<SettingsChange> CommandLine::ReadSettingsFile(const QString& path, CliContext& context) const
{
    const std::optional<QByteArray> text = ReadFile(path, context);
    if (!text)
        return std::nullopt;
    SettingsChange change;
    QString error;
    if (!ParseSettingsDocument(*text, change, error)) {
        Fail(context, QStringLiteral("%1: %2").arg(path, error));
        return std::nullopt;
    }
    return change;
}

std::optional<QList<PlannedAddress>> CommandLine::ReadPlanFile(const QString& path, CliContext& context) const
{
    const std::optional<QByteArray> text = ReadFile(path, context);
    if (!text)
        return std::nullopt;
    QList<PlannedAddress> plan;
    QString error;
    if (!ParseAddressPlan(*text, plan, error)) {
        Fail(context, QStringLiteral("%1: %2").arg(path, error));
        return std::nullopt;
    }
    return plan;
}

CliStatus RunGetOrSet(const QString& command, const QStringList& arguments, CliContext& context,
                      CommandRunner get, CommandRunner set, const QString& setSyntax)
{
    const QString action = arguments.value(0);
    if (action == QLatin1String("get"))
        return get(arguments.mid(1), context);
    if (action == QLatin1String("set"))
        return set(arguments.mid(1), context);
    const QString usage = QStringLiteral("Usage: %1 %2 get [options] IP\n"
                                         "       %1 %2 set [options] IP %3\n"
                                         "See '%1 %2 get --help' and '%1 %2 set --help'.\n")
                              .arg(ProgramName(), command, setSyntax);
    if (action == QLatin1String("--help") || action == QLatin1String("-h")) {
        context.out << usage;
        return CliStatus::Done;
    }
    context.err << ProgramName() << " " << command << ": expected get or set\n" << usage;
    return CliStatus::BadInput;
}
