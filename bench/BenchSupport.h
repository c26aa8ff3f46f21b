#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// Small helpers shared by the benchmarks. Single-threaded use.
namespace Bench {

// CLOCK_MONOTONIC, the clock of lanfinch-sim's log as well.
int64_t NowNs();
double NsToMs(int64_t ns);

// Median of the values (the mean of the middle two for an even count); 0 for none.
double Median(std::vector<double> values);

// True inside scripts/netns-run. Benchmarks that use the real broadcast address or the product's
// ports refuse to run anywhere else.
bool InPrivateNetns();

// Starts argv[0] with extra environment entries ("NAME=value") on top of the current one.
// stdoutFd: -1 keeps ours, otherwise it becomes the child's stdout (and is closed in the child).
// Returns the pid, or -1.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
            int stdoutFd = -1, bool quietStderr = false);

// Runs argv to its end; true when it exited with 0.
bool RunQuiet(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {});

// A program run to its end: spawn to exit, its CPU time (user + system), its exit code (-1: it did
// not exit normally), its peak resident memory (wait4's ru_maxrss) and its standard output.
struct TimedRun
{
    double wallMs = 0;
    double cpuMs = 0;
    int exitCode = -1;
    long peakKb = 0;
    std::string out;
};

// Runs argv with its stdout in the file outPath (read back into out) and stderr discarded.
TimedRun RunTimed(const std::vector<std::string>& argv, const std::string& outPath);

// Writes text to the file; true when all of it was written.
bool WriteFile(const std::string& path, const std::string& text);

// How often needle occurs in text.
int Count(const std::string& text, const std::string& needle);

// lanfinch-sim with args, waiting for its ready line (at most timeoutMs). The simulator is stopped
// with SIGTERM by Stop() or the destructor.
class Simulator
{
  public:
    Simulator() = default;
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool Start(const std::string& path, const std::vector<std::string>& args, int timeoutMs = 30000);
    void Stop();
    const std::string& ReadyLine() const { return m_ready; }

  private:
    pid_t m_pid = -1;
    std::string m_ready;
};

} // namespace Bench
