#include "cli/StopSignals.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler can reach nothing but globals.
int g_pipe[2] = {-1, -1};

void OnSignal(int signal)
{
    const int saved = errno;
    const auto number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &number, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals()
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &m_oldInterrupt);
    ::sigaction(SIGTERM, &action, &m_oldTerminate);
}

StopSignals::~StopSignals()
{
    if (!IsWatching())
        return;
    ::sigaction(SIGINT, &m_oldInterrupt, nullptr);
    ::sigaction(SIGTERM, &m_oldTerminate, nullptr);
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

bool StopSignals::IsWatching() const
{
    return g_pipe[0] >= 0;
}

QList<int> StopSignals::Take()
{
    QList<int> arrived;
    unsigned char numbers[16];
    ssize_t got = 0;
    while (IsWatching() && (got = ::read(g_pipe[0], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < got; ++i)
            arrived << numbers[i];
    }
    return arrived;
}

QString StopSignals::Name(int signal)
{
    switch (signal) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}
