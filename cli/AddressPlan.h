#pragma once

#include "core/AddressRules.h"
#include "protocol/NodeInfo.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// IP settings for many boards at once: a plan read from CSV, or consecutive addresses handed out
// to the boards a search found. Pure: every entry of a plan has passed the address rules of the
// IP settings dialog before anything is sent. Addresses are in host order here.
struct PlannedAddress
{
    NodeInfo::MacAddress mac{};
    bool dhcp = false;
    quint32 ip = 0;
    quint32 mask = 0;
    quint32 gateway = 0; // 0: none
    int line = 0;        // of the CSV plan; 0 for an allocated entry
};

// "00:0a:ff:10:20:3b" (or with '-'), any case.
std::optional<NodeInfo::MacAddress> ParseMacAddress(const QString& text);
// As ParseMacAddress; when text is none, error says so, naming text.
std::optional<NodeInfo::MacAddress> ParseMacArgument(const QString& text, QString& error);
QString MacText(const NodeInfo::MacAddress& mac);

// Why the address rules refuse fixed settings, in English; empty for AddressRule::None.
QString AddressRuleReason(AddressRule failed);
// The reason that ip, mask and gateway (host order) break the rules, or an empty text.
QString AddressProblem(quint32 ip, quint32 mask, quint32 gateway);

// A plan, one board per line: "mac,ip,mask,gateway" (the gateway may be left empty or out) or
// "mac,dhcp". Blank lines and lines starting with '#' are skipped, as is a header line starting
// with "mac,". Every line is checked; the first bad one gives "line N: ..." in error. One MAC or
// one fixed address twice is an error too.
bool ParseAddressPlan(const QByteArray& csv, QList<PlannedAddress>& plan, QString& error);

// A board as a search listed it.
struct ListedBoard
{
    NodeInfo::MacAddress mac{};
    quint32 ip = 0; // host order
};

// Consecutive fixed addresses from `from` on, one per board in MAC order. Skips every address a
// listed board uses now, those in inUse (other boards'), the gateway's, and those the address
// rules refuse under `mask`; never leaves from's subnet. False with the reason when the settings
// are invalid or the subnet has too few addresses left.
bool AllocateAddresses(QList<ListedBoard> boards, quint32 from, quint32 mask, quint32 gateway,
                       QList<PlannedAddress>& plan, QString& error, const QList<quint32>& inUse = {});

// Dotted text of a host-order address.
QString HostAddressText(quint32 hostOrder);
