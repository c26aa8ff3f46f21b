#pragma once

#include "cli/CliStatus.h"

#include <QString>
#include <QStringList>

struct CliContext;

// lanfinch-cli: arguments without the program name; returns the exit status.
CliStatus RunCli(const QStringList& arguments, CliContext& context);
