#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <future>

#include "platform/system/PosixFileSystem.h"
#include "platform/system/PosixProcessRunner.h"
#include "platform/system/ThreadWorkers.h"

namespace kt {
namespace {

ProcessRequest shell(const std::string& line, ProcessOutput out = ProcessOutput::Capture,
                     ProcessOutput err = ProcessOutput::Capture) {
    return ProcessRequest{"/bin/sh", {"-c", line}, out, err, {}};
}

TEST(PosixProcessRunner, CapturesBothStreamsExitStatusAndStartFailures) {
    PosixProcessRunner runner;
    // Far more than a pipe buffer on both streams at once: no deadlock.
    ProcessResult big =
        runner.run(shell("head -c 300000 /dev/zero; head -c 200000 /dev/zero >&2; exit 3"));
    EXPECT_TRUE(big.started);
    EXPECT_EQ(big.exitStatus, 3);
    EXPECT_EQ(big.standardOutput.size(), 300000u);
    EXPECT_EQ(big.standardError.size(), 200000u);

    ProcessResult args = runner.run({"/usr/bin/printf", {"%s|", "a b", "$(x)", "'"}});
    EXPECT_EQ(args.standardOutput, "a b|$(x)|'|");  // passed as they are, no shell

    ProcessResult discarded =
        runner.run(shell("echo out; echo err >&2", ProcessOutput::Discard, ProcessOutput::Discard));
    EXPECT_EQ(discarded.exitStatus, 0);
    EXPECT_EQ(discarded.standardOutput + discarded.standardError, "");

    ProcessResult killed = runner.run(shell("kill -9 $$"));
    EXPECT_EQ(killed.exitStatus, 128 + 9);

    ProcessResult stdinIsNull = runner.run(shell("cat"));
    EXPECT_EQ(stdinIsNull.standardOutput, "");

    ProcessResult missing = runner.run({"/nonexistent/dig", {}});
    EXPECT_FALSE(missing.started);
    EXPECT_NE(missing.startError.find("/nonexistent/dig"), std::string::npos);
}

TEST(PosixFileSystem, PrivateFoldersFilesAndRemoval) {
    PosixFileSystem files;
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

    files.removeTree(dir.path);
    EXPECT_FALSE(files.exists(dir.path));
    EXPECT_FALSE(files.readFile(path));
    EXPECT_FALSE(PosixFileSystem("/nonexistent").createPrivateDirectory().ok());
}

TEST(ThreadWorkers, RunsTasksSideBySide) {
    ThreadWorkers workers(4);
    // Each task waits for the other: this only finishes when both run at once.
    std::promise<void> firstStarted, secondStarted;
    auto a = firstStarted.get_future();
    auto b = secondStarted.get_future();
    std::promise<bool> done;
    std::atomic<int> finished{0};
    workers.run([&] {
        firstStarted.set_value();
        b.wait();
        if (++finished == 2)
            done.set_value(true);
    });
    workers.run([&] {
        secondStarted.set_value();
        a.wait();
        if (++finished == 2)
            done.set_value(true);
    });
    auto result = done.get_future();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready)
        << "the two tasks did not run side by side";
}

}  // namespace
}  // namespace kt
