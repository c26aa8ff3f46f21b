#pragma once

#include "snmpconfig/SerialSettings.h"

#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

struct GpioSettings;

// The board settings as lanfinch-cli names them: one key per setting, enumerations by the English
// names of the settings dialogs' lists, addresses as dotted text. Values are held as numbers as
// they travel over SNMP: list positions, plain numbers, addresses in network byte order.
struct SettingField
{
    enum class Kind
    {
        Choice,  // a position in `choices`
        Number,  // minimum..maximum
        BitRate, // one of the bit-rate list
        Address, // a complete dotted IPv4 address
    };

    QString key;
    Kind kind;
    QStringList choices;
    bool numericChoices = false; // the list items are numbers (data bits, stop bits)
    qint64 minimum = 0;
    qint64 maximum = 0;
    bool mayBeAbsent = false; // a board may lack it; null in a document means "not given"
};

// Values by key; a key that is absent was not given, or the board lacks that setting.
using SettingValues = QMap<QString, qint64>;

// A board's serial settings as read and written: the record, and whether the board has a port
// number at all (a board without one answers noSuchObject for it). Without one, the record's port
// number means nothing and none is written unless a command gives one.
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
const SettingField* FindField(const QList<SettingField>& fields, const QString& key);

// Parses a value as typed on the command line; nullopt with the reason in error otherwise.
std::optional<qint64> ParseFieldText(const SettingField& field, const QString& text, QString& error);
// A JSON number or string, read by the same rules as typed text.
std::optional<qint64> ParseFieldJson(const SettingField& field, const QJsonValue& value, QString& error);

// How a value is printed. A position outside the list (a board may report one) prints as
// "unknown(N)" and as null in JSON.
QString FieldText(const SettingField& field, qint64 value);
QJsonValue FieldJson(const SettingField& field, qint64 value);
// The field's value in values; one that values lacks (the board has none) prints as "none" and as
// null in JSON.
QString FieldText(const SettingField& field, const SettingValues& values);
QJsonValue FieldJson(const SettingField& field, const SettingValues& values);

// Without the port number when the board has none. Storing a port number gives the board one.
SettingValues SerialValues(const BoardSerial& serial);
void StoreSerialValues(const SettingValues& values, BoardSerial& serial);
// Node-wide and per-port fields of one port's record.
SettingValues GpioValues(const GpioSettings& settings);
void StoreGpioValues(const SettingValues& values, GpioSettings& settings);
// The key of the setting that settings keeps at field, or an empty text: names a variable that the
// SNMP layer fills in.
QString SerialKeyAt(const SerialSettings& settings, const int32_t* field);
QString GpioKeyAt(const GpioSettings& settings, const int32_t* field);

// The first value that the fields refuse, as "key: reason", or an empty text. Used on records
// about to be written, which mix given values with what the board reported.
QString FirstInvalidValue(const QList<SettingField>& fields, const SettingValues& values);
