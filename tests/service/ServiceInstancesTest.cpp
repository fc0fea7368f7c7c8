// Two real instances of the service on one throwaway PostgreSQL database
// (the periodic resync an hour away): changes, tokens, logins and login
// failures reach the other one; an instance killed, the database stopped or
// a row locked mid-lesson loses no poll and no change; students through the
// real HAProxy.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>

#include "ServiceFixture.h"
#include "classes/LessonLog.h"
#include "classes/StudentProtocol.h"
#include "classes/TeacherClasses.h"
#include "limits/ServiceLimits.h"
#include "store/PostgresStore.h"

namespace {

using namespace kt::testing;

class TwoInstances : public ServiceTest {
  protected:
    TestDatabase::Kind storeKind() const override { return TestDatabase::Kind::Postgres; }
    void SetUp() override {
        ServiceTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        for (const char* name : {"a", "b"}) {
            instances.push_back(std::make_unique<ServiceProcess>(
                QString(), testTls().directory, database->address,
                QStringList{"--database-password-file", database->passwordFile, "--admin-secret",
                            dir.filePath("admin.secret"), "--instance-id", name, "--resync-seconds",
                            "3600", "--listen-plain", "127.0.0.1:0", "--admin-listen",
                            "127.0.0.1:0", "--trusted-front", "127.0.0.1"}));
            ASSERT_TRUE(instances.back()->started()) << instances.back()->output().toStdString();
        }
        anna = teacherLogsIn(a().port(), *database, "anna");
        code = newClass(a().port(), anna);
    }
    ServiceProcess& a() { return *instances.at(0); }
    ServiceProcess& b() { return *instances.at(1); }
    static quint16 plainPort(ServiceProcess& on) { return announcedPort(on, "Behind a front"); }
    static quint16 adminPort(ServiceProcess& on) { return announcedPort(on, "Health and metrics"); }
    bool blocked(const QString& token, quint16 port) {
        return status(token, port).value("is_blocked") == true;
    }
    // Whether the database gets `token`'s last poll from `since` on, within a minute.
    bool pollWrittenSince(const QString& token, qint64 since) {
        const auto store = openStoreOf(*database);
        const QString hash = kt::service::StudentProtocol::tokenHash(token);
        return store && runEventsUntil(
                            [&] {
                                const auto stored = store->loadSession(hash);
                                return stored && stored->lastSeenMs >= since;
                            },
                            60000);
    }
    int classPage(ServiceProcess& on) {
        return rawRequest(on.port(), "GET", "/leerkracht/api/classes/" + code, {}, anna).status;
    }
    RawReply switchTo(ServiceProcess& on, bool to) {
        return switchBlocking(on.port(), code, anna, to);
    }
    // anna's change on `on`: its status.
    int change(ServiceProcess& on, const QByteArray& path, const QByteArray& body) {
        return rawRequest(on.port(), "POST", "/leerkracht/api/" + path, body, anna).status;
    }

    std::vector<std::unique_ptr<ServiceProcess>> instances;
    Headers anna;
    QByteArray code;
};

TEST_F(TwoInstances, ChangesTokensAndLoginFailuresReachTheOtherInstance) {
    const QString jan = studentJoins(a().port(), code);
    ASSERT_FALSE(jan.isEmpty());
    EXPECT_EQ(status(jan, b().port()).value("success"), true) << "a token made on A, on B";
    kt::service::StudentSession unheard;  // a join written as A does, never announced to B
    unheard.tokenHash = kt::service::StudentProtocol::tokenHash("unheard");
    unheard.classCode = code, unheard.studentName = "Ann";
    unheard.joinedAtMs = unheard.lastSeenMs = QDateTime::currentMSecsSinceEpoch();
    ASSERT_TRUE(openStoreOf(*database)->saveSession(unheard));
    EXPECT_EQ(status("unheard", b().port()).value("success"), true)
        << "looked up before it was refused";
    // Each unknown token costs B a query: from one address the lookups that find
    // nothing are limited, then refused in plain text (not a JSON object, which
    // the application would read as its answer); live sessions poll on.
    const int limit = kt::service::limits::unknownTokensPerAddress;
    TestConnection guesser(b().port(), "127.0.0.7");
    QByteArray guesses;
    for (int i = 0; i <= limit; ++i)
        guesses += "GET /Vexlo/api/class-status.php?token=guess" + QByteArray::number(i) +
                   " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    guesser.send(guesses);
    const auto answered = [&](const char* status) { return guesser.received().count(status); };
    EXPECT_TRUE(runEventsUntil([&] { return answered("HTTP/1.1 ") == limit + 1; }, 60000));
    EXPECT_EQ(answered("HTTP/1.1 401"), limit);
    const RawReply last =
        parseReply(guesser.received().mid(guesser.received().lastIndexOf("HTTP/1.1 ")));
    EXPECT_EQ(last.status, 429);
    EXPECT_EQ(last.header("Content-Type"), "text/plain; charset=utf-8");
    EXPECT_EQ(last.body, "Te veel onbekende sessies vanaf dit adres: probeer het zo opnieuw\n");
    EXPECT_EQ(status(jan, b().port(), "127.0.0.7").value("success"), true);
    EXPECT_EQ(status("guess", b().port(), "127.0.0.8").value("success"), false)
        << "looked up for another address";
    EXPECT_EQ(classPage(b()), 200) << "a teacher's login made on A, on B";

    ASSERT_EQ(switchTo(a(), true).status, 200);
    EXPECT_TRUE(runEventsUntil([&] { return blocked(jan, b().port()); }))
        << "the switch on A reached B's student";
    ASSERT_EQ(change(a(), "display-name", R"({"display_name":"Juf Anna"})"), 200);
    EXPECT_TRUE(runEventsUntil([&] {
        return status(jan, b().port()).value("class_info").toObject().value("teacher_name") ==
               "Juf Anna";
    })) << "the name the students see, changed on A, on B";

    const QString eva = studentJoins(b().port(), code, {}, "Eva");
    QByteArray evaId;
    EXPECT_TRUE(runEventsUntil([&] {
        for (const QJsonValue& student : studentsShown(a().port(), code, anna))
            if (student["name"] == "Eva")
                evaId = student["id"].toString().toLatin1();
        return !evaId.isEmpty();
    })) << "a student who joined on B, on A's page";
    ASSERT_EQ(change(a(), "classes/" + code + "/students/" + evaId + "/remove", "{}"), 200);
    EXPECT_TRUE(runEventsUntil([&] { return status(eva, b().port()).value("success") == false; }))
        << "removed on A, refused on B";

    // Past the free failures on A, B makes the next attempt wait at once,
    // where on its own it would hear five more.
    const auto guess = [&](ServiceProcess& on) {
        return rawRequest(on.port(), "POST", "/leerkracht/api/login", loginBody("anna", "fout"),
                          {jsonType})
            .status;
    };
    for (int i = 0; i < 6; ++i) ASSERT_EQ(guess(a()), 401) << i;
    int attemptsOnB = 1;
    while (attemptsOnB < 6 && guess(b()) != 429) ++attemptsOnB;
    EXPECT_LT(attemptsOnB, 5) << "attempts on B until it made anna wait";

    ASSERT_EQ(change(a(), "logout", "{}"), 200);
    EXPECT_TRUE(runEventsUntil([&] { return classPage(b()) == 401; }))
        << "logged out on A, on B too";
}

TEST_F(TwoInstances, WhileTheDatabaseIsAwayPollsAreAnsweredAndChangesRefusedThenWritten) {
    const QString jan = studentJoins(a().port(), code);
    PostgresCluster& cluster = PostgresCluster::shared();
    // Stopped, as a crash leaves it; frozen, as a server that hangs: its
    // connections stay open and nothing tells libpq. What A says of each.
    const std::tuple<const char*, std::function<bool(bool)>, const char*> outages[] = {
        {"stopped", [&](bool away) { return away ? cluster.stop() : cluster.start(); },
         "the database does not answer; the polls are answered from memory"},
        {"frozen", [&](bool away) { return cluster.freeze(away); },
         "the database did not answer within 4 s; its connection was cut"},
    };
    int kept = 0;
    for (const auto& [outage, away, told] : outages) {
        SCOPED_TRACE(outage);
        ASSERT_EQ(switchTo(a(), true).status, 200);
        ASSERT_TRUE(runEventsUntil([&] { return blocked(jan, b().port()); }));
        ASSERT_TRUE(away(true));
        auto back = qScopeGuard([&] { away(false); });
        const qint64 polledAt = QDateTime::currentMSecsSinceEpoch();
        for (int poll = 0; poll < 3; ++poll)
            EXPECT_TRUE(blocked(jan, b().port())) << "poll " << poll << " from memory";
        const RawReply refused = switchTo(a(), false);
        EXPECT_EQ(refused.status, 503);
        EXPECT_EQ(json(refused).value("error").toString(), databaseAway);
        const RawReply unsure =
            rawRequest(b().port(), "GET", "/Vexlo/api/class-status.php?token=x");
        EXPECT_EQ(unsure.status, 503) << "a token B cannot look up is not taken for a missing one";
        EXPECT_EQ(unsure.header("Content-Type"), "text/plain; charset=utf-8");
        const RawReply health = plainGet(adminPort(a()), "/healthz");
        EXPECT_EQ(health.status, 503);
        EXPECT_EQ(json(health).value("database"), false) << health.body.data();
        EXPECT_TRUE(blocked(jan, a().port())) << "the refused switch changed nothing";
        EXPECT_TRUE(a().waitForOutput(told));
        ++kept;
        EXPECT_TRUE(runEventsUntil(
            [&] {
                return b().output().count("last polls are kept until the database takes them") >=
                       kept;
            },
            60000));

        back.dismiss();
        ASSERT_TRUE(away(false));
        EXPECT_TRUE(pollWrittenSince(jan, polledAt)) << "the polls answered during the outage";
        // Both connected again (and read everything then): the switch reaches B
        // through the channel listened to on its new connection.
        for (ServiceProcess* instance : {&a(), &b()})
            EXPECT_TRUE(runEventsUntil(
                [&] { return plainGet(adminPort(*instance), "/healthz").status == 200; }, 60000));
        EXPECT_EQ(switchTo(a(), false).status, 200);
        EXPECT_TRUE(runEventsUntil([&] { return !blocked(jan, b().port()); }))
            << "the switch after the outage reached B";
    }
}

// A session that locked a student's row and stopped inside its transaction,
// as an instance does that froze in the middle of writing the last polls: an
// instance waits for the lock only briefly, and the database ends the session.
TEST_F(TwoInstances, ARowLockOfAStalledSessionHoldsNoInstance) {
    const QString jan = studentJoins(b().port(), code);
    const QString janHash = kt::service::StudentProtocol::tokenHash(jan);
    const auto stalled = openStoreOf(*database);
    QSqlDatabase stalledDb = stalled->database();
    QSqlQuery lock(stalledDb);
    ASSERT_TRUE(stalledDb.transaction());
    lock.prepare("UPDATE sessions SET last_seen = last_seen WHERE token_hash = ?");
    lock.addBindValue(janHash);
    ASSERT_TRUE(lock.exec()) << lock.lastError().text().toStdString();
    const qint64 polledAt = QDateTime::currentMSecsSinceEpoch();
    EXPECT_EQ(status(jan, b().port()).value("success"), true) << "answered from memory";
    const RawReply report = rawRequest(
        b().port(), "POST", "/Vexlo/api/class-report.php",
        QJsonDocument(QJsonObject{{"token", jan}, {"state", "free"}, {"hosts", 0}, {"rules", 0}})
            .toJson(),
        {jsonType});
    EXPECT_EQ(report.status, 503) << report.body.data();
    EXPECT_EQ(json(report).value("error"), "De klasdienst kan de melding nu niet bewaren");
    EXPECT_TRUE(lock.exec("SELECT 1")) << "the report was answered while the row was locked";
    EXPECT_TRUE(pollWrittenSince(jan, polledAt)) << "once the database ended the stalled session";
    EXPECT_FALSE(lock.exec("SELECT 1")) << "the stalled session was ended";

    // A schema change waits for another one as long as that takes.
    const auto store = openStoreOf(*database);
    QSqlDatabase changing = store->database();
    QSqlQuery schema(changing);
    ASSERT_TRUE(changing.transaction());
    ASSERT_TRUE(schema.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)")
                                .arg(kt::service::PostgresStore::schemaChangeLock)));
    QProcess adding;
    adding.setProcessChannelMode(QProcess::MergedChannels);
    adding.start(KT_SERVICE_BINARY, QStringList{"teacher", "add", "bob"} + database->options());
    EXPECT_TRUE(runEventsUntil([&] {
        return schema.exec("SELECT 1 FROM pg_locks WHERE locktype = 'advisory' AND NOT granted") &&
               schema.next();
    })) << "the command waits for the schema";
    runEventsUntil([] { return false; }, kt::service::limits::databaseLockWaitMs + 1000);
    ASSERT_TRUE(changing.commit());
    adding.waitForFinished(30000);
    EXPECT_TRUE(adding.state() == QProcess::NotRunning && adding.exitCode() == 0)
        << "the command after the schema change: " << adding.readAll().data();
}

TEST_F(TwoInstances, StudentsThroughHaproxyKeepPollingWhenAnInstanceIsKilled) {
    if (!QFile::exists(haproxyPath))
        GTEST_SKIP() << "haproxy is not installed (scripts/install-deps.sh installs it)";
    const quint16 frontPort = freePort();
    QProcess front;
    ASSERT_TRUE(startHaproxy(front, dir, frontPort, {plainPort(a()), adminPort(a())},
                             {plainPort(b()), adminPort(b())}));
    const auto stopFront = qScopeGuard([&] { front.kill(), front.waitForFinished(); });
    // The students' address reaches the instances through the PROXY header.
    const QString from = "127.0.0.5";
    QString token;
    ASSERT_TRUE(runEventsUntil([&] {
        return !(token = studentJoins(frontPort, code, from)).isEmpty() ||
               front.state() == QProcess::NotRunning;
    }));
    ASSERT_EQ(front.state(), QProcess::Running) << front.readAll().data();

    ASSERT_EQ(switchTo(a(), true).status, 200);
    int polls = 0, answered = 0;
    const auto poll = [&] {
        const QJsonObject reply = status(token, frontPort, from);
        ++polls, answered += reply.value("success") == true;
        return reply.value("is_blocked") == true;
    };
    EXPECT_TRUE(runEventsUntil(poll)) << "the switch through A, polled through HAProxy";
    a().kill();
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(poll()) << "poll " << i << " after A was killed";
    EXPECT_EQ(answered, polls) << "every poll answered";
    EXPECT_TRUE(b().waitForOutput(" 127.0.0.5 GET /Vexlo/api/class-status.php 200"))
        << b().output().toStdString();
}

// Instances' rooms in this process, on one database and one clock: the
// instance that answered a student's last poll alone logs the lost contact,
// and its return, to whichever instance the student comes back; what it could
// not log because it stopped, another logs.
TEST(SharedLessonLog, LostContactAndItsReturnAreLoggedOnce) {
    using namespace kt::service;
    qtApp();
    TestDatabase database(TestDatabase::Kind::Postgres);
    if (!database.skipReason.empty())
        GTEST_SKIP() << database.skipReason;
    qint64 clock = 1'700'000'000'000;
    struct Instance {
        Instance(std::unique_ptr<SqlStore> opened, ClassRegister::Clock now)
            : store(std::move(opened)), classes(*store, std::move(now)) {}
        std::unique_ptr<SqlStore> store;
        ClassRegister classes;
        StudentProtocol students{classes, limits::studentsPerClass};
        TeacherClasses teacher{classes};
    };
    const auto start = [&] {
        return std::make_unique<Instance>(openStoreOf(database), [&] { return clock; });
    };
    auto a = start();
    Teacher anna{0, "anna", "h", false, {}};
    ASSERT_TRUE(a->store->addTeacher(anna));
    const QString code = a->teacher.createClass(anna.id, "3B", "", {}).record.code;
    const QString jan =
        a->students.login("student_name=Jan&class_code=" + code.toUtf8() + "&device_id=a1")
            .body.value("session_token")
            .toString();
    a->teacher.switchBlocking(anna.id, code, true, "anna", {});
    auto b = start();
    std::unique_ptr<Instance> c;
    // Every 5 s: the student polls one of them (or none), then each running one does its round.
    const auto fiveSeconds = [&](int times, const std::unique_ptr<Instance>& polled) {
        for (int i = 0; i < times; ++i) {
            clock += 5000;
            if (polled) {
                EXPECT_EQ(polled->students.status(jan).status, 200);
            }
            for (const auto* running : {&a, &b, &c})
                if (*running)
                    (*running)->classes.tick();
        }
    };
    const std::unique_ptr<Instance> none;
    fiveSeconds(6, b), fiveSeconds(10, none), fiveSeconds(2, a);
    // The instance that logged the loss stops before the student is back elsewhere.
    fiveSeconds(2, b), fiveSeconds(8, none), b.reset(), fiveSeconds(5, a);
    // The instance that answered the last poll stops before it noticed the loss.
    c = start(), fiveSeconds(2, c), c.reset(), fiveSeconds(10, none), fiveSeconds(2, a);
    const auto log = a->teacher.lessonLog(anna.id, code, 0, clock + 1, 100);
    ASSERT_TRUE(log);
    QStringList contact;
    for (const LessonEvent& event : *log)
        if (event.kind == LessonEvent::Kind::ContactLost ||
            event.kind == LessonEvent::Kind::ContactBack)
            contact << eventText(event);
    EXPECT_EQ(contact.join(", ").toStdString(),
              "Geen contact meer, Weer contact, Geen contact meer, Weer contact, "
              "Geen contact meer, Weer contact");
}

}  // namespace
