#include "core/ReplyAttribution.h"

#include <arpa/inet.h>

namespace ReplyAttribution {

uint32_t OpCode(const NodeInfo& record)
{
    return ntohl(record.GetOpCode());
}

bool CarriesId(const NodeInfo& record, uint32_t transactionId)
{
    return record.GetTransactionId() == transactionId;
}

bool IsSearchReply(const NodeInfo& record, uint32_t transactionId)
{
    return CarriesId(record, transactionId) && OpCode(record) == OP_SEARCH_REPLY;
}

bool IsSetAddressReply(const NodeInfo& record, uint32_t transactionId)
{
    return CarriesId(record, transactionId) && OpCode(record) == OP_SET_ADDRESS_REPLY;
}

bool SettingsTaken(const NodeInfo& reply)
{
    return ntohl(reply.GetResult()) == 0;
}

bool IsFromBoard(const NodeInfo& reply, const NodeInfo::MacAddress& mac)
{
    return reply.GetMac() == mac;
}

bool SameBoard(const NodeInfo& a, uint32_t senderA, const NodeInfo& b, uint32_t senderB)
{
    return a.HasSameMac(b) && a.GetSettings() == b.GetSettings() && senderA == senderB;
}

} // namespace ReplyAttribution
