#include "cli/NodeExchange.h"

#include "cli/HelpText.h"
#include "core/ReplyAttribution.h"

#include <arpa/inet.h>

#include <algorithm>

using namespace ReplyAttribution;

quint32 CurrentAddress(const FoundBoard& board)
{
    return ntohl(board.record.GetSettings().GetIpAddress());
}

// Adds the reply unless it repeats one listed already; marks every board of a MAC that answers as
// more than one board.
void ListSearchReply(QList<FoundBoard>& boards, const ReceivedNode& node)
{
    bool shared = false;
    for (FoundBoard& board : boards) {
        if (!board.record.HasSameMac(*node.record))
            continue;
        if (SameBoard(board.record, board.sourceAddress, *node.record, node.sourceAddress))
            return;
        board.sharedMac = shared = true;
    }
    boards << FoundBoard{*node.record, QString::fromStdString(node.interfaceName), node.interfaceIndex,
                         node.sourceAddress, shared};
}

QList<FoundBoard> CollectSearchReplies(CNodeQueue& queue, uint32_t transactionId, ReplyDeadline deadline,
                                       const SearchDone& done)
{
    QList<FoundBoard> boards;
    while (!done || !done(boards)) {
        std::optional<ReceivedNode> node = queue.Take(deadline);
        if (!node)
            break;
        if (node->record && IsSearchReply(*node->record, transactionId))
            ListSearchReply(boards, *node);
    }
    return boards;
}

void SetAddressWaits::Add(qsizetype index, uint32_t transactionId, const NodeInfo::MacAddress& mac,
                          ReplyDeadline deadline)
{
    m_waiting << Waiting{index, transactionId, mac, deadline};
    m_addressed << mac;
}

ReplyDeadline SetAddressWaits::Earliest() const
{
    ReplyDeadline earliest = ReplyDeadline::max();
    for (const Waiting& waiting : m_waiting)
        earliest = std::min(earliest, waiting.deadline);
    return earliest;
}

std::optional<qsizetype> SetAddressWaits::Take(const NodeInfo& record, QList<SetAddressAnswer>& answers)
{
    const auto own = std::find_if(m_waiting.begin(), m_waiting.end(), [&](const Waiting& waiting) {
        return IsSetAddressReply(record, waiting.transactionId) && IsFromBoard(record, waiting.mac);
    });
    if (own != m_waiting.end()) {
        const qsizetype index = own->index;
        SetAddressAnswer& answer = answers[index];
        answer.reply = record;
        answer.status = SettingsTaken(record) ? CliStatus::Done : CliStatus::Refused;
        m_waiting.erase(own);
        return index;
    }
    if (m_addressed.contains(record.GetMac()))
        return std::nullopt;
    for (const Waiting& waiting : std::as_const(m_waiting)) {
        QList<NodeInfo::MacAddress>& others = answers[waiting.index].otherMacs;
        if (IsSetAddressReply(record, waiting.transactionId) && !others.contains(record.GetMac()))
            others << record.GetMac();
    }
    return std::nullopt;
}

QList<qsizetype> SetAddressWaits::Expire(ReplyDeadline now, QList<SetAddressAnswer>& answers)
{
    QList<qsizetype> expired;
    m_waiting.removeIf([&](const Waiting& waiting) {
        if (waiting.deadline > now)
            return false;
        answers[waiting.index].status = CliStatus::NoReply;
        expired << waiting.index;
        return true;
    });
    return expired;
}

QList<qsizetype> SetAddressWaits::TakeNext(CNodeQueue& queue, QList<SetAddressAnswer>& answers)
{
    const std::optional<ReceivedNode> node = queue.Take(Earliest());
    QList<qsizetype> finished = Expire(std::chrono::steady_clock::now(), answers);
    if (node && node->record) {
        if (const std::optional<qsizetype> index = Take(*node->record, answers))
            finished << *index;
    }
    return finished;
}

NodeExchange::NodeExchange(QTextStream& warnings, UdpEndpoint local, UdpEndpoint destination)
    : m_engine(local, destination, m_queue), m_localPort(local.port)
{
    // Without a socket of its own the command fails, and says why, instead.
    if (m_engine.PortShared() && m_engine.ReceiveSocketCount() > 0)
        warnings << ProgramName()
                 << QStringLiteral(
                        ": another program holds UDP port %1 too: the boards' replies may go to it "
                        "instead, and be missing here\n")
                        .arg(m_localPort);
}

CliStatus NodeExchange::Search(std::chrono::milliseconds wait, QList<FoundBoard>& boards, QString& problem,
                               const SearchDone& done)
{
    boards.clear();
    const uint32_t id = StartSearch(problem);
    if (id == 0)
        return CliStatus::NotSent;
    boards = CollectSearchReplies(m_queue, id, std::chrono::steady_clock::now() + wait, done);
    return CliStatus::Done;
}

uint32_t NodeExchange::StartSearch(QString& problem)
{
    m_queue.TakeAll();
    return SendSearch(problem);
}

uint32_t NodeExchange::SendSearch(QString& problem)
{
    problem = ReceiveProblem();
    if (!problem.isEmpty())
        return 0;
    const uint32_t id = m_engine.SendSearchRequest();
    if (id == 0)
        problem = QStringLiteral("the search request could not be sent");
    return id;
}

uint32_t NodeExchange::SendAddress(const AddressRequest& request)
{
    return m_engine.SendAddressRequest(request.settings, request.mac.data(), request.interfaceIndex);
}

QString NodeExchange::ReceiveProblem() const
{
    if (m_engine.ReceiveSocketCount() > 0)
        return {};
    return QStringLiteral("no socket could be opened to receive the boards' replies (UDP port %1)")
        .arg(m_localPort);
}

QList<SetAddressAnswer> NodeExchange::SetAddresses(const QList<AddressRequest>& requests, int jobs,
                                                   const std::function<void(qsizetype)>& answered,
                                                   std::chrono::milliseconds wait)
{
    QList<SetAddressAnswer> answers(requests.size());
    const auto done = [&](qsizetype index) {
        if (answered)
            answered(index);
    };
    m_queue.TakeAll();
    SetAddressWaits waits;
    qsizetype next = 0;
    qsizetype waiting = 0;
    while (next < requests.size() || !waits.IsEmpty()) {
        for (; next < requests.size() && waiting < jobs; ++next) {
            const AddressRequest& request = requests[next];
            const uint32_t id = SendAddress(request);
            if (id == 0) {
                done(next);
                continue;
            }
            waits.Add(next, id, request.mac, std::chrono::steady_clock::now() + wait);
            ++waiting;
        }
        if (waits.IsEmpty())
            continue;
        const QList<qsizetype> finished = waits.TakeNext(m_queue, answers);
        for (const qsizetype index : finished)
            done(index);
        waiting -= finished.size();
    }
    return answers;
}
