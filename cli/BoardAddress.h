#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// A board's address as given on the command line: a complete dotted IPv4 address that a board can
// have, by the address rules of the IP settings (not 0.0.0.0, not 255.255.255.255, not class D
// or E, not the network or broadcast address of its class). Returns the address in the canonical
// dotted form, or nullopt with the reason in error.
std::optional<QString> ParseBoardAddress(const QString& text, QString& error);

// Every address of a batch, all checked before any is used; duplicates are errors.
std::optional<QStringList> ParseBoardAddresses(const QStringList& texts, QString& error);
