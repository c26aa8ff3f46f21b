#include "cli/NodeExchange.h"

#include <arpa/inet.h>

#include <algorithm>

namespace {

bool Answers(const NodeInfo& record, uint32_t transactionId, uint32_t opCode)
{
    return record.GetTransactionId() == transactionId && ntohl(record.GetOpCode()) == opCode;
}

} // namespace

QList<FoundBoard> CollectSearchReplies(CNodeQueue& queue, uint32_t transactionId, ReplyDeadline deadline,
                                       const SearchDone& done)
{
    QList<FoundBoard> boards;
    while (!done || !done(boards)) {
        std::optional<ReceivedNode> node = queue.Take(deadline);
        if (!node)
            break;
        if (!node->record || !Answers(*node->record, transactionId, OP_SEARCH_REPLY))
            continue;
        const bool listed = std::any_of(boards.cbegin(), boards.cend(), [&](const FoundBoard& board) {
            return board.record.HasSameMac(*node->record);
        });
        if (!listed)
            boards << FoundBoard{*node->record, QString::fromStdString(node->interfaceName)};
    }
    return boards;
}

std::optional<NodeInfo> AwaitSetAddressReply(CNodeQueue& queue, uint32_t transactionId,
                                             ReplyDeadline deadline)
{
    while (std::optional<ReceivedNode> node = queue.Take(deadline)) {
        if (node->record && Answers(*node->record, transactionId, OP_SET_ADDRESS_REPLY))
            return *node->record;
    }
    return std::nullopt;
}

NodeExchange::NodeExchange(UdpEndpoint local, UdpEndpoint destination) : m_engine(local, destination, m_queue)
{
}

CliStatus NodeExchange::Search(std::chrono::milliseconds wait, QList<FoundBoard>& boards,
                               const SearchDone& done)
{
    boards.clear();
    m_queue.TakeAll();
    const uint32_t id = m_engine.SendSearchRequest();
    if (id == 0)
        return CliStatus::NotSent;
    boards = CollectSearchReplies(m_queue, id, std::chrono::steady_clock::now() + wait, done);
    return CliStatus::Done;
}

CliStatus NodeExchange::SetAddress(const NetworkSettings& settings, const NodeInfo::MacAddress& mac,
                                   NodeInfo& reply, std::chrono::milliseconds wait)
{
    m_queue.TakeAll();
    const uint32_t id = m_engine.SendAddressRequest(settings, mac.data());
    if (id == 0)
        return CliStatus::NotSent;
    const std::optional<NodeInfo> answer =
        AwaitSetAddressReply(m_queue, id, std::chrono::steady_clock::now() + wait);
    if (!answer)
        return CliStatus::NoReply;
    reply = *answer;
    return ntohl(reply.GetResult()) == 0 ? CliStatus::Done : CliStatus::Refused;
}
