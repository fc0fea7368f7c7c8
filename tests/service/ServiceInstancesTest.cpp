// Two real instances of the service on one throwaway PostgreSQL database:
// what one of them changes reaches the other through the announcement (the
// periodic resync is an hour away here), a token or a teacher's login made
// on one works on the other, login failures count on both, an instance
// killed or the database stopped mid-lesson loses no poll and no change.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>

#include "FrontSupport.h"
#include "QtTestSupport.h"
#include "TeacherSupport.h"
#include "TestDatabase.h"
#include "classes/StudentProtocol.h"
#include "store/OpenStore.h"

namespace {

using kt::testing::json;
using kt::testing::loginBody;
using kt::testing::PostgresCluster;
using kt::testing::RawReply;
using kt::testing::runEventsUntil;
using kt::testing::ServiceProcess;
using kt::testing::TestDatabase;
using kt::testing::testTls;
using Headers = QList<QByteArray>;

const QByteArray jsonType = "Content-Type: application/json";

class TwoInstances : public ::testing::Test {
  protected:
    void SetUp() override {
        kt::testing::qtApp();
        if (!database.skipReason.empty()) {
            GTEST_SKIP() << database.skipReason;
        }
        ASSERT_TRUE(testTls().pair.error.isEmpty());
        for (const char* name : {"a", "b"}) {
            instances.push_back(std::make_unique<ServiceProcess>(
                QString(), testTls().directory, database.address,
                QStringList{"--database-password-file", database.passwordFile, "--admin-secret",
                            dir.filePath("admin.secret"), "--instance-id", name, "--resync-seconds",
                            "3600", "--listen-plain", "127.0.0.1:0", "--trusted-front",
                            "127.0.0.1"}));
            ASSERT_TRUE(instances.back()->started()) << instances.back()->output().toStdString();
        }
    }
    ServiceProcess& a() { return *instances.at(0); }
    ServiceProcess& b() { return *instances.at(1); }
    static quint16 plainPort(ServiceProcess& on) {
        return QRegularExpression("Behind a front on http://127\\.0\\.0\\.1:(\\d+)/")
            .match(on.output())
            .captured(1)
            .toUShort();
    }
    static RawReply call(ServiceProcess& on, const QByteArray& method, const QByteArray& path,
                         const QByteArray& body = {}, const Headers& headers = {}) {
        return kt::testing::rawRequest(on.port(), method, path, body, headers);
    }
    static RawReply status(quint16 port, const QString& token) {
        return kt::testing::rawRequest(port, "GET",
                                       "/Vexlo/api/class-status.php?token=" + token.toLatin1());
    }
    static bool blocked(const RawReply& status) {
        return status.status == 200 && json(status).value("is_blocked").toBool();
    }
    static QString join(quint16 port, const QByteArray& code, const QByteArray& name) {
        return json(kt::testing::rawRequest(port, "POST", "/Vexlo/api/class-login.php",
                                            "student_name=" + name + "&class_code=" + code,
                                            {"Content-Type: application/x-www-form-urlencoded"}))
            .value("session_token")
            .toString();
    }
    // A new teacher, logged in on `on` with a password of their own: the headers of their changes.
    Headers teacher(ServiceProcess& on, const QString& name) {
        const QString once = kt::testing::addTeacher(database, name);
        const RawReply login =
            call(on, "POST", "/leerkracht/api/login", loginBody(name, once), {jsonType});
        EXPECT_EQ(login.status, 200) << login.body.toStdString();
        const QByteArray cookie = kt::testing::cookieSet(login, "kt_leerkracht");
        const Headers session = {
            jsonType, "Cookie: " + cookie.left(cookie.indexOf(';')),
            "X-CSRF-Token: " + json(login).value("csrf").toString().toLatin1()};
        EXPECT_EQ(call(on, "POST", "/leerkracht/api/password",
                       R"({"password":"een goed wachtwoord"})", session)
                      .status,
                  200);
        return session;
    }
    QByteArray newClass(ServiceProcess& on, const Headers& teacher) {
        const RawReply made =
            call(on, "POST", "/leerkracht/api/classes", R"({"class_name":"4C"})", teacher);
        EXPECT_EQ(made.status, 200) << made.body.toStdString();
        return json(made).value("class")["code"].toString().toLatin1();
    }
    static RawReply switchTo(ServiceProcess& on, const Headers& teacher, const QByteArray& code,
                             bool blocked) {
        return call(on, "POST", "/leerkracht/api/classes/" + code + "/blocked",
                    blocked ? R"({"is_blocked":true})" : R"({"is_blocked":false})", teacher);
    }
    // The id of the student `name` on the teacher's page of `on`; empty while there is none.
    static QByteArray studentId(ServiceProcess& on, const Headers& teacher, const QByteArray& code,
                                const QString& name) {
        const QJsonArray students =
            json(call(on, "GET", "/leerkracht/api/classes/" + code, {}, teacher))
                .value("class")["students"]
                .toArray();
        for (const QJsonValue& student : students)
            if (student["name"].toString() == name)
                return student["id"].toString().toLatin1();
        return {};
    }

    TestDatabase database{TestDatabase::Kind::Postgres};
    QTemporaryDir dir;
    std::vector<std::unique_ptr<ServiceProcess>> instances;
};

TEST_F(TwoInstances, ChangesTokensAndLoginFailuresReachTheOtherInstance) {
    const Headers anna = teacher(a(), "anna");
    const QByteArray code = newClass(a(), anna);
    const QString jan = join(a().port(), code, "Jan");
    ASSERT_FALSE(jan.isEmpty());
    EXPECT_EQ(status(b().port(), jan).status, 200) << "a token made on A, on B";
    {  // a student whose join B has not heard of yet: written as A does, never announced
        QString error;
        const auto store = kt::service::openStore(database.address, database.passwordFile, error);
        ASSERT_TRUE(store) << error.toStdString();
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        ASSERT_TRUE(store->saveSession({kt::service::StudentProtocol::tokenHash("unheard"),
                                        code,
                                        "Ann",
                                        {},
                                        {},
                                        now,
                                        now,
                                        {},
                                        0}));
    }
    EXPECT_EQ(status(b().port(), "unheard").status, 200) << "looked up before it was refused";
    EXPECT_EQ(call(b(), "GET", "/leerkracht/api/classes/" + code, {}, anna).status, 200)
        << "a teacher's login made on A, on B";

    ASSERT_EQ(switchTo(a(), anna, code, true).status, 200);
    EXPECT_TRUE(runEventsUntil([&] { return blocked(status(b().port(), jan)); }))
        << "the switch on A reached B's student";

    const QString eva = join(b().port(), code, "Eva");
    QByteArray evaId;
    EXPECT_TRUE(runEventsUntil([&] {
        return !(evaId = studentId(a(), anna, code, "Eva")).isEmpty();
    })) << "a student who joined on B, on A's page";
    ASSERT_EQ(call(a(), "POST",
                   "/leerkracht/api/classes/" + code + "/students/" + evaId + "/remove", "{}", anna)
                  .status,
              200);
    EXPECT_TRUE(runEventsUntil([&] { return status(b().port(), eva).status == 401; }))
        << "removed on A, refused on B";

    // Past the free failures on A, B makes the next attempt wait at once,
    // where on its own it would hear five more.
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(call(a(), "POST", "/leerkracht/api/login", loginBody("anna", "fout"), {jsonType})
                      .status,
                  401)
            << i;
    int attemptsOnB = 1;
    while (
        attemptsOnB < 6 &&
        call(b(), "POST", "/leerkracht/api/login", loginBody("anna", "fout"), {jsonType}).status !=
            429)
        ++attemptsOnB;
    EXPECT_LT(attemptsOnB, 5) << "attempts on B until it made anna wait";

    const QString piet = join(a().port(), code, "Piet");
    EXPECT_TRUE(blocked(status(a().port(), piet)));
    ASSERT_EQ(call(a(), "POST", "/leerkracht/api/logout", "{}", anna).status, 200);
    EXPECT_TRUE(runEventsUntil([&] {
        return call(b(), "GET", "/leerkracht/api/classes/" + code, {}, anna).status == 401;
    })) << "logged out on A, on B too";
    a().kill();
    for (const QString& token : {piet, jan})
        EXPECT_TRUE(blocked(status(b().port(), token))) << "polling B after A was killed";
}

TEST_F(TwoInstances, WhileTheDatabaseIsAwayPollsAreAnsweredAndChangesRefusedThenWritten) {
    const Headers anna = teacher(a(), "anna");
    const QByteArray code = newClass(a(), anna);
    const QString jan = join(a().port(), code, "Jan");
    ASSERT_EQ(switchTo(a(), anna, code, true).status, 200);
    ASSERT_TRUE(runEventsUntil([&] { return blocked(status(b().port(), jan)); }));

    PostgresCluster& cluster = PostgresCluster::shared();
    ASSERT_TRUE(cluster.stop());
    auto restart = qScopeGuard([&] { cluster.start(); });
    const qint64 polledAt = QDateTime::currentMSecsSinceEpoch();
    for (int poll = 0; poll < 3; ++poll)
        EXPECT_TRUE(blocked(status(b().port(), jan))) << "poll " << poll << " from memory";
    const RawReply refused = switchTo(a(), anna, code, false);
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(json(refused).value("error").toString(),
              "De database is even niet bereikbaar: je wijziging is niet bewaard. Probeer het zo "
              "opnieuw.");
    const RawReply health = kt::testing::plainGet(plainPort(a()), "/healthz");
    EXPECT_EQ(health.status, 503);
    EXPECT_EQ(json(health).value("database"), false) << health.body.data();
    EXPECT_TRUE(blocked(status(a().port(), jan))) << "the refused switch changed nothing";

    restart.dismiss();
    ASSERT_TRUE(cluster.start());
    QString error;
    const auto store = kt::service::openStore(database.address, database.passwordFile, error);
    ASSERT_TRUE(store) << error.toStdString();
    const QString janHash = kt::service::StudentProtocol::tokenHash(jan);
    EXPECT_TRUE(runEventsUntil(
        [&] {
            const auto stored = store->loadSession(janHash);
            return stored && stored->lastSeenMs >= polledAt;
        },
        60000))
        << "the polls answered during the outage are written";
    // Both connected again (and read everything then): the switch reaches B
    // through the channel listened to on its new connection.
    for (ServiceProcess* instance : {&a(), &b()})
        EXPECT_TRUE(runEventsUntil(
            [&] { return kt::testing::plainGet(plainPort(*instance), "/healthz").status == 200; },
            60000));
    EXPECT_EQ(switchTo(a(), anna, code, false).status, 200);
    EXPECT_TRUE(runEventsUntil([&] { return !blocked(status(b().port(), jan)); }))
        << "the switch after the outage reached B";
}

TEST_F(TwoInstances, StudentsThroughHaproxyKeepPollingWhenAnInstanceIsKilled) {
    if (!QFile::exists(kt::testing::haproxyPath))
        GTEST_SKIP() << "haproxy is not installed (scripts/install-deps.sh installs it)";
    const Headers anna = teacher(a(), "anna");
    const QByteArray code = newClass(a(), anna);
    const quint16 frontPort = kt::testing::freePort();
    QProcess front;
    ASSERT_TRUE(kt::testing::startHaproxy(front, dir, frontPort, plainPort(a()), plainPort(b())));
    const auto stopFront = qScopeGuard([&] { front.kill(), front.waitForFinished(); });
    QString token;
    ASSERT_TRUE(runEventsUntil([&] {
        return !(token = join(frontPort, code, "Jan")).isEmpty() ||
               front.state() == QProcess::NotRunning;
    }));
    ASSERT_EQ(front.state(), QProcess::Running) << front.readAll().data();

    ASSERT_EQ(switchTo(a(), anna, code, true).status, 200);
    int polls = 0, answered = 0;
    const auto poll = [&] {
        const RawReply reply = status(frontPort, token);
        ++polls, answered += reply.status == 200;
        return blocked(reply);
    };
    EXPECT_TRUE(runEventsUntil(poll)) << "the switch through A, polled through HAProxy";
    a().kill();
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(poll()) << "poll " << i << " after A was killed";
    EXPECT_EQ(answered, polls) << "every poll answered";
    EXPECT_TRUE(b().waitForOutput("GET /Vexlo/api/class-status.php 200"));
}

}  // namespace
