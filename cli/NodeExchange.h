#pragma once

#include "cli/CliStatus.h"
#include "protocol/CNodeProtocol.h"
#include "protocol/CNodeQueue.h"
#include "protocol/NodeInfo.h"

#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

// A board as one search listed it: its reply, and the interface the reply came in on.
struct FoundBoard
{
    NodeInfo record;
    QString interfaceName; // empty when not known
};

using ReplyDeadline = std::chrono::steady_clock::time_point;
// Whether the boards listed so far are all a search waits for.
using SearchDone = std::function<bool(const QList<FoundBoard>&)>;

// The replies the main window would accept, taken from a queue: those that carry the request's
// transaction id, with the op code of the reply looked for. A search lists each MAC once (its
// first reply wins), in the order of arrival, until the deadline or until done says so.
QList<FoundBoard> CollectSearchReplies(CNodeQueue& queue, uint32_t transactionId, ReplyDeadline deadline,
                                       const SearchDone& done = {});
// The first set-address reply to the request, or nothing by the deadline.
std::optional<NodeInfo> AwaitSetAddressReply(CNodeQueue& queue, uint32_t transactionId,
                                             ReplyDeadline deadline);

// The node protocol for lanfinch-cli: the product's engine (every adapter, the product's ports)
// with a queue for its receiver, and the window's waits. Each request waits for its own replies
// only: whatever arrived before it was sent is dropped.
//
// Threads: one; the engine's receive thread only fills the queue.
class NodeExchange
{
  public:
    static constexpr std::chrono::milliseconds kSearchWait{CNodeProtocol::kSearchWaitMs};
    static constexpr std::chrono::milliseconds kSetAddressWait{CNodeProtocol::kSetAddressWaitMs};

    NodeExchange(UdpEndpoint local = CNodeProtocol::kLocalEndpoint,
                 UdpEndpoint destination = CNodeProtocol::kRequestDestination);

    // NotSent when the request went out nowhere; otherwise Done, with what answered (maybe nothing).
    CliStatus Search(std::chrono::milliseconds wait, QList<FoundBoard>& boards, const SearchDone& done = {});
    // Done or Refused (the reply's result is nonzero) with the reply; NoReply; NotSent.
    CliStatus SetAddress(const NetworkSettings& settings, const NodeInfo::MacAddress& mac, NodeInfo& reply,
                         std::chrono::milliseconds wait = kSetAddressWait);

  private:
    // Declared first: the engine hands records to it until the engine is closed.
    CNodeQueue m_queue;
    CNodeProtocol m_engine;
};
