// Hostile names, addresses and lookup answers go through the real pipeline
// (check, plan, script) and the script runs in the sandbox: none of it may
// reach the shell, the hosts file or the anchor.
#include <gtest/gtest.h>

#include "FakeProcessRunner.h"
#include "ManualWorkers.h"
#include "SandboxRun.h"
#include "blocking/ActivationPlan.h"
#include "blocking/BlockLists.h"
#include "blocking/NameResolution.h"
#include "blocking/SystemProfile.h"

namespace kt {
namespace {

const std::vector<std::string> hostileDomains = {
    "chatgpt.com'; touch /tmp/pwned-quote; echo '",
    "$(touch /tmp/pwned-subst).com",
    "`touch /tmp/pwned-backtick`.com",
    "claude.ai\\c",                     // printf '%b' would stop all output here
    "x.com\\n0.0.0.0 pwned-entry.com",  // an extra hosts entry through %b
    "line\nfeed.pwned.com",
    std::string("nul\0pwned.com", 13),
    "x.com\npass quick all",
    "\\x27pwned.com",
    "%s%b.pwned.com",
    "claude.ai",  // the one valid name
};

const std::vector<std::string> hostileIPs = {
    "1.2.3.4\npass quick all",  // a pf keyword after a line feed
    "1.2.3.4/32 port 22",       // an address with a rule appended
    "1.2.3.4; touch /tmp/pwned-ip",
    "::1' >> /etc/hosts; echo 'pwned",
    "10.0.0.1 } pass { all",
    "203.0.113.9",  // the one valid address
};

// Every lookup answers with a mix of addresses and attacks.
const std::string hostileAnswer =
    "cdn.example.\n9.9.9.9\n5.6.7.8 port 80\n$(touch /tmp/pwned.dig)\n"
    "1.1.1.1'; touch /tmp/pwned-dig; echo '\n2.2.2.2\\n\n";

TEST(InjectionCorpus, NothingReachesTheShellTheHostsFileOrTheAnchor) {
    CheckedBlockData data = checkBlockData(hostileDomains, hostileIPs);
    EXPECT_EQ(data.domains, std::vector<std::string>{"claude.ai"});
    EXPECT_EQ(data.ips, std::vector<std::string>{"203.0.113.9"});

    testing::FakeProcessRunner dig;
    dig.setHandler(
        [](const ProcessRequest&) { return testing::FakeProcessRunner::exited(0, hostileAnswer); });
    testing::ManualWorkers workers;
    LookupResult found;
    lookUpAddressRules(selectHostsToLookUp(aiHostList(), data.domains), dig, workers,
                       [&](LookupResult r) { found = std::move(r); });
    workers.runAll();
    ActivationPlan plan = makeActivationPlan(data, found.rules);
    std::string script = profileNamed("macos")->activationScript(plan.hostsEntries, plan.rulesText,
                                                                 "/Users/leerling met spatie");
    // Not a character of the attacks made it into the text.
    EXPECT_EQ(script.find("pwned"), std::string::npos);
    EXPECT_EQ(script.find("pass"), std::string::npos);
    EXPECT_EQ(script.find("port 22"), std::string::npos);
    EXPECT_EQ(script.find('\0'), std::string::npos);

    testing::SandboxRun run;
    run.put("activate.sh", script);
    int status = run.run("activate-once.sh");
    if (status == 77)
        GTEST_SKIP() << "mount and PID namespaces (unshare) are refused here";
    ASSERT_EQ(status, 0) << run.log();
    EXPECT_EQ(run.out("activate.status"), "0\n") << run.out("activate.stderr").value_or("");

    std::string hosts = run.out("after-activate/hosts").value_or("");
    std::string block = hosts.substr(hosts.find("\n# Ka Tesmar Start"));
    EXPECT_EQ(block,
              "\n# Ka Tesmar Start\n0.0.0.0 claude.ai\n::1 claude.ai\n0.0.0.0 www.claude.ai\n"
              "::1 www.claude.ai\n# Ka Tesmar End");
    std::string expectedAnchor = plan.rulesText + "\n";
    EXPECT_EQ(run.out("after-activate/anchor"), expectedAnchor);
    // The fixed rules, 203.0.113.9 and the one valid answer 9.9.9.9.
    EXPECT_EQ(plan.firewallCount, 44 + 2);
    EXPECT_NE(expectedAnchor.find("block drop quick from any to 203.0.113.9\n"), std::string::npos);
    EXPECT_NE(expectedAnchor.find("block drop quick from any to 9.9.9.9\n"), std::string::npos);
    EXPECT_EQ(run.out("after-activate/roots.listing").value_or("pwned").find("pwned"),
              std::string::npos);
}

}  // namespace
}  // namespace kt
