#include "SandboxRun.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kt::testing {

// The hosts file has an empty line, which every restore must keep.
const std::string originalHosts = fileText(KT_TEST_DATA_DIR "/hosts.original"),
                  originalPfConf = fileText(KT_TEST_DATA_DIR "/pf.conf.original");

std::string originalHostsWithoutOldBlocks() {
    return originalHosts.substr(0, originalHosts.find("# DNS_TESMAR_START"));
}

SandboxRun::SandboxRun() {
    char pattern[] = "/tmp/kt-sandbox-work.XXXXXX";
    dir_ = ::mkdtemp(pattern);
    put("hosts.original", originalHosts);
    put("pf.conf.original", originalPfConf);
}

SandboxRun::~SandboxRun() {
    std::error_code ignored;
    if (!std::getenv("KT_KEEP_SANDBOX"))
        std::filesystem::remove_all(dir_, ignored);
}

void SandboxRun::put(const std::string& name, const std::string& content) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << content;
}

int SandboxRun::run(const std::string& scenarioPath, const std::vector<std::string>& readOnlyDirs) {
    const std::string scenario = std::filesystem::path(scenarioPath).filename();
    put(scenario, fileText(scenarioPath));
    std::string command = "KT_SANDBOX_SYSTEM=" + system_ +
                          " bash '" KT_SANDBOX_DIR "/run-in-sandbox.sh' '" + dir_ + "' '" +
                          scenario + "'";
    for (const auto& dir : readOnlyDirs) command += " '" + dir + "'";
    log_ = commandOutput(command + " 2>&1; echo \"exit $?\"");
    const std::size_t last = log_.rfind("exit ");
    const int status = std::atoi(log_.c_str() + last + 5);
    log_.erase(last);
    return status;
}

std::optional<std::string> SandboxRun::out(const std::string& path) const {
    if (!std::filesystem::exists(dir_ + "/out/" + path))
        return std::nullopt;
    return fileText(dir_ + "/out/" + path);
}

}  // namespace kt::testing
