// ka-tesmar-admin: shows IT staff exactly what the application writes into
// the system for a status reply, what is in place now, and undoes it.
#include <unistd.h>

#include <iostream>

#include "admin/AdminArguments.h"
#include "admin/AdminCommands.h"
#include "platform/system/PosixFileSystem.h"
#include "platform/system/PosixProcessRunner.h"
#include "platform/system/ThreadWorkers.h"

int main(int argc, char* argv[]) {
    std::vector<std::string> words(argv + 1, argv + argc);
    std::string error;
    auto arguments = kt::admin::parseArguments(words, error);
    if (!arguments) {
        std::cerr << "ka-tesmar-admin: " << error << " (see --help)\n";
        return 2;
    }
    kt::PosixProcessRunner processes;
    kt::PosixFileSystem files;
    kt::ThreadWorkers workers;
    kt::admin::AdminPorts ports{processes, files, workers, ::geteuid() == 0};
    int status = kt::admin::runCommand(*arguments, ports, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
