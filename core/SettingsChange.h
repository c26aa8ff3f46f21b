#pragma once

#include "core/SettingsSchema.h"

#include <QList>

#include <optional>

// What a write is to change on a board: only the settings given; the rest are read from the board
// first and written back as they are. Pure data, with the checks a record passes before it is
// written and the comparison of what was written with what is read back. Any thread.
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

// The ports a change writes: the node-wide settings travel only in a port's request, so without
// ports, port 1 carries them.
QList<PortChange> PortsOf(const GpioChange& change);

// The first setting a record (or the given values) breaks; none when field is null.
struct SettingProblem
{
    const SettingField* field = nullptr;
    qint64 value = 0;
    // In range, but an INPUT port takes a trap time of 0 (no trap) or at least kMinInputTrapTime.
    bool inputTrapTime = false;

    explicit operator bool() const { return field != nullptr; }
};

// A record about to be written mixes given values with the board's; only what it writes counts.
SettingProblem CheckSerialRecord(const BoardSerial& serial);
SettingProblem CheckGpioRecord(const GpioSettings& settings);
// Given values alone, so that a contradiction is found before anything is sent.
SettingProblem CheckGpioValues(const SettingValues& values);

// A written setting whose read-back differs; read is empty when the board has none.
struct SettingDifference
{
    const SettingField* field;
    qint64 written;
    std::optional<qint64> read;
};
// A port number that was not written is not compared; an I/O port is compared only on what its
// mode writes.
QList<SettingDifference> SerialDifferences(const BoardSerial& written, const BoardSerial& read);
QList<SettingDifference> GpioDifferences(const GpioSettings& written, const GpioSettings& read);
