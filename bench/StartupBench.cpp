// lanfinch-bench-startup --lanfinch PATH --sim PATH --boards N [--runs R]
// Starts the real lanfinch on the offscreen platform R times while N simulated boards answer, and
// measures process start to its search request on the wire (the simulator's log timestamps the
// datagram in) and the peak resident memory (wait4). Runs only inside scripts/netns-run.
#include "bench/BenchSupport.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>
#include <utility>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Reads the simulator's log as it grows and picks out the search requests it received, with their
// log times (ms, CLOCK_MONOTONIC). Only new bytes are read, so polling costs next to nothing while
// the measured process starts.
class RequestLog
{
  public:
    explicit RequestLog(std::string path) : m_path(std::move(path)) {}

    const std::vector<double>& Poll()
    {
        std::ifstream log(m_path, std::ios::binary);
        log.seekg(static_cast<std::streamoff>(m_offset));
        std::string chunk((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
        const std::size_t end = chunk.rfind('\n');
        if (end == std::string::npos)
            return m_times;
        m_offset += end + 1;
        std::size_t start = 0;
        while (start <= end) {
            const std::size_t stop = chunk.find('\n', start);
            const std::string_view line(chunk.data() + start, stop - start);
            start = stop + 1;
            if (line.find("\"proto\":\"node\"") == std::string_view::npos ||
                line.find("\"dir\":\"in\"") == std::string_view::npos ||
                line.find("\"op\":0,") == std::string_view::npos)
                continue;
            const std::size_t at = line.find("\"t\":");
            if (at != std::string_view::npos)
                m_times.push_back(std::strtod(std::string(line.substr(at + 4)).c_str(), nullptr));
        }
        return m_times;
    }

  private:
    std::string m_path;
    std::size_t m_offset = 0;
    std::vector<double> m_times;
};

void SleepMs(int ms)
{
    timespec pause{ms / 1000, static_cast<long>(ms % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

struct Run
{
    double startupMs = -1;
    long peakKb = 0;
    bool endedBySigterm = false;
};

bool RunOnce(const std::string& lanfinch, RequestLog& log, Run& run)
{
    const std::size_t requestsBefore = log.Poll().size();
    const int64_t startNs = Bench::NowNs();
    const pid_t pid = Bench::Spawn(
        {lanfinch}, {"QT_QPA_PLATFORM=offscreen", "QT_FONT_DPI=96", "QT_ENABLE_HIGHDPI_SCALING=0"});
    if (pid < 0)
        return false;

    // The log's clock has whole milliseconds; the start is taken to the nanosecond.
    const double startMs = Bench::NsToMs(startNs);
    const int64_t deadline = startNs + 20000000000LL;
    double requestMs = -1;
    while (Bench::NowNs() < deadline) {
        const std::vector<double>& times = log.Poll();
        if (times.size() > requestsBefore) {
            requestMs = times[requestsBefore];
            break;
        }
        SleepMs(5);
    }
    if (requestMs >= 0) {
        // The search wait (1000 ms) and a margin, so that the peak includes every listed row.
        SleepMs(1600);
        run.startupMs = requestMs - std::floor(startMs);
    }

    kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    pid_t ended = 0;
    for (int i = 0; i < 300 && ended == 0; ++i) {
        ended = wait4(pid, &status, WNOHANG, &usage);
        if (ended == 0)
            SleepMs(10);
    }
    if (ended == 0) {
        std::fputs("lanfinch-bench-startup: lanfinch did not end on SIGTERM; killed\n", stderr);
        kill(pid, SIGKILL);
        wait4(pid, &status, 0, &usage);
    } else {
        run.endedBySigterm = WIFSIGNALED(status) ? WTERMSIG(status) == SIGTERM : WIFEXITED(status);
    }
    run.peakKb = usage.ru_maxrss;
    return requestMs >= 0;
}

} // namespace

int main(int argc, char* argv[])
{
    std::string lanfinch;
    std::string simPath;
    int boards = -1;
    int runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--lanfinch") == 0)
            lanfinch = argv[i + 1];
        else if (std::strcmp(argv[i], "--sim") == 0)
            simPath = argv[i + 1];
        else if (std::strcmp(argv[i], "--boards") == 0)
            boards = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::atoi(argv[i + 1]);
    }
    if (lanfinch.empty() || simPath.empty() || boards < 0 || runs < 1) {
        std::fputs("usage: lanfinch-bench-startup --lanfinch PATH --sim PATH --boards N [--runs R]\n",
                   stderr);
        return 2;
    }
    if (!Bench::InPrivateNetns()) {
        std::fputs("lanfinch-bench-startup: refusing to run outside scripts/netns-run\n", stderr);
        return 2;
    }

    char dir[] = "/tmp/lanfinch-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        return 1;
    const std::string logPath = std::string(dir) + "/sim.log";
    {
        Bench::Simulator sim;
        if (!sim.Start(simPath, {"--boards", std::to_string(boards), "--no-snmp", "--log", logPath})) {
            std::fputs("lanfinch-bench-startup: the simulator did not start\n", stderr);
            return 1;
        }
        std::vector<double> startup;
        std::vector<double> peak;
        bool allEnded = true;
        RequestLog log(logPath);
        // One run first to warm the page cache; it is not counted.
        for (int i = 0; i <= runs; ++i) {
            Run run;
            if (!RunOnce(lanfinch, log, run)) {
                std::fputs("lanfinch-bench-startup: no search request seen\n", stderr);
                return 1;
            }
            allEnded = allEnded && run.endedBySigterm;
            if (i == 0)
                continue;
            startup.push_back(run.startupMs);
            peak.push_back(static_cast<double>(run.peakKb));
        }
        std::printf("startup boards=%d start_to_request_ms=%.0f peak_rss_kb=%.0f runs=%d sigterm_ends=%s\n",
                    boards, Bench::Median(startup), Bench::Median(peak), runs, allEnded ? "yes" : "no");
    }
    std::remove(logPath.c_str());
    rmdir(dir);
    return 0;
}
