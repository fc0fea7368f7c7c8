// Address lookups of the activations of a lesson: all at once on worker
// threads against one after the other, side by side in one run. Two batches
// go through the same pool, the second after the first has ended, as the
// teacher's first and second switch do: a short list first (its threads are
// idle when the second comes), then the whole list. The lookup program is a
// stand-in for /usr/bin/dig that takes its full 2-second wait on every query,
// as dig does when no answer comes, and then answers one address
// (stand_in_dig, built beside this program).
//
//   dig_lookup_benchmark [--hosts N]   (N of the 30 AI hosts in the second
//                                       batch, default all; the first has 2)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "RedirectingProcessRunner.h"
#include "blocking/BlockLists.h"
#include "platform/system/PosixProcessRunner.h"
#include "platform/system/ThreadWorkers.h"
#include "privilege/AddressLookups.h"

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

std::vector<std::string> hostsFor(std::size_t count) {
    count = std::min(count, kt::aiHostList().size());
    std::vector<std::string> blocked(kt::aiHostList().begin(), kt::aiHostList().begin() + count);
    return kt::selectHostsToLookUp(kt::aiHostList(), blocked);
}

// One batch in `pool` and the same lookups one after the other; prints both
// and their ratio. True when they agree and the batch took at most 3 s.
bool measureBatch(const char* name, const std::vector<std::string>& hosts,
                  kt::ProcessRunner& processes, kt::WorkerThreads& pool) {
    CallingThread callingThread;
    kt::LookupResult parallel, sequential;
    const double parallelSeconds =
        secondsFor([&] { parallel = kt::lookUpAddressesAndWait(hosts, processes, pool); });
    const double sequentialSeconds = secondsFor(
        [&] { sequential = kt::lookUpAddressesAndWait(hosts, processes, callingThread); });
    const bool same = parallel.addresses == sequential.addresses && !parallel.addresses.empty();
    const bool fastEnough = parallelSeconds <= 3.0;
    std::printf(
        "%-13s %2zu hosts, %2zu lookups  pool %6.2f s  sequential %6.2f s  ratio %5.1f"
        "  same rules: %s  within 3 s: %s\n",
        name, hosts.size(), hosts.size() * 2, parallelSeconds, sequentialSeconds,
        sequentialSeconds / parallelSeconds, same ? "yes" : "NO", fastEnough ? "yes" : "NO");
    std::fflush(stdout);
    return same && fastEnough;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::size_t hostCount = kt::aiHostList().size();
    if (argc == 3 && std::string(argv[1]) == "--hosts")
        hostCount = std::strtoul(argv[2], nullptr, 10);

    // The stand-in is built beside this program.
    std::string standIn = std::filesystem::path(argv[0]).parent_path() / "stand_in_dig";
    if (!std::filesystem::exists(standIn)) {
        std::fprintf(stderr, "missing %s\n", standIn.c_str());
        return 1;
    }

    kt::PosixProcessRunner real;
    kt::testing::RedirectingProcessRunner processes(real, {{"/usr/bin/dig", standIn}});
    kt::ThreadWorkers pool;

    const auto second = hostsFor(hostCount);
    const bool firstOk = measureBatch("first batch", hostsFor(2), processes, pool);
    const bool secondOk = measureBatch("second batch", second, processes, pool);
    return firstOk && secondOk ? 0 : 1;
}
