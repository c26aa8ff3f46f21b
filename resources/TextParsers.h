#pragma once

#include <QStringView>

#include <array>
#include <optional>

#include <QtGlobal>

// Pure text parsers shared by the dialogs' data exchange and the IPv4 address control.
// GUI-free and total: every input, however malformed, gives a value or std::nullopt.

// Decimal integer as typed into an edit field: blanks and tabs around the number are
// allowed, one optional '+' (or '-' for the signed form) right before the ASCII digits.
// Empty text, any other character, or a value that does not fit gives std::nullopt.
std::optional<qint32> ParseSignedInt(QStringView text);
// As above but a '-' sign is never accepted (not even "-0").
std::optional<quint32> ParseUnsignedInt(QStringView text);

// One octet field of an address control: empty (blank) or 1..3 ASCII digits with value <= 255.
bool IsValidOctetText(QStringView text);

struct OctetFields
{
    std::array<quint8, 4> value{}; // 0 where blank
    std::array<bool, 4> filled{};  // false = blank field
    int FilledCount() const;
    quint32 HostOrder() const; // first octet in the most significant byte; blanks count as 0
};

// Pasted text into four fields: "a.b.c.d" with surrounding white space allowed, each part
// blank or a valid octet ("192.168..1" leaves the third field blank). Anything else, including
// more or fewer than four parts or an octet above 255, gives std::nullopt.
std::optional<OctetFields> ParseDottedAddress(QStringView text);

// As ParseDottedAddress, but all four fields must be filled: the address in host order.
std::optional<quint32> ParseCompleteAddress(QStringView text);
