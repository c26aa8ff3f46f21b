#include "bench/BenchSupport.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Bench {

int64_t NowNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

double NsToMs(int64_t ns)
{
    return static_cast<double>(ns) / 1e6;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool InPrivateNetns()
{
    const char* flag = std::getenv("LANFINCH_NETNS");
    return flag != nullptr && std::strcmp(flag, "1") == 0;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv, int stdoutFd,
            bool quietStderr)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    std::vector<char*> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        const std::size_t nameLength =
            equals ? static_cast<std::size_t>(equals - *entry) : std::strlen(*entry);
        const bool overridden = std::any_of(extraEnv.begin(), extraEnv.end(), [&](const std::string& extra) {
            return extra.compare(0, nameLength + 1, *entry, nameLength + 1) == 0;
        });
        if (!overridden)
            env.push_back(*entry);
    }
    for (const std::string& extra : extraEnv)
        env.push_back(const_cast<char*>(extra.c_str()));
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, stdoutFd);
    }
    if (quietStderr)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

bool RunQuiet(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv)
{
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t pid = Spawn(argv, extraEnv, null, true);
    if (null >= 0)
        close(null);
    if (pid < 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TimedRun RunTimed(const std::vector<std::string>& argv, const std::string& outPath)
{
    TimedRun run;
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0)
        return run;
    const int64_t start = NowNs();
    const pid_t pid = Spawn(argv, {}, out, true);
    close(out);
    if (pid < 0)
        return run;
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.wallMs = NsToMs(NowNs() - start);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKb = usage.ru_maxrss;
    const auto ms = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) * 1e3 + time.tv_usec / 1e3;
    };
    run.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    std::ifstream file(outPath, std::ios::binary);
    run.out.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return run;
}

bool WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    return static_cast<bool>(file.flush());
}

int Count(const std::string& text, const std::string& needle)
{
    int count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

Simulator::~Simulator()
{
    Stop();
}

bool Simulator::Start(const std::string& path, const std::vector<std::string>& args, int timeoutMs)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    std::vector<std::string> argv{path};
    argv.insert(argv.end(), args.begin(), args.end());
    m_pid = Spawn(argv, {}, pipeFds[1]);
    close(pipeFds[1]);
    if (m_pid < 0) {
        close(pipeFds[0]);
        return false;
    }

    const int64_t deadline = NowNs() + static_cast<int64_t>(timeoutMs) * 1000000;
    m_ready.clear();
    for (;;) {
        const int64_t left = (deadline - NowNs()) / 1000000;
        pollfd fd{pipeFds[0], POLLIN, 0};
        if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0)
            break;
        char c = 0;
        if (read(pipeFds[0], &c, 1) != 1)
            break;
        if (c == '\n') {
            close(pipeFds[0]);
            return m_ready.rfind("lanfinch-sim ready", 0) == 0;
        }
        m_ready += c;
    }
    close(pipeFds[0]);
    Stop();
    return false;
}

void Simulator::Stop()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
}

} // namespace Bench
