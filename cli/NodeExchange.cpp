#include "cli/NodeExchange.h"

#include <arpa/inet.h>

#include <algorithm>

namespace {

bool Answers(const NodeInfo& record, uint32_t transactionId, uint32_t opCode)
{
    return record.GetTransactionId() == transactionId && ntohl(record.GetOpCode()) == opCode;
}

bool SameBoard(const FoundBoard& board, const ReceivedNode& node)
{
    return board.record.GetSettings() == node.record->GetSettings() &&
           board.sourceAddress == node.sourceAddress;
}

// Adds the reply unless it repeats one listed already; marks every board of a MAC that answers as
// more than one board.
void List(QList<FoundBoard>& boards, const ReceivedNode& node)
{
    bool shared = false;
    for (FoundBoard& board : boards) {
        if (!board.record.HasSameMac(*node.record))
            continue;
        if (SameBoard(board, node))
            return;
        board.sharedMac = shared = true;
    }
    boards << FoundBoard{*node.record, QString::fromStdString(node.interfaceName), node.interfaceIndex,
                         node.sourceAddress, shared};
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
        if (node->record && Answers(*node->record, transactionId, OP_SEARCH_REPLY))
            List(boards, *node);
    }
    return boards;
}

SetAddressAnswer AwaitSetAddressReply(CNodeQueue& queue, uint32_t transactionId,
                                      const NodeInfo::MacAddress& mac, ReplyDeadline deadline)
{
    SetAddressAnswer answer;
    while (std::optional<ReceivedNode> node = queue.Take(deadline)) {
        if (!node->record || !Answers(*node->record, transactionId, OP_SET_ADDRESS_REPLY))
            continue;
        const NodeInfo::MacAddress from = node->record->GetMac();
        if (from == mac) {
            answer.reply = *node->record;
            break;
        }
        if (!answer.otherMacs.contains(from))
            answer.otherMacs << from;
    }
    return answer;
}

NodeExchange::NodeExchange(UdpEndpoint local, UdpEndpoint destination)
    : m_engine(local, destination, m_queue), m_localPort(local.port)
{
}

CliStatus NodeExchange::Search(std::chrono::milliseconds wait, QList<FoundBoard>& boards, QString& problem,
                               const SearchDone& done)
{
    boards.clear();
    if (m_engine.ReceiveSocketCount() == 0) {
        problem = QStringLiteral("no socket could be opened to receive the boards' replies (UDP port %1)")
                      .arg(m_localPort);
        return CliStatus::NotSent;
    }
    m_queue.TakeAll();
    const uint32_t id = m_engine.SendSearchRequest();
    if (id == 0) {
        problem = QStringLiteral("the search request could not be sent");
        return CliStatus::NotSent;
    }
    boards = CollectSearchReplies(m_queue, id, std::chrono::steady_clock::now() + wait, done);
    return CliStatus::Done;
}

CliStatus NodeExchange::SetAddress(const NetworkSettings& settings, const NodeInfo::MacAddress& mac,
                                   unsigned interfaceIndex, SetAddressAnswer& answer,
                                   std::chrono::milliseconds wait)
{
    m_queue.TakeAll();
    const uint32_t id = m_engine.SendAddressRequest(settings, mac.data(), interfaceIndex);
    if (id == 0)
        return CliStatus::NotSent;
    answer = AwaitSetAddressReply(m_queue, id, mac, std::chrono::steady_clock::now() + wait);
    if (!answer.reply)
        return CliStatus::NoReply;
    return ntohl(answer.reply->GetResult()) == 0 ? CliStatus::Done : CliStatus::Refused;
}
