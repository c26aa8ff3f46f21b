#include "cli/WatchStation.h"

#include "cli/AddressBatch.h"
#include "cli/AddressInput.h"
#include "cli/BoardWrite.h"
#include "cli/CliContext.h"
#include "cli/HelpText.h"
#include "cli/StopSignals.h"
#include "cli/WatchJournal.h"
#include "core/ReplyAttribution.h"
#include "core/SnmpLoop.h"

#include <QTextStream>

#include <algorithm>
#include <utility>

namespace {

// How long the loop waits for SNMP or node replies before it looks at its timers and signals.
constexpr std::chrono::milliseconds kSlice{50};

// Suspends a board's steps until the loop has news for it (Wake).
struct Parked
{
    std::coroutine_handle<>& slot;

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting) noexcept { slot = waiting; }
    void await_resume() const noexcept {}
};

// "1 board", "3 boards".
QString Boards(int count)
{
    return count == 1 ? QStringLiteral("1 board") : QStringLiteral("%1 boards").arg(count);
}

StepOutcome Outcome(const AddressChangeResult& result)
{
    return {result.status, result.result, result.detail};
}

} // namespace

struct WatchStation::Board
{
    enum class State
    {
        Waiting, // listed by a search, its steps not started
        Working,
        Failed, // tried again when it answers a later search
        GaveUp,
        Done,
        Abandoned,
    };

    qsizetype index = 0;
    NodeInfo::MacAddress mac{};
    FoundBoard found; // as the latest search that listed it before its attempt
    PlannedAddress planned;
    QString planProblem; // why no address could be handed out to it, or empty
    State state = State::Waiting;
    int attempts = 0;        // in this run
    int earlierAttempts = 0; // failed ones of earlier runs, as the journal says
    Clock::time_point started{};
    Clock::time_point finished{};
    BoardRecord record;
    std::optional<Task<bool>> steps;
    std::coroutine_handle<> parked;
    // While a search must show its new settings: by when, and what the searches showed.
    std::optional<Clock::time_point> confirmBy;
    std::optional<NetworkSettings> seen;
    bool confirmed = false;

    bool Moves() const
    {
        return state == State::Waiting || state == State::Working || state == State::Failed;
    }
    // Its last attempt failed (it may be waiting to be tried again).
    bool Failed() const
    {
        return state == State::Failed || state == State::GaveUp || (state == State::Waiting && attempts > 0);
    }
    void Wake()
    {
        if (parked)
            std::exchange(parked, {}).resume();
    }
};

WatchStation::WatchStation(CliContext& context, NodeExchange& exchange, StopSignals& stops,
                           WatchJournal* journal, WatchOptions options)
    : m_context(context), m_exchange(exchange), m_stops(stops), m_journal(journal),
      m_options(std::move(options))
{
    if (m_journal)
        m_handedOut = HandedOut(m_journal->Earlier());
}

WatchStation::~WatchStation()
{
    // The SNMP loop must never call back into the board frames that go here.
    m_context.snmp.Abandon();
    m_boards.clear();
}

CliStatus WatchStation::Run()
{
    QList<FoundBoard> found;
    if (const std::optional<CliStatus> failed = FirstSearch(found))
        return *failed;
    QList<NetworkSettings> had;
    for (const FoundBoard& board : found)
        had << board.record.GetSettings();
    const QList<PlannedAddress> planned = m_options.range ? QList{*m_options.range} : m_options.plan;
    m_stream.emplace(m_options.format, m_context.out, RecordColumns(), RecordWidths(had, planned));
    if (m_context.progress)
        m_context.err << ProgramName() << ": watch: searching every " << m_options.interval.count()
                      << " ms; Ctrl-C stops\n";
    TakeListing(found, m_lastSearch);
    while (!Finished())
        Turn();
    Summarize();
    return WorstStatus();
}

std::optional<CliStatus> WatchStation::FirstSearch(QList<FoundBoard>& found)
{
    m_own = OwnAddresses();
    m_lastSearch = Clock::now();
    QString problem;
    if (m_exchange.Search(NodeExchange::kSearchWait, found, problem) != CliStatus::Done) {
        m_context.err << ProgramName() << ": watch: " << problem << '\n';
        return CliStatus::NotSent;
    }
    if (!m_options.plan.isEmpty() && !OrderPlan(m_options.plan, found, m_own, problem)) {
        m_context.err << ProgramName() << ": watch: " << problem << "; nothing was changed\n";
        return CliStatus::BadInput;
    }
    return std::nullopt;
}

void WatchStation::Turn()
{
    HandleSignals();
    const Clock::time_point now = Clock::now();
    if (m_searchId != 0 && now >= m_searchCloses)
        CloseSearch();
    if (m_searchId == 0 && SearchDue(now))
        SendSearch(now);
    ExpireWaits(now);
    ExpireConfirmations(now);
    CollectFinished();
    if (!m_stopping)
        StartWaiting();
    Wait(now + kSlice);
    Drain();
}

bool WatchStation::Finished() const
{
    return m_stopping && m_working == 0;
}

// Searches go on while a board must be confirmed, once a second as set-ip confirms.
bool WatchStation::SearchDue(Clock::time_point now) const
{
    const bool confirming = std::any_of(m_boards.cbegin(), m_boards.cend(),
                                        [](const auto& board) { return board->confirmBy.has_value(); });
    if (m_stopping && !confirming)
        return false;
    return now >= m_lastSearch + (confirming ? NodeExchange::kSearchWait : m_options.interval);
}

void WatchStation::SendSearch(Clock::time_point now)
{
    m_lastSearch = now;
    QString problem;
    m_searchId = m_exchange.SendSearch(problem);
    if (m_searchId == 0) {
        if (!m_searchFailing)
            m_context.err << ProgramName() << ": watch: " << problem << "; trying again\n";
        m_searchFailing = true;
        return;
    }
    m_searchFailing = false;
    m_listing.clear();
    m_searchCloses = now + NodeExchange::kSearchWait;
}

void WatchStation::CloseSearch()
{
    m_searchId = 0;
    TakeListing(std::exchange(m_listing, {}), m_lastSearch);
}

void WatchStation::TakeListing(const QList<FoundBoard>& listing, Clock::time_point sent)
{
    m_latest = listing;
    for (const FoundBoard& board : listing) {
        if (!m_seenAddresses.contains(CurrentAddress(board)))
            m_seenAddresses << CurrentAddress(board);
    }
    Confirm(listing);
    if (!m_stopping)
        Admit(listing, sent);
    StopIfPlanComplete();
}

void WatchStation::Wait(Clock::time_point deadline)
{
    if (m_context.snmp.Outstanding() > 0) {
        m_context.snmp.RunUntil(deadline);
        return;
    }
    if (const std::optional<ReceivedNode> node = m_exchange.Queue().Take(deadline))
        HandleNode(*node);
}

void WatchStation::Drain()
{
    for (const ReceivedNode& node : m_exchange.Queue().TakeAll())
        HandleNode(node);
}

void WatchStation::HandleNode(const ReceivedNode& node)
{
    if (!node.record)
        return;
    if (m_searchId != 0 && ReplyAttribution::IsSearchReply(*node.record, m_searchId)) {
        ListSearchReply(m_listing, node);
        return;
    }
    if (const std::optional<qsizetype> index = m_waits.Take(*node.record, m_answers))
        m_boards[static_cast<std::size_t>(*index)]->Wake();
}

void WatchStation::ExpireWaits(Clock::time_point now)
{
    if (m_waits.IsEmpty() || m_waits.Earliest() > now)
        return;
    for (const qsizetype index : m_waits.Expire(now, m_answers))
        m_boards[static_cast<std::size_t>(index)]->Wake();
}

void WatchStation::ExpireConfirmations(Clock::time_point now)
{
    for (const auto& board : m_boards) {
        if (board->confirmBy && *board->confirmBy <= now)
            board->Wake();
    }
}

void WatchStation::Confirm(const QList<FoundBoard>& listing)
{
    for (const auto& board : m_boards) {
        const FoundBoard* found = board->confirmBy ? FindBoard(listing, board->mac) : nullptr;
        if (!found)
            continue;
        board->seen = found->record.GetSettings();
        board->confirmed = Confirmed(listing, board->planned);
        if (board->confirmed)
            board->Wake();
    }
}

// In the order the boards answered: with --from, that is the order their addresses are handed out.
void WatchStation::Admit(const QList<FoundBoard>& listing, Clock::time_point sent)
{
    for (const FoundBoard& found : listing) {
        Board* board = Find(found.record.GetMac());
        if (!board) {
            AddIfWanted(found);
        } else if (board->state == Board::State::Waiting) {
            board->found = found;
        } else if (board->state == Board::State::Failed && board->finished < sent) {
            board->found = found;
            board->state = Board::State::Waiting;
            // An address that was in use when it was handed out: another one this time.
            if (m_options.range && board->record.ip && board->record.ip->status == CliStatus::BadInput)
                Allocate(*board);
        }
    }
}

void WatchStation::AddIfWanted(const FoundBoard& found)
{
    const NodeInfo::MacAddress mac = found.record.GetMac();
    if (DoneEarlier(mac)) {
        if (!m_leftAlone.contains(mac))
            m_leftAlone << mac;
        return;
    }
    if (GivenUpEarlier(mac)) {
        if (!m_givenUpBefore.contains(mac))
            m_givenUpBefore << mac;
        return;
    }
    const auto entry = std::find_if(m_options.plan.cbegin(), m_options.plan.cend(),
                                    [&](const PlannedAddress& planned) { return planned.mac == mac; });
    if (!m_options.range && entry == m_options.plan.cend())
        return;
    auto board = std::make_unique<Board>();
    board->index = static_cast<qsizetype>(m_boards.size());
    board->mac = mac;
    board->found = found;
    // A resumed run goes on counting the tries that earlier runs made.
    board->earlierAttempts = EarlierAttempts(mac);
    if (m_options.range)
        Allocate(*board);
    else
        board->planned = *entry;
    m_boards.push_back(std::move(board));
    m_answers.append(SetAddressAnswer{});
}

void WatchStation::Allocate(Board& board)
{
    board.planProblem.clear();
    if (const std::optional<PlannedAddress> earlier = EarlierAddress(board.mac)) {
        board.planned = *earlier;
        return;
    }
    const PlannedAddress& range = *m_options.range;
    QList<PlannedAddress> plan;
    QString error;
    if (AllocateAddresses({ListedBoard{board.mac, CurrentAddress(board.found)}}, range.ip, range.mask,
                          range.gateway, plan, error, TakenAddresses())) {
        board.planned = plan.first();
        return;
    }
    board.planned = PlannedAddress{board.mac, false, 0, range.mask, range.gateway, 0};
    board.planProblem = error;
}

// The address an earlier run gave the board, while no other board uses it.
std::optional<PlannedAddress> WatchStation::EarlierAddress(const NodeInfo::MacAddress& mac) const
{
    const auto earlier = std::find_if(m_handedOut.cbegin(), m_handedOut.cend(),
                                      [&](const PlannedAddress& planned) { return planned.mac == mac; });
    if (earlier == m_handedOut.cend())
        return std::nullopt;
    const bool taken = std::any_of(m_latest.cbegin(), m_latest.cend(), [&](const FoundBoard& other) {
        return other.record.GetMac() != mac && CurrentAddress(other) == earlier->ip;
    });
    return taken ? std::nullopt : std::optional(*earlier);
}

// What no board may be given: this computer's addresses, every address a board was listed with
// during the run (a board that gave one up may still be known there, in ARP caches say), and every
// address handed out, by earlier runs and by this one.
QList<quint32> WatchStation::TakenAddresses() const
{
    QList<quint32> taken = m_own + m_seenAddresses;
    for (const PlannedAddress& planned : m_handedOut)
        taken << planned.ip;
    for (const auto& board : m_boards) {
        if (!board->planned.dhcp && board->planned.ip != 0)
            taken << board->planned.ip;
    }
    return taken;
}

void WatchStation::StartWaiting()
{
    for (const auto& board : m_boards) {
        if (!HasSlot())
            return;
        if (board->state == Board::State::Waiting && !HeldByMovingBoard(*board))
            Start(*board);
    }
}

bool WatchStation::HasSlot() const
{
    return m_working < m_options.jobs && (m_options.count == 0 || m_done + m_working < m_options.count);
}

// The board's new address is in use by a board that this station is yet to move away: it waits
// for that one, as set-ip lets the board that gives up an address go first.
bool WatchStation::HeldByMovingBoard(const Board& board) const
{
    if (board.planned.dhcp || !board.planProblem.isEmpty())
        return false;
    for (const FoundBoard& other : m_latest) {
        if (other.record.GetMac() == board.mac || CurrentAddress(other) != board.planned.ip)
            continue;
        if (const Board* holder = Find(other.record.GetMac()); holder && holder->Moves())
            return true;
    }
    return false;
}

void WatchStation::Start(Board& board)
{
    board.state = Board::State::Working;
    ++m_working;
    ++board.attempts;
    board.started = Clock::now();
    board.record = BoardRecord{};
    board.record.mac = board.mac;
    board.record.attempt = board.earlierAttempts + board.attempts;
    board.record.had = board.found.record.GetSettings();
    board.record.planned = board.planned;
    board.record.withProfile = m_options.profile.has_value();
    board.steps.emplace(Steps(board));
    board.steps->Start();
}

Task<bool> WatchStation::Steps(Board& board)
{
    const bool addressed = co_await ChangeAddress(board);
    if (addressed && m_options.profile)
        co_await WriteProfile(board);
    co_return true;
}

// Its IP settings, skipped when it has them already; a change counts once a search shows it.
Task<bool> WatchStation::ChangeAddress(Board& board)
{
    BoardRecord& record = board.record;
    if (const QString problem = AddressProblem(board); !problem.isEmpty()) {
        record.ip = StepOutcome{CliStatus::BadInput, ResultWord(CliStatus::BadInput), problem};
        co_return false;
    }
    const std::optional<NetworkSettings> settings = SettingsToSend(board.planned, record.had);
    if (!settings) {
        record.ip = StepOutcome{CliStatus::Done, QStringLiteral("skipped"),
                                QStringLiteral("the board has these settings already")};
        record.now = record.had;
        co_return true;
    }
    AddressChangeResult result;
    const AddressRequest request{*settings, board.mac, board.found.interfaceIndex};
    if (co_await WaitForAnswer(board, request, result))
        co_await WaitForConfirmation(board, result);
    record.ip = Outcome(result);
    record.now = result.reported;
    co_return result.status == CliStatus::Done;
}

Task<bool> WatchStation::WaitForAnswer(Board& board, const AddressRequest& request,
                                       AddressChangeResult& result)
{
    SetAddressAnswer& answer = m_answers[board.index];
    answer = SetAddressAnswer{};
    if (const uint32_t id = m_exchange.SendAddress(request)) {
        m_waits.Add(board.index, id, board.mac, Clock::now() + NodeExchange::kSetAddressWait);
        co_await Parked{board.parked};
    }
    result = ChangeResult(board.planned, request, m_answers[board.index]);
    co_return result.status == CliStatus::Done;
}

Task<bool> WatchStation::WaitForConfirmation(Board& board, AddressChangeResult& result)
{
    board.seen.reset();
    board.confirmed = false;
    board.confirmBy = Clock::now() + kConfirmWait;
    co_await Parked{board.parked};
    board.confirmBy.reset();
    if (board.confirmed)
        MarkConfirmed(result);
    else
        MarkUnconfirmed(result, board.seen, {});
    // Confirm sets seen whenever it sets confirmed.
    if (board.seen)
        result.reported = board.seen;
    co_return board.confirmed;
}

// The settings document at the address the board now reports, as apply writes it.
Task<bool> WatchStation::WriteProfile(Board& board)
{
    const QString address = QString::fromStdString(board.record.now->GetIpText());
    const BoardResult written = co_await WriteBoard(m_context.snmp, address, *m_options.profile, true);
    board.record.profile = StepOutcome{written.status, written.result, written.detail};
    co_return written.status == CliStatus::Done;
}

// The plan's own checks for this one board against the latest search (a MAC that several boards
// answer with, an address in use), or why no address could be handed out to it.
QString WatchStation::AddressProblem(const Board& board) const
{
    if (!board.planProblem.isEmpty())
        return board.planProblem;
    QString error;
    if (!OrderPlan({board.planned}, m_latest, m_own, error))
        return error;
    return {};
}

void WatchStation::CollectFinished()
{
    for (const auto& board : m_boards) {
        if (board->state == Board::State::Working && board->steps && board->steps->Done())
            Finish(*board);
    }
}

void WatchStation::Finish(Board& board)
{
    board.steps.reset();
    --m_working;
    board.finished = Clock::now();
    BoardRecord& record = board.record;
    record.took = std::chrono::duration_cast<std::chrono::milliseconds>(board.finished - board.started);
    record.finished = QDateTime::currentDateTimeUtc();
    if (record.Status() == CliStatus::Done) {
        board.state = Board::State::Done;
        ++m_done;
    } else {
        board.state = record.attempt <= m_options.retries ? Board::State::Failed : Board::State::GaveUp;
        record.retry = board.state == Board::State::Failed;
    }
    Report(record);
    if (board.state == Board::State::GaveUp)
        m_context.err << ProgramName() << ": watch: " << MacText(board.mac) << ": given up after "
                      << record.attempt << (record.attempt == 1 ? " attempt" : " attempts")
                      << "; left for the operator\n";
    if (m_options.count > 0 && m_done >= m_options.count)
        Stop(Boards(m_done) + QStringLiteral(" done (--count)"));
    StopIfPlanComplete();
}

void WatchStation::Report(const BoardRecord& record)
{
    const QJsonObject object = RecordObject(record);
    m_stream->Print(RecordRow(record), object);
    QString error;
    if (!m_journal || m_journal->Append(object, error))
        return;
    m_context.err << ProgramName() << ": watch: writing the journal failed: " << error << '\n';
    m_journalFailed = true;
    Stop(QStringLiteral("the journal could not be written"));
}

void WatchStation::HandleSignals()
{
    for (const int signal : m_stops.Take()) {
        if (++m_signals == 1)
            Stop(QStringLiteral("stopped by %1").arg(StopSignals::Name(signal)));
        else if (!m_abandoned)
            Abandon(signal);
    }
}

void WatchStation::Stop(const QString& why)
{
    if (m_stopping)
        return;
    m_stopping = true;
    m_stopReason = why;
    if (m_working > 0)
        m_context.err << ProgramName() << ": watch: " << why << "; letting " << Boards(m_working)
                      << " in progress finish (a second signal abandons them)\n";
    m_context.err.flush();
}

// No request of theirs is waited for any longer: each board in progress is reported abandoned in
// the step it was in.
void WatchStation::Abandon(int signal)
{
    CollectFinished();
    m_abandoned = true;
    m_context.snmp.Abandon();
    const StepOutcome abandoned{
        CliStatus::NoReply, QStringLiteral("abandoned"),
        QStringLiteral("abandoned by a second signal (%1) before it ended").arg(StopSignals::Name(signal))};
    const int count = m_working;
    for (const auto& board : m_boards) {
        if (board->state != Board::State::Working)
            continue;
        board->steps.reset();
        board->parked = {};
        board->confirmBy.reset();
        BoardRecord& record = board->record;
        (record.ip ? record.profile : record.ip) = abandoned;
        record.abandoned = true;
        record.took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - board->started);
        record.finished = QDateTime::currentDateTimeUtc();
        board->state = Board::State::Abandoned;
        --m_working;
        Report(record);
    }
    m_context.err << ProgramName() << ": watch: a second signal (" << StopSignals::Name(signal)
                  << "): abandoned " << Boards(count) << " in progress\n";
}

// Nothing is left to do once every board of the plan is done (now or by an earlier run) or given up.
void WatchStation::StopIfPlanComplete()
{
    if (m_options.range || m_stopping)
        return;
    const bool complete =
        std::all_of(m_options.plan.cbegin(), m_options.plan.cend(), [&](const PlannedAddress& entry) {
            const Board* board = Find(entry.mac);
            return board ? !board->Moves() : DoneEarlier(entry.mac) || GivenUpEarlier(entry.mac);
        });
    if (complete)
        Stop(QStringLiteral("every board of the plan done or given up"));
}

WatchStation::Board* WatchStation::Find(const NodeInfo::MacAddress& mac) const
{
    const auto found = std::find_if(m_boards.cbegin(), m_boards.cend(),
                                    [&](const auto& board) { return board->mac == mac; });
    return found == m_boards.cend() ? nullptr : found->get();
}

bool WatchStation::DoneEarlier(const NodeInfo::MacAddress& mac) const
{
    if (!m_journal)
        return false;
    const QList<JournalEntry>& earlier = m_journal->Earlier();
    return std::any_of(earlier.cbegin(), earlier.cend(),
                       [&](const JournalEntry& entry) { return entry.done && entry.mac == mac; });
}

// The failed attempts that the journal holds for the board, and the status of the latest.
int WatchStation::EarlierAttempts(const NodeInfo::MacAddress& mac, CliStatus* last) const
{
    if (!m_journal)
        return 0;
    int attempts = 0;
    for (const JournalEntry& entry : m_journal->Earlier()) {
        if (entry.failed && entry.mac == mac) {
            ++attempts;
            if (last)
                *last = entry.status;
        }
    }
    return attempts;
}

bool WatchStation::GivenUpEarlier(const NodeInfo::MacAddress& mac) const
{
    return EarlierAttempts(mac) > m_options.retries;
}

void WatchStation::Summarize() const
{
    QStringList failed;
    for (const auto& board : m_boards) {
        if (board->Failed())
            failed << QStringLiteral("%1 (%2)").arg(MacText(board->mac), board->record.FailureText());
    }
    const QStringList left = LeftBoards();
    QTextStream& err = m_context.err;
    err << ProgramName() << ": watch: " << m_stopReason << ": " << m_done << " done, " << failed.size()
        << " failed, " << left.size() << " left";
    if (!m_leftAlone.isEmpty())
        err << "; " << m_leftAlone.size() << " done before (in the journal) left alone";
    err << '\n';
    if (!failed.isEmpty())
        err << "  failed: " << failed.join(QStringLiteral(", ")) << '\n';
    if (!left.isEmpty())
        err << "  left: " << left.join(QStringLiteral(", ")) << '\n';
    QStringList givenUp;
    for (const NodeInfo::MacAddress& mac : GivenUpBefore())
        givenUp << QStringLiteral("%1 (%2 attempts)").arg(MacText(mac)).arg(EarlierAttempts(mac));
    if (!givenUp.isEmpty())
        err << "  given up before (in the journal), left for the operator: "
            << givenUp.join(QStringLiteral(", ")) << "; a larger --retries tries them again\n";
    err.flush();
}

// Boards seen but not finished, and the plan's boards that never answered.
QStringList WatchStation::LeftBoards() const
{
    QStringList left;
    for (const auto& board : m_boards) {
        if (board->state == Board::State::Waiting && board->attempts == 0)
            left << MacText(board->mac) + QStringLiteral(" (not started)");
        else if (board->state == Board::State::Abandoned)
            left << MacText(board->mac) + QStringLiteral(" (abandoned)");
    }
    for (const PlannedAddress& entry : m_options.plan) {
        if (!Find(entry.mac) && !DoneEarlier(entry.mac) && !GivenUpEarlier(entry.mac))
            left << MacText(entry.mac) + QStringLiteral(" (not seen)");
    }
    return left;
}

// The boards that earlier runs gave up and this one left alone: those it saw, and the plan's.
QList<NodeInfo::MacAddress> WatchStation::GivenUpBefore() const
{
    QList<NodeInfo::MacAddress> macs = m_givenUpBefore;
    for (const PlannedAddress& entry : m_options.plan) {
        if (!macs.contains(entry.mac) && GivenUpEarlier(entry.mac))
            macs << entry.mac;
    }
    return macs;
}

CliStatus WatchStation::WorstStatus() const
{
    CliStatus worst = m_journalFailed ? CliStatus::OutputFailed : CliStatus::Done;
    for (const auto& board : m_boards) {
        if (board->attempts > 0)
            worst = Worst(worst, board->record.Status());
    }
    // Not done, though not tried again here either.
    for (const NodeInfo::MacAddress& mac : GivenUpBefore()) {
        CliStatus last = CliStatus::Refused;
        EarlierAttempts(mac, &last);
        worst = Worst(worst, last);
    }
    return worst;
}
