#include "cli/Cli.h"

#include "cli/CliContext.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/HelpText.h"

#include <QTextStream>

namespace {

struct Command
{
    const char* name;
    CommandRunner run;
};

const Command kCommands[] = {
    {"search", RunSearch}, {"set-ip", RunSetIp},  {"serial", RunSerial},
    {"gpio", RunGpio},     {"export", RunExport}, {"apply", RunApply},
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
