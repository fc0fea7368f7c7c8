// How many students one core of ka-tesmar-service serves: for each store
// (in memory, SQLite file) and each number of students, the service is
// started pinned to one core, all students connect at once over keep-alive
// TLS, log in and poll every 5 s. Loopback only; every run is bounded.
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "PollLoad.h"

extern char** environ;

namespace {

using kt::bench::LoadPlan;
using kt::bench::LoadResult;
namespace fs = std::filesystem;

struct Options {
    std::string service = KT_SERVICE_BINARY;
    std::string baseline;  // an earlier build
    bool baselineTakesDatabase = false;
    bool oneAddress = false;
    std::vector<int> students = {500, 1000, 2500, 5000, 10000};
    double pollSeconds = 20;
    int serviceCore = 0;
    int generatorCore = 1;
};

struct RunningService {
    pid_t pid = -1;
    int port = 0;
};

// Starts `argv` with its standard output into a pipe; its pid and that pipe.
std::pair<pid_t, FILE*> spawnReading(const std::vector<const char*>& argv) {
    int out[2];
    if (pipe(out) != 0)
        return {-1, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv.front(), &actions, nullptr,
                                    const_cast<char* const*>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (failed != 0) {
        close(out[0]);
        return {-1, nullptr};
    }
    return {pid, fdopen(out[0], "r")};
}

// Whether `binary serve` takes --database: a baseline from before the SQLite
// store does not, and keeps its classes in memory.
bool takesDatabase(const std::string& binary) {
    const auto [pid, output] = spawnReading({binary.c_str(), "serve", "--help", nullptr});
    if (!output)
        return false;
    bool found = false;
    char line[512];
    while (fgets(line, sizeof(line), output)) found = found || std::strstr(line, "--database");
    fclose(output);
    waitpid(pid, nullptr, 0);
    return found;
}

// Starts `taskset -c CORE service serve ...` and reads its port from its output.
// The baseline (`baseline`) gets the database only when it takes one.
RunningService startService(const Options& options, const std::string& database, bool baseline,
                            const fs::path& work) {
    const std::string core = std::to_string(options.serviceCore);
    const std::string tls = (work / "tls").string(), classes = (work / "classes.json").string(),
                      secret = (work / "admin.secret").string();
    const std::string& binary = baseline ? options.baseline : options.service;
    std::vector<const char*> argv = {"taskset",   "-c",        core.c_str(),   binary.c_str(),
                                     "serve",     "--listen",  "127.0.0.1:0",  "--tls-dir",
                                     tls.c_str(), "--classes", classes.c_str()};
    if (!baseline || options.baselineTakesDatabase)
        argv.insert(argv.end(), {"--database", database.c_str(), "--admin-secret", secret.c_str()});
    argv.push_back(nullptr);
    RunningService running;
    FILE* output = nullptr;
    std::tie(running.pid, output) = spawnReading(argv);
    if (!output)
        return {};
    char line[512];
    const std::regex listening(R"(Listening on https://127\.0\.0\.1:(\d+)/)");
    while (fgets(line, sizeof(line), output)) {
        std::cmatch match;
        if (std::regex_search(line, match, listening)) {
            running.port = std::stoi(match[1]);
            break;
        }
    }
    // The request log goes on into the pipe: read it away so that the service never blocks.
    if (fork() == 0) {
        while (fgets(line, sizeof(line), output)) {
        }
        _exit(0);
    }
    fclose(output);
    return running;
}

void stopService(RunningService& running) {
    if (running.pid <= 0)
        return;
    kill(running.pid, SIGTERM);
    waitpid(running.pid, nullptr, 0);
}

std::string range(const kt::bench::Percentiles& p) {
    char text[64];
    std::snprintf(text, sizeof(text), "%7.1f %7.1f %8.1f", p.p50, p.p99, p.max);
    return text;
}

// The largest burst, one column per store, and how many times faster than
// the first column (the baseline when given).
void printSideBySide(int students, const std::vector<std::pair<std::string, LoadResult>>& runs) {
    if (runs.empty())
        return;
    std::printf("\n%d students opened at once, side by side (ratio: %s / this)\n", students,
                runs.front().first.c_str());
    std::printf("%-26s", "");
    for (const auto& [store, result] : runs) std::printf(" | %-22s", store.c_str());
    std::printf("\n");
    const auto row = [&](const char* what, auto figure) {
        std::printf("%-26s", what);
        const double first = figure(runs.front().second);
        for (const auto& [store, result] : runs) {
            const double value = figure(result);
            char ratio[32] = "";
            if (&result != &runs.front().second && value >= 1 && first >= 1)
                std::snprintf(ratio, sizeof(ratio), "(x%.1f)", first / value);
            std::printf(" | %11.1f %-10s", value, ratio);
        }
        std::printf("\n");
    };
    row("TCP connect ms p99", [](const LoadResult& r) { return r.tcpConnect.p99; });
    row("TCP connect ms max", [](const LoadResult& r) { return r.tcpConnect.max; });
    row("TLS ready ms p99", [](const LoadResult& r) { return r.tlsReady.p99; });
    row("TLS ready ms max", [](const LoadResult& r) { return r.tlsReady.max; });
    row("failed connections/polls", [](const LoadResult& r) { return double(r.failed); });
    row("poll reply ms p99", [](const LoadResult& r) { return r.pollReply.p99; });
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--service") {
            options.service = value;
        } else if (name == "--students") {
            options.students.clear();
            std::stringstream list(value);
            for (std::string item; std::getline(list, item, ',');)
                options.students.push_back(std::stoi(item));
        } else if (name == "--baseline") {
            options.baseline = value;
        } else if (name == "--poll-seconds") {
            options.pollSeconds = std::stod(value);
        } else if (name == "--from" && (value == "one-address" || value == "own-addresses")) {
            options.oneAddress = value == "one-address";
        } else {
            std::fprintf(stderr,
                         "usage: service_capacity_benchmark [--students 500,1000,...] "
                         "[--poll-seconds 20] [--service PATH] [--baseline PATH] "
                         "[--from own-addresses|one-address]\n");
            std::exit(2);
        }
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    Options options = parse(argc, argv);
    if (!options.baseline.empty())
        options.baselineTakesDatabase = takesDatabase(options.baseline);
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    cpu_set_t generator;
    CPU_ZERO(&generator);
    CPU_SET(options.generatorCore, &generator);
    sched_setaffinity(0, sizeof(generator), &generator);

    char pattern[] = "/tmp/kt-capacity-XXXXXX";
    const fs::path work = mkdtemp(pattern);
    std::ofstream(work / "classes.json") << R"([{"code":"BENCH1","class_name":"Bench"}])";

    std::printf("service on core %d, students on core %d (%s), open-file limit %llu\n",
                options.serviceCore, options.generatorCore,
                options.oneAddress ? "all from one address" : "each from an address of its own",
                static_cast<unsigned long long>(limit.rlim_cur));
    std::printf("%-7s %8s %6s %6s | %-24s | %-24s | %8s | %-24s\n", "store", "students", "ready",
                "failed", "TCP accept ms p50 p99 max", "TLS ready ms p50 p99 max", "polls/s",
                "poll reply ms p50 p99 max");
    // "before": the baseline build; "memory" and "sqlite": this build with either database.
    std::vector<std::pair<std::string, std::string>> stores = {{"memory", ":memory:"},
                                                               {"sqlite", "file"}};
    if (!options.baseline.empty())
        stores.insert(stores.begin(), {"before", ":memory:"});
    std::vector<std::pair<std::string, int>> best;
    std::vector<std::pair<std::string, LoadResult>> largestRun;  // per store
    for (const auto& [store, kind] : stores) {
        int largest = 0;
        for (const int students : options.students) {
            const std::string database =
                kind == "file" ? (work / ("service-" + std::to_string(students) + ".db")).string()
                               : kind;
            RunningService service = startService(options, database, store == "before", work);
            if (service.port == 0) {
                std::fprintf(stderr, "the service did not start\n");
                stopService(service);
                return 1;
            }
            LoadPlan plan;
            plan.port = service.port;
            plan.students = students;
            plan.classCode = "BENCH1";
            plan.pollSeconds = options.pollSeconds;
            plan.oneAddress = options.oneAddress;
            const LoadResult result = kt::bench::runLoad(plan);
            stopService(service);
            const bool passed = result.failed == 0 && result.pollReply.p99 < 50.0;
            if (passed)
                largest = students;
            std::printf("%-7s %8d %6d %6d | %s | %s | %8.0f | %s %s\n", store.c_str(), students,
                        result.connected, result.failed, range(result.tcpConnect).c_str(),
                        range(result.tlsReady).c_str(), result.pollsPerSecond,
                        range(result.pollReply).c_str(), passed ? "p99<50ms" : "too slow/failed");
            std::fflush(stdout);
            if (students == options.students.back())
                largestRun.push_back({store, result});
        }
        best.push_back({store, largest});
    }
    printSideBySide(options.students.back(), largestRun);
    for (const auto& [store, largest] : best)
        std::printf(
            "largest number of students with every poll answered and p99 < 50 ms, %s "
            "store: %d\n",
            store.c_str(), largest);
    fs::remove_all(work);
    return 0;
}
