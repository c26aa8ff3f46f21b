#pragma once

#include "sim/SimBoard.h"

#include <QString>

#include <csignal>
#include <cstdint>
#include <vector>

#include <sys/types.h>

class SimLog;

// The forked process that runs every board's SNMP agent. The parent learns of its readiness through
// a pipe (one byte; end of file means it ended first) and of its death through SIGCHLD.
class SnmpChild
{
  public:
    SnmpChild() = default;
    ~SnmpChild();
    SnmpChild(const SnmpChild&) = delete;
    SnmpChild& operator=(const SnmpChild&) = delete;

    // A port on which every board's address can bind now (0.0.0.0 first, which collides with any
    // address-specific use of the port, then each local board address).
    static bool PickFreePort(const std::vector<SimBoard>& boards, uint16_t& port, QString& error);

    // childMask: the signal mask the agent runs with; closeInChild: the parent's descriptors.
    bool Start(const std::vector<SimBoard>& boards, uint16_t port, const SimLog& log,
               const sigset_t& childMask, const std::vector<int>& closeInChild, QString& error);
    int ReadyFd() const { return m_readyFd; }
    void CloseReadyFd();
    // The board's agent is to listen on its new address (host order) from now on.
    void TellMoved(std::size_t board, uint32_t address);

    // Non-blocking; true once the child has ended (how describes its end).
    bool Reap(QString& how);
    // SIGTERM, then SIGKILL if it has not ended within a few seconds. True when it ended with 0.
    bool Stop(QString& how);

  private:
    pid_t m_pid = -1;
    int m_readyFd = -1;
    int m_movesFd = -1; // the write end of the pipe the agent reads board moves from
};
