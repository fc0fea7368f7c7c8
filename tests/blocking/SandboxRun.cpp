#include "SandboxRun.h"

#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kt::testing {

const char* const originalHosts =
    "##\n# Host Database\n#\n# localhost is used to configure the loopback interface\n"
    "# when the system is booting.  Do not change this entry.\n##\n"
    "127.0.0.1\tlocalhost\n255.255.255.255\tbroadcasthost\n::1             localhost\n"
    "# DNS_TESMAR_START\n0.0.0.0 old-generation.example\n# DNS_TESMAR_END\n"
    "0.0.0.0 legacy.example # DNS Tesmar\n";

std::string originalHostsWithoutOldBlocks() {
    const std::string hosts = originalHosts;
    return hosts.substr(0, hosts.find("# DNS_TESMAR_START"));
}

const char* const originalPfConf =
    "scrub-anchor \"com.apple/*\"\nnat-anchor \"com.apple/*\"\nrdr-anchor \"com.apple/*\"\n"
    "anchor \"com.apple/*\"\nload anchor \"com.apple\" from \"/etc/pf.anchors/com.apple\"\n";

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

int SandboxRun::run(const std::string& scenario, const std::vector<std::string>& readOnlyDirs) {
    std::filesystem::copy_file(std::string(KT_SANDBOX_DIR) + "/" + scenario, dir_ + "/" + scenario,
                               std::filesystem::copy_options::overwrite_existing);
    std::string command = "KT_SANDBOX_SYSTEM=" + system_ +
                          " bash '" KT_SANDBOX_DIR "/run-in-sandbox.sh' '" + dir_ + "' '" +
                          scenario + "'";
    for (const auto& dir : readOnlyDirs) command += " '" + dir + "'";
    command += " 2>&1";
    log_.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) log_.append(buffer, n);
    int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<std::string> SandboxRun::out(const std::string& path) const {
    std::ifstream in(dir_ + "/out/" + path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace kt::testing
