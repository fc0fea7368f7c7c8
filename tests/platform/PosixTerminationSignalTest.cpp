#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "TestFiles.h"
#include "platform/system/PosixProcessRunner.h"
#include "platform/system/PosixTerminationSignal.h"

namespace {

// The wait status of a child that installs the real handler, running
// `command` in a shell as the application runs its restore, and then
// receives `signal`; it ends itself after 20 s, so a broken handler fails
// the test instead of hanging it.
int childStatusAfter(int signalNumber, const std::string& command,
                     const std::string& threadRecord) {
    const pid_t child = fork();
    if (child == 0) {
        alarm(20);
        // As in a program started from a desktop, whatever ran these tests.
        signal(SIGINT, SIG_DFL);
        signal(SIGHUP, SIG_DFL);
        static kt::PosixProcessRunner processes;
        static kt::PosixTerminationSignal termination;
        const long mainThread = syscall(SYS_gettid);
        termination.onTerminationSignal([mainThread, threadRecord, command] {
            std::ofstream(threadRecord) << (syscall(SYS_gettid) != mainThread ? "own" : "main");
            processes.run({"/bin/sh",
                           {"-c", command},
                           kt::ProcessOutput::Inherit,
                           kt::ProcessOutput::Inherit});
        });
        kill(getpid(), signalNumber);
        for (;;) pause();
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

}  // namespace

// The command takes a moment and writes last, so an exit before the shell is
// done would leave the marker incomplete. Interrupt and hang-up keep their default.
TEST(PosixTerminationSignal, SigtermRunsTheSignalCommandOnItsOwnThreadWaitsAndExitsWithZero) {
    const kt::testing::ScratchDir scratch("kt-signal");
    const std::string dir = scratch.path, marker = dir + "/ran";
    const int status = childStatusAfter(SIGTERM,
                                        "echo started > '" + marker +
                                            "'; i=0; while [ $i -lt 20000 ]; do i=$((i+1)); done; "
                                            "echo finished >> '" +
                                            marker + "'",
                                        dir + "/thread");
    ASSERT_TRUE(WIFEXITED(status))
        << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(kt::testing::fileText(marker), "started\nfinished\n");
    EXPECT_EQ(kt::testing::fileText(dir + "/thread"), "own")
        << "not run in the signal handler's thread";
    for (int signal : {SIGINT, SIGHUP}) {
        std::filesystem::remove(marker);
        const int status = childStatusAfter(signal, "echo ran > '" + marker + "'", dir + "/thread");
        ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << signal;
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_FALSE(std::filesystem::exists(marker)) << "signal " << signal;
    }
}
