#pragma once

#include "cli/AddressPlan.h"
#include "cli/CliStatus.h"

#include <QList>
#include <QString>

#include <optional>

class CommandLine;
struct CliContext;

// What the commands that hand out IP settings read, as set-ip reads it, each under the option
// names the command gives it. The options: nullopt when they are good, otherwise the status once
// the problem has been reported as a usage error.

// The address option (--ip or --from), the mask and the gateway (may be unset: none), checked by
// the address rules.
std::optional<CliStatus> ReadFixedSettings(const CommandLine& line, CliContext& context,
                                           const QString& ipOption, const QString& maskOption,
                                           const QString& gatewayOption, PlannedAddress& entry);
// The plan that the option names, every line checked.
std::optional<CliStatus> ReadPlanFile(const CommandLine& line, CliContext& context, const QString& planOption,
                                      QList<PlannedAddress>& plan);

// Every IPv4 address of this computer (host order): no plan may give one of them to a board.
QList<quint32> OwnAddresses();
