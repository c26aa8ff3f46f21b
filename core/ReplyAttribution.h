#pragma once

#include "protocol/NodeInfo.h"

#include <cstdint>

// Which of the delivered node-protocol records answer an outstanding request, and what a
// set-address reply says, for the window and lanfinch-cli alike. Pure; any thread.
namespace ReplyAttribution {

// The op code of a record, in host order.
uint32_t OpCode(const NodeInfo& record);

// The record carries the request's transaction id: the 4 bytes as the request had them.
bool CarriesId(const NodeInfo& record, uint32_t transactionId);
// A search reply, or a set-address reply, to the request with that id.
bool IsSearchReply(const NodeInfo& record, uint32_t transactionId);
bool IsSetAddressReply(const NodeInfo& record, uint32_t transactionId);

// A set-address reply with result 0: the board took the settings; any other result: it refused.
bool SettingsTaken(const NodeInfo& reply);

// The reply is the addressed board's own: it carries its MAC. (The window takes the reply of any
// MAC as the answer and lists it; lanfinch-cli only the addressed board's.)
bool IsFromBoard(const NodeInfo& reply, const NodeInfo::MacAddress& mac);

// Two search replies are one board when MAC, settings and sender are the same; one MAC with other
// settings or another sender are two boards that share the MAC (factory settings do). sender: the
// reply's source address, 0 when not known.
bool SameBoard(const NodeInfo& a, uint32_t senderA, const NodeInfo& b, uint32_t senderB);

} // namespace ReplyAttribution
