#pragma once

#include "cli/CliStatus.h"
#include "protocol/CNodeProtocol.h"
#include "protocol/CNodeQueue.h"
#include "protocol/NodeInfo.h"

#include <QList>
#include <QTextStream>
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

// The address the board reported, host order.
quint32 CurrentAddress(const FoundBoard& board);

using ReplyDeadline = std::chrono::steady_clock::time_point;
// Whether the boards listed so far are all a search waits for.
using SearchDone = std::function<bool(const QList<FoundBoard>&)>;

// The search replies to a request, taken from a queue: those that carry its transaction id and
// the search reply's op code, in the order of arrival, until the deadline or until done says so.
// A repeat of a reply (same MAC, settings and sender) is one board; replies with one MAC but other
// settings or another sender are boards of their own, each marked sharedMac.
QList<FoundBoard> CollectSearchReplies(CNodeQueue& queue, uint32_t transactionId, ReplyDeadline deadline,
                                       const SearchDone& done = {});
// One search reply added to what the search listed so far, by the rule above.
void ListSearchReply(QList<FoundBoard>& boards, const ReceivedNode& node);

// One set-address request of a batch: the settings for the board with that MAC, out of the
// interface it answered on (0: every one).
struct AddressRequest
{
    NetworkSettings settings;
    NodeInfo::MacAddress mac{};
    unsigned interfaceIndex = 0;
};

// What answered it: Done or Refused (the result is nonzero) with the board's reply, NoReply by
// its deadline, NotSent; and the MACs of set-address replies with its id that came from boards no
// outstanding request addressed.
struct SetAddressAnswer
{
    CliStatus status = CliStatus::NotSent;
    std::optional<NodeInfo> reply;
    QList<NodeInfo::MacAddress> otherMacs;
};

// The set-address requests that wait for their replies, many at once. Requests made within one
// second share their transaction id, so a reply is attributed by id and MAC: only the addressed
// board's reply answers a request.
class SetAddressWaits
{
  public:
    void Add(qsizetype index, uint32_t transactionId, const NodeInfo::MacAddress& mac,
             ReplyDeadline deadline);
    bool IsEmpty() const { return m_waiting.isEmpty(); }
    ReplyDeadline Earliest() const;
    // A received record: the index of the request it answers (its answer filled in), if any. A
    // reply from a board that no request addressed is noted with the requests of its id; one
    // from a board whose request has its answer already changes nothing.
    std::optional<qsizetype> Take(const NodeInfo& record, QList<SetAddressAnswer>& answers);
    // The requests whose deadline has passed by now, answered NoReply.
    QList<qsizetype> Expire(ReplyDeadline now, QList<SetAddressAnswer>& answers);
    // The next record from queue, waited for up to the earliest deadline: the requests that have
    // their answer now. Those past their deadline expire by the clock first, so that records that
    // keep arriving (other programs' searches, a flood) neither hold them off nor answer them late.
    QList<qsizetype> TakeNext(CNodeQueue& queue, QList<SetAddressAnswer>& answers);

  private:
    struct Waiting
    {
        qsizetype index;
        uint32_t transactionId;
        NodeInfo::MacAddress mac;
        ReplyDeadline deadline;
    };
    QList<Waiting> m_waiting;
    QList<NodeInfo::MacAddress> m_addressed; // every board a request of the batch went to
};

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

    // warnings: where it says, once, that another program holds the reply port too.
    explicit NodeExchange(QTextStream& warnings, UdpEndpoint local = CNodeProtocol::kLocalEndpoint,
                          UdpEndpoint destination = CNodeProtocol::kRequestDestination);

    // A search whose replies the caller takes from Queue() itself: its transaction id, or 0 with
    // the reason in problem when the request went out nowhere or no reply could be received.
    // Whatever the queue held before is dropped.
    uint32_t StartSearch(QString& problem);
    // NotSent with the reason in problem when the request went out nowhere or no reply could be
    // received; otherwise Done, with what answered (maybe nothing).
    CliStatus Search(std::chrono::milliseconds wait, QList<FoundBoard>& boards, QString& problem,
                     const SearchDone& done = {});
    // Sends the requests, up to jobs of them waiting at once, each waiting up to `wait` from its
    // own send; answered(i) is called as request i has its answer. The answers in the requests'
    // order.
    QList<SetAddressAnswer> SetAddresses(const QList<AddressRequest>& requests, int jobs,
                                         const std::function<void(qsizetype)>& answered = {},
                                         std::chrono::milliseconds wait = kSetAddressWait);

    // For a caller with a loop of its own: the requests alone (their transaction id, 0 when not
    // sent), whose replies it takes from Queue() itself. A search is not sent either once no reply
    // can be received (every receive socket may fail during a run); problem says why.
    uint32_t SendSearch(QString& problem);
    uint32_t SendAddress(const AddressRequest& request);
    CNodeQueue& Queue() { return m_queue; }
    // Why no reply can be received (no receive socket), or empty.
    QString ReceiveProblem() const;

  private:
    // Declared first: the engine hands records to it until the engine is closed.
    CNodeQueue m_queue;
    CNodeProtocol m_engine;
    uint16_t m_localPort;
};
