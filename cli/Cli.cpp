#include "cli/Cli.h"

#include "cli/CliContext.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/HelpText.h"

#include <QFileDevice>
#include <QTextStream>

#include <cerrno>
#include <cstring>

namespace {

struct Command
{
    const char* name;
    CommandRunner run;
};

const Command kCommands[] = {
    {"search", RunSearch}, {"set-ip", RunSetIp}, {"serial", RunSerial},       {"gpio", RunGpio},
    {"export", RunExport}, {"apply", RunApply},  {"inventory", RunInventory}, {"watch", RunWatch},
};

} // namespace

CliStatus RunCli(const QStringList& arguments, CliContext& context)
{
    if (const std::optional<CliStatus> answered = AnswerHelpOrVersion(arguments, context.out))
        return *answered;
    const QString first = arguments.value(0);
    for (const Command& command : kCommands) {
        if (first == QLatin1String(command.name))
            return command.run(arguments.mid(1), context);
    }
    if (first.isEmpty())
        context.err << ProgramName() << ": missing command\n";
    else
        context.err << ProgramName() << ": unknown command \"" << first << "\"\n";
    context.err << QStringLiteral("Try '%1 --help'.\n").arg(ProgramName());
    return CliStatus::BadInput;
}

CliStatus FinishOutput(CliStatus status, QTextStream& out, std::FILE* file, QTextStream& err)
{
    out.flush();
    // A failed write leaves the stream's status set for good, so one look sees every earlier one.
    QString reason;
    if (out.status() != QTextStream::Ok) {
        const auto* device = qobject_cast<const QFileDevice*>(out.device());
        reason = device ? device->errorString() : QStringLiteral("the write failed");
    } else if (std::fflush(file) != 0 || std::ferror(file)) {
        reason = QString::fromLocal8Bit(std::strerror(errno));
    }
    if (!reason.isEmpty()) {
        err << ProgramName() << ": writing to standard output failed: " << reason << '\n';
        status = Worst(status, CliStatus::OutputFailed);
    }
    err.flush();
    return status;
}
