#pragma once

#include "cli/AddressPlan.h"
#include "cli/CliStatus.h"
#include "cli/NodeExchange.h"
#include "cli/Records.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// What became of one board's change of IP settings.
struct AddressChangeResult
{
    NodeInfo::MacAddress mac{};
    CliStatus status = CliStatus::Done;
    QString result; // ok, unchanged, unconfirmed, refused, no reply, not sent, not found
    QString detail;
    // The settings the board reported last: to the confirmation search, in its reply, or (for a
    // change refused as unchanged, or a dry run) to the search before.
    std::optional<NetworkSettings> reported;
    // What the search before the change found the board with (none: no board answered), and the
    // settings its set-address request carried, or in a dry run would carry (none: nothing sent).
    std::optional<NetworkSettings> previous;
    std::optional<NetworkSettings> requested;
};

// The board with this MAC among those a search found, or nullptr.
const FoundBoard* FindBoard(const QList<FoundBoard>& found, const NodeInfo::MacAddress& mac);

// What entry gives a board, as settings (network order): its DHCP flag and its addresses.
NetworkSettings PlannedSettings(const PlannedAddress& entry);

// The settings that a set-address request carries for entry, made as the IP settings dialog makes
// them from the settings the board reported: a switch to DHCP keeps the reported addresses.
// nullopt when they would change nothing (the dialog's "settings not changed"). The fixed
// addresses of entry have passed the address rules already.
std::optional<NetworkSettings> SettingsToSend(const PlannedAddress& entry, const NetworkSettings& current);

// Whether a search listed entry's board with what entry gives it: the fixed addresses, or DHCP
// (whatever address it then has).
bool Confirmed(const QList<FoundBoard>& listing, const PlannedAddress& entry);

// One board of a change, looked up among the boards the search found: its request (out of the
// interface the board answered on), or the result when there is none to send (no such board,
// nothing would change).
std::optional<AddressChangeResult> PrepareChange(const PlannedAddress& entry, const QList<FoundBoard>& found,
                                                 AddressRequest& request);
// What the answer to its request makes of the change; requested is the request's settings unless
// it was not sent.
AddressChangeResult ChangeResult(const PlannedAddress& entry, const AddressRequest& request,
                                 const SetAddressAnswer& answer);

// Settings as the JSON records carry them: ip, mask, gateway (null: none), dhcp.
QJsonObject SettingsObject(const NetworkSettings& settings);
// "192.168.0.10/255.255.255.0 gateway 192.168.0.1 DHCP no"
QString NetworkSettingsText(const NetworkSettings& settings);

// The boards of a search: mac, ip, mask, gateway, dhcp, interface.
Records SearchRecords(const QList<FoundBoard>& boards);
// One row per board: mac, result, the reported settings, detail; in JSON with the status, the
// previous and the requested settings too.
Records AddressChangeRecords(const QList<AddressChangeResult>& results);
// Fixed addresses as a plan: mac, ip, mask, gateway (empty: none); its CSV is a plan for --plan.
Records PlanRecords(const QList<PlannedAddress>& plan);
