// Address lookups of one activation: all at once on worker threads against
// one after the other, side by side in one run. The lookup program is a
// stand-in for /usr/bin/dig that takes its full 2-second wait on every query,
// as dig does when no answer comes, and then answers one address
// (stand_in_dig, built beside this program).
//
//   dig_lookup_benchmark [--hosts N]   (N of the 30 AI hosts, default all)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "RedirectingProcessRunner.h"
#include "blocking/BlockLists.h"
#include "blocking/NameResolution.h"
#include "platform/system/PosixProcessRunner.h"
#include "platform/system/ThreadWorkers.h"

namespace {

// Runs every task at once on the calling thread: the lookups one after the other.
class CallingThread final : public kt::WorkerThreads {
  public:
    void run(Task task) override { task(); }
};

double secondsFor(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char* argv[]) {
    std::size_t hostCount = kt::aiHostList().size();
    if (argc == 3 && std::string(argv[1]) == "--hosts")
        hostCount = std::strtoul(argv[2], nullptr, 10);
    std::vector<std::string> blocked(kt::aiHostList().begin(),
                                     kt::aiHostList().begin() + hostCount);
    std::vector<std::string> hosts = kt::selectHostsToLookUp(kt::aiHostList(), blocked);

    // The stand-in is built beside this program.
    std::string standIn = std::filesystem::path(argv[0]).parent_path() / "stand_in_dig";
    if (!std::filesystem::exists(standIn)) {
        std::fprintf(stderr, "missing %s\n", standIn.c_str());
        return 1;
    }

    kt::PosixProcessRunner real;
    kt::testing::RedirectingProcessRunner processes(real, {{"/usr/bin/dig", standIn}});
    kt::ThreadWorkers workers;
    CallingThread callingThread;

    kt::LookupResult parallel, sequential;
    double parallelSeconds =
        secondsFor([&] { parallel = kt::lookUpAddressRulesAndWait(hosts, processes, workers); });
    std::printf("hosts selected: %zu (%zu lookups of 2 s each)\n", hosts.size(), hosts.size() * 2);
    std::printf("parallel:   %7.2f s\n", parallelSeconds);
    std::fflush(stdout);
    double sequentialSeconds = secondsFor(
        [&] { sequential = kt::lookUpAddressRulesAndWait(hosts, processes, callingThread); });
    std::printf("sequential: %7.2f s\n", sequentialSeconds);
    std::printf("ratio sequential/parallel: %.1f\n", sequentialSeconds / parallelSeconds);
    bool same = parallel.rules == sequential.rules && !parallel.rules.empty();
    std::printf("same rules in the same order: %s (%zu rules)\n", same ? "yes" : "NO",
                parallel.rules.size());
    std::printf("%s\n",
                kt::lookupSummaryLine(parallel.rules.size(), kt::aiHostList().size()).c_str());
    bool fastEnough = parallelSeconds <= 3.0;
    std::printf("parallel within 3 s: %s\n", fastEnough ? "yes" : "NO");

    return same && fastEnough ? 0 : 1;
}
