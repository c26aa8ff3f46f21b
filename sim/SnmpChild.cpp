#include "sim/SnmpChild.h"

#include "sim/SimLog.h"
#include "sim/SimText.h"

#include "sim/snmp/SnmpAgent.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kStopGraceMs = 5000;
constexpr int kPortAttempts = 64;
// Descriptors the agent needs besides one per board: stdio, the log, Net-SNMP's own.
constexpr rlim_t kSpareDescriptors = 64;

QString ErrnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// 1: bound, 0: address in use, -1: not usable here (not a local address).
int TryBind(uint32_t hostOrder, uint16_t port, uint16_t* boundPort = nullptr)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(hostOrder);
    address.sin_port = htons(port);
    int outcome = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? 1
                  : errno == EADDRINUSE                                                        ? 0
                                                                                               : -1;
    socklen_t length = sizeof address;
    if (outcome == 1 && boundPort != nullptr) {
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            *boundPort = ntohs(address.sin_port);
        else
            outcome = -1;
    }
    ::close(fd);
    return outcome;
}

// The agent holds one socket per board. Many shells start with a soft limit of 1024 open files;
// raise it as far as the hard limit allows, and refuse clearly when even that is too low.
bool RaiseDescriptorLimit(size_t boardCount, QString& error)
{
    const rlim_t needed = static_cast<rlim_t>(boardCount) + kSpareDescriptors;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        error = QStringLiteral("getrlimit: %1").arg(ErrnoText());
        return false;
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed)
        return true;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < needed) {
        error = QStringLiteral("%1 boards with SNMP agents need %2 open files, but the limit is %3 "
                               "(ulimit -Hn); use fewer boards or --no-snmp")
                    .arg(boardCount)
                    .arg(static_cast<qulonglong>(needed))
                    .arg(static_cast<qulonglong>(limit.rlim_max));
        return false;
    }
    limit.rlim_cur = needed;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        error = QStringLiteral("setrlimit: %1").arg(ErrnoText());
        return false;
    }
    return true;
}

QString DescribeStatus(int status)
{
    if (WIFEXITED(status))
        return QStringLiteral("exit code %1").arg(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return QStringLiteral("signal %1").arg(WTERMSIG(status));
    return QStringLiteral("status %1").arg(status);
}

[[noreturn]] void RunChild(const std::vector<SimBoard>& boards, uint16_t port, const SimLog& log, int readyFd,
                           int movesFd)
{
    std::vector<SnmpBoardSpec> agentBoards;
    agentBoards.reserve(boards.size());
    for (const SimBoard& board : boards)
        agentBoards.push_back(SnmpBoardSpec{SimText::Ipv4Text(board.ip), board.snmp,
                                            board.snmpDelayMs.value_or(0), board.snmpJitterMs.value_or(0),
                                            board.appearAt});
    SnmpAgentHooks hooks;
    hooks.movesFd = movesFd;
    hooks.log = [&log](const QJsonObject& entry) {
        QJsonObject line = entry;
        if (!line.contains(QStringLiteral("proto")))
            line.insert(QStringLiteral("proto"), QStringLiteral("snmp"));
        log.Write(line);
    };
    hooks.ready = [readyFd]() {
        const char byte = 'R';
        while (::write(readyFd, &byte, 1) < 0 && errno == EINTR) {
        }
    };
    // exit(), not _exit(): the sanitizers' leak check runs at exit in the child as well.
    std::exit(RunSnmpAgent(agentBoards, port, hooks));
}

} // namespace

SnmpChild::~SnmpChild()
{
    QString ignored;
    Stop(ignored);
}

bool SnmpChild::PickFreePort(const std::vector<SimBoard>& boards, uint16_t& port, QString& error)
{
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        uint16_t candidate = 0;
        if (TryBind(INADDR_ANY, 0, &candidate) != 1) {
            error = QStringLiteral("cannot bind a UDP socket: %1").arg(ErrnoText());
            return false;
        }
        bool usable = true;
        for (const SimBoard& board : boards) {
            if (board.localSource && TryBind(board.ip, candidate) == 0) {
                usable = false;
                break;
            }
        }
        if (usable) {
            port = candidate;
            return true;
        }
    }
    error = QStringLiteral("found no UDP port free on every board's address");
    return false;
}

bool SnmpChild::Start(const std::vector<SimBoard>& boards, uint16_t port, const SimLog& log,
                      const sigset_t& childMask, const std::vector<int>& closeInChild, QString& error)
{
    if (!RaiseDescriptorLimit(boards.size(), error))
        return false;
    int fds[2] = {-1, -1};
    int moves[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0 || ::pipe2(moves, O_CLOEXEC) != 0) {
        error = QStringLiteral("pipe: %1").arg(ErrnoText());
        for (const int fd : {fds[0], fds[1], moves[0], moves[1]}) {
            if (fd >= 0)
                ::close(fd);
        }
        return false;
    }
    // Whatever stdio holds would otherwise be written twice, once by each process.
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = QStringLiteral("fork: %1").arg(ErrnoText());
        for (const int fd : {fds[0], fds[1], moves[0], moves[1]})
            ::close(fd);
        return false;
    }
    if (pid == 0) {
        // The agent must not outlive a simulator that was killed outright.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
        ::close(fds[0]);
        ::close(moves[1]);
        for (int fd : closeInChild)
            ::close(fd);
        // stdout carries the parent's one ready line and nothing else.
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        ::sigprocmask(SIG_SETMASK, &childMask, nullptr);
        RunChild(boards, port, log, fds[1], moves[0]);
    }
    ::close(fds[1]);
    ::close(moves[0]);
    // A full pipe must not stop the boards' node protocol.
    ::fcntl(moves[1], F_SETFL, O_NONBLOCK);
    m_pid = pid;
    m_readyFd = fds[0];
    m_movesFd = moves[1];
    return true;
}

void SnmpChild::CloseReadyFd()
{
    if (m_readyFd >= 0)
        ::close(m_readyFd);
    m_readyFd = -1;
}

void SnmpChild::TellMoved(std::size_t board, uint32_t address)
{
    const uint32_t message[2] = {static_cast<uint32_t>(board), address};
    if (m_movesFd >= 0 && ::write(m_movesFd, message, sizeof message) != static_cast<ssize_t>(sizeof message))
        std::fprintf(stderr, "lanfinch-sim: the SNMP agent of board %zu cannot follow its new address: %s\n",
                     board, std::strerror(errno));
}

bool SnmpChild::Reap(QString& how)
{
    if (m_pid <= 0)
        return true;
    int status = 0;
    const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
    if (done == 0)
        return false;
    how = done == m_pid ? DescribeStatus(status) : QStringLiteral("lost (%1)").arg(ErrnoText());
    m_pid = -1;
    CloseReadyFd();
    return true;
}

bool SnmpChild::Stop(QString& how)
{
    CloseReadyFd();
    if (m_movesFd >= 0)
        ::close(m_movesFd);
    m_movesFd = -1;
    if (m_pid <= 0)
        return true;
    ::kill(m_pid, SIGTERM);
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid)
            break;
        if (done < 0 && errno != EINTR) {
            how = QStringLiteral("lost (%1)").arg(ErrnoText());
            m_pid = -1;
            return false;
        }
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long elapsedMs = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (elapsedMs >= kStopGraceMs) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            how = QStringLiteral("killed after %1 ms").arg(kStopGraceMs);
            m_pid = -1;
            return false;
        }
        // SIGCHLD is blocked in the simulator, so it can be waited for directly.
        sigset_t childSignal;
        sigemptyset(&childSignal);
        sigaddset(&childSignal, SIGCHLD);
        const timespec slice{0, 50 * 1000 * 1000};
        ::sigtimedwait(&childSignal, nullptr, &slice);
    }
    m_pid = -1;
    how = DescribeStatus(status);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
