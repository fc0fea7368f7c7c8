// The firewall table of an activation with 10, 1,000 and 2,000 blocked
// addresses: the addresses in named sets (what the engine writes) against
// one rule per address (how the table was written before), side by side in
// one run. For each it times building the nft file from the rule set and
// loading it with `nft -f` into a network namespace of its own, so the
// computer's own firewall is never touched.
//
//   nft_load_benchmark   (as root; without a namespace only the build is timed)
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "blocking/ActivationPlan.h"
#include "blocking/NftTable.h"

namespace {

constexpr int repeats = 5;

// The table as it was written before the sets: one rule per rule of the set.
std::string oneRulePerAddressFile(const std::vector<kt::FirewallRule>& ruleSet) {
    std::string rules;
    for (const kt::FirewallRule& rule : ruleSet) rules += "    " + kt::nftRule(rule) + "\n";
    const std::string table = kt::nftTableName;
    return "table " + table + "\ndelete table " + table + "\ntable " + table +
           " {\n  chain blocked {\n" + rules +
           "  }\n  chain output {\n    type filter hook output priority filter; policy accept;\n"
           "    jump blocked\n  }\n  chain forward {\n    type filter hook forward priority "
           "filter; policy accept;\n    jump blocked\n  }\n}\n";
}

// Distinct addresses from 100.64.0.0 up, with every tenth an IPv6 address.
std::vector<std::string> addresses(std::size_t count) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 10 == 9)
            out.push_back("2001:db8::" + std::to_string(i));
        else
            out.push_back("100.64." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1));
    }
    return out;
}

// The fastest of a few runs, in milliseconds.
double millisecondsFor(const std::function<bool()>& work, bool& ok) {
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ok = work() && ok;
        best = std::min(best, std::chrono::duration<double, std::milli>(
                                  std::chrono::steady_clock::now() - start)
                                  .count());
    }
    return best;
}

struct Measured {
    double buildMs = 0;
    double loadMs = 0;
    std::size_t chainRules = 0;
    std::size_t bytes = 0;
};

Measured measure(const std::vector<kt::FirewallRule>& rules, bool sets, bool canLoad,
                 const std::string& path, bool& ok) {
    Measured m;
    std::string text;
    m.buildMs = millisecondsFor(
        [&] {
            text = sets ? kt::nftTableFile(rules) : oneRulePerAddressFile(rules);
            return !text.empty();
        },
        ok);
    m.bytes = text.size();
    const auto chain = text.find("  chain blocked {\n");
    const auto chainEnd = text.find("  }\n", chain);
    m.chainRules =
        static_cast<std::size_t>(std::count(text.begin() + static_cast<long>(chain),
                                            text.begin() + static_cast<long>(chainEnd), '\n') -
                                 1);
    if (canLoad) {
        std::ofstream(path) << text;
        const std::string command = "nft -f " + path;
        m.loadMs = millisecondsFor([&] { return std::system(command.c_str()) == 0; }, ok);
    }
    return m;
}

}  // namespace

int main() {
    // A network namespace of this process's own: nft changes nothing outside it.
    const bool canLoad =
        unshare(CLONE_NEWNET) == 0 && std::system("command -v nft >/dev/null") == 0;
    if (!canLoad)
        std::printf("no network namespace or no nft here (needs root): load times skipped\n");
    const std::string path =
        (std::filesystem::temp_directory_path() / "ka_tesmar_benchmark.nft").string();

    bool ok = true;
    std::printf("%9s | %-22s | %11s | %10s | %9s | %9s\n", "addresses", "table", "chain rules",
                "file bytes", "build ms", "load ms");
    for (std::size_t count : {10u, 1000u, 2000u}) {
        const auto rules =
            kt::makeActivationPlan(kt::checkBlockData({}, addresses(count)), {}).firewallRules;
        const Measured withSets = measure(rules, true, canLoad, path, ok);
        const Measured perAddress = measure(rules, false, canLoad, path, ok);
        for (const auto& [name, m] :
             {std::pair{"sets", withSets}, std::pair{"one rule per address", perAddress}})
            std::printf("%9zu | %-22s | %11zu | %10zu | %9.2f | %9.1f\n", count, name, m.chainRules,
                        m.bytes, m.buildMs, m.loadMs);
        if (canLoad)
            std::printf("%9zu | ratio load per-address/sets: %.1f\n", count,
                        perAddress.loadMs / withSets.loadMs);
    }
    std::filesystem::remove(path);
    if (!ok)
        std::printf("a build or an nft load FAILED\n");
    return ok ? 0 : 1;
}
