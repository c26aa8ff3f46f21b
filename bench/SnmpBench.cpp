// lanfinch-bench-snmp --sim PATH [--runs R]
// The serial read (two GETs) and write (two SETs and the commit) through CSnmpAccess against one
// simulated board on its agent port 161, beside Net-SNMP's snmpget/snmpset processes doing the
// same exchanges. Runs only inside scripts/netns-run (the agent takes the product's port 161).
#include "bench/BenchSupport.h"
#include "snmpconfig/CSnmpAccess.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

const char kBoard[] = "127.0.0.2";
const std::string kEnterprise = "1.3.6.1.4.1.32473.1.4.";

std::vector<std::string> Tool(const char* tool, std::vector<std::string> tail)
{
    std::vector<std::string> argv{
        std::string("/usr/bin/") + tool, "-v2c", "-c", "vantile", "-r", "0", kBoard};
    argv.insert(argv.end(), tail.begin(), tail.end());
    return argv;
}

template <class F> double TimeMs(F&& exchange, bool& ok)
{
    const int64_t start = Bench::NowNs();
    ok = exchange() && ok;
    return Bench::NsToMs(Bench::NowNs() - start);
}

} // namespace

int main(int argc, char* argv[])
{
    std::string simPath;
    int runs = 50;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--sim") == 0)
            simPath = argv[i + 1];
        else if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::atoi(argv[i + 1]);
    }
    if (simPath.empty() || runs < 1) {
        std::fputs("usage: lanfinch-bench-snmp --sim PATH [--runs R]\n", stderr);
        return 2;
    }
    if (!Bench::InPrivateNetns()) {
        std::fputs("lanfinch-bench-snmp: refusing to run outside scripts/netns-run\n", stderr);
        return 2;
    }

    char dir[] = "/tmp/lanfinch-bench-snmp-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        return 1;
    const std::vector<std::string> toolEnv{std::string("SNMP_PERSISTENT_DIR=") + dir};

    Bench::Simulator sim;
    if (!sim.Start(simPath, {"--boards", "1", "--bind", "127.0.0.1:0", "--snmp-port", "161"})) {
        std::fputs("lanfinch-bench-snmp: the simulator did not start\n", stderr);
        return 1;
    }

    CSnmpAccess access;
    SerialSettings settings{};
    bool ok = access.GetSerialSettings(kBoard, settings) == 1;
    const auto read = [&] { return access.GetSerialSettings(kBoard, settings) == 1; };
    const auto write = [&] { return access.SetSerialSettings(kBoard, settings) == 1; };

    const std::vector<std::string> readA =
        Tool("snmpget",
             {kEnterprise + "2.2.0", kEnterprise + "2.4.0", kEnterprise + "2.10.0", kEnterprise + "2.12.0",
              kEnterprise + "2.15.0", kEnterprise + "2.20.0", kEnterprise + "2.25.0"});
    const std::vector<std::string> readB = Tool("snmpget", {kEnterprise + "2.5.0"});
    const std::vector<std::string> writeA =
        Tool("snmpset", {kEnterprise + "2.2.0",  "i", "0",    kEnterprise + "2.4.0",  "a", "0.0.0.0",
                         kEnterprise + "2.10.0", "i", "9600", kEnterprise + "2.12.0", "i", "3",
                         kEnterprise + "2.15.0", "i", "0",    kEnterprise + "2.20.0", "i", "0",
                         kEnterprise + "2.25.0", "i", "0"});
    const std::vector<std::string> writeB = Tool("snmpset", {kEnterprise + "2.5.0", "i", "21347"});
    const std::vector<std::string> commit = Tool("snmpset", {kEnterprise + "1.2.0", "i", "1"});
    const auto toolRead = [&] { return Bench::RunQuiet(readA, toolEnv) && Bench::RunQuiet(readB, toolEnv); };
    const auto toolWrite = [&] {
        return Bench::RunQuiet(writeA, toolEnv) && Bench::RunQuiet(writeB, toolEnv) &&
               Bench::RunQuiet(commit, toolEnv);
    };
    ok = toolRead() && ok;

    std::vector<double> readMs, writeMs, toolReadMs, toolWriteMs;
    // Interleaved, so that a busy moment of the machine hurts both sides alike.
    for (int i = 0; i < runs; ++i) {
        readMs.push_back(TimeMs(read, ok));
        toolReadMs.push_back(TimeMs(toolRead, ok));
        writeMs.push_back(TimeMs(write, ok));
        toolWriteMs.push_back(TimeMs(toolWrite, ok));
    }
    sim.Stop();
    rmdir(dir);

    const double read50 = Bench::Median(readMs);
    const double write50 = Bench::Median(writeMs);
    const double toolRead50 = Bench::Median(toolReadMs);
    const double toolWrite50 = Bench::Median(toolWriteMs);
    std::printf("snmp exchange=read lanfinch_ms=%.3f tools_ms=%.3f ratio=%.3f runs=%d ok=%s\n", read50,
                toolRead50, read50 / toolRead50, runs, ok ? "yes" : "no");
    std::printf("snmp exchange=write lanfinch_ms=%.3f tools_ms=%.3f ratio=%.3f runs=%d ok=%s\n", write50,
                toolWrite50, write50 / toolWrite50, runs, ok ? "yes" : "no");
    return ok ? 0 : 1;
}
