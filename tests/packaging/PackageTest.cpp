// The Debian packages: built with CPack from this build folder, checked with
// lintian, then installed, used, removed and purged with dpkg in a throwaway
// copy of this system (package-sandbox.sh).
#include <gtest/gtest.h>

#include <unistd.h>

#include "TestFiles.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using testing::CommandResult;
using testing::fileText;

// A command line with its errors in its output.
CommandResult run(const std::string& commandLine) {
    return testing::runCommand(commandLine + " 2>&1");
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Why the packages cannot be built and installed here, or nothing.
std::string missingPrerequisite() {
    if (::geteuid() != 0)
        return "dpkg and the sandbox need root; run the tests as root";
    if (std::string(KT_INSTALL_PREFIX) != "/usr")
        return "this build folder installs under " KT_INSTALL_PREFIX
               "; the package is built from one configured with the prefix /usr";
    for (const char* tool : {"cpack", "lintian", "dpkg-shlibdeps", "nft"})
        if (run(std::string("command -v ") + tool).status != 0)
            return std::string(tool) + " is not installed (scripts/install-deps.sh installs it)";
    return {};
}

// Both packages, built once with CPack for the tests of this file.
class DebianPackage : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!missingPrerequisite().empty())
            return;
        scratch_ = new testing::ScratchDir("kt-package-test");
        built_ = run("cd '" + scratch_->path +
                     "' && cpack --config '" KT_BUILD_DIR "/CPackConfig.cmake' -B '" +
                     scratch_->path + "'");
    }
    static void TearDownTestSuite() { delete scratch_; }
    void SetUp() override {
        if (const std::string missing = missingPrerequisite(); !missing.empty())
            GTEST_SKIP() << missing;
    }
    // The package file whose name starts with `prefix`, in which lintian finds no error.
    void package(const std::string& prefix) {
        ASSERT_EQ(built_.status, 0) << built_.output;
        for (const auto& entry : fs::directory_iterator(scratch_->path))
            if (entry.path().extension() == ".deb" &&
                entry.path().filename().string().starts_with(prefix))
                deb = entry.path().string();
        ASSERT_FALSE(deb.empty()) << built_.output;
        const CommandResult lintian = run("lintian --tag-display-limit 0 '" + deb + "'");
        EXPECT_FALSE(has("\n" + lintian.output, "\nE: ")) << lintian.output;
        contents = run("dpkg-deb -c '" + deb + "'").output;
    }
    // Runs `scenario` of this folder with the package in package-sandbox.sh;
    // skips where the sandbox cannot be made.
    void inSandbox(const std::string& scenario) {
        out = fs::path(scratch_->path) / "out" / scenario;
        const CommandResult sandbox =
            run("bash '" KT_PACKAGING_DIR "/package-sandbox.sh' '" KT_PACKAGING_DIR "/" + scenario +
                "' '" + deb + "' '" + out.string() + "'");
        if (sandbox.status == 77)
            GTEST_SKIP() << "the package sandbox cannot be made here: " << sandbox.output;
        ASSERT_EQ(sandbox.status, 0) << sandbox.output << fileText(out / "install.log")
                                     << fileText(out / "remove.log") << fileText(out / "purge.log");
    }
    // The file holds `part`; a failure shows the whole file.
    void expectHolds(const std::string& file, const std::string& part) {
        const std::string text = fileText(out / file);
        EXPECT_TRUE(has(text, part)) << file << " has no \"" << part << "\":\n" << text;
    }
    // What only one of two sorted file lists has, at most 20 lines.
    std::string changedLines(const std::string& before, const std::string& after) {
        return run("LC_ALL=C comm -3 --nocheck-order '" + (out / before).string() + "' '" +
                   (out / after).string() + "' | head -20")
            .output;
    }
    std::string deb, contents;
    fs::path out;
    static inline testing::ScratchDir* scratch_ = nullptr;
    static inline CommandResult built_;
};

TEST_F(DebianPackage, BuildsPassesLintianAndInstallsAndRemovesWithoutATrace) {
    package("ka-tesmar_1.0.0_");
    ASSERT_FALSE(HasFatalFailure());
    // Its own programs only; what the sandbox cannot show: the packages it needs
    // on a bare computer, and the polkit action naming the helper.
    EXPECT_FALSE(has(contents, "ka-tesmar-service"));
    const std::string depends = run("dpkg-deb -f '" + deb + "' Depends").output;
    for (const char* package :
         {"nftables", "pkexec", "libqt6quick6", "qml6-module-qtquick-controls"})
        EXPECT_TRUE(has(depends, package)) << package << ": " << depends;
    const std::string policy =
        run("dpkg-deb --fsys-tarfile '" + deb +
            "' | tar -xOf - ./usr/share/polkit-1/actions/com.katesmar.blocking.policy")
            .output;
    EXPECT_TRUE(has(policy, ">/usr/libexec/ka-tesmar/ka-tesmar-helper</annotate>")) << policy;
    inSandbox("install-remove.sh");
    if (IsSkipped() || HasFatalFailure())
        return;
    expectHolds("install.log", "Setting up ka-tesmar (1.0.0)");
    expectHolds("installed.files", "/usr/bin/Ka_Tesmar\n");
    expectHolds("installed.status", "lock file: absent (/var/lib/ka-tesmar/active.lock)");
    // Blocked: the table, the hosts block, the lock and the guardian.
    EXPECT_EQ(fileText(out / "activate.out"), "OK\n");
    expectHolds("blocked.ruleset", "2001:db8::10");
    expectHolds("blocked.hosts", "# Ka Tesmar Start\n0.0.0.0 chatgpt.com\n");
    for (const char* left : {"active.lock", "ka-tesmar-guardian.timer", "ka-tesmar-guardian.sh"})
        expectHolds("blocked.listing", left);
    // Removed while blocking was on: the network is back and nothing is left.
    EXPECT_EQ(fileText(out / "removed.hosts"), fileText(out / "before.hosts"));
    EXPECT_EQ(fileText(out / "removed.ruleset"), "");
    for (const char* left : {"ka-tesmar", "active.lock", "hosts_backup"})
        EXPECT_FALSE(has(fileText(out / "removed.listing"), left))
            << left << "\n"
            << fileText(out / "removed.listing");
    EXPECT_EQ(changedLines("before.files", "removed.files"), "");
    EXPECT_EQ(changedLines("before.files", "purged.files"), "");
}

TEST_F(DebianPackage, TheServicePackageRunsAsItsOwnUserAndPurgingLeavesNoTrace) {
    package("ka-tesmar-service_1.0.0_");
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_FALSE(has(contents, "Ka_Tesmar")) << "the application stays in ka-tesmar";
    inSandbox("service-install-remove.sh");
    if (IsSkipped() || HasFatalFailure())
        return;
    expectHolds("installed.account", "ka-tesmar-service:");
    expectHolds("teacher.log", "one-time password: ");
    EXPECT_EQ(fileText(out / "owners"),
              "ka-tesmar-service 750 /var/lib/ka-tesmar-service\n"
              "ka-tesmar-service 600 /var/lib/ka-tesmar-service/service.db\n")
        << "the data is the service user's alone, even after a command run as root";
    expectHolds("removed.files", "/var/lib/ka-tesmar-service/service.db\n");  // the classes
    EXPECT_EQ(changedLines("before.files", "purged.files"), "");
    EXPECT_EQ(fileText(out / "purged.account"), "");
}

}  // namespace
}  // namespace kt
