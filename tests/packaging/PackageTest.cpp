// The Debian packages: built with CPack from this build folder, checked with
// lintian, then installed, used, removed and purged with dpkg in a throwaway
// copy of this system (package-sandbox.sh).
#include <gtest/gtest.h>

#include <unistd.h>

#include "TestFiles.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using testing::fileText;

// A command line with its errors in its output.
testing::CommandResult run(const std::string& commandLine) {
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

// One package of the build: its file (the name starts with `prefix`), in
// which lintian finds no error, its contents, and `scenario` of this folder
// run with it in package-sandbox.sh (out: what the scenario left).
struct Package {
    std::string deb, contents;
    fs::path out;
    std::string lines(const std::string& file) const { return fileText(out / file); }
    void expectHolds(const std::string& file, const std::string& part) const {
        EXPECT_TRUE(has(lines(file), part)) << file << " has no \"" << part << "\":\n"
                                            << lines(file);
    }
    // What only one of two sorted file lists has, at most 20 lines.
    std::string changedLines(const std::string& before, const std::string& after) const {
        return run("LC_ALL=C comm -3 --nocheck-order '" + (out / before).string() + "' '" +
                   (out / after).string() + "' | head -20")
            .output;
    }
};

void makePackage(const std::string& folder, const std::string& prefix, const std::string& scenario,
                 Package& package) {
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".deb" &&
            entry.path().filename().string().starts_with(prefix))
            package.deb = entry.path().string();
    ASSERT_FALSE(package.deb.empty()) << prefix;
    // lintian leaves files in its temporary folder: this one goes with the scratch folder.
    const testing::CommandResult lintian =
        run("TMPDIR='" + folder + "' lintian --tag-display-limit 0 '" + package.deb + "'");
    EXPECT_FALSE(has("\n" + lintian.output, "\nE: ")) << lintian.output;
    package.contents = run("dpkg-deb -c '" + package.deb + "'").output;
    package.out = fs::path(folder) / "out" / scenario;
    const testing::CommandResult sandbox =
        run("bash '" KT_PACKAGING_DIR "/package-sandbox.sh' '" KT_PACKAGING_DIR "/" + scenario +
            "' '" + package.deb + "' '" + package.out.string() + "'");
    if (sandbox.status == 77)
        GTEST_SKIP() << "the package sandbox cannot be made here: " << sandbox.output;
    ASSERT_EQ(sandbox.status, 0) << sandbox.output << package.lines("install.log")
                                 << package.lines("remove.log") << package.lines("purge.log");
}

TEST(DebianPackage, BothBuildPassLintianAndInstallAndRemoveWithoutATrace) {
    if (const std::string missing = missingPrerequisite(); !missing.empty())
        GTEST_SKIP() << missing;
    const testing::ScratchDir scratch("kt-package-test");
    const testing::CommandResult built =
        run("cd '" + scratch.path +
            "' && cpack --config '" KT_BUILD_DIR "/CPackConfig.cmake' -B '" + scratch.path + "'");
    ASSERT_EQ(built.status, 0) << built.output;
    Package app, service;
    makePackage(scratch.path, "ka-tesmar_1.0.0_", "install-remove.sh", app);
    if (IsSkipped() || HasFatalFailure())
        return;
    // Its own programs only; what the sandbox cannot show: the packages it needs
    // on a bare computer, and the polkit action naming the helper.
    EXPECT_FALSE(has(app.contents, "ka-tesmar-service"));
    const std::string depends = run("dpkg-deb -f '" + app.deb + "' Depends").output;
    for (const char* needed :
         {"nftables", "pkexec", "libqt6quick6", "qml6-module-qtquick-controls"})
        EXPECT_TRUE(has(depends, needed)) << needed << ": " << depends;
    const std::string policy =
        run("dpkg-deb --fsys-tarfile '" + app.deb +
            "' | tar -xOf - ./usr/share/polkit-1/actions/com.katesmar.blocking.policy")
            .output;
    EXPECT_TRUE(has(policy, ">/usr/libexec/ka-tesmar/ka-tesmar-helper</annotate>")) << policy;
    app.expectHolds("install.log", "Setting up ka-tesmar (1.0.0)");
    app.expectHolds("installed.files", "/usr/bin/Ka_Tesmar\n");
    app.expectHolds("installed.status", "lock file: absent (/var/lib/ka-tesmar/active.lock)");
    // Blocked: the table, the hosts block, the lock and the guardian.
    EXPECT_EQ(app.lines("activate.out"), "OK\n");
    app.expectHolds("blocked.ruleset", "2001:db8::10");
    app.expectHolds("blocked.hosts", "# Ka Tesmar Start\n0.0.0.0 chatgpt.com\n");
    for (const char* left : {"active.lock", "ka-tesmar-guardian.timer", "ka-tesmar-guardian.sh"})
        app.expectHolds("blocked.listing", left);
    // Removed while blocking was on: the network is back and nothing is left.
    EXPECT_EQ(app.lines("removed.hosts"), app.lines("before.hosts"));
    EXPECT_EQ(app.lines("removed.ruleset"), "");
    for (const char* left : {"ka-tesmar", "active.lock", "hosts_backup"})
        EXPECT_FALSE(has(app.lines("removed.listing"), left)) << left << "\n"
                                                              << app.lines("removed.listing");
    EXPECT_EQ(app.changedLines("before.files", "removed.files"), "");
    EXPECT_EQ(app.changedLines("before.files", "purged.files"), "");
    // The class service's package runs as its own user; purging leaves no trace.
    makePackage(scratch.path, "ka-tesmar-service_1.0.0_", "service-install-remove.sh", service);
    if (IsSkipped() || HasFatalFailure())
        return;
    EXPECT_FALSE(has(service.contents, "Ka_Tesmar")) << "the application stays in ka-tesmar";
    service.expectHolds("installed.account", "ka-tesmar-service:");
    service.expectHolds("teacher.log", "one-time password: ");
    EXPECT_EQ(service.lines("owners"),
              "ka-tesmar-service 750 /var/lib/ka-tesmar-service\n"
              "ka-tesmar-service 600 /var/lib/ka-tesmar-service/service.db\n")
        << "the data is the service user's alone, even after a command run as root";
    service.expectHolds("removed.files", "/var/lib/ka-tesmar-service/service.db\n");  // the classes
    EXPECT_EQ(service.changedLines("before.files", "purged.files"), "");
    EXPECT_EQ(service.lines("purged.account"), "");
}

}  // namespace
}  // namespace kt
