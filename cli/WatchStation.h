#pragma once

#include "cli/AddressChange.h"
#include "cli/AddressPlan.h"
#include "cli/CliStatus.h"
#include "cli/NodeExchange.h"
#include "cli/Records.h"
#include "cli/WatchRecord.h"
#include "core/SettingsChange.h"
#include "core/Task.h"

#include <QList>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class StopSignals;
class WatchJournal;
struct CliContext;

// What watch was told, all of it checked already.
struct WatchOptions
{
    QList<PlannedAddress> plan;          // --plan; empty with --from
    std::optional<PlannedAddress> range; // --from A --mask M [--gateway G]
    std::optional<SettingsChange> profile;
    int count = 0; // boards to do before it stops; 0: until stopped
    std::chrono::milliseconds interval{1000};
    int jobs = 32;
    int retries = 2;
    OutputFormat format = OutputFormat::Table;
};

// A commissioning station: searches every interval and takes each board that the plan names (with
// a range: each new board, given the next free address) through its steps while the search goes on
// for others: its IP settings, confirmed by a search, then the profile written at its new address,
// committed and read back. Each board is reported as it finishes, on the command's output and in
// the journal; boards done in the journal are left alone. A failed board is tried again when it
// answers a later search, up to the retries.
//
// Threads: one runs everything, the SNMP loop in short slices and between them the node replies
// from the exchange's queue, the timers and the signals. Each board's steps are a coroutine that
// waits for the loop (a reply, a search) or for its SNMP requests; no thread per board.
class WatchStation
{
  public:
    // journal: may be null.
    WatchStation(CliContext& context, NodeExchange& exchange, StopSignals& stops, WatchJournal* journal,
                 WatchOptions options);
    ~WatchStation();
    WatchStation(const WatchStation&) = delete;
    WatchStation& operator=(const WatchStation&) = delete;

    // The first search, with the plan checked against it (a plan that cannot be carried out as it
    // stands changes nothing: BadInput), then boards until --count is reached, the plan is
    // complete or a signal stops it; then a summary on stderr. The worst status of the boards
    // handled.
    CliStatus Run();

  private:
    struct Board;
    using Clock = std::chrono::steady_clock;

    std::optional<CliStatus> FirstSearch(QList<FoundBoard>& found);
    void Turn();
    bool Finished() const;

    bool SearchDue(Clock::time_point now) const;
    void SendSearch(Clock::time_point now);
    void CloseSearch();
    void TakeListing(const QList<FoundBoard>& listing, Clock::time_point sent);
    void Wait(Clock::time_point deadline);
    void Drain();
    void HandleNode(const ReceivedNode& node);
    void ExpireWaits(Clock::time_point now);
    void ExpireConfirmations(Clock::time_point now);
    void Confirm(const QList<FoundBoard>& listing);

    void Admit(const QList<FoundBoard>& listing, Clock::time_point sent);
    void AddIfWanted(const FoundBoard& found);
    void Allocate(Board& board);
    std::optional<PlannedAddress> EarlierAddress(const NodeInfo::MacAddress& mac) const;
    QList<quint32> TakenAddresses() const;

    void StartWaiting();
    bool HasSlot() const;
    bool HeldByMovingBoard(const Board& board) const;
    void Start(Board& board);
    Task<bool> Steps(Board& board);
    Task<bool> ChangeAddress(Board& board);
    Task<bool> WaitForAnswer(Board& board, const AddressRequest& request, AddressChangeResult& result);
    Task<bool> WaitForConfirmation(Board& board, AddressChangeResult& result);
    Task<bool> WriteProfile(Board& board);
    QString AddressProblem(const Board& board) const;

    void CollectFinished();
    void Finish(Board& board);
    void Report(const BoardRecord& record);
    void HandleSignals();
    void Stop(const QString& why);
    void Abandon(int signal);
    void StopIfPlanComplete();

    Board* Find(const NodeInfo::MacAddress& mac) const;
    bool DoneEarlier(const NodeInfo::MacAddress& mac) const;
    int EarlierAttempts(const NodeInfo::MacAddress& mac, CliStatus* last = nullptr) const;
    bool GivenUpEarlier(const NodeInfo::MacAddress& mac) const;
    void Summarize() const;
    QStringList LeftBoards() const;
    QList<NodeInfo::MacAddress> GivenUpBefore() const;
    CliStatus WorstStatus() const;

    CliContext& m_context;
    NodeExchange& m_exchange;
    StopSignals& m_stops;
    WatchJournal* m_journal;
    WatchOptions m_options;
    QList<quint32> m_own;
    QList<PlannedAddress> m_handedOut; // by earlier runs, as the journal says
    std::optional<RecordStream> m_stream;

    std::vector<std::unique_ptr<Board>> m_boards; // in the order they appeared
    QList<SetAddressAnswer> m_answers;            // per board, for m_waits
    SetAddressWaits m_waits;
    QList<FoundBoard> m_latest;     // the latest search's boards
    QList<quint32> m_seenAddresses; // of every board listed during the run
    QList<NodeInfo::MacAddress> m_leftAlone;
    QList<NodeInfo::MacAddress> m_givenUpBefore; // seen, but out of tries in the journal

    uint32_t m_searchId = 0; // of the search whose replies are being listed; 0: none
    QList<FoundBoard> m_listing;
    Clock::time_point m_lastSearch{};
    Clock::time_point m_searchCloses{};
    bool m_searchFailing = false;

    int m_working = 0;
    int m_done = 0;
    int m_signals = 0;
    bool m_stopping = false;
    bool m_abandoned = false;
    bool m_journalFailed = false;
    QString m_stopReason;
};
