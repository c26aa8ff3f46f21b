#pragma once

#include "core/SnmpTransport.h"

#include <chrono>
#include <cstdint>
#include <list>
#include <memory>

// Many SNMP requests at once, from one thread: each request on a session of its own, opened with
// Net-SNMP's single-session API (no process-wide session list), sent asynchronously and answered
// from Run(). SNMPv2c, no retransmission.
//
// Threads: one; Send and Run on the same thread. Callbacks run inside Run() (or inside Send when
// nothing could be sent), and may send further requests.
class SnmpLoop final : public SnmpTransport
{
  public:
    // agentPort: the boards' SNMP port (161; tests pass the simulator's).
    explicit SnmpLoop(uint16_t agentPort = 161);
    ~SnmpLoop() override; // closes what is still open; its callbacks are not called
    SnmpLoop(const SnmpLoop&) = delete;
    SnmpLoop& operator=(const SnmpLoop&) = delete;

    void Send(const SnmpRequest& request, Done done) override;
    // Waits for answers and timeouts and hands them on, until no request is outstanding.
    void Run();
    // The same, but returns by the deadline too: for a caller that has other work between slices.
    void RunUntil(std::chrono::steady_clock::time_point deadline);
    // Closes every outstanding request without calling its callback: for a caller that stops
    // waiting for them (the coroutines that sent them are gone).
    void Abandon();
    std::size_t Outstanding() const { return m_pending.size(); }

  private:
    struct Pending;

    static int OnEvent(int operation, netsnmp_session* session, int requestId, netsnmp_pdu* pdu, void* magic);
    void WaitOnce(std::chrono::steady_clock::time_point deadline);
    void HandOver();

    uint16_t m_agentPort;
    std::list<std::unique_ptr<Pending>> m_pending;
};
