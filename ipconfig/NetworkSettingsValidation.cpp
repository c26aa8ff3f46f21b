// NetworkSettings::Validate lives here rather than in protocol/ because its messages come from the
// program's string table, which the protocol library does not know.
#include "protocol/NetworkSettings.h"

#include "ipconfig/AddressRules.h"
#include "resources/StringTable.h"

bool NetworkSettings::Validate(QString& message) const
{
    const int failedRule = FirstFailedAddressRule(*this);
    if (failedRule == 0) {
        return true;
    }
    message = LoadString(failedRule);
    return false;
}
