// The class service's data: the SQLite store, a restart, session expiry,
// teacher isolation and the limits on guessing.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "QtTestSupport.h"
#include "classes/StudentProtocol.h"
#include "classes/TeacherClasses.h"
#include "http/RequestFraming.h"
#include "store/SqliteStore.h"
#include "teacher/Passwords.h"
#include "teacher/TeacherAccounts.h"

namespace {

using namespace kt::service;

constexpr qint64 hourMs = 3600 * 1000;

struct Fixture {
    QTemporaryDir dir;
    qint64 clock = 1'700'000'000'000;
    QString path() const { return dir.filePath("service.db"); }
    std::unique_ptr<SqliteStore> openStore() {
        auto store = std::make_unique<SqliteStore>(path());
        EXPECT_EQ(store->open(), QString());
        return store;
    }
    // The classes of `store` with the students' and the teachers' side, on this clock.
    struct Service {
        Service(ServiceStore& store, ClassRegister::Clock clock, int maxStudents)
            : classes(store, std::move(clock)), students(classes, maxStudents) {}
        ClassRegister classes;
        StudentProtocol students;
        TeacherClasses teacher{classes};
    };
    std::unique_ptr<Service> service(ServiceStore& store,
                                     int maxStudents = limits::studentsPerClass) {
        return std::make_unique<Service>(
            store, [this] { return clock; }, maxStudents);
    }
};

QString tokenOf(const ApiReply& login) {
    return login.body.value("session_token").toString();
}

// Logs a teacher in and waits for the answer, which never comes before login returns.
TeacherLogin logIn(TeacherAccounts& teachers, const QString& name, const QString& password,
                   const QString& peer = "10.0.0.1", const QByteArray& deviceCookie = {}) {
    kt::testing::qtApp();
    auto result = std::make_shared<std::optional<TeacherLogin>>();
    teachers.login(name, password, peer, deviceCookie,
                   [result](const TeacherLogin& r) { *result = r; });
    EXPECT_FALSE(result->has_value()) << "the password is checked off the event loop";
    EXPECT_TRUE(kt::testing::runEventsUntil([&] { return result->has_value(); }));
    return result->value_or(TeacherLogin{});
}

TEST(ServiceData, ARestartKeepsTeachersTheirLoginsClassesListsSwitchAndSessions) {
    Fixture f;
    QString token, code;
    TeacherSession first, second;
    {
        auto store = f.openStore();
        Teacher anna{0, "anna", hashPassword("wachtwoord1"), true, {}};
        ASSERT_TRUE(store->addTeacher(anna));
        Teacher again{0, "anna", "x", true, {}};
        EXPECT_FALSE(store->addTeacher(again)) << "names are unique";
        auto service = f.service(*store);
        const ClassEntry made = service->teacher.createClass(anna.id, "3B", "Sint-Jan", {});
        ASSERT_EQ(made.outcome, ClassEntry::Outcome::Entered);
        code = made.record.code;
        ClassRecord changed = made.record;
        changed.isBlocked = true;
        changed.domains = QStringList{"claude.ai", "chatgpt.com"};
        changed.ips = QStringList{"10.1.2.3"};
        changed.ipRanges = {{"1.0.0.0", "1.0.0.255"}};
        ASSERT_EQ(service->teacher.saveClassOf(anna.id, changed, {}).outcome,
                  ClassEntry::Outcome::Entered);
        token = tokenOf(service->students.login(
            "student_name=Jan&class_code=" + code.toLatin1() + "&device_info=X&device_id=a4", "p"));
        ASSERT_FALSE(token.isEmpty());
        f.clock += 60000;
        EXPECT_EQ(service->students.status(token).body.value("class_info")["teacher_name"], "")
            << "no display name yet, and never the login name";
        EXPECT_EQ(service->classes.flushLastSeen(), 1);
        ASSERT_TRUE(store->setDisplayName(anna.id, "Mevr. Claes"));
        EXPECT_EQ(service->classes.flushLastSeen(), 0) << "nothing new to write";
        TeacherAccounts teachers(*store, [&] { return f.clock; });
        EXPECT_EQ(logIn(teachers, "nobody", "wachtwoord1").outcome,
                  TeacherLogin::Outcome::WrongPassword);
        first = logIn(teachers, "anna", "wachtwoord1").session;
        second = logIn(teachers, "anna", "wachtwoord1").session;
        ASSERT_FALSE(first.cookie.isEmpty() || second.cookie.isEmpty());
    }
    auto store = f.openStore();
    auto service = f.service(*store);
    const auto teacher = store->teacherByName("anna");
    ASSERT_TRUE(teacher.has_value());
    EXPECT_TRUE(teacher->passwordHash.startsWith("$argon2id$")) << teacher->passwordHash.data();

    const auto record = service->teacher.classOf(teacher->id, code);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->className, "3B");
    EXPECT_EQ(record->domains, (QStringList{"claude.ai", "chatgpt.com"}));
    EXPECT_EQ(record->ipRanges.value(0).second, "1.0.0.255");
    const QList<StudentSession> students = service->classes.studentsOf(code);
    ASSERT_EQ(students.size(), 1);
    EXPECT_EQ(students.first().deviceId, "a4");
    EXPECT_EQ(students.first().lastSeenMs, f.clock) << "the batched last poll was written";
    const ApiReply status = service->students.status(token);
    EXPECT_EQ(status.body.value("is_blocked"), true);
    EXPECT_EQ(status.body.value("ips").toArray(), QJsonArray{"10.1.2.3"});
    EXPECT_EQ(status.body.value("class_info")["teacher_name"], "Mevr. Claes");

    for (const StoredTeacherSession& stored : store->loadTeacherSessions())
        EXPECT_TRUE(stored.cookieHash != first.cookie && stored.cookieHash != second.cookie)
            << "only the hash of a cookie is stored";
    TeacherAccounts teachers(*store, [&] { return f.clock; });
    const auto kept = teachers.session(first.cookie);
    ASSERT_TRUE(kept.has_value()) << "a teacher's login from before the restart";
    EXPECT_EQ(kept->csrf, first.csrf);
    EXPECT_EQ(kept->name, "anna");
    EXPECT_EQ(kept->displayName, "Mevr. Claes");
    EXPECT_FALSE(teachers.session(first.csrf).has_value());
    teachers.logout(first.cookie);
    EXPECT_FALSE(teachers.session(first.cookie).has_value());
    f.clock += limits::teacherSessionMs;
    EXPECT_FALSE(teachers.session(second.cookie).has_value()) << "expired";
    EXPECT_TRUE(store->loadTeacherSessions().isEmpty()) << "both are gone from the store";
}

// Runs `statements` on a new SQLite file in `dir`.
void writeDatabase(const QTemporaryDir& dir, const QString& name,
                   const std::vector<const char*>& statements) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(dir.filePath(name));
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        for (const char* statement : statements) EXPECT_TRUE(query.exec(statement)) << statement;
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

TEST(ServiceData, AnOlderSchemaIsBroughtUpToDateANewerOneOrAnotherFileIsRefused) {
    QTemporaryDir dir;
    // The tables of schema 2 that its successors change, as that version made them.
    writeDatabase(
        dir, "older.db",
        {"CREATE TABLE teachers (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, "
         "password_hash TEXT NOT NULL, must_change_password INTEGER NOT NULL)",
         "CREATE TABLE classes (code TEXT PRIMARY KEY, teacher_id INTEGER REFERENCES teachers(id), "
         "class_name TEXT NOT NULL, teacher_name TEXT NOT NULL, school_name TEXT NOT NULL, "
         "is_blocked INTEGER NOT NULL, created_at INTEGER NOT NULL)",
         "CREATE TABLE block_entries (class_code TEXT NOT NULL REFERENCES classes(code), "
         "kind TEXT NOT NULL, position INTEGER NOT NULL, value TEXT NOT NULL, value_end TEXT)",
         "INSERT INTO teachers VALUES (1, 'anna', 'h', 0)",
         "INSERT INTO classes VALUES ('ACD347', 1, '3B', 'anna', '', 0, 1)",
         "INSERT INTO classes VALUES ('ACD349', 1, '5A', 'Dhr. Maes', '', 0, 2)",
         "PRAGMA user_version=2"});
    SqliteStore older(dir.filePath("older.db"));
    ASSERT_EQ(older.open(), QString());
    EXPECT_EQ(SqliteStore(dir.filePath("older.db")).open(), QString()) << "brought up to date once";
    EXPECT_EQ(older.teacherByName("anna").value_or(Teacher{}).displayName, "");
    QStringList shown;
    for (const ClassRecord& record : older.loadClasses()) shown << record.teacherName;
    EXPECT_EQ(shown, (QStringList{"", "Dhr. Maes"})) << "a login name kept for students is gone";

    writeDatabase(dir, "newer.db", {"PRAGMA user_version=99"});
    EXPECT_TRUE(SqliteStore(dir.filePath("newer.db")).open().contains("newer version"));
    QFile text(dir.filePath("text.db"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write(QByteArray(4096, 'x'));
    text.close();
    EXPECT_FALSE(SqliteStore(text.fileName()).open().isEmpty());
}

TEST(ServiceData, SessionsEndAfterADayWithoutAPollOrByTheTeacher) {
    Fixture f;
    auto store = f.openStore();
    Teacher anna{0, "anna", "h", false, {}}, bert{0, "bert", "h", false, {}};
    ASSERT_TRUE(store->addTeacher(anna) && store->addTeacher(bert));
    auto service = f.service(*store);
    const QString code = service->teacher.createClass(anna.id, "3B", "", {}).record.code;
    const QByteArray form = "student_name=S&class_code=" + code.toLatin1();
    const QString polling = tokenOf(service->students.login(form, "a"));
    const QString idle = tokenOf(service->students.login(form, "a"));
    f.clock += 1;
    const QString removed = tokenOf(service->students.login(form, "a"));  // the last to join

    f.clock += limits::studentSessionMs - 1000;
    EXPECT_EQ(service->students.status(polling).status, 200);
    f.clock += 2000;
    EXPECT_EQ(service->students.status(idle).status, 401) << "a day without a poll";
    EXPECT_EQ(service->students.status(polling).status, 200);

    // Bert can see nor change Anna's class; Anna removes one student, then ends the lesson.
    const QString removedId = TeacherClasses::studentId(service->classes.studentsOf(code).last());
    EXPECT_FALSE(service->teacher.classOf(bert.id, code).has_value());
    EXPECT_TRUE(service->teacher.classesOf(bert.id).isEmpty());
    EXPECT_FALSE(service->teacher.removeStudent(bert.id, code, removedId));
    EXPECT_FALSE(service->teacher.endLesson(bert.id, code));
    EXPECT_EQ(
        service->teacher.saveClassOf(bert.id, *service->teacher.classOf(anna.id, code), {}).outcome,
        ClassEntry::Outcome::Refused);
    EXPECT_TRUE(service->teacher.removeStudent(anna.id, code, removedId));
    EXPECT_EQ(service->students.status(removed).body.value("success"), false);
    EXPECT_EQ(service->students.status(polling).status, 200);
    EXPECT_TRUE(service->teacher.endLesson(anna.id, code));
    EXPECT_EQ(service->students.status(polling).body.value("success"), false);
    EXPECT_TRUE(store->loadSessions().isEmpty()) << "ended sessions are gone from the store too";
}

// What an older version let in that the check now refuses never holds a
// lesson up: the class still switches, takes new names and ends.
TEST(ServiceData, WhatAnOlderVersionLetInNeverHoldsUpTheLesson) {
    Fixture f;
    auto store = f.openStore();
    Teacher anna{0, "anna", "h", false, {}};
    ASSERT_TRUE(store->addTeacher(anna));
    ClassRecord older;
    older.code = "ACD347";
    older.teacherId = anna.id;
    older.domains = {"localhost", "chatgpt.com", "chatgpt.com"};
    older.ips = {"0.0.0.0/0"};
    ASSERT_TRUE(store->saveClass(older));
    auto service = f.service(*store);
    ClassRecord changed = *service->teacher.classOf(anna.id, older.code);
    const auto saved = [&] {
        return service->teacher.saveClassOf(anna.id, changed, {}).outcome ==
               ClassEntry::Outcome::Entered;
    };
    changed.isBlocked = true;
    EXPECT_TRUE(saved()) << "switched on";
    changed.domains << "claude.ai";
    EXPECT_TRUE(saved()) << "a new name";
    changed.domains << "localhost.localdomain";
    EXPECT_FALSE(saved()) << "a new name that is refused";
    EXPECT_TRUE(service->teacher.endLesson(anna.id, older.code));
    EXPECT_EQ(service->classes.find(older.code)->domains.size(), 4);
}

TEST(ServiceData, StudentGuessingIsLimitedPerAddress) {
    Fixture f;
    auto store = f.openStore();
    ClassRecord record;
    record.code = "ACD347";
    ASSERT_TRUE(store->saveClass(record));
    auto service = f.service(*store, 2 * limits::loginsPerAddress);  // one class, a whole school
    int refused = 0;
    for (int i = 0; i < 25; ++i)
        refused +=
            service->students.login("student_name=S&class_code=ZZZZZZ", "10.0.0.9").status == 429;
    EXPECT_EQ(refused, 5) << "20 wrong codes, then a pause";
    EXPECT_EQ(service->students.login("student_name=S&class_code=ACD347", "10.0.0.9").status, 429);
    EXPECT_EQ(service->students.login("student_name=S&class_code=ACD347", "10.0.0.8").status, 200);
    f.clock += 11 * 60 * 1000;
    EXPECT_EQ(service->students.login("student_name=S&class_code=ACD347", "10.0.0.9").status, 200);
    int joined = 1;
    while (joined < limits::loginsPerAddress + 5 &&
           service->students.login("student_name=S&class_code=ACD347", "10.0.0.9").status == 200)
        ++joined;
    EXPECT_EQ(joined, limits::loginsPerAddress) << "a whole school, but not without end";
}

TEST(ServiceData, EachFailedTeacherLoginWaitsLongerButTheTeachersBrowserIsNeverHeldBack) {
    Fixture f;
    auto store = f.openStore();
    const auto anna = TeacherAccounts::add(*store, "anna"),
               bert = TeacherAccounts::add(*store, "bert");
    ASSERT_TRUE(anna && bert);
    TeacherAccounts teachers(*store, [&] { return f.clock; });
    using Outcome = TeacherLogin::Outcome;
    const QByteArray annasBrowser = logIn(teachers, "anna", *anna).deviceCookie;
    const QByteArray bertsBrowser = logIn(teachers, "bert", *bert).deviceCookie;
    ASSERT_FALSE(annasBrowser.isEmpty());

    // A pupil guesses from ever new addresses, and waits each time as told.
    std::vector<qint64> waits;
    for (int i = 0; i < 13; ++i) {
        const QString from = QStringLiteral("10.1.0.%1").arg(i);
        TeacherLogin guess = logIn(teachers, "anna", "fout", from);
        if (guess.outcome == Outcome::TooEarly) {
            waits.push_back(guess.retryAfterMs);
            f.clock += guess.retryAfterMs;
            guess = logIn(teachers, "anna", "fout", from);
        }
        EXPECT_EQ(guess.outcome, Outcome::WrongPassword) << i;
    }
    EXPECT_EQ(waits, (std::vector<qint64>{1000, 2000, 4000, 8000, 16000, 32000, 60000}))
        << "five free, then twice as long each time, never over a minute";

    // A browser anna never used waits like the pupil; a made-up cookie or bert's is no way past.
    QByteArray forged = annasBrowser;
    forged.back() = forged.back() == '0' ? '1' : '0';
    for (const QByteArray& cookie : {QByteArray(), forged, bertsBrowser})
        EXPECT_EQ(logIn(teachers, "anna", *anna, "10.2.0.1", cookie).outcome, Outcome::TooEarly)
            << cookie.data();
    // Her own browser gets in at once; its own failures count for itself alone.
    const TeacherLogin own = logIn(teachers, "anna", *anna, "10.1.0.1", annasBrowser);
    EXPECT_EQ(own.outcome, Outcome::LoggedIn);
    EXPECT_EQ(own.deviceCookie.split('.').value(1), annasBrowser.split('.').value(1))
        << "the same browser";
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(logIn(teachers, "anna", "fout", "10.0.0.1", annasBrowser).outcome,
                  Outcome::WrongPassword);
    EXPECT_EQ(logIn(teachers, "anna", "fout", "10.0.0.1", annasBrowser).outcome, Outcome::TooEarly);
    EXPECT_EQ(logIn(teachers, "bert", *bert, "10.0.0.1", bertsBrowser).outcome, Outcome::LoggedIn);
    f.clock += 60000;
    EXPECT_EQ(logIn(teachers, "anna", *anna, "10.2.0.1").outcome, Outcome::LoggedIn)
        << "held back for a minute at most, never locked";
}

TEST(RequestFraming, FollowsRequestsAndRefusesLargeOnesFromTheHeadAloneInAnyChunking) {
    using Verdict = RequestFraming::Verdict;
    const QByteArray small = "POST /a HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello";
    const QByteArray poll = "GET /s?token=x HTTP/1.1\r\nHost: h\r\n\r\n";
    const QByteArray large = "POST /a HTTP/1.1\r\ncontent-length: 65537\r\n\r\n";
    const QByteArray exact = "POST /a HTTP/1.1\r\nContent-Length: 65536\r\n\r\n" +
                             QByteArray(65536, 'x');  // a "\r\n\r\n"-free body
    const QByteArray chunked = "POST /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
    const QByteArray endless = "GET /" + QByteArray(20000, 'a');
    struct Case {
        QByteArray stream;
        Verdict verdict;
        qint64 complete = 0;  // requests whose head and body are in
        bool midRequest = false;
    };
    const std::vector<Case> cases = {
        {small + poll + small, Verdict::Fine, 3},
        {exact + poll, Verdict::Fine, 2},
        {poll + "GET / HTTP/1.1\r\nHo", Verdict::Fine, 1, true},
        {poll + small.chopped(2), Verdict::Fine, 1, true},
        {poll + large, Verdict::TooLarge, 1},
        {chunked, Verdict::TooLarge},
        {endless, Verdict::HeadTooLarge},
        {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", Verdict::TooLarge},
    };
    for (const Case& c : cases) {
        for (const qsizetype chunk : {qsizetype(1), qsizetype(7), c.stream.size()}) {
            RequestFraming framing;
            Verdict verdict = Verdict::Fine;
            for (qsizetype at = 0; at < c.stream.size(); at += chunk)
                verdict = framing.feed(c.stream.mid(at, chunk));
            const std::string what =
                c.stream.left(60).toStdString() + " in chunks of " + std::to_string(chunk);
            EXPECT_EQ(verdict, c.verdict) << what;
            if (c.verdict == Verdict::Fine) {
                EXPECT_EQ(framing.requestsComplete(), c.complete) << what;
                EXPECT_EQ(framing.midRequest(), c.midRequest) << what;
            }
        }
    }
}

}  // namespace
