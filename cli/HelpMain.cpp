// lanfinch-cli's --help and --version, and nothing else: what help2man makes the manual page from
// at build time. It links no part of the tool that talks to a network, so the build may run it
// outside a private network namespace.
#include "cli/HelpText.h"

#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QTextStream out(stdout);
    if (const std::optional<CliStatus> status = AnswerHelpOrVersion(arguments, out))
        return static_cast<int>(*status);
    QTextStream(stderr) << ProgramName() << ": this build-time copy answers only --help and --version\n";
    return static_cast<int>(CliStatus::BadInput);
}
