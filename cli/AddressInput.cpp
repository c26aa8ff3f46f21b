#include "cli/AddressInput.h"

#include "cli/CommandLine.h"
#include "protocol/NetworkInterfaces.h"
#include "resources/TextParsers.h"

namespace {

// A complete dotted IPv4 address, host order.
std::optional<quint32> AddressOption(const CommandLine& line, const QString& option, QString& error)
{
    const QString text = line.Parser().value(option);
    const std::optional<quint32> address = ParseCompleteAddress(text);
    if (!address)
        error = QStringLiteral("--%1: \"%2\" is not a dotted IPv4 address").arg(option, text);
    return address;
}

} // namespace

std::optional<CliStatus> ReadFixedSettings(const CommandLine& line, CliContext& context,
                                           const QString& ipOption, const QString& maskOption,
                                           const QString& gatewayOption, PlannedAddress& entry)
{
    QString error;
    const std::optional<quint32> ip = AddressOption(line, ipOption, error);
    if (!ip)
        return line.Fail(context, error);
    const std::optional<quint32> mask = AddressOption(line, maskOption, error);
    if (!mask)
        return line.Fail(context, error);
    quint32 gateway = 0;
    if (line.Parser().isSet(gatewayOption)) {
        const std::optional<quint32> given = AddressOption(line, gatewayOption, error);
        if (!given)
            return line.Fail(context, error);
        gateway = *given;
    }
    if (const QString problem = AddressProblem(*ip, *mask, gateway); !problem.isEmpty())
        return line.Fail(context, problem);
    entry.ip = *ip;
    entry.mask = *mask;
    entry.gateway = gateway;
    return std::nullopt;
}

std::optional<CliStatus> ReadPlanFile(const CommandLine& line, CliContext& context, const QString& planOption,
                                      QList<PlannedAddress>& plan)
{
    std::optional<QList<PlannedAddress>> read = line.ReadPlanFile(line.Parser().value(planOption), context);
    if (!read)
        return CliStatus::BadInput;
    plan = std::move(*read);
    return std::nullopt;
}

QList<quint32> OwnAddresses()
{
    const std::vector<uint32_t> addresses = NetworkInterfaces::LocalIpv4Addresses();
    return QList<quint32>(addresses.cbegin(), addresses.cend());
}
