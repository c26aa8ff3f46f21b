#pragma once

#include "cli/SettingFields.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

struct GpioSettings;

// What a write is to change on a board: only the settings given; the rest are read from the
// board first and written back as they are. Pure data, checked while it is built.
struct PortChange
{
    int port = 1;
    SettingValues values;
};

struct GpioChange
{
    SettingValues node;      // manager, period
    QList<PortChange> ports; // none: port 1 carries the node-wide settings unchanged
};

struct SettingsChange
{
    std::optional<SettingValues> serial;
    std::optional<GpioChange> gpio;
};

// KEY=VALUE words against the given fields; false with "KEY: reason" when a word is not one.
bool ParseAssignments(const QStringList& words, const QList<SettingField>& fields, SettingValues& values,
                      QString& error);
// An I/O port number 1..8 as typed.
std::optional<int> ParseGpioPort(const QString& text, QString& error);

// A settings document as `export` writes it; every key is checked and unknown keys, keys given
// twice and numbers that are not whole are errors; a null port number is not given. The error
// names the line and column of a syntax error, or the path of the key ("gpio.ports[2].mode").
bool ParseSettingsDocument(const QByteArray& json, SettingsChange& change, QString& error);

// The document's sections.
QJsonObject SerialObject(const BoardSerial& serial);
QJsonObject GpioObject(const GpioSettings& node, const QList<std::pair<int, GpioSettings>>& ports);

// Checks of a record about to be written, which mixes given values with the board's: the first
// problem as "key: reason", or an empty text.
QString CheckSerialRecord(const BoardSerial& serial);
QString CheckGpioRecord(const GpioSettings& settings);
// Checks of the given values alone, so that a contradiction is found before anything is sent.
QString CheckGpioValues(const SettingValues& values);

// The written settings whose read-back differs, as "key: wrote X, read Y". A port number that was
// not written is not compared; an I/O port is compared only on what its mode writes.
QStringList SerialDifferences(const BoardSerial& written, const BoardSerial& read);
QStringList GpioDifferences(const GpioSettings& written, const GpioSettings& read);
