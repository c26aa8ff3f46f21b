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

// A board as one search listed it: its reply, the interface the reply came in on and its sender.
struct FoundBoard
{
    NodeInfo record;
    QString interfaceName;       // empty when not known
    unsigned interfaceIndex = 0; // 0 when not known
    quint32 sourceAddress = 0;   // host order; 0 when not known
    // Another board answered with the same MAC (boards with factory settings do): a set-address
    // request for it would change both.
    bool sharedMac = false;
};

using ReplyDeadline = std::chrono::steady_clock::time_point;
// Whether the boards listed so far are all a search waits for.
using SearchDone = std::function<bool(const QList<FoundBoard>&)>;

// The search replies to a request, taken from a queue: those that carry its transaction id and
// the search reply's op code, in the order of arrival, until the deadline or until done says so.
// A repeat of a reply (same MAC, settings and sender) is one board; replies with one MAC but other
// settings or another sender are boards of their own, each marked sharedMac.
QList<FoundBoard> CollectSearchReplies(CNodeQueue& queue, uint32_t transactionId, ReplyDeadline deadline,
                                       const SearchDone& done = {});

// What answered a set-address request for one board: its reply, if one came by the deadline, and
// the MACs of set-address replies to the request that came from other boards.
struct SetAddressAnswer
{
    std::optional<NodeInfo> reply;
    QList<NodeInfo::MacAddress> otherMacs;
};
// Only a reply with the request's transaction id and the addressed board's MAC is its answer.
SetAddressAnswer AwaitSetAddressReply(CNodeQueue& queue, uint32_t transactionId,
                                      const NodeInfo::MacAddress& mac, ReplyDeadline deadline);

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

    // NotSent with the reason in problem when the request went out nowhere or no reply could be
    // received; otherwise Done, with what answered (maybe nothing).
    CliStatus Search(std::chrono::milliseconds wait, QList<FoundBoard>& boards, QString& problem,
                     const SearchDone& done = {});
    // Sends the request out of the interface the board answered on (0: every one). Done or Refused
    // (the reply's result is nonzero) with the reply; NoReply; NotSent. The other MACs that
    // answered go to answer.otherMacs either way.
    CliStatus SetAddress(const NetworkSettings& settings, const NodeInfo::MacAddress& mac,
                         unsigned interfaceIndex, SetAddressAnswer& answer,
                         std::chrono::milliseconds wait = kSetAddressWait);

  private:
    // Declared first: the engine hands records to it until the engine is closed.
    CNodeQueue m_queue;
    CNodeProtocol m_engine;
    uint16_t m_localPort;
};
