#pragma once

#include <optional>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace kt::testing {

// A working folder for one run of sandbox/run-in-sandbox.sh (beside this
// file): the test puts the scripts under test in it, runs a scenario (a
// script beside the test) as root in a throwaway root file system and reads
// back what the scenario left in out/.
class SandboxRun {
  public:
    SandboxRun();
    ~SandboxRun();

    void put(const std::string& name, const std::string& content);  // into the working folder
    void useLinuxSystem() { system_ = "linux"; }  // instead of macOS (see run-in-sandbox.sh)
    // Runs the scenario script at `scenarioPath`; `readOnlyDirs` are made
    // visible inside. Returns the scenario's exit status, 77 when namespaces
    // are refused here.
    int run(const std::string& scenarioPath, const std::vector<std::string>& readOnlyDirs = {});
    // A file of out/, or nothing when the scenario did not leave it.
    std::optional<std::string> out(const std::string& path) const;
    const std::string& log() const { return log_; }  // the harness's output, for failures

  private:
    std::string dir_, log_, system_ = "macos";
};

// Runs a shell command line and returns its standard output.
inline std::string commandOutput(const std::string& commandLine) {
    return runCommand(commandLine).output;
}

// The hosts and packet-filter files the sandbox starts with.
extern const std::string originalHosts, originalPfConf;
// The hosts file as a restore leaves it: without an earlier generation's blocks.
std::string originalHostsWithoutOldBlocks();

}  // namespace kt::testing
