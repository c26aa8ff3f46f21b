#pragma once

#include <QJsonObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

// The SNMP side of the simulated boards. Runs in a process of its own (the simulator forks it),
// because Net-SNMP's agent keeps process-wide state.

struct SnmpBoardSpec
{
    QString address; // dotted IPv4 address the board's agent listens on
    QJsonObject
        snmp; // the board's "snmp" object from the configuration (faults, initial values); may be empty
    // Each reply leaves delayMs plus a uniformly random 0..jitterMs after its request came in, never
    // before the board's previous reply; 0 and 0 send it at once.
    int delayMs = 0;
    int jitterMs = 0;
    // Before then it listens on its address but answers nothing, like a board not plugged in yet.
    std::chrono::steady_clock::time_point appearAt{};
};

struct SnmpAgentHooks
{
    std::function<void(const QJsonObject&)> log; // one JSON object per GET/SET variable handled
    std::function<void()> ready;                 // called once every board's agent listens
    // Where the boards' moves come from: {board index, new address in host order} as two uint32_t.
    // A board that moves listens on its new address from then on. -1: none come.
    int movesFd = -1;
};

// Serves every board on address:port until SIGTERM or SIGINT. Returns the process exit code
// (0 after a clean stop, nonzero when an agent could not be started).
int RunSnmpAgent(const std::vector<SnmpBoardSpec>& boards, uint16_t port, const SnmpAgentHooks& hooks);
