#include "helper/Isolation.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <initializer_list>

namespace kt::helper {
namespace {

// Sets the limit; where the hard limit may not be raised (a user namespace),
// the soft limit goes as far as the hard one allows.
void setLimit(int resource, rlim_t soft, rlim_t hard) {
    const rlimit wanted{soft, hard};
    if (::setrlimit(resource, &wanted) == 0)
        return;
    rlimit current{};
    if (::getrlimit(resource, &current) != 0)
        return;
    current.rlim_cur = soft < current.rlim_max ? soft : current.rlim_max;
    ::setrlimit(resource, &current);
}

}  // namespace

void ignoreTerminalSignals() {
    for (int signal : {SIGINT, SIGQUIT, SIGTSTP, SIGTTIN, SIGTTOU, SIGHUP, SIGXFSZ})
        std::signal(signal, SIG_IGN);
}

void resetResourceLimits() {
    for (int resource : {RLIMIT_FSIZE, RLIMIT_CPU, RLIMIT_AS, RLIMIT_DATA, RLIMIT_RSS, RLIMIT_NPROC,
                         RLIMIT_LOCKS, RLIMIT_RTTIME})
        setLimit(resource, RLIM_INFINITY, RLIM_INFINITY);
    setLimit(RLIMIT_STACK, 8u << 20, RLIM_INFINITY);
    setLimit(RLIMIT_NOFILE, 1024, 4096);
    setLimit(RLIMIT_CORE, 0, 0);  // no memory image of root's work on disk
}

void continueInOwnSession() {
    const pid_t child = ::fork();
    if (child < 0)
        return;  // without a fork it works on in the caller's session
    if (child == 0) {
        ::setsid();
        return;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            std::_Exit(1);
    std::_Exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

}  // namespace kt::helper
