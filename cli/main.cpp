#include "cli/Cli.h"
#include "cli/CliContext.h"
#include "core/SnmpLoop.h"

#include <QCoreApplication>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[])
{
    // A reader that goes away (a closed pipe) is a failed write to report, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    // A tool without windows: every board's requests on one loop, many boards at once.
    SnmpLoop snmp;
    CliContext context{snmp, out, err, isatty(STDERR_FILENO) == 1};
    const CliStatus status = RunCli(application.arguments().mid(1), context);
    return static_cast<int>(FinishOutput(status, out, stdout, err));
}
