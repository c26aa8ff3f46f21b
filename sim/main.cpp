#include "sim/NodeSimulator.h"
#include "sim/SimConfig.h"
#include "sim/SimLog.h"
#include "sim/SimOptions.h"
#include "sim/SnmpChild.h"

#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void PrintError(const QString& message)
{
    std::fprintf(stderr, "lanfinch-sim: %s\n", message.toLocal8Bit().constData());
}

// The configured boards, then the generated ones; the command line's SNMP latency goes to every board
// whose "snmp" object does not set its own, and --reply-broadcast to every board. A board's
// appearAfterMs counts from now.
bool LoadBoards(const SimOptions& options, std::vector<SimBoard>& boards, QString& error)
{
    if ((!options.configPath.isEmpty() && !SimConfig::LoadFile(options.configPath, boards, error)) ||
        !SimConfig::AppendGenerated(options.generatedBoards, boards, error))
        return false;
    const auto started = std::chrono::steady_clock::now();
    for (SimBoard& board : boards) {
        board.snmpDelayMs = board.snmpDelayMs.value_or(options.snmpDelayMs);
        board.snmpJitterMs = board.snmpJitterMs.value_or(options.snmpJitterMs);
        board.replyBroadcast = board.replyBroadcast || options.replyBroadcast;
        board.appearAt = started + std::chrono::milliseconds(board.appearAfterMs);
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    SimOptions options;
    QString error;
    if (!SimOptions::Parse(arguments, options, error)) {
        PrintError(error);
        return 2;
    }
    if (options.help) {
        std::fputs(SimOptions::HelpText().toLocal8Bit().constData(), stdout);
        return 0;
    }

    std::vector<SimBoard> boards;
    if (!LoadBoards(options, boards, error)) {
        PrintError(error);
        return 2;
    }

    SimLog log;
    if (!options.logPath.isEmpty() && !log.Open(options.logPath, error)) {
        PrintError(error);
        return 2;
    }

    // Signals arrive through a descriptor so that the single poll loop sees them like any datagram.
    sigset_t originalMask;
    sigset_t handled;
    sigemptyset(&handled);
    sigaddset(&handled, SIGINT);
    sigaddset(&handled, SIGTERM);
    sigaddset(&handled, SIGCHLD);
    sigprocmask(SIG_BLOCK, &handled, &originalMask);
    std::signal(SIGPIPE, SIG_IGN);
    const int signalFd = signalfd(-1, &handled, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd < 0) {
        PrintError(QStringLiteral("signalfd: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return 1;
    }

    NodeSimulator simulator(std::move(boards), log);
    if (!simulator.Open(options.bindAddress, options.bindPort, error)) {
        PrintError(error);
        return 1;
    }

    SnmpChild snmp;
    uint16_t snmpPort = 0;
    if (!options.noSnmp) {
        snmpPort = options.snmpPort;
        if ((snmpPort == 0 && !SnmpChild::PickFreePort(simulator.Boards(), snmpPort, error)) ||
            !snmp.Start(simulator.Boards(), snmpPort, log, originalMask, {signalFd, simulator.Fd()}, error)) {
            PrintError(error);
            return 1;
        }
    }

    const auto announceReady = [&]() {
        std::printf("lanfinch-sim ready udp=%s snmp=%u boards=%zu\n",
                    simulator.BoundText().toLatin1().constData(), static_cast<unsigned>(snmpPort),
                    simulator.Boards().size());
        std::fflush(stdout);
    };
    if (options.noSnmp)
        announceReady();

    int exitCode = 0;
    bool running = true;
    while (running) {
        pollfd fds[3] = {{signalFd, POLLIN, 0}, {simulator.Fd(), POLLIN, 0}, {snmp.ReadyFd(), POLLIN, 0}};
        const nfds_t count = snmp.ReadyFd() >= 0 ? 3 : 2;
        if (::poll(fds, count, simulator.MillisecondsToNextReply()) < 0 && errno != EINTR) {
            PrintError(QStringLiteral("poll: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            exitCode = 1;
            break;
        }

        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            while (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                QString how;
                if (info.ssi_signo == SIGINT || info.ssi_signo == SIGTERM) {
                    running = false;
                } else if (info.ssi_signo == SIGCHLD && !options.noSnmp && snmp.Reap(how)) {
                    PrintError(QStringLiteral("the SNMP agent ended (%1)").arg(how));
                    exitCode = 1;
                    running = false;
                }
            }
        }
        if (count == 3 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
            char byte = 0;
            const ssize_t got = ::read(snmp.ReadyFd(), &byte, 1);
            if (got == 1) {
                snmp.CloseReadyFd();
                announceReady();
            } else if (got == 0 || errno != EINTR) {
                // Ended before it was ready; SIGCHLD tells how, and ends the loop.
                snmp.CloseReadyFd();
            }
        }
        if (fds[1].revents & POLLIN)
            simulator.OnReadable();
        for (const auto& [board, address] : simulator.TakeMoves()) {
            if (!options.noSnmp)
                snmp.TellMoved(board, address);
        }
        simulator.RunDueReplies();
    }

    QString how;
    if (!options.noSnmp && !snmp.Stop(how) && exitCode == 0) {
        PrintError(QStringLiteral("the SNMP agent did not stop cleanly (%1)").arg(how));
        exitCode = 1;
    }
    ::close(signalFd);
    return exitCode;
}
