// Privileged execution with real processes: a stand-in osascript that reads
// the source text and runs the script it names, on real worker threads.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "RedirectingProcessRunner.h"
#include "blocking/PrivilegeStrategies.h"
#include "blocking/PrivilegedRunQueue.h"
#include "platform/system/PosixFileSystem.h"
#include "platform/system/PosixProcessRunner.h"
#include "platform/system/ThreadWorkers.h"

namespace kt {
namespace {

// A main queue whose tasks the test thread runs while it waits.
class WaitingScheduler final : public Scheduler {
  public:
    void post(Task task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        posted_.notify_all();
    }
    void postAfter(Seconds, Task task) override { post(std::move(task)); }
    TimerId startRepeating(Seconds, Task) override { return 0; }
    void cancelRepeating(TimerId) override {}

    // Runs posted tasks until `count` have run; false on time-out.
    bool runTasks(int count) {
        for (int i = 0; i < count; ++i) {
            Task task;
            {
                std::unique_lock lock(mutex_);
                if (!posted_.wait_for(lock, std::chrono::seconds(30),
                                      [&] { return !tasks_.empty(); }))
                    return false;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
        return true;
    }

    std::thread::id mainThread = std::this_thread::get_id();

  private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Task> tasks_;
};

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class PrivilegedStandIn : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kt-privileged.XXXXXX";
        work = ::mkdtemp(pattern);
        ::setenv("KT_OSASCRIPT_LOG", (work + "/osascript.log").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("KT_OSASCRIPT_LOG");
        std::filesystem::remove_all(work);
    }

    struct Outcome {
        int calls = 0;
        bool success = false;
        std::optional<std::string> error;
        bool onMainThread = false;
    };
    PrivilegedRunQueue::Completion recordInto(Outcome& outcome) {
        return [this, &outcome](bool success, std::optional<std::string> error) {
            ++outcome.calls;
            outcome.success = success;
            outcome.error = std::move(error);
            outcome.onMainThread = std::this_thread::get_id() == scheduler.mainThread;
        };
    }
    std::vector<std::string> scriptPathsRun() {
        std::vector<std::string> paths;
        std::istringstream lines(readAll(work + "/osascript.log"));
        for (std::string line; std::getline(lines, line);) paths.push_back(line);
        return paths;
    }

    std::string work;
    WaitingScheduler scheduler;
    PosixFileSystem files;
    PosixProcessRunner realProcesses;
    testing::RedirectingProcessRunner processes{
        realProcesses, {{"/usr/bin/osascript", KT_STANDINS_DIR "/osascript"}}};
    ThreadWorkers workers;
    OsascriptStrategy strategy;
    std::shared_ptr<PrivilegedRunQueue> queue =
        std::make_shared<PrivilegedRunQueue>(scheduler, files, processes, workers, strategy);
};

TEST_F(PrivilegedStandIn, SuccessAndFailureWithTheScriptGoneAfterwards) {
    Outcome ok, failed;
    // The script checks its own folder: private to the user running it.
    queue->submit("test \"$(stat -c %a \"$(dirname \"$0\")\")\" = 700 && echo written >" + work +
                      "/ran; echo 'to stderr' >&2; exit 0",
                  recordInto(ok));
    queue->submit("echo 'Toegang geweigerd' >&2; exit 3", recordInto(failed));
    ASSERT_TRUE(scheduler.runTasks(2));

    EXPECT_EQ(ok.calls, 1);
    EXPECT_TRUE(ok.success);
    EXPECT_FALSE(ok.error);
    EXPECT_TRUE(ok.onMainThread);
    EXPECT_EQ(readAll(work + "/ran"), "written\n");

    EXPECT_EQ(failed.calls, 1);
    EXPECT_FALSE(failed.success);
    ASSERT_TRUE(failed.error);
    EXPECT_TRUE(failed.error->ends_with("execution error: Toegang geweigerd (3)")) << *failed.error;

    auto paths = scriptPathsRun();
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_NE(paths[0], paths[1]);
    for (const auto& path : paths) {
        EXPECT_TRUE(path.ends_with("/ka_tesmar_activate.sh")) << path;
        EXPECT_FALSE(std::filesystem::exists(path)) << path;
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path).parent_path())) << path;
    }
}

TEST_F(PrivilegedStandIn, OverlappingCallsRunOneAfterTheOther) {
    const std::string log = work + "/order.log";
    // The first run waits up to 1.5 s for the second to start. Run side by side,
    // the second would start meanwhile; run in turn, it cannot.
    std::string first = "echo start-1 >>" + log + "; for i in $(seq 1 30); do grep -q start-2 " +
                        log + " && break; sleep 0.05; done; echo end-1 >>" + log;
    std::string second = "echo start-2 >>" + log + "; echo end-2 >>" + log;
    Outcome one, two;
    queue->submit(first, recordInto(one));
    queue->submit(second, recordInto(two));
    ASSERT_TRUE(scheduler.runTasks(2));
    EXPECT_TRUE(one.success);
    EXPECT_TRUE(two.success);
    EXPECT_EQ(readAll(log), "start-1\nend-1\nstart-2\nend-2\n");
}

TEST_F(PrivilegedStandIn, MissingPromptProgramIsAStartFailure) {
    PosixProcessRunner plain;
    testing::RedirectingProcessRunner missing{plain,
                                              {{"/usr/bin/osascript", "/nonexistent/osascript"}}};
    auto q = std::make_shared<PrivilegedRunQueue>(scheduler, files, missing, workers, strategy);
    Outcome outcome;
    q->submit("true", recordInto(outcome));
    ASSERT_TRUE(scheduler.runTasks(1));
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.success);
    EXPECT_NE(outcome.error.value_or("").find("No such file"), std::string::npos);
}

}  // namespace
}  // namespace kt
