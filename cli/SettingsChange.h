#pragma once

#include "cli/SettingFields.h"
#include "core/GpioSettings.h"
#include "core/SettingsChange.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

// A board's settings as export reads them: serial, and every I/O port in order (port 1 carries the
// node-wide ones).
struct BoardReading
{
    BoardSerial serial;
    QList<std::pair<int, GpioSettings>> ports;
};

// KEY=VALUE words against the given fields; false with "KEY: reason" when a word is not one.
bool ParseAssignments(const QStringList& words, const QList<SettingField>& fields, SettingValues& values,
                      QString& error);
// An I/O port number 1..8 as typed.
std::optional<int> ParseGpioPort(const QString& text, QString& error);

// A settings document as `export` writes it, as ReadInputText gives it; every key is checked and
// unknown keys, keys given twice and numbers that are not whole are errors; a null port number is
// not given. The error names the line and column of a syntax error, or the path of the key
// ("gpio.ports[2].mode").
bool ParseSettingsDocument(const QByteArray& text, SettingsChange& change, QString& error);

// The document's sections.
QJsonObject SerialObject(const BoardSerial& serial);
QJsonObject GpioObject(const GpioSettings& node, const QList<std::pair<int, GpioSettings>>& ports);
// The document of a board read with all its ports: "serial", and "gpio" with the node-wide
// settings as port 1 reported them.
QJsonObject SettingsDocument(const BoardReading& board);

// A setting a record would break, as "key: reason".
QString ProblemText(const SettingProblem& problem);
// A written setting whose read-back differs, as "key: wrote X, read Y".
QString DifferenceText(const SettingDifference& difference);
