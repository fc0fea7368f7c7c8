#include <gtest/gtest.h>

#include "TestPorts.h"
#include "app/AppState.h"
#include "blocking/PrivilegeStrategies.h"

namespace kt {
namespace {

using testing::FakeFileSystem;
using testing::FakeProcessRunner;

struct Outcome {
    int calls = 0;
    bool success = false;
    std::optional<std::string> error;
};

class PrivilegedExecution : public ::testing::Test {
  protected:
    testing::TestPorts ports;
    std::shared_ptr<AppState> state = AppState::create(ports.ports());

    std::function<void(bool, std::optional<std::string>)> recordInto(Outcome& outcome) {
        return [&outcome](bool success, std::optional<std::string> error) {
            ++outcome.calls;
            outcome.success = success;
            outcome.error = std::move(error);
        };
    }
    // The script path that the osascript source of a request names.
    static std::string scriptPathOf(const ProcessRequest& request) {
        const std::string& source = request.arguments.at(1);
        std::size_t start = source.find("\\\"") + 2;
        return source.substr(start, source.rfind("\\\"") - start);
    }
};

TEST_F(PrivilegedExecution, SuccessRunsThePrivateScriptAndCompletesOnTheMainQueue) {
    std::optional<FakeFileSystem::File> scriptAtRun;
    ports.processes.setHandler([&](const ProcessRequest& r) {
        scriptAtRun = ports.files.file(scriptPathOf(r));
        return FakeProcessRunner::exited(0, "", "warning on stderr\n");
    });
    Outcome outcome;
    state->executeWithAdminRights("echo 'OK'", recordInto(outcome));
    EXPECT_TRUE(ports.processes.requests().empty());  // the run waits for a worker
    ports.workers.runAll();
    ports.scheduler.runUntilIdle();

    ASSERT_EQ(ports.processes.requests().size(), 1u);
    const ProcessRequest request = ports.processes.requests()[0];
    EXPECT_EQ(request.program, "/usr/bin/osascript");
    EXPECT_EQ(request.arguments.at(0), "-e");
    EXPECT_EQ(request.arguments.at(1),
              "do shell script \"bash \\\"/tmp/ka_tesmar.1/ka_tesmar_activate.sh\\\"\" with "
              "administrator privileges");
    EXPECT_EQ(request.standardOutput, ProcessOutput::Capture);
    EXPECT_EQ(request.standardError, ProcessOutput::Capture);
    ASSERT_TRUE(scriptAtRun);
    EXPECT_EQ(scriptAtRun->content, "echo 'OK'");
    EXPECT_EQ(scriptAtRun->mode, 0755u);
    // Gone after the run, folder and all.
    EXPECT_EQ(ports.files.fileCount(), 0u);
    EXPECT_EQ(ports.files.removed(), std::vector<std::string>{"/tmp/ka_tesmar.1"});
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_TRUE(outcome.success);
    EXPECT_FALSE(outcome.error);
}

TEST_F(PrivilegedExecution, FailuresGiveTheTextsOfTheFailureTable) {
    Outcome failed, garbled, unstartable;
    ports.processes.setHandler([](const ProcessRequest&) {
        return FakeProcessRunner::exited(1, "",
                                         "\n 0:53: execution error: User canceled. (-128)\n\n");
    });
    state->executeWithAdminRights("exit 1", recordInto(failed));
    ports.workers.runAll();
    ports.scheduler.runUntilIdle();
    EXPECT_EQ(failed.calls, 1);
    EXPECT_FALSE(failed.success);
    EXPECT_EQ(failed.error, "0:53: execution error: User canceled. (-128)");

    ports.processes.setHandler(
        [](const ProcessRequest&) { return FakeProcessRunner::exited(1, "", "bad \xff bytes"); });
    state->executeWithAdminRights("exit 1", recordInto(garbled));
    ports.workers.runAll();
    ports.scheduler.runUntilIdle();
    EXPECT_FALSE(garbled.success);
    EXPECT_FALSE(garbled.error);

    ports.processes.setHandler([](const ProcessRequest&) {
        return FakeProcessRunner::notStarted("/usr/bin/osascript: No such file or directory");
    });
    state->executeWithAdminRights("true", recordInto(unstartable));
    ports.workers.runAll();
    ports.scheduler.runUntilIdle();
    EXPECT_EQ(unstartable.calls, 1);
    EXPECT_FALSE(unstartable.success);
    EXPECT_EQ(unstartable.error, "/usr/bin/osascript: No such file or directory");
    EXPECT_EQ(ports.files.fileCount(), 0u);
}

TEST_F(PrivilegedExecution, UnwritableScriptRunsNothing) {
    Outcome noFolder, noFile;
    ports.files.createDirectoryError = "No space left on device";
    state->executeWithAdminRights("true", recordInto(noFolder));
    ports.files.createDirectoryError.reset();
    ports.files.writeError = "Permission denied";
    state->executeWithAdminRights("true", recordInto(noFile));
    EXPECT_EQ(noFolder.calls, 0);  // not before the main queue runs
    ports.scheduler.runUntilIdle();
    EXPECT_EQ(ports.workers.pending(), 0u);
    EXPECT_TRUE(ports.processes.requests().empty());
    EXPECT_EQ(noFolder.calls, 1);
    EXPECT_EQ(noFolder.error, "Kon script niet schrijven: No space left on device");
    EXPECT_EQ(noFile.calls, 1);
    EXPECT_EQ(noFile.error, "Kon script niet schrijven: Permission denied");
    // The folder made for the unwritten script is taken away again.
    EXPECT_EQ(ports.files.removed(), std::vector<std::string>{"/tmp/ka_tesmar.1"});
}

TEST_F(PrivilegedExecution, RunsOneAfterTheOtherInTheOrderAsked) {
    std::vector<std::string> contentsSeen;
    ports.processes.setHandler([&](const ProcessRequest& r) {
        contentsSeen.push_back(ports.files.file(scriptPathOf(r))->content);
        return FakeProcessRunner::exited(0);
    });
    std::vector<std::string> completed;
    bool calledOff = false;
    for (std::string command : {"activate", "called off", "deactivate", "restore"})
        state->executeWithAdminRights(
            command,
            [&completed, command](bool ok, auto) {
                completed.push_back(command + (ok ? "" : "!"));
            },
            [&calledOff, command] { return command != "called off" || !calledOff; });
    calledOff = true;
    // One worker drains the queue: a second run never starts beside the first.
    EXPECT_EQ(ports.workers.pending(), 1u);
    // Each run has its own folder: no run replaces another one's script.
    EXPECT_EQ(ports.files.fileCount(), 4u);
    ports.workers.runAll();
    EXPECT_EQ(contentsSeen, (std::vector<std::string>{"activate", "deactivate", "restore"}));
    EXPECT_EQ(ports.files.fileCount(), 0u);
    ports.scheduler.runUntilIdle();
    EXPECT_EQ(completed,
              (std::vector<std::string>{"activate", "called off!", "deactivate", "restore"}));

    // After the queue ran dry, the next run gets a worker again.
    state->executeWithAdminRights("again", [](bool, auto) {});
    EXPECT_EQ(ports.workers.pending(), 1u);
}

TEST(PrivilegeStrategies, ProgramsAndEscaping) {
    EXPECT_EQ(
        OsascriptStrategy::sourceFor("/tmp/a \"b\\c.sh"),
        "do shell script \"bash \\\"/tmp/a \\\"b\\\\c.sh\\\"\" with administrator privileges");
    // pkexec runs the helper with a verb, and nothing else: no script gets to root.
    const PkexecStrategy pkexec("/usr/libexec/ka-tesmar/ka-tesmar-helper");
    EXPECT_EQ(pkexec.helperRequestFor("restore").program, "/usr/bin/pkexec");
    EXPECT_EQ(pkexec.helperRequestFor("restore").arguments,
              (std::vector<std::string>{"/usr/libexec/ka-tesmar/ka-tesmar-helper", "restore"}));
    EXPECT_EQ(pkexec.requestFor("/tmp/x/s.sh").program, "");
    const DirectRootStrategy root("/opt/helper");
    EXPECT_EQ(root.requestFor("/tmp/x/s.sh").arguments, std::vector<std::string>{"/tmp/x/s.sh"});
    EXPECT_EQ(root.helperRequestFor("activate").program, "/opt/helper");
    EXPECT_EQ(OsascriptStrategy().helperRequestFor("activate").program, "");
    for (const ProcessRequest& request :
         {pkexec.helperRequestFor("restore"), root.requestFor("/tmp/x/s.sh")}) {
        EXPECT_EQ(request.standardOutput, ProcessOutput::Capture) << request.program;
        EXPECT_EQ(request.standardError, ProcessOutput::Capture) << request.program;
    }
}

}  // namespace
}  // namespace kt
