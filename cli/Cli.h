#pragma once

#include "cli/CliStatus.h"

#include <QString>
#include <QStringList>

#include <cstdio>

class QTextStream;
struct CliContext;

// lanfinch-cli: arguments without the program name; returns the exit status.
CliStatus RunCli(const QStringList& arguments, CliContext& context);

// The end of the program's output: flushes out, which writes to file, and checks that everything
// written to either got through. If not, says so on err and returns status made at least
// CliStatus::OutputFailed, so that a document cut short never ends with status 0.
CliStatus FinishOutput(CliStatus status, QTextStream& out, std::FILE* file, QTextStream& err);
