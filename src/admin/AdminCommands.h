#pragma once

#include <ostream>

#include "admin/AdminArguments.h"
#include "platform/FileSystem.h"
#include "platform/ProcessRunner.h"
#include "platform/WorkerThreads.h"

namespace kt::admin {

struct AdminPorts {
    ProcessRunner& processes;
    FileSystem& files;
    WorkerThreads& workers;
    bool runningAsRoot = false;
};

// Carries out one command. Its result goes to `out` with nothing added;
// notes and errors go to `err`. Returns the exit status: 0 on success,
// 2 for a bad argument or reply file, 1 when the work itself failed.
int runCommand(const Arguments& arguments, AdminPorts& ports, std::ostream& out, std::ostream& err);

}  // namespace kt::admin
