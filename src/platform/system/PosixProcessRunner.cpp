#include "platform/system/PosixProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>
#include <vector>

extern char** environ;

namespace kt {
namespace {

struct Pipe {
    int read = -1;
    int write = -1;
    bool open() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return false;
        read = fds[0];
        write = fds[1];
        return true;
    }
    void closeRead() {
        if (read >= 0)
            close(read);
        read = -1;
    }
    void closeWrite() {
        if (write >= 0)
            close(write);
        write = -1;
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
};

std::string errorText(int error) {
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

// Sets up one output stream of the child.
bool arrange(posix_spawn_file_actions_t& actions, ProcessOutput mode, Pipe& pipe, int target) {
    switch (mode) {
        case ProcessOutput::Capture:
            return pipe.open() &&
                   posix_spawn_file_actions_adddup2(&actions, pipe.write, target) == 0;
        case ProcessOutput::Discard:
            return posix_spawn_file_actions_addopen(&actions, target, "/dev/null", O_WRONLY, 0) ==
                   0;
        case ProcessOutput::Inherit:
            return true;
    }
    return false;
}

// Reads both captured streams to their end, whichever writes first.
void drain(Pipe& out, Pipe& err, std::string& outText, std::string& errText) {
    char buffer[4096];
    while (out.read >= 0 || err.read >= 0) {
        pollfd fds[2] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        Pipe* pipes[2] = {&out, &err};
        std::string* texts[2] = {&outText, &errText};
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0)
                texts[i]->append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR)
                pipes[i]->closeRead();
        }
    }
}

// Writes the input on its own thread, so a child that writes before it has
// read everything never blocks both sides. A child that exits early closes
// the pipe: the write fails with EPIPE instead of a SIGPIPE for the process.
std::thread feedInput(int fd, const std::string& input) {
    return std::thread([fd, &input] {
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        std::size_t done = 0;
        while (done < input.size()) {
            const ssize_t n = ::write(fd, input.data() + done, input.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else if (n < 0 && errno != EINTR)
                break;
        }
        close(fd);
        const timespec now{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &now);  // takes back a SIGPIPE left pending here
    });
}

}  // namespace

ProcessResult PosixProcessRunner::run(const ProcessRequest& request) {
    ProcessResult result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    Pipe in, out, err;
    const bool feeds = !request.standardInput.empty();
    bool arranged =
        (feeds ? in.open() && posix_spawn_file_actions_adddup2(&actions, in.read, STDIN_FILENO) == 0
               : posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY,
                                                  0) == 0) &&
        arrange(actions, request.standardOutput, out, STDOUT_FILENO) &&
        arrange(actions, request.standardError, err, STDERR_FILENO);
    if (!arranged) {
        posix_spawn_file_actions_destroy(&actions);
        result.startError = "Kon de uitvoer van " + request.program + " niet opzetten";
        return result;
    }

    std::vector<std::string> argv = {request.program};
    argv.insert(argv.end(), request.arguments.begin(), request.arguments.end());
    std::vector<char*> rawArgv;
    for (auto& a : argv) rawArgv.push_back(a.data());
    rawArgv.push_back(nullptr);

    pid_t pid = 0;
    int error =
        posix_spawn(&pid, request.program.c_str(), &actions, nullptr, rawArgv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    in.closeRead();
    out.closeWrite();
    err.closeWrite();
    if (error != 0) {
        result.startError = request.program + ": " + errorText(error);
        return result;
    }
    result.started = true;
    std::thread feeder;
    if (feeds) {
        feeder = feedInput(in.write, request.standardInput);
        in.write = -1;  // the feeder closes it
    }
    drain(out, err, result.standardOutput, result.standardError);
    if (feeder.joinable())
        feeder.join();

    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return result;
    }
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.exitStatus = 128 + WTERMSIG(status);
    return result;
}

}  // namespace kt
