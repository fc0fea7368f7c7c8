// The Debian package: built with CPack from this build folder, checked with
// lintian, then installed, used for blocking, removed and purged with dpkg in
// a throwaway copy of this system (package-sandbox.sh).
#include <gtest/gtest.h>

#include <unistd.h>

#include "TestFiles.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using testing::CommandResult;
using testing::fileText;
using testing::ScratchDir;

// What only one of two sorted file lists has, at most 20 lines: a short
// difference, whatever the lists' size.
std::string changedLines(const fs::path& before, const fs::path& after) {
    return testing::runCommand("LC_ALL=C comm -3 --nocheck-order '" + before.string() + "' '" +
                               after.string() + "' | head -20")
        .output;
}

// A command line with its errors in its output.
CommandResult run(const std::string& commandLine) {
    return testing::runCommand(commandLine + " 2>&1");
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The file holds `part`; a failure shows the whole file.
void expectHolds(const fs::path& file, const std::string& part) {
    const std::string text = fileText(file);
    EXPECT_TRUE(has(text, part)) << file.filename() << " has no \"" << part << "\":\n" << text;
}

// The one package file in `folder` whose name starts with `prefix`.
fs::path packageFile(const fs::path& folder, const std::string& prefix) {
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".deb" &&
            entry.path().filename().string().starts_with(prefix))
            return entry.path();
    return {};
}

// Why the packages cannot be built and installed here, or nothing.
std::string missingPrerequisite() {
    if (::geteuid() != 0)
        return "dpkg and the sandbox need root; run the tests as root";
    if (std::string(KT_INSTALL_PREFIX) != "/usr")
        return std::string("this build folder installs under ") + KT_INSTALL_PREFIX +
               "; the package is built from one configured with the prefix /usr";
    for (const char* tool : {"cpack", "lintian", "dpkg-shlibdeps", "nft"})
        if (run(std::string("command -v ") + tool).status != 0)
            return std::string(tool) + " is not installed (scripts/install-deps.sh installs it)";
    return {};
}

// Both packages, built once with CPack for the tests of this file; lintian
// must find no error in either.
class DebianPackage : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (missingPrerequisite().empty()) {
            scratch_ = new ScratchDir("kt-package-test");
            built_ = run("cd '" + scratch_->path +
                         "' && cpack --config '" KT_BUILD_DIR "/CPackConfig.cmake' -B '" +
                         scratch_->path + "'");
        }
    }
    static void TearDownTestSuite() { delete scratch_; }
    void SetUp() override {
        if (const std::string missing = missingPrerequisite(); !missing.empty())
            GTEST_SKIP() << missing;
    }

    // The package file, checked by lintian; empty when it could not be built.
    fs::path package(const std::string& prefix) {
        EXPECT_EQ(built_.status, 0) << built_.output;
        const fs::path deb = packageFile(scratch_->path, prefix);
        EXPECT_FALSE(deb.empty()) << built_.output;
        if (deb.empty())
            return {};
        const CommandResult lintian = run("lintian --tag-display-limit 0 '" + deb.string() + "'");
        EXPECT_FALSE(has("\n" + lintian.output, "\nE: ")) << lintian.output;
        RecordProperty("lintian", lintian.output);
        return deb;
    }
    fs::path out() const { return fs::path(scratch_->path) / "out"; }
    // Runs a scenario of this folder with the package in package-sandbox.sh.
    static CommandResult inSandbox(const std::string& scenario, const fs::path& deb,
                                   const fs::path& out) {
        return run("bash '" KT_PACKAGING_DIR "/package-sandbox.sh' '" KT_PACKAGING_DIR "/" +
                   scenario + "' '" + deb.string() + "' '" + out.string() + "'");
    }

    static inline ScratchDir* scratch_ = nullptr;
    static inline CommandResult built_;
};

TEST_F(DebianPackage, BuildsPassesLintianAndInstallsAndRemovesWithoutATrace) {
    const fs::path deb = package("ka-tesmar_1.0.0_");
    ASSERT_FALSE(deb.empty());

    // Each package holds its own programs only; what the sandbox cannot show: the
    // packages it needs on a bare computer, and the polkit action naming the helper.
    EXPECT_FALSE(has(run("dpkg-deb -c '" + deb.string() + "'").output, "ka-tesmar-service"));
    const std::string depends = run("dpkg-deb -f '" + deb.string() + "' Depends").output;
    for (const char* package :
         {"nftables", "pkexec", "libqt6quick6", "qml6-module-qtquick-controls"})
        EXPECT_TRUE(has(depends, package)) << package << ": " << depends;
    const CommandResult policy =
        run("dpkg-deb --fsys-tarfile '" + deb.string() +
            "' | tar -xOf - ./usr/share/polkit-1/actions/com.katesmar.blocking.policy");
    EXPECT_TRUE(has(policy.output, ">/usr/libexec/ka-tesmar/ka-tesmar-helper</annotate>"))
        << policy.output;

    // Installed, blocking, removed and purged in the sandbox.
    const fs::path out = this->out();
    const CommandResult sandbox = inSandbox("install-remove.sh", deb, out);
    if (sandbox.status == 77)
        GTEST_SKIP() << "the package sandbox cannot be made here: " << sandbox.output;
    ASSERT_EQ(sandbox.status, 0) << sandbox.output << fileText(out / "install.log")
                                 << fileText(out / "remove.log");
    expectHolds(out / "install.log", "Setting up ka-tesmar (1.0.0)");
    expectHolds(out / "installed.files", "/usr/bin/Ka_Tesmar\n");
    expectHolds(out / "installed.status", "lock file: absent (/var/lib/ka-tesmar/active.lock)");

    // Blocked: the table, the hosts block, the lock and the guardian.
    EXPECT_EQ(fileText(out / "activate.out"), "OK\n");
    expectHolds(out / "blocked.ruleset", "2001:db8::10");
    expectHolds(out / "blocked.hosts", "# Ka Tesmar Start\n0.0.0.0 chatgpt.com\n");
    for (const char* left : {"active.lock", "ka-tesmar-guardian.timer", "ka-tesmar-guardian.sh"})
        expectHolds(out / "blocked.listing", left);

    // Removed while blocking was on: the network is back and nothing is left.
    EXPECT_EQ(fileText(out / "removed.hosts"), fileText(out / "before.hosts"));
    EXPECT_EQ(fileText(out / "removed.ruleset"), "");
    for (const char* left : {"ka-tesmar", "active.lock", "hosts_backup"})
        EXPECT_FALSE(has(fileText(out / "removed.listing"), left))
            << left << "\n"
            << fileText(out / "removed.listing");
    EXPECT_EQ(changedLines(out / "before.files", out / "removed.files"), "");
    EXPECT_EQ(changedLines(out / "before.files", out / "purged.files"), "");
}

TEST_F(DebianPackage, TheServicePackageRunsAsItsOwnUserAndPurgingLeavesNoTrace) {
    const fs::path deb = package("ka-tesmar-service_1.0.0_");
    ASSERT_FALSE(deb.empty());

    const std::string contents = run("dpkg-deb -c '" + deb.string() + "'").output;
    EXPECT_FALSE(has(contents, "Ka_Tesmar")) << "the application stays in ka-tesmar";

    const fs::path out = this->out() / "service";
    const CommandResult sandbox = inSandbox("service-install-remove.sh", deb, out);
    if (sandbox.status == 77)
        GTEST_SKIP() << "the package sandbox cannot be made here: " << sandbox.output;
    ASSERT_EQ(sandbox.status, 0) << sandbox.output << fileText(out / "install.log")
                                 << fileText(out / "purge.log");
    expectHolds(out / "installed.account", "ka-tesmar-service:");
    expectHolds(out / "teacher.log", "one-time password: ");
    EXPECT_EQ(fileText(out / "owners"),
              "ka-tesmar-service 750 /var/lib/ka-tesmar-service\n"
              "ka-tesmar-service 600 /var/lib/ka-tesmar-service/service.db\n")
        << "the data is the service user's alone, even after a command run as root";
    expectHolds(out / "removed.files", "/var/lib/ka-tesmar-service/service.db\n");  // the classes
    EXPECT_EQ(changedLines(out / "before.files", out / "purged.files"), "");
    EXPECT_EQ(fileText(out / "purged.account"), "");
}

}  // namespace
}  // namespace kt
