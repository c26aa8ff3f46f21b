#pragma once

#include "sim/SimBoard.h"
#include "sim/SimPacket.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <queue>
#include <utility>
#include <vector>

#include <netinet/in.h>

class SimLog;

// The boards' side of the node protocol on one UDP socket. Not a loop of its own: the owner polls
// Fd() and calls OnReadable(), and calls RunDueReplies() when MillisecondsToNextReply() has passed.
// Single-threaded.
class NodeSimulator
{
  public:
    NodeSimulator(std::vector<SimBoard> boards, const SimLog& log);
    ~NodeSimulator();
    NodeSimulator(const NodeSimulator&) = delete;
    NodeSimulator& operator=(const NodeSimulator&) = delete;

    // address and port in host order; port 0 picks an ephemeral one.
    bool Open(uint32_t address, uint16_t port, QString& error);
    int Fd() const { return m_fd; }
    QString BoundText() const;

    void OnReadable();
    // -1 when no delayed reply waits.
    int MillisecondsToNextReply() const;
    void RunDueReplies();

    const std::vector<SimBoard>& Boards() const { return m_boards; }
    // The boards whose address a set-address request changed since the last call, with the new one
    // (host order), for their SNMP agents to follow.
    std::vector<std::pair<std::size_t, uint32_t>> TakeMoves() { return std::exchange(m_moves, {}); }

  private:
    using Clock = std::chrono::steady_clock;

    struct PendingReply
    {
        Clock::time_point due;
        uint64_t sequence = 0;
        std::size_t board = 0;
        SimPacket packet;
        sockaddr_in peer{};

        bool operator>(const PendingReply& other) const
        {
            return due != other.due ? due > other.due : sequence > other.sequence;
        }
    };

    void Handle(const uint8_t* data, std::size_t length, const sockaddr_in& peer);
    void AnswerSearch(const SimPacket& request, const sockaddr_in& peer);
    void AnswerSetAddress(const SimPacket& request, const sockaddr_in& peer);
    void Queue(std::size_t board, const SimPacket& reply, const sockaddr_in& peer, int delayMs);
    void Send(std::size_t board, const SimPacket& reply, const sockaddr_in& requester);
    static bool Answers(const SimBoard& board);

    std::vector<SimBoard> m_boards;
    const SimLog& m_log;
    int m_fd = -1;
    sockaddr_in m_bound{};
    uint64_t m_sequence = 0;
    std::priority_queue<PendingReply, std::vector<PendingReply>, std::greater<>> m_pending;
    std::vector<std::pair<std::size_t, uint32_t>> m_moves;
};
