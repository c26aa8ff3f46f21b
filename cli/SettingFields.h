#pragma once

#include "core/SettingsSchema.h"

#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>

// The board settings (core/SettingsSchema.h) as lanfinch-cli reads and prints them: enumerations by
// the English names of the settings dialogs' lists, addresses as dotted text.

// What a value of the field must be: "expected one of none, odd, even".
QString ExpectedText(const SettingField& field);
// Parses a value as typed on the command line; nullopt with ExpectedText in error otherwise.
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

// How the fields are typed as KEY=VALUE, for help texts: "mode=TCPSERVER|TCPCLIENT|UDP, port=1024..65535,
// peer=A.B.C.D, ...".
QString AssignmentSyntax(const QList<SettingField>& fields);
