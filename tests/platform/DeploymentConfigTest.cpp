#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TestFiles.h"
#include "platform/system/DeploymentConfig.h"

namespace kt {
namespace {

using Lines = std::vector<std::string>;
const DeploymentSettings compiled{"https://127.0.0.1:8443/Vexlo/api/", "https://127.0.0.1:8443/",
                                  ""};

TEST(DeploymentConfig, KeyValueLinesOverTheCompiledDefaults) {
    Lines warnings;
    const DeploymentSettings read = parseDeploymentConfig(
        "# school\n\n service_url = https://klas.school.example/Vexlo/api/ \r\n"
        "ca_bundle=/etc/ka-tesmar/ca.pem\nprobe_url=http://plain.example/\nlanguage=nl\nnonsense\n",
        compiled, warnings);
    EXPECT_EQ(read.serviceUrl, "https://klas.school.example/Vexlo/api/");
    EXPECT_EQ(read.probeUrl, compiled.probeUrl) << "only https";
    EXPECT_EQ(read.caBundle, "/etc/ka-tesmar/ca.pem");
    EXPECT_EQ(warnings, (Lines{"line 5 ignored: probe_url must start with https://",
                               "line 6 ignored: not service_url=, probe_url= or ca_bundle=",
                               "line 7 ignored: not service_url=, probe_url= or ca_bundle="}));
}

TEST(DeploymentConfig, OnlyAFileOfRootsThatOnlyRootMayWriteIsUsed) {
    const testing::ScratchDir scratch("kt-deployment");
    const std::string path = scratch.in("ka-tesmar.conf"), link = path + ".link";
    std::ofstream(path) << "ca_bundle=/home/student/evil.pem\n";
    const std::pair<FileOwner, std::string> cases[] = {
        // "": used
        {{0, 0, 0644}, ""},
        {{0, 0, 0664}, ""},
        {{1000, 1000, 0644}, "not owned by root"},
        {{0, 0, 0646}, "writable by others than root"},
        {{0, 1000, 0664}, "writable by others than root"}};
    for (const auto& [owner, refusal] : cases) {
        Lines warnings;
        const DeploymentSettings read = loadDeploymentSettings(
            path, compiled, warnings, [&](int) { return std::optional(owner); });
        EXPECT_EQ(read.caBundle == "/home/student/evil.pem", refusal.empty())
            << owner.uid << " " << owner.mode;
        EXPECT_EQ(warnings, refusal.empty() ? Lines{} : Lines{path + " ignored: " + refusal});
    }
    // A link is not followed; a missing file gives the defaults without a word.
    std::filesystem::create_symlink(path, link);
    Lines warnings;
    EXPECT_EQ(loadDeploymentSettings(link, compiled, warnings).caBundle, "");
    EXPECT_EQ(warnings.size(), 1u);
    std::filesystem::remove(path);
    warnings.clear();
    EXPECT_EQ(loadDeploymentSettings(path, compiled, warnings).serviceUrl, compiled.serviceUrl);
    EXPECT_TRUE(warnings.empty());
}

}  // namespace
}  // namespace kt
