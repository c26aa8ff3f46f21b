#pragma once

#include "cli/CliStatus.h"

#include <QString>
#include <QStringList>

#include <optional>

class QTextStream;

// What lanfinch-cli says about itself, apart from the commands: its name, its main help and its
// version. Kept apart so that the manual page can be made from them by a program that links
// nothing else.

// The program's name in messages and usage lines.
inline QString ProgramName()
{
    return QStringLiteral("lanfinch-cli");
}

// What --help prints (and what the manual page is made from).
QString MainHelpText();
// What --version prints.
QString VersionText();

// When the first argument asks for the main help or the version: prints it on out and returns the
// exit status. Otherwise nullopt.
std::optional<CliStatus> AnswerHelpOrVersion(const QStringList& arguments, QTextStream& out);
