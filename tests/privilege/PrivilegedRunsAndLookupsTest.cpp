// The application's way to root: the privileged runs and their strategies, the
// lookups of addresses and the activation plan they feed.
#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "app/AppState.h"
#include "blocking/ActivationPlan.h"
#include "blocking/BlockLists.h"
#include "blocking/SystemProfile.h"
#include "privilege/AddressLookups.h"
#include "privilege/PrivilegeStrategies.h"

namespace kt {
namespace {

using testing::FakeProcessRunner;
using Hosts = std::vector<std::string>;

TEST(NameResolution, HostsToLookUpFollowTheContainmentRuleWithWwwRemoved) {
    const std::pair<Hosts, Hosts> rows[] = {
        {{}, {}},
        {{""}, {}},
        {{"example.org"}, {}},
        {{"ChatGPT.com"}, {}},  // case-sensitive and literal
        {{"www.chatgpt.com"}, {"chatgpt.com"}},
        {{"openai.com"}, {"chat.openai.com", "api.openai.com"}},  // in list order
        {{"eu.api.anthropic.com"}, {"api.anthropic.com"}},
        {{"perplexity.ai"}, {"perplexity.ai", "www.perplexity.ai"}},
        {{"claude.ai", "claude.ai", "www.claude.ai"}, {"claude.ai"}}};  // each host once
    for (const auto& [blocked, hosts] : rows)
        EXPECT_EQ(selectHostsToLookUp(aiHostList(), blocked), hosts)
            << ::testing::PrintToString(blocked);
}

TEST(NameResolution, DigAnswersSkipAliasesLoopbackAndRemarks) {
    const DigAnswer answer = parseDigAnswer(
        "chatgpt.com.cdn.cloudflare.net.\n104.18.32.47\r\n  172.64.155.209  \n\n0.0.0.0\n"
        "127.0.0.1\n::1\n2606:4700:4400::6812:2011\n;; connection timed out; no servers could be "
        "reached\n;; communications error to 10.77.0.53#53: timed out\n  ; 1.2.3.4\n"
        "1.2.3.4; pass all\n300.1.1.1\n12\n");
    EXPECT_EQ(answer.addresses, (std::vector<std::string>{"104.18.32.47", "172.64.155.209",
                                                          "2606:4700:4400::6812:2011"}));
    // dig's remarks start with ";" and are skipped, whatever they hold.
    EXPECT_EQ(answer.rejected, (std::vector<std::string>{"1.2.3.4; pass all", "300.1.1.1"}));
}

// All lookups start at once; the answers come back in host order, A before
// AAAA, whatever order the workers finish in. A failed start or an answer that
// is not UTF-8 gives nothing; the exit status is not looked at.
TEST(NameResolution, LookupsRunSideBySideAndAnswerInHostOrder) {
    const Hosts hosts = {"chatgpt.com", "claude.ai", "api.openai.com"};
    FakeProcessRunner processes;
    processes.setHandler([&](const ProcessRequest& r) {
        const std::string& host = r.arguments.at(3);
        if (host == "claude.ai")
            return FakeProcessRunner::notStarted("no such file");
        const std::string n = host == "chatgpt.com" ? "1" : "2";
        if (r.arguments.at(4) == "AAAA")
            return FakeProcessRunner::exited(0,
                                             n == "1" ? "alias.example.\n2001:db8::1\n" : "\xff\n");
        return FakeProcessRunner::exited(9, "10.0." + n + ".1\n10.0." + n + ".2\n300.0.0.1\n");
    });
    testing::ManualWorkers workers;
    std::vector<LookupResult> results;
    lookUpAddresses(hosts, processes, workers, [&](LookupResult r) { results.push_back(r); });
    EXPECT_EQ(workers.pending(), 6u);
    EXPECT_TRUE(results.empty());
    while (workers.runNewest()) {
    }
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].addresses, (std::vector<std::string>{"10.0.1.1", "10.0.1.2", "2001:db8::1",
                                                              "10.0.2.1", "10.0.2.2"}));
    EXPECT_EQ(results[0].rejectedAnswers, (std::vector<std::string>{"300.0.0.1", "300.0.0.1"}));
}

class PrepareActivation : public testing::SessionFixture {
  protected:
    std::optional<ActivationPlan> plan;
    void SetUp() override { fakes.macos(); }
    void prepare() {
        blocking().prepareActivation(nullptr, [this](const ActivationPlan& p) { plan = p; });
    }
};

// Validated lists and lookups off the main thread; the name servers and the
// class service stay reachable, whatever the service sends and dig answers.
// No blocked names: no lookup, and the script uses the home folder.
TEST_F(PrepareActivation, ValidatedPlanWithLookupsOffTheMainThreadAndNoLookupWithoutNames) {
    start({"https://Klas.School.example:8443/Vexlo/api/"});
    fakes.files.putFile("/etc/resolv.conf", "nameserver 127.0.0.53\n");
    fakes.files.putFile("/run/systemd/resolve/resolv.conf", "nameserver 10.77.0.53\n");
    // The lists of a reply that does not switch the block on.
    blocking().follow(
        {.domains = {"chatgpt.com", "bad name'; reboot", "www.claude.ai", "klas.school.example"},
         .ips = {"203.0.113.7", "1.2.3.4 port 22", "10.0.0.0/8", "198.51.100.20"}});
    fakes.processes.setHandler([](const ProcessRequest& r) {
        const std::string& host = r.arguments[3];
        return FakeProcessRunner::exited(0, r.arguments[4] == "AAAA" ? ""
                                            : host == "claude.ai"    ? "160.79.104.10\n"
                                            : host == "Klas.School.example"
                                                ? "198.51.100.20\n"
                                                : "104.18.32.47\n198.51.100.20\n1.2.3\n");
    });
    prepare();
    EXPECT_EQ(fakes.workers.pending(), 6u);
    fakes.scheduler.runUntilIdle();
    // Meanwhile a new reply changes the lists: this plan keeps the old ones.
    blocking().follow({.domains = {"other.nl"}});
    while (fakes.workers.runNewest()) {
    }
    EXPECT_FALSE(plan);  // delivered through the main queue
    fakes.scheduler.runUntilIdle();
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->hostsCount(), 4);
    EXPECT_EQ(plan->firewallCount(), 47);  // 44 + 203.0.113.7 + 104.18.32.47 + 160.79.104.10
    EXPECT_EQ(std::ranges::count(plan->firewallRules, blockAddress("160.79.104.10")), 1);
    EXPECT_EQ(logLines().at(0),
              "WAARSCHUWING: Ongeldige invoer niet gebruikt: domeinnamen \"bad name'; reboot\", "
              "\"klas.school.example\"; IP-adressen \"1.2.3.4 port 22\", \"10.0.0.0/8\", "
              "\"198.51.100.20\"; DNS-antwoorden \"1.2.3\", \"198.51.100.20\"");
    EXPECT_EQ(logLines().at(1), "DNS lookup (dig): 2 IPs gevonden voor 30 domeinen");
    const std::size_t lookups = fakes.processes.requests().size();
    start();  // no class service and no blocked names
    plan.reset();
    prepare();
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(logLines().at(0), "DNS lookup (dig): 0 IPs gevonden voor 30 domeinen");
    ASSERT_TRUE(plan);
    EXPECT_EQ(fakes.processes.requests().size(), lookups);
    EXPECT_EQ(plan->firewallCount(), 44);
    fakes.files.home = "/Users/piet";
    EXPECT_EQ(blocking().buildActivateCommand(*plan),
              profileNamed("macos")->activationScript(*plan, "/Users/piet"));
}

class PrivilegedExecution : public ::testing::Test {
  protected:
    testing::TestPorts ports;
    std::shared_ptr<AppState> state = AppState::create(ports.macos().ports());
    std::vector<std::string> completed;  // "ok" or the error of each completion
    void run(const std::string& script) {
        state->blocking().executeWithAdminRights(
            script, [this](bool ok, std::optional<std::string> error) {
                completed.push_back(ok ? "ok" : error.value_or("(no text)"));
            });
    }
    // The script path that the osascript source of a request names.
    static std::string scriptPathOf(const ProcessRequest& request) {
        const std::string& source = request.arguments.at(1);
        const std::size_t start = source.find("\\\"") + 2;
        return source.substr(start, source.rfind("\\\"") - start);
    }
};

TEST_F(PrivilegedExecution, ScriptRunCapturedAndGoneAfterwardsAndFailuresWithTheirText) {
    std::optional<testing::FakeFileSystem::File> scriptAtRun;
    ports.processes.setHandler([&](const ProcessRequest& r) {
        scriptAtRun = ports.files.file(scriptPathOf(r));
        return FakeProcessRunner::exited(0, "", "warning on stderr\n");
    });
    run("echo 'OK'");
    EXPECT_TRUE(ports.processes.requests().empty());  // the run waits for a worker
    ports.workers.runAll();
    EXPECT_TRUE(completed.empty());  // completions come on the main queue
    ports.scheduler.runUntilIdle();
    ASSERT_EQ(ports.processes.requests().size(), 1u);
    const ProcessRequest request = ports.processes.requests()[0];
    ASSERT_TRUE(scriptAtRun) << "the request names the script written";
    EXPECT_EQ(scriptAtRun->content, "echo 'OK'");
    EXPECT_EQ(scriptAtRun->mode, 0755u);
    EXPECT_FALSE(ports.files.exists("/tmp/ka_tesmar.1")) << "the script's folder is gone";
    EXPECT_EQ(completed, std::vector<std::string>{"ok"});
    // What the privileged run says is captured; pkexec runs no script.
    EXPECT_TRUE(request.standardOutput == ProcessOutput::Capture &&
                request.standardError == ProcessOutput::Capture);
    EXPECT_EQ(PkexecStrategy("/x").requestFor("/tmp/x/s.sh").program, "");
    EXPECT_EQ(
        OsascriptStrategy::sourceFor("/tmp/a \"b\\c.sh"),
        "do shell script \"bash \\\"/tmp/a \\\"b\\\\c.sh\\\"\" with administrator privileges");
    // Failures are reported with their text.
    completed.clear();
    const std::pair<ProcessResult, std::string> rows[] = {
        {FakeProcessRunner::exited(1, "", "\n 0:53: execution error: User canceled. (-128)\n\n"),
         "0:53: execution error: User canceled. (-128)"},
        {FakeProcessRunner::exited(1, "", "bad \xff bytes"), "(no text)"},
        {FakeProcessRunner::notStarted("/usr/bin/osascript: No such file or directory"),
         "/usr/bin/osascript: No such file or directory"}};
    for (const auto& row : rows) {
        ports.processes.setHandler([&](const ProcessRequest&) { return row.first; });
        run("exit 1");
        ports.settle();
    }
    // A script that cannot be written runs nothing; its folder goes again.
    ports.files.createDirectoryError = "No space left on device";
    run("true");
    ports.files.createDirectoryError.reset();
    ports.files.writeError = "Permission denied";
    run("true");
    EXPECT_EQ(completed.size(), 3u);
    ports.settle();
    EXPECT_EQ(ports.processes.requests().size(), 1u + 3u);  // the first run's and these
    EXPECT_EQ(completed,
              (std::vector<std::string>{rows[0].second, rows[1].second, rows[2].second,
                                        "Kon script niet schrijven: No space left on device",
                                        "Kon script niet schrijven: Permission denied"}));
    EXPECT_EQ(ports.files.fileCount(), 0u);
}

TEST_F(PrivilegedExecution, RunsOneAfterTheOtherInTheOrderAsked) {
    std::vector<std::string> contentsSeen;
    ports.processes.setHandler([&](const ProcessRequest& r) {
        contentsSeen.push_back(ports.files.file(scriptPathOf(r))->content);
        return FakeProcessRunner::exited(0);
    });
    bool calledOff = false;
    for (std::string command : {"activate", "called off", "deactivate"})
        state->blocking().executeWithAdminRights(
            command,
            [&, command](bool ok, auto) { completed.push_back(command + (ok ? "" : "!")); },
            [&calledOff, command] { return command != "called off" || !calledOff; });
    calledOff = true;
    // One worker drains the queue: a second run never starts beside the first.
    EXPECT_EQ(ports.workers.pending(), 1u);
    // Each run has its own folder: no run replaces another one's script.
    EXPECT_EQ(ports.files.fileCount(), 3u);
    ports.settle();
    EXPECT_EQ(contentsSeen, (std::vector<std::string>{"activate", "deactivate"}));
    EXPECT_EQ(completed, (std::vector<std::string>{"activate", "called off!", "deactivate"}));
    // After the queue ran dry, the next run gets a worker again.
    run("again");
    EXPECT_EQ(ports.workers.pending(), 1u);
}

}  // namespace
}  // namespace kt
