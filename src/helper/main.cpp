// ka-tesmar-helper: run as root by pkexec (or by an application that is
// root already) for the linux profile. It takes one verb and, for an
// activation, a JSON request of names and addresses on standard input. It
// checks everything again, builds the script itself from this program's own
// texts and runs it from memory. Nothing the caller sends is ever run, and
// nothing the caller can do to this process (terminal signals, resource
// limits, killing it) leaves a half-done run or files behind: one run at a
// time, in a session of its own, and each run first removes what a killed
// one left.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>

#include "blocking/ActivationPlan.h"
#include "blocking/HelperRequest.h"
#include "blocking/LinuxProfile.h"
#include "blocking/RefusedTargets.h"
#include "helper/ApplicationLock.h"
#include "helper/BashScript.h"
#include "helper/HelperAnswer.h"
#include "helper/Isolation.h"
#include "helper/RootFolder.h"
#include "platform/system/PosixFileSystem.h"
#include "platform/system/PosixProcessRunner.h"

namespace {

using namespace kt;

constexpr int usageStatus = 2;
// A run waits this long for the one before it (an activation takes seconds).
constexpr std::chrono::seconds runLockDeadline{60};

int refuse(const std::string& why) {
    std::cerr << why << "\n";
    return usageStatus;
}

// At most `limit` + 1 bytes, so that a larger request is recognised.
std::string readStandardInput(std::size_t limit) {
    std::string text;
    char buffer[65536];
    while (text.size() <= limit) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    helper::ignoreTerminalSignals();
    helper::resetResourceLimits();
    ::umask(022);
    const uid_t caller = helper::callerAccount(std::getenv("PKEXEC_UID"));
    // The caller's environment reaches nothing this helper starts.
    ::clearenv();
    ::setenv("PATH", "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin", 1);
    ::setenv("LC_ALL", "C", 1);

    if (argc != 2)
        return refuse("gebruik: ka-tesmar-helper activate|deactivate|restore");
    const std::string verb = argv[1];
    if (verb != "activate" && verb != "deactivate" && verb != "restore")
        return refuse("Onbekende opdracht: alleen activate, deactivate en restore");
    if (::geteuid() != 0)
        return refuse("ka-tesmar-helper moet als root draaien");
    helper::continueInOwnSession();

    const LinuxProfile profile;
    PosixFileSystem files;
    std::string script;
    if (verb == "activate") {
        DecodedHelperRequest decoded =
            decodeHelperRequest(readStandardInput(maxHelperRequestBytes));
        if (!decoded.request)
            return refuse("Verzoek geweigerd: " + decoded.error);
        script =
            profile.activationScript(helperPlan(*decoded.request, computerNameServers(files)), {});
    } else {
        script = profile.undoCommand();
    }

    if (auto error = helper::prepareRootFolder(LinuxProfile::runFolder))
        return answerFailure(*error);
    if (auto error = helper::holdRunLock(LinuxProfile::runLock, runLockDeadline))
        return answerFailure(*error);
    helper::removeStaleFiles(LinuxProfile::runFolder, LinuxProfile::runLockName,
                             LinuxProfile::temporaryFilePlaces());
    if (verb == "activate")
        if (auto error = helper::provideApplicationLock(LinuxProfile::applicationLock, caller))
            return answerFailure("Kon het programmaslot niet maken: " + *error);

    PosixProcessRunner processes;
    return answer(helper::runBashScript(processes, script));
}
