#include "cli/Cli.h"
#include "cli/CliContext.h"
#include "snmpconfig/CSnmpAccess.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    // A tool without windows: its own access object, and no wait hook, so each request blocks.
    CSnmpAccess snmp;
    CliContext context{snmp, out, err, isatty(STDERR_FILENO) == 1};
    const CliStatus status = RunCli(application.arguments().mid(1), context);
    out.flush();
    err.flush();
    return static_cast<int>(status);
}
