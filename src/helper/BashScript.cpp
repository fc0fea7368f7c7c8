#include "helper/BashScript.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kt::helper {
namespace {

// A memory file holding `text`, sealed against every change; -1 on failure.
int sealedMemoryFile(const std::string& text) {
    const int fd = ::memfd_create("ka-tesmar-script", MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    auto fail = [fd] {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    };
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail();
        done += static_cast<std::size_t>(n);
    }
    if (::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
        return fail();
    return fd;
}

}  // namespace

ProcessResult runBashScript(ProcessRunner& processes, const std::string& script) {
    const int fd = sealedMemoryFile(script);
    if (fd < 0) {
        ProcessResult failed;
        failed.startError =
            std::string("geen geheugenbestand voor het script: ") + std::strerror(errno);
        return failed;
    }
    ProcessRequest bash;
    bash.program = "/bin/bash";
    bash.arguments = {"/dev/fd/" + std::to_string(fd)};
    bash.standardOutput = ProcessOutput::Capture;
    bash.standardError = ProcessOutput::Capture;
    ProcessResult result = processes.run(bash);
    ::close(fd);
    return result;
}

}  // namespace kt::helper
