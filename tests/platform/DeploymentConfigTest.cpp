#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/system/DeploymentConfig.h"

namespace kt {
namespace {

const DeploymentSettings compiled{"https://127.0.0.1:8443/Vexlo/api/", "https://127.0.0.1:8443/",
                                  ""};

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) out += line + "\n";
    return out;
}

TEST(DeploymentConfig, KeyValueLinesOverTheCompiledDefaults) {
    std::vector<std::string> warnings;
    const DeploymentSettings read = parseDeploymentConfig(
        "# school\n\n service_url = https://klas.school.example/Vexlo/api/ \r\n"
        "ca_bundle=/etc/ka-tesmar/ca.pem\nprobe_url=http://plain.example/\nlanguage=nl\nnonsense\n",
        compiled, warnings);
    EXPECT_EQ(read.serviceUrl, "https://klas.school.example/Vexlo/api/");
    EXPECT_EQ(read.probeUrl, compiled.probeUrl) << "only https";
    EXPECT_EQ(read.caBundle, "/etc/ka-tesmar/ca.pem");
    EXPECT_EQ(joined(warnings),
              "line 5 ignored: probe_url must start with https://\n"
              "line 6 ignored: not service_url=, probe_url= or ca_bundle=\n"
              "line 7 ignored: not service_url=, probe_url= or ca_bundle=\n");
}

TEST(DeploymentConfig, OnlyAFileOfRootsThatOnlyRootMayWriteIsUsed) {
    const std::string path = ::testing::TempDir() + "ka-tesmar-test.conf";
    std::ofstream(path) << "ca_bundle=/home/student/evil.pem\n";
    struct Case {
        FileOwner owner;
        const char* refusal;  // nullptr: used
    };
    const Case cases[] = {
        {{0, 0, 0644}, nullptr},
        {{0, 0, 0664}, nullptr},
        {{1000, 1000, 0644}, "not owned by root"},
        {{0, 0, 0646}, "writable by others than root"},
        {{0, 1000, 0664}, "writable by others than root"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> warnings;
        const DeploymentSettings read = loadDeploymentSettings(
            path, compiled, warnings, [&](int) { return std::optional(c.owner); });
        const bool used = read.caBundle == "/home/student/evil.pem";
        EXPECT_EQ(used, c.refusal == nullptr) << c.owner.uid << " " << c.owner.mode;
        EXPECT_EQ(joined(warnings), c.refusal ? path + " ignored: " + c.refusal + "\n" : "");
    }

    // A link is not followed; a missing file gives the defaults without a word.
    const std::string link = path + ".link";
    std::filesystem::create_symlink(path, link);
    std::vector<std::string> warnings;
    EXPECT_EQ(loadDeploymentSettings(link, compiled, warnings).caBundle, "");
    EXPECT_EQ(warnings.size(), 1u);
    std::filesystem::remove(link);
    std::filesystem::remove(path);
    warnings.clear();
    EXPECT_EQ(loadDeploymentSettings(path, compiled, warnings).serviceUrl, compiled.serviceUrl);
    EXPECT_TRUE(warnings.empty());
}

}  // namespace
}  // namespace kt
