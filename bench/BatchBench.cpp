// lanfinch-bench-batch --cli PATH --sim PATH --client PATH [--runs R] [--serial-runs S]
//                      [--inventory-boards N] [--case apply|set-ip|inventory]...
// lanfinch-cli's batches against simulated boards, each beside its baseline in the same rounds:
// apply to 100 boards at 10 ms SNMP latency with 10 silent (with --jobs 1 in the first S rounds,
// and to one silent board alone); set-ip --plan for 100 boards of which 10 never answer
// set-address (a search, and the plan of the 90 others); inventory of N boards at 10 ms
// (a search, and lanfinch-bench-getclient reading the same boards). Prints "batch-run" lines,
// then per measure a "batch" line (median, min, max) and per case a "batch-goal" line.
// Runs only inside scripts/netns-run (the product's ports, the broadcast, port 161).
#include "bench/BenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kBatchBoards = 100;
constexpr int kSnmpDelayMs = 10;
// The set-address wait of set-ip, which a board that never answers costs in full.
constexpr double kSetAddressWaitMs = 15000;
constexpr double kGoalFactor = 1.2;
constexpr double kInventoryGoal = 0.8;

struct Options
{
    std::string cli;
    std::string sim;
    std::string client;
    std::string dir;
    int runs = 5;
    int serialRuns = 3;
    int inventoryBoards = 1000;
    std::vector<std::string> cases;
};

// Board k of the apply and set-ip cases; every tenth is the faulty one.
std::string BoardMac(int k)
{
    char text[18];
    std::snprintf(text, sizeof text, "02:4c:46:00:01:%02x", k);
    return text;
}

std::string BoardIp(int k)
{
    return "127.0.0." + std::to_string(2 + k);
}

bool Faulty(int k)
{
    return k % 10 == 9;
}

// {"boards": [...]} with the fault as the faulty boards' extra key.
std::string BoardConfig(const std::string& fault)
{
    std::string text = "{\"boards\": [\n";
    for (int k = 0; k < kBatchBoards; ++k) {
        text += "  {\"mac\": \"" + BoardMac(k) + "\", \"ip\": \"" + BoardIp(k) + "\"";
        if (Faulty(k))
            text += ", " + fault;
        text += k + 1 < kBatchBoards ? "},\n" : "}\n";
    }
    return text + "]}\n";
}

// One measure's runs.
struct Measure
{
    std::vector<double> ms;
    std::vector<double> cpuMs;
    std::vector<double> kb;
    bool checked = true;
};

using Measures = std::map<std::string, Measure>;

// Runs argv once as measure name of the case, and checks that its output holds exactly `expected`
// (pairs of text and count).
Bench::TimedRun Take(const Options& options, Measures& measures, const char* name,
                     const std::vector<std::string>& argv,
                     const std::vector<std::pair<std::string, int>>& expected, int round)
{
    const Bench::TimedRun run = Bench::RunTimed(argv, options.dir + "/out");
    bool good = run.exitCode >= 0;
    for (const auto& [text, count] : expected)
        good = good && Bench::Count(run.out, text) == count;
    Measure& measure = measures[name];
    measure.ms.push_back(run.wallMs);
    measure.cpuMs.push_back(run.cpuMs);
    measure.kb.push_back(static_cast<double>(run.peakKb));
    measure.checked = measure.checked && good;
    std::printf("batch-run case=%s run=%d wall_ms=%.1f cpu_ms=%.1f peak_rss_kb=%ld exit=%d checked=%s\n",
                name, round, run.wallMs, run.cpuMs, run.peakKb, run.exitCode, good ? "yes" : "no");
    std::fflush(stdout);
    return run;
}

double Median(const Measures& measures, const char* name)
{
    const auto it = measures.find(name);
    return it == measures.end() ? 0 : Bench::Median(it->second.ms);
}

void PrintMeasures(const Measures& measures)
{
    for (const auto& [name, measure] : measures) {
        const auto [low, high] = std::minmax_element(measure.ms.begin(), measure.ms.end());
        std::printf(
            "batch case=%s median_ms=%.1f min_ms=%.1f max_ms=%.1f runs=%zu cpu_ms=%.1f peak_rss_kb=%.0f "
            "checked=%s\n",
            name.c_str(), Bench::Median(measure.ms), *low, *high, measure.ms.size(),
            Bench::Median(measure.cpuMs), Bench::Median(measure.kb), measure.checked ? "yes" : "no");
    }
}

// What the runs of a case came to against its goal: value against factor x baseline.
void PrintGoal(const char* name, double value, double baseline, double factor, bool higherIsBetter,
               const char* unit)
{
    const double ratio = value / baseline;
    const bool met = higherIsBetter ? ratio >= factor : ratio <= factor;
    std::printf("batch-goal case=%s value=%.1f baseline=%.1f unit=%s ratio=%.2f goal=%s%.1f goal_met=%s\n",
                name, value, baseline, unit, ratio, higherIsBetter ? ">=" : "<=", factor, met ? "yes" : "NO");
}

std::vector<std::string> Addresses(int count)
{
    std::vector<std::string> addresses;
    for (int k = 0; k < count; ++k)
        addresses.push_back(BoardIp(k));
    return addresses;
}

bool ApplyCase(const Options& options, Measures& measures)
{
    const std::string config = options.dir + "/apply.json";
    const std::string document = options.dir + "/document.json";
    if (!Bench::WriteFile(config, BoardConfig("\"snmp\": {\"silent\": true}")) ||
        !Bench::WriteFile(
            document, R"({"serial": {"bitrate": 57600}, "gpio": {"ports": [{"port": 3, "mode": "INPUT"}]}})"))
        return false;
    Bench::Simulator sim;
    if (!sim.Start(options.sim, {"--config", config, "--bind", "127.0.0.1:0", "--snmp-port", "161",
                                 "--snmp-delay", std::to_string(kSnmpDelayMs)}))
        return false;
    std::vector<std::string> all{options.cli, "apply", document, "--format", "json"};
    const std::vector<std::string> addresses = Addresses(kBatchBoards);
    all.insert(all.end(), addresses.begin(), addresses.end());
    std::vector<std::string> serial = all;
    serial.insert(serial.begin() + 2, {"--jobs", "1"});
    const std::vector<std::pair<std::string, int>> batch{{"\"result\": \"ok\"", 90},
                                                         {"\"result\": \"no reply\"", 10}};
    for (int round = 1; round <= options.runs; ++round) {
        Take(options, measures, "apply-one-silent",
             {options.cli, "apply", document, "--format", "json", BoardIp(9)},
             {{"\"result\": \"no reply\"", 1}}, round);
        Take(options, measures, "apply-100", all, batch, round);
        if (round <= options.serialRuns)
            Take(options, measures, "apply-100-jobs1", serial, batch, round);
    }
    PrintGoal("apply", Median(measures, "apply-100"), Median(measures, "apply-one-silent"), kGoalFactor,
              false, "ms");
    return true;
}

// A plan that moves every board chosen to 127.1.0.x.
std::string Plan(bool withFaulty)
{
    std::string text = "mac,ip,mask,gateway\n";
    for (int k = 0; k < kBatchBoards; ++k) {
        if (withFaulty || !Faulty(k))
            text += BoardMac(k) + ",127.1.0." + std::to_string(2 + k) + ",255.0.0.0\n";
    }
    return text;
}

bool SetIpCase(const Options& options, Measures& measures)
{
    const std::string config = options.dir + "/set-ip.json";
    const std::string all = options.dir + "/plan-100.csv";
    const std::string answering = options.dir + "/plan-90.csv";
    if (!Bench::WriteFile(config, BoardConfig("\"ignoreSetAddress\": true")) ||
        !Bench::WriteFile(all, Plan(true)) || !Bench::WriteFile(answering, Plan(false)))
        return false;
    const std::vector<std::string> simArgs{"--config", config, "--no-snmp"};
    for (int round = 1; round <= options.runs; ++round) {
        // A fresh simulator for each plan: a plan moves its boards.
        Bench::Simulator sim;
        if (!sim.Start(options.sim, simArgs))
            return false;
        Take(options, measures, "set-ip-search", {options.cli, "search", "--format", "csv"},
             {{"02:4c:46:00:01:", kBatchBoards}}, round);
        Take(options, measures, "set-ip-plan-100", {options.cli, "set-ip", "--plan", all, "--format", "json"},
             {{"\"result\": \"ok\"", 90}, {"\"result\": \"no reply\"", 10}}, round);
        sim.Stop();
        if (!sim.Start(options.sim, simArgs))
            return false;
        Take(options, measures, "set-ip-plan-90",
             {options.cli, "set-ip", "--plan", answering, "--format", "json"}, {{"\"result\": \"ok\"", 90}},
             round);
    }
    // The plan of the answering boards is one search, their requests and the confirmation.
    PrintGoal("set-ip", Median(measures, "set-ip-plan-100"),
              Median(measures, "set-ip-plan-90") + kSetAddressWaitMs, kGoalFactor, false, "ms");
    return true;
}

// The client's own time from its first GET to its last reply, as it reports it.
double ClientGetMs(const std::string& out)
{
    const std::size_t at = out.find("get_ms=");
    return at == std::string::npos ? 0 : std::atof(out.c_str() + at + 7);
}

bool InventoryCase(const Options& options, Measures& measures)
{
    const int boards = options.inventoryBoards;
    Bench::Simulator sim;
    if (!sim.Start(options.sim, {"--boards", std::to_string(boards), "--snmp-port", "161", "--snmp-delay",
                                 std::to_string(kSnmpDelayMs)}))
        return false;
    const std::string ok = "ok=" + std::to_string(boards) + " failed=0";
    for (int round = 1; round <= options.runs; ++round) {
        Take(options, measures, "inventory-search", {options.cli, "search", "--format", "csv"},
             {{",lo,", boards}}, round);
        Take(options, measures, "inventory", {options.cli, "inventory", "--format", "csv"},
             {{",lo,,ok,", boards}}, round);
        const Bench::TimedRun client =
            Take(options, measures, "inventory-client",
                 {options.client, "--first", "127.0.0.2", "--boards", std::to_string(boards), "--jobs", "32"},
                 {{ok, 1}}, round);
        measures["inventory-client-gets"].ms.push_back(ClientGetMs(client.out));
    }
    // lanfinch-cli's reading is what its search leaves of the command's time.
    const double reading = Median(measures, "inventory") - Median(measures, "inventory-search");
    const double clientRate = boards / (Median(measures, "inventory-client-gets") / 1000);
    PrintGoal("inventory", boards / (reading / 1000), clientRate, kInventoryGoal, true, "boards/s");
    PrintGoal("inventory-whole", boards / (Median(measures, "inventory") / 1000), clientRate, kInventoryGoal,
              true, "boards/s");
    return true;
}

bool ParseOptions(int argc, char* argv[], Options& options)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--cli")
            options.cli = value;
        else if (name == "--sim")
            options.sim = value;
        else if (name == "--client")
            options.client = value;
        else if (name == "--runs")
            options.runs = std::atoi(value);
        else if (name == "--serial-runs")
            options.serialRuns = std::atoi(value);
        else if (name == "--inventory-boards")
            options.inventoryBoards = std::atoi(value);
        else if (name == "--case")
            options.cases.push_back(value);
        else
            return false;
    }
    if (options.cases.empty())
        options.cases = {"apply", "set-ip", "inventory"};
    return !options.cli.empty() && !options.sim.empty() && !options.client.empty() && options.runs >= 1 &&
           options.inventoryBoards >= 1;
}

} // namespace

int main(int argc, char* argv[])
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs("usage: lanfinch-bench-batch --cli PATH --sim PATH --client PATH [--runs R] "
                   "[--serial-runs S] [--inventory-boards N] [--case apply|set-ip|inventory]...\n",
                   stderr);
        return 2;
    }
    if (!Bench::InPrivateNetns()) {
        std::fputs("lanfinch-bench-batch: refusing to run outside scripts/netns-run\n", stderr);
        return 2;
    }
    char dir[] = "/tmp/lanfinch-bench-batch-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        return 1;
    options.dir = dir;
    setenv("SNMP_PERSISTENT_DIR", dir, 1);
    Measures measures;
    bool ok = true;
    for (const std::string& name : options.cases) {
        const bool ran = name == "apply"    ? ApplyCase(options, measures)
                         : name == "set-ip" ? SetIpCase(options, measures)
                                            : name == "inventory" && InventoryCase(options, measures);
        if (!ran)
            std::fprintf(stderr, "lanfinch-bench-batch: the %s case could not run\n", name.c_str());
        ok = ok && ran;
    }
    PrintMeasures(measures);
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
