#pragma once

#include "cli/CliStatus.h"
// How a command reads a file it is given: ReadInputText.
#include "cli/InputText.h"

#include <QStringList>

struct CliContext;

// The commands of lanfinch-cli. Each takes the arguments that follow its first word, prints its
// records on context.out and its errors on context.err, and returns the exit status.
CliStatus RunSearch(const QStringList& arguments, CliContext& context);
CliStatus RunSetIp(const QStringList& arguments, CliContext& context);
CliStatus RunSerial(const QStringList& arguments, CliContext& context);
CliStatus RunGpio(const QStringList& arguments, CliContext& context);
CliStatus RunExport(const QStringList& arguments, CliContext& context);
CliStatus RunApply(const QStringList& arguments, CliContext& context);
CliStatus RunInventory(const QStringList& arguments, CliContext& context);
CliStatus RunWatch(const QStringList& arguments, CliContext& context);

// A command whose first word is an action, get or set ("serial", "gpio"): runs that action with the
// arguments that follow it. setSyntax: what follows "set [options] IP" in the usage lines.
using CommandRunner = CliStatus (*)(const QStringList& arguments, CliContext& context);
CliStatus RunGetOrSet(const QString& command, const QStringList& arguments, CliContext& context,
                      CommandRunner get, CommandRunner set, const QString& setSyntax);

// A failure of one board, on stderr: "lanfinch-cli: 192.0.2.10: <message>".
void ReportBoardFailure(CliContext& context, const QString& board, const QString& message);
