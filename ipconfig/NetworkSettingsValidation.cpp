// NetworkSettings::Validate lives here rather than in protocol/ because its messages come from the
// program's string table, which neither the protocol library nor the address rules know.
#include "protocol/NetworkSettings.h"

#include "ipconfig/AddressRuleMessage.h"
#include "resources/ResourceIds.h"
#include "resources/StringTable.h"

int AddressRuleMessageId(AddressRule rule)
{
    switch (rule) {
    case AddressRule::None:
        break;
    case AddressRule::IpAddress:
        return IDS_BAD_IP_ADDRESS;
    case AddressRule::SubnetMask:
        return IDS_BAD_SUBNET_MASK;
    case AddressRule::IpMaskPair:
        return IDS_BAD_IP_MASK_PAIR;
    case AddressRule::Gateway:
        return IDS_BAD_GATEWAY;
    }
    return 0;
}

bool NetworkSettings::Validate(QString& message) const
{
    const AddressRule failed = FirstFailedAddressRule(*this);
    if (failed == AddressRule::None) {
        return true;
    }
    message = LoadString(AddressRuleMessageId(failed));
    return false;
}
