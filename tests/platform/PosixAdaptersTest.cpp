#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <latch>
#include <memory>
#include <thread>

#include "TestFiles.h"
#include "platform/system/FileLifetimeLock.h"
#include "platform/system/PosixFileSystem.h"
#include "platform/system/PosixProcessRunner.h"
#include "platform/system/PosixTerminationSignal.h"
#include "platform/system/ThreadWorkers.h"

namespace kt {
namespace {

// Far more than a pipe buffer on both streams at once: no deadlock;
// arguments passed as they are, no shell; standard input is empty.
TEST(PosixProcessRunner, CapturesBothStreamsExitStatusAndStartFailures) {
    PosixProcessRunner runner;
    const std::string both = "head -c 300000 /dev/zero; cat; head -c 200000 /dev/zero >&2";
    const ProcessResult big = runner.run(
        {"/bin/sh", {"-c", both + "; kill -9 $$"}, ProcessOutput::Capture, ProcessOutput::Capture});
    EXPECT_EQ(big.exitStatus, 128 + 9);
    EXPECT_EQ(big.standardOutput.size(), 300000u);
    EXPECT_EQ(big.standardError.size(), 200000u);
    EXPECT_EQ(runner.run({"/usr/bin/printf", {"%s|", "a b", "$(x)", "'"}}).standardOutput,
              "a b|$(x)|'|");
    const ProcessResult missing = runner.run({"/nonexistent/dig", {}});
    EXPECT_FALSE(missing.started);
    EXPECT_NE(missing.startError.find("/nonexistent/dig"), std::string::npos);
}

TEST(PosixFileSystem, PrivateFoldersFilesAndRemoval) {
    const testing::ScratchDir scratch("kt-files");  // both private folders go with it
    PosixFileSystem files(scratch.path);
    PathResult dir = files.createPrivateDirectory();
    ASSERT_TRUE(dir.ok()) << dir.error;
    struct stat info;
    ASSERT_EQ(::stat(dir.path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_NE(files.createPrivateDirectory().path, dir.path);
    std::string path = dir.path + "/script.sh";
    EXPECT_EQ(files.writeFile(path, "echo hi\n", 0755), std::nullopt);
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);
    EXPECT_EQ(files.readFile(path), "echo hi\n");
    // An existing file is never written through.
    EXPECT_TRUE(files.writeFile(path, "other", 0755).has_value());
    EXPECT_EQ(files.readFile(path), "echo hi\n");
    // Below a home folder, nothing is removed through a link: a cache that
    // is a link, or lies behind one, stays where it points.
    const std::string home = dir.path + "/home", elsewhere = dir.path + "/other";
    std::filesystem::create_directories(home + "/.cache/chromium/Default");
    std::filesystem::create_directories(elsewhere + "/mozilla/firefox");
    std::filesystem::create_directories(elsewhere + "/google-chrome");
    std::filesystem::create_directory_symlink(elsewhere + "/google-chrome",
                                              home + "/.cache/google-chrome");
    std::filesystem::create_directory_symlink(elsewhere, home + "/.config");
    files.removeTreeWithin(home, ".cache/chromium");
    files.removeTreeWithin(home, ".cache/google-chrome");
    files.removeTreeWithin(home, ".config/mozilla/firefox");
    files.removeTreeWithin(home, "../other");
    EXPECT_FALSE(files.exists(home + "/.cache/chromium"));
    EXPECT_TRUE(files.exists(elsewhere + "/google-chrome"));
    EXPECT_TRUE(files.exists(elsewhere + "/mozilla/firefox"));
    files.removeTree(dir.path);
    EXPECT_FALSE(files.exists(dir.path));
    EXPECT_FALSE(files.readFile(path));
    EXPECT_FALSE(PosixFileSystem("/nonexistent").createPrivateDirectory().ok());
}

// The lock the guardian looks for: nothing while there is no file, then held;
// when the root helper made the file afresh, holding it again takes the new
// one; a FIFO or a link in its place is never held and never waited on.
TEST(FileLifetimeLock, HoldsTheFileThatIsThereNow) {
    const testing::ScratchDir dir("kt-lock");
    const std::string path = dir.path + "/app.lock";
    auto heldByOthers = [&] {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
        const bool held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return held;
    };
    auto makeAfresh = [&] {
        ASSERT_TRUE(std::ofstream(path + ".new").good());
        ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
    };
    FileLifetimeLock lock(path);
    lock.hold();
    makeAfresh();
    EXPECT_FALSE(heldByOthers());
    lock.hold();
    EXPECT_TRUE(heldByOthers());
    makeAfresh();
    EXPECT_FALSE(heldByOthers());
    lock.hold();
    ASSERT_TRUE(heldByOthers()) << "the new file is held";
    lock.hold();
    EXPECT_TRUE(heldByOthers()) << "holding it again keeps it";
    FileLifetimeLock fifo(path), link(path);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    fifo.hold();
    ASSERT_EQ(::unlink(path.c_str()), 0);
    makeAfresh();
    ASSERT_EQ(::rename(path.c_str(), (path + ".target").c_str()), 0);
    ASSERT_EQ(::symlink((path + ".target").c_str(), path.c_str()), 0);
    link.hold();
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::rename((path + ".target").c_str(), path.c_str()), 0);
    EXPECT_FALSE(heldByOthers()) << "not held through a link";
}

// Gives the pool `count` tasks that each wait (up to 10 s) until all of them
// have begun: true when they met, that is when each had a thread at once.
bool batchRunsSideBySide(ThreadWorkers& workers, int count) {
    std::atomic<int> arrived = 0, met = 0;
    std::latch done(count);  // the tasks outlive no call
    for (int i = 0; i < count; ++i)
        workers.run([&] {
            ++arrived;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (arrived < count && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            met += arrived == count;
            done.count_down();
        });
    done.wait();
    return met == count;
}

TEST(ThreadWorkers, EveryBatchGetsAThreadPerTaskAlsoAfterAnEarlierOne) {
    ThreadWorkers workers(16);
    EXPECT_TRUE(batchRunsSideBySide(workers, 2));
    // Two threads of the first batch are idle now: the next batch must not
    // line up behind them.
    EXPECT_TRUE(batchRunsSideBySide(workers, 6));
    EXPECT_TRUE(batchRunsSideBySide(workers, 6));
}

TEST(ThreadWorkers, DestructionAbandonsWaitingTasksAndWaitsForRunningOnes) {
    std::promise<void> release, started;
    std::atomic<bool> firstEnded{false}, secondRan{false};
    auto workers = std::make_unique<ThreadWorkers>(1);
    workers->run([&, gate = release.get_future().share()] {
        started.set_value();
        gate.wait();
        firstEnded = true;
    });
    workers->run([&] { secondRan = true; });
    started.get_future().wait();
    auto destroyed = std::async(std::launch::async, [&] { workers.reset(); });
    EXPECT_EQ(destroyed.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout)
        << "the running task is waited for";
    release.set_value();
    destroyed.get();
    EXPECT_TRUE(firstEnded);
    EXPECT_FALSE(secondRan) << "the waiting task never runs";
}

// The wait status of a child in `dir` that installs the real handler, running
// `command` in a shell as the application runs its restore (and writing to
// "thread" whose thread ran it), and then receives `signal`; it ends itself
// after 20 s, so a broken handler fails the test instead of hanging it.
int childStatusAfter(int signalNumber, const std::string& command, const std::string& dir) {
    const pid_t child = fork();
    if (child == 0) {
        alarm(20);
        if (chdir(dir.c_str()) != 0)
            _exit(99);
        // As in a program started from a desktop, whatever ran these tests.
        signal(SIGINT, SIG_DFL);
        signal(SIGHUP, SIG_DFL);
        static PosixProcessRunner processes;
        static PosixTerminationSignal termination;
        const long mainThread = syscall(SYS_gettid);
        termination.onTerminationSignal([mainThread, command] {
            std::ofstream("thread") << (syscall(SYS_gettid) != mainThread ? "own" : "main");
            processes.run(
                {"/bin/sh", {"-c", command}, ProcessOutput::Inherit, ProcessOutput::Inherit});
        });
        kill(getpid(), signalNumber);
        for (;;) pause();
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

// The command takes a moment and writes last, so an exit before the shell is
// done would leave the marker incomplete. Interrupt and hang-up keep their default.
TEST(PosixTerminationSignal, SigtermRunsTheSignalCommandOnItsOwnThreadWaitsAndExitsWithZero) {
    const testing::ScratchDir scratch("kt-signal");
    const int status = childStatusAfter(SIGTERM,
                                        "echo started > ran; i=0; while [ $i -lt 20000 ]; do "
                                        "i=$((i+1)); done; echo finished >> ran",
                                        scratch.path);
    ASSERT_TRUE(WIFEXITED(status))
        << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(scratch.read("ran"), "started\nfinished\n");
    EXPECT_EQ(scratch.read("thread"), "own") << "not run in the signal handler's thread";
    for (int signal : {SIGINT, SIGHUP}) {
        std::filesystem::remove(scratch.in("ran"));
        const int status = childStatusAfter(signal, "echo ran > ran", scratch.path);
        ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << signal;
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_FALSE(scratch.has("ran")) << "signal " << signal;
    }
}

}  // namespace
}  // namespace kt
