// The service reaching PostgreSQL over TCP when the network between them
// silently drops every packet mid-lesson (nftables in a network namespace of
// the test's own): polls are answered, a teacher's change is refused in
// seconds rather than after the kernel's minutes of retransmission, and the
// service connects again by itself once the packets pass. (What an outage
// keeps and writes afterwards, the two instances' outage test checks.)
#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>

#include "ServiceFixture.h"

namespace {

using namespace kt::testing;

// This executable again, running only the current test in a network
// namespace of its own with loopback up and the throwaway PostgreSQL on TCP
// there; its output, and whether it passed.
std::pair<std::string, bool> runInNetworkNamespace() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string command =
        std::string(PostgresCluster::tcpVariable) + "=127.0.0.1 unshare --net sh -c " +
        "'ip link set lo up && exec \"$0\" \"$@\"' " +
        QCoreApplication::applicationFilePath().toStdString() +
        " --gtest_filter=" + test->test_suite_name() + "." + test->name() + " 2>&1";
    std::string output;
    FILE* child = ::popen(command.c_str(), "r");
    char chunk[4096];
    for (size_t read; child && (read = std::fread(chunk, 1, sizeof chunk, child)) > 0;)
        output.append(chunk, read);
    return {output, child && ::pclose(child) == 0};
}

bool nft(const std::string& commands) {
    return std::system(("nft '" + commands + "'").c_str()) == 0;
}

TEST(DatabaseSplit, PollsAreAnsweredAndChangesRefusedInTimeWhilePacketsAreDropped) {
    qtApp();
    if (qEnvironmentVariableIsEmpty(PostgresCluster::tcpVariable)) {
        if (std::system("command -v nft >/dev/null && unshare --net ip link set lo up 2>/dev/null"))
            GTEST_SKIP() << "needs nft, ip and unshare --net (root)";
        const auto [output, passed] = runInNetworkNamespace();
        if (output.find("[  SKIPPED ] 1 test") != std::string::npos)
            GTEST_SKIP() << output;
        EXPECT_TRUE(passed) << output;
        return;
    }
    TestDatabase database(TestDatabase::Kind::Postgres);
    if (!database.skipReason.empty())
        GTEST_SKIP() << database.skipReason;
    QTemporaryDir dir;
    ServiceProcess service({}, testTls().directory, database.address,
                           {"--database-password-file", database.passwordFile, "--admin-secret",
                            dir.filePath("admin.secret"), "--listen-plain", "127.0.0.1:0"});
    ASSERT_TRUE(service.started()) << service.output().toStdString();
    const quint16 port = service.port(), plainPort = announcedPort(service, "Behind a front");
    const Headers anna = teacherLogsIn(port, database, "anna");
    const QByteArray code = newClass(port, anna);
    const QString jan = studentJoins(port, code);
    const auto switchTo = [&](bool on) { return switchBlocking(port, code, anna, on); };
    const auto blocked = [&] {  // undefined when the poll was not answered
        return json(rawRequest(port, "GET", "/Vexlo/api/class-status.php?token=" + jan.toLatin1()))
            .value("is_blocked");
    };
    ASSERT_EQ(switchTo(true).status, 200);
    ASSERT_EQ(blocked(), true);

    // Dropped, not refused: nothing tells libpq the connection is gone.
    ASSERT_TRUE(
        nft("add table inet split; add chain inet split out { type filter hook output "
            "priority 0; }; add rule inet split out tcp dport 5432 drop; add rule inet "
            "split out tcp sport 5432 drop"));
    EXPECT_EQ(blocked(), true) << "a poll answered from memory";
    const RawReply refused = switchTo(false);
    EXPECT_EQ(refused.status, 503) << "refused before the test gave up waiting";
    EXPECT_EQ(json(refused).value("error").toString(), databaseAway);
    const RawReply health = plainGet(plainPort, "/healthz");
    EXPECT_EQ(health.status, 503);
    EXPECT_FALSE(json(health).value("database").toBool(true)) << health.body.data();
    EXPECT_EQ(blocked(), true) << "the refused switch changed nothing";

    ASSERT_TRUE(nft("delete table inet split"));
    EXPECT_TRUE(
        runEventsUntil([&] { return plainGet(plainPort, "/healthz").status == 200; }, 60000))
        << "connected again by itself";
    EXPECT_EQ(switchTo(false).status, 200);
    EXPECT_EQ(blocked(), false);
}

}  // namespace
