#include "platform/system/PosixTerminationSignal.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <thread>
#include <utility>

namespace kt {
namespace {

// Written by the signal handler, read by the response thread.
int wakePipeWrite = -1;

extern "C" void wakeResponseThread(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // Nothing can be done about a failed write in signal context; a full pipe
    // means the thread has been woken already.
    [[maybe_unused]] ssize_t ignored = write(wakePipeWrite, &byte, 1);
    errno = savedErrno;
}

void waitForSignalThenRespond(int readEnd, std::function<void()> respond) {
    char byte;
    for (;;) {
        const ssize_t n = read(readEnd, &byte, 1);
        if (n == 1)
            break;
        if (n < 0 && errno == EINTR)
            continue;
        return;  // the pipe is gone; the process is ending anyway
    }
    // Child processes inherit this thread's signal mask: give them a clean one.
    sigset_t none;
    sigemptyset(&none);
    pthread_sigmask(SIG_SETMASK, &none, nullptr);
    respond();
    // _exit rather than exit: the main thread is still running, and static
    // destructors must not pull objects away from under it.
    _exit(0);
}

}  // namespace

void PosixTerminationSignal::onTerminationSignal(std::function<void()> respond) {
    static std::atomic<bool> installed{false};
    if (installed.exchange(true))
        return;

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::perror("Ka Tesmar: SIGTERM pipe");
        return;  // SIGTERM keeps its default behaviour
    }
    // A signal storm must never block the handler.
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    wakePipeWrite = fds[1];

    // The thread must not take the signal itself; it waits on the pipe.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    std::thread(waitForSignalThenRespond, fds[0], std::move(respond)).detach();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);

    struct sigaction action {};
    action.sa_handler = wakeResponseThread;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace kt
