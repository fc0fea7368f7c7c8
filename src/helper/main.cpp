// ka-tesmar-helper: run as root by pkexec (or by an application that is
// root already) for the linux profile. It takes one verb and, for an
// activation, a JSON request of names and addresses on standard input. It
// checks everything again, builds the script itself from this program's own
// texts, writes it into a folder only root can enter and runs it. Nothing the
// caller sends is ever run.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "blocking/HelperRequest.h"
#include "blocking/LinuxProfile.h"
#include "blocking/RefusedTargets.h"
#include "helper/HelperAnswer.h"
#include "helper/RootFolder.h"
#include "platform/system/PosixFileSystem.h"
#include "platform/system/PosixProcessRunner.h"

namespace {

using namespace kt;

constexpr int usageStatus = 2;

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
    ::umask(022);
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

    const LinuxProfile profile;
    // Private folders for the scripts, inside the folder only root can enter.
    PosixFileSystem files(LinuxProfile::runFolder);
    std::string script;
    if (verb == "activate") {
        DecodedHelperRequest decoded =
            decodeHelperRequest(readStandardInput(maxHelperRequestBytes));
        if (!decoded.request)
            return refuse("Verzoek geweigerd: " + decoded.error);
        const ActivationPlan plan = helperPlan(*decoded.request, computerNameServers(files));
        script = profile.activationScript(plan.hostsEntries, plan.rulesText, {});
    } else {
        script = profile.undoCommand();
    }

    if (auto error = helper::prepareRootFolder(LinuxProfile::runFolder))
        return answerFailure(*error);
    const int lock = helper::holdApplicationLock(LinuxProfile::applicationLock);
    if (lock < 0)
        return answerFailure(std::string("Kon ") + LinuxProfile::applicationLock +
                             " niet vergrendelen");
    const PathResult folder = files.createPrivateDirectory();
    const std::string path = folder.path + "/" + verb + ".sh";
    if (!folder.ok() || files.writeFile(path, script, 0600)) {
        if (folder.ok())
            files.removeTree(folder.path);
        return answerFailure("Kon het script niet schrijven");
    }

    PosixProcessRunner processes;
    ProcessRequest bash;
    bash.program = "/bin/bash";
    bash.arguments = {path};
    bash.standardOutput = ProcessOutput::Capture;
    bash.standardError = ProcessOutput::Capture;
    const ProcessResult result = processes.run(bash);
    files.removeTree(folder.path);
    return answer(result);
}
