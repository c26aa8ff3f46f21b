#pragma once

#include "core/GpioSettings.h"
#include "core/SerialSettings.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <span>

// The board's settings, one key each, as every front end knows them: what values each takes (the
// items of the settings dialogs' lists, with lanfinch-cli's names for them, or a range), and how
// they sit in the settings records. Values are held as they travel over SNMP: list positions,
// plain numbers, addresses in network byte order. Pure; any thread.
struct SettingField
{
    enum class Kind
    {
        Choice,  // a position in `choices`
        Number,  // minimum..maximum
        BitRate, // one of the bit-rate list, as the number itself
        Address, // an IPv4 address
    };

    QString key;
    Kind kind;
    QStringList choices;                      // lanfinch-cli's names of the items, in list order
    std::span<const char* const> dialogItems; // the dialog's items (UTF-8), the same positions
    bool numericChoices = false;              // the names are numbers (data bits, stop bits)
    qint64 minimum = 0;
    qint64 maximum = 0;
    bool mayBeAbsent = false; // a board may lack it (the port number)
};

// Values by key; a key that is absent was not given, or the board lacks that setting.
using SettingValues = QMap<QString, qint64>;

// A board's serial settings as read and written: the record, and whether the board has a port
// number at all (a board without one answers noSuchObject for it). Without one, the record's port
// number means nothing and none is written unless a change gives one.
struct BoardSerial
{
    SerialSettings settings;
    bool hasPort = true;
};

// The serial settings, in the order they are printed.
const QList<SettingField>& SerialFields();
// The I/O settings of the board as a whole (manager, period) and of one port.
const QList<SettingField>& GpioNodeFields();
const QList<SettingField>& GpioPortFields();
// Both, node-wide first.
const QList<SettingField>& GpioFields();
const SettingField* FindField(const QList<SettingField>& fields, const QString& key);

// Whether a value is one the field takes (a board may report others).
bool IsValidValue(const SettingField& field, qint64 value);
// The first field of `fields` whose value in values it does not take; nullptr when none.
const SettingField* FirstInvalidField(const QList<SettingField>& fields, const SettingValues& values);

// Without the port number when the board has none. Storing a port number gives the board one.
SettingValues SerialValues(const BoardSerial& serial);
void StoreSerialValues(const SettingValues& values, BoardSerial& serial);
// Node-wide and per-port fields of one port's record.
SettingValues GpioValues(const GpioSettings& settings);
void StoreGpioValues(const SettingValues& values, GpioSettings& settings);

// The keys of what a SET of an I/O port in that mode carries; empty for a mode without a SET.
QStringList WrittenGpioKeys(int32_t mode);
// Only the given keys of values.
SettingValues OnlyKeys(const SettingValues& values, const QStringList& keys);
