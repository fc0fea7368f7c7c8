#include "app/blocking/BlockingController.h"

namespace kt {
namespace {

// Caches of two code editors and of the common browsers, below the home folder.
constexpr const char* cacheFolders[] = {
    ".config/Cursor/Cache",
    ".config/Cursor/Code Cache",
    ".config/Cursor/Service Worker/CacheStorage",
    ".config/Cursor/GPUCache",
    ".config/Code/Cache",
    ".config/Code/Code Cache",
    ".config/Code/Service Worker/CacheStorage",
    ".cache/mozilla/firefox",
    ".cache/google-chrome",
    ".cache/chromium",
    ".cache/microsoft-edge",
    ".cache/BraveSoftware",
};

// Process names of the common browsers.
constexpr const char* browserProcesses[] = {
    "firefox", "firefox-esr", "chrome", "chromium", "msedge", "brave",
};

}  // namespace

// Runs as the student, on a worker: a browser that is not running and a
// cache that is not there are no errors.
void BlockingController::clearStudentCaches() {
    if (!ports_.files || !ports_.processes || !ports_.workers)
        return;
    FileSystem* files = ports_.files;
    ProcessRunner* processes = ports_.processes;
    ports_.workers->run([files, processes] {
        const std::string user = files->userId();
        for (const char* process : browserProcesses) {
            ProcessRequest pkill;
            pkill.program = "/usr/bin/pkill";
            pkill.arguments = {"-x", "-U", user, process};
            pkill.standardOutput = ProcessOutput::Discard;
            processes->run(pkill);
        }
        const std::string home = files->homeDirectory();
        for (const char* folder : cacheFolders) files->removeTreeWithin(home, folder);
    });
}

}  // namespace kt
