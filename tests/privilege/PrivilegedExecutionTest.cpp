#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "app/AppState.h"
#include "privilege/PrivilegeStrategies.h"

namespace kt {
namespace {

using testing::FakeProcessRunner;

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
    EXPECT_EQ(ports.files.fileCount(), 0u);
    EXPECT_EQ(ports.files.removed(), std::vector<std::string>{"/tmp/ka_tesmar.1"});
    EXPECT_EQ(completed, std::vector<std::string>{"ok"});
    // Every strategy captures what the privileged run says; pkexec runs no script.
    const PkexecStrategy pkexec("/usr/libexec/ka-tesmar/ka-tesmar-helper");
    const DirectRootStrategy root("/opt/helper");
    for (const ProcessRequest& r :
         {request, pkexec.helperRequestFor("restore"), root.requestFor("/tmp/x/s.sh"),
          root.helperRequestFor("restore")})
        EXPECT_TRUE(r.standardOutput == ProcessOutput::Capture &&
                    r.standardError == ProcessOutput::Capture)
            << r.program;
    EXPECT_EQ(pkexec.requestFor("/tmp/x/s.sh").program, "");
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

// On Linux the state hands every step to the root helper; the other system's
// traces are not this one's.
using ProfileChoice = testing::SessionFixture;

TEST_F(ProfileChoice, LinuxRunsNoShellTextAndClosesThePupilsOwnBrowsers) {
    testing::TestPorts macosLock;
    macosLock.files.putFile("/Library/Application Support/KaTesmar/active.lock", "active\n");
    AppState::create(macosLock.ports());
    EXPECT_TRUE(macosLock.processes.requests().empty()) << "no start-up restore";
    blocking().follow({.blocked = true, .domains = {"chatgpt.com"}});
    settle();
    blocking().deactivateBlocking();
    settle();
    EXPECT_EQ(privilegedRuns, (std::vector<std::string>{"activate", "deactivate"}));
    bool closedOwnBrowsers = false;  // by the application, as the pupil
    for (const auto& request : fakes.processes.requests()) {
        EXPECT_NE(request.program, "/bin/sh");
        closedOwnBrowsers |=
            request.program == "/usr/bin/pkill" &&
            request.arguments == std::vector<std::string>{"-x", "-U", "1000", "firefox"};
    }
    EXPECT_TRUE(closedOwnBrowsers);
}

}  // namespace
}  // namespace kt
