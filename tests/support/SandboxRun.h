#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace kt::testing {

// The hosts and packet-filter files the sandbox starts with. The hosts file
// has an empty line, which every restore must keep.
inline const std::string originalHosts = fileText(KT_TEST_DATA_DIR "/hosts.original"),
                         originalPfConf = fileText(KT_TEST_DATA_DIR "/pf.conf.original");
// The hosts file as a restore leaves it: without an earlier generation's blocks.
inline std::string originalHostsWithoutOldBlocks() {
    return originalHosts.substr(0, originalHosts.find("# DNS_TESMAR_START"));
}

// A working folder for one run of sandbox/run-in-sandbox.sh (beside this
// file): the test puts the scripts under test in it, runs a scenario (a
// script beside the test) as root in a throwaway root file system and reads
// back what the scenario left in out/.
class SandboxRun {
  public:
    SandboxRun() {
        put("hosts.original", originalHosts);
        put("pf.conf.original", originalPfConf);
    }
    ~SandboxRun() {
        if (std::getenv("KT_KEEP_SANDBOX"))
            dir_.path.clear();
    }
    void put(const std::string& name, const std::string& content) {  // into the working folder
        std::ofstream(dir_.in(name), std::ios::binary) << content;
    }
    void useLinuxSystem() { system_ = "linux"; }  // instead of macOS (see run-in-sandbox.sh)
    // Runs the scenario script at `scenarioPath`; `readOnlyDirs` are made
    // visible inside. Returns the scenario's exit status, 77 when namespaces
    // are refused here.
    int run(const std::string& scenarioPath, const std::vector<std::string>& readOnlyDirs = {}) {
        const std::string scenario = std::filesystem::path(scenarioPath).filename();
        put(scenario, fileText(scenarioPath));
        std::string command = "KT_SANDBOX_SYSTEM=" + system_ +
                              " bash '" KT_SANDBOX_DIR "/run-in-sandbox.sh' '" + dir_.path + "' '" +
                              scenario + "'";
        for (const auto& dir : readOnlyDirs) command += " '" + dir + "'";
        const CommandResult result = runCommand(command + " 2>&1");
        log_ = result.output;
        return result.status;
    }
    // A file of out/, or nothing when the scenario did not leave it.
    std::optional<std::string> out(const std::string& path) const {
        if (!std::filesystem::exists(dir_.in("out/" + path)))
            return std::nullopt;
        return dir_.read("out/" + path);
    }
    const std::string& log() const { return log_; }  // the harness's output, for failures

  private:
    ScratchDir dir_{"kt-sandbox-work"};
    std::string log_, system_ = "macos";
};

}  // namespace kt::testing
