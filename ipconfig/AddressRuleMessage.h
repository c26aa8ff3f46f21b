#pragma once

#include "core/AddressRules.h"

// The IP settings dialog's message for a failed address rule: its string id (IDS_BAD_IP_ADDRESS,
// IDS_BAD_SUBNET_MASK, IDS_BAD_IP_MASK_PAIR, IDS_BAD_GATEWAY), 0 for AddressRule::None.
int AddressRuleMessageId(AddressRule rule);
