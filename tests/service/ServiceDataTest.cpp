// The class service's rooms on SQLite, in-process on the test's clock, and
// the parsers of its students' requests and class file.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <functional>

#include "QtTestSupport.h"
#include "classes/ClassFile.h"
#include "classes/ComputerStates.h"
#include "classes/LessonLog.h"
#include "classes/StudentProtocol.h"
#include "classes/TeacherClasses.h"
#include "http/RequestFraming.h"
#include "store/SqliteStore.h"
#include "teacher/TeacherAccounts.h"

namespace {

using namespace kt::service;
using Outcome = ClassEntry::Outcome;

constexpr qint64 hourMs = 3600 * 1000;

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

// The classes of a store with the students' and the teachers' side.
struct Rooms {
    Rooms(ServiceStore& store, ClassRegister::Clock clock,
          int maxStudents = limits::studentsPerClass)
        : classes(store, std::move(clock)), students(classes, maxStudents) {}
    ClassRegister classes;
    StudentProtocol students;
    TeacherClasses teacher{classes};
};

// A lesson on a SQLite file: anna's class 3B with Jan and Eva, Piet in her
// class 5A, run step by step on the test's clock.
struct Lesson {
    QTemporaryDir dir;
    qint64 clock = 1'700'000'000'000;
    const int maxStudents;
    std::unique_ptr<SqliteStore> store;
    std::unique_ptr<Rooms> service;
    Teacher anna{0, "anna", "h", false, {}};
    QString code, jan, eva, piet;
    int lastStatus = 0;

    // The names as the form sends them.
    explicit Lesson(const QString& janTyped = "Jan", const QString& evaTyped = "Eva",
                    int maxStudents = limits::studentsPerClass)
        : maxStudents(maxStudents) {
        restart();
        EXPECT_TRUE(store->addTeacher(anna));
        code = service->teacher.createClass(anna.id, "3B", "", {}).record.code;
        jan = join(janTyped, code, "a1");
        eva = join(evaTyped, code, "e1");
        piet = join("Piet", service->teacher.createClass(anna.id, "5A", "", {}).record.code, "p1");
    }
    // Opens the file (again) and starts the service on it.
    void restart() {
        service.reset();
        store = std::make_unique<SqliteStore>(dir.filePath("service.db"));
        EXPECT_EQ(store->open(), QString());
        service = std::make_unique<Rooms>(
            *store, [this] { return clock; }, maxStudents);
    }
    QString join(const QString& name, const QString& classCode, const QString& device) {
        return service->students
            .login(QStringLiteral("student_name=%1&class_code=%2&device_id=%3")
                       .arg(name, classCode, device)
                       .toUtf8())
            .body.value("session_token")
            .toString();
    }
    static QByteArray reportOf(const QString& token, const QString& state) {
        QJsonObject body{{"token", token}, {"state", state}, {"hosts", 18}, {"rules", 40}};
        if (state == "failed")
            body.insert("error", "Kon de bewaker niet installeren");
        return QJsonDocument(body).toJson();
    }
    // "on", "off", "wait MS" (Eva polls meanwhile), "poll", "logout",
    // "remove", "rejoin", "report STATE", "eva STATE", "piet STATE",
    // "json BODY" (TOKEN is Jan's), "flood" (100 reports from Jan).
    void run(const QString& step) {
        const QString verb = step.section(' ', 0, 0);
        QString rest = step.section(' ', 1);
        const auto report = [&](const QByteArray& body) {
            lastStatus = service->students.report(body).status;
        };
        if (verb == "on" || verb == "off") {
            EXPECT_EQ(
                service->teacher.switchBlocking(anna.id, code, verb == "on", "anna", {}).outcome,
                Outcome::Entered);
        } else if (verb == "wait") {
            clock += rest.toLongLong();
            service->students.status(eva);
        } else if (verb == "poll") {
            lastStatus = service->students.status(jan).status;
        } else if (verb == "logout") {
            lastStatus =
                service->students.logout(QJsonDocument(QJsonObject{{"token", jan}}).toJson())
                    .status;
        } else if (verb == "remove") {
            EXPECT_TRUE(service->teacher.removeStudent(anna.id, code, idOf(jan), "anna"));
        } else if (verb == "rejoin") {
            jan = join("Jan", code, "a1");
        } else if (verb == "report" || verb == "eva" || verb == "piet") {
            const QString token = verb == "report" ? jan : verb == "eva" ? eva : piet;
            report(reportOf(token, rest));
        } else if (verb == "json") {
            report(rest.replace("TOKEN", jan).toUtf8());
        } else if (verb == "flood") {
            int accepted = 0;
            for (int i = 0; i < 100; ++i, ++clock) {
                report(reportOf(jan, i % 2 ? "free" : "blocked"));
                accepted += lastStatus == 200;
            }
            EXPECT_EQ(accepted, limits::reportsPerSession) << "the rest waits";
        } else {
            ADD_FAILURE() << "no step " << step.toStdString();
        }
    }
    StudentSession sessionOf(const QString& token) const {
        for (const StudentSession& session : service->classes.studentsOf(code))
            if (session.tokenHash == StudentProtocol::tokenHash(token))
                return session;
        return {};
    }
    QString idOf(const QString& token) const { return TeacherClasses::studentId(sessionOf(token)); }
    QList<ComputerView> views() const {
        return computerViews(service->classes.studentsOf(code),
                             service->classes.find(code)->isBlocked, clock);
    }
    // anna's lesson log, one line an event.
    std::string log(qint64 from, qint64 to, int most = 100) const {
        QStringList lines;
        for (const LessonEvent& event : service->teacher.lessonLog(anna.id, code, from, to, most)
                                            .value_or(QList<LessonEvent>{}))
            lines << (event.student.isEmpty() ? "" : event.student + ": ") + eventText(event);
        return lines.join('\n').toStdString();
    }
};

TEST(ServiceData, EachComputersReportsGiveThePageOneStateWithItsTime) {
    struct Case {
        const char* what;
        QString steps;  // Lesson::run's, apart by "; "
        // "STATUS STATE SINCE [!]": of the last call to the service (0: not checked), Jan's
        // row ("-": none), ms after he joined, and "!" when it needs attention.
        QString expected;
        QString error = {};
    };
    const QString bewaker = "Kon de bewaker niet installeren";
    const QString smiles = QStringLiteral("😀").repeated(limits::reportErrorLength);
    const QString repaired = R"(json {"token":"TOKEN","state":"blocked","hosts":20,"rules":44})";
    const QString failed = R"(json {"token":"TOKEN","state":"failed","hosts":0,"rules":0,"error":)";
    const std::vector<Case> cases = {
        {"a block in force", "on; wait 2000; report blocked; wait 3000; poll", "200 blocked 2000"},
        {"the same state again (after a repair) holds since it began",
         "on; report blocked; wait 9000; poll; " + repaired, "200 blocked 0"},
        {"a failed block", "on; wait 1000; report failed", "200 failed 1000 !", bewaker},
        {"a failure's line cleaned as a name is", "on; " + failed + R"("\u202eKon\u0007 niet\n"})",
         "200 failed 0 !", "Kon niet"},
        {"a failure's line of 500 characters, none of them simple",
         "on; " + failed + '"' + smiles + "\"}", "200 failed 0 !", smiles},
        {"free during a block", "on; wait 1000; report free", "200 free 1000 !"},
        {"still blocked after the switch off", "on; report blocked; off; wait 1000",
         "200 blocked 0 !"},
        {"freed after the switch off", "on; report blocked; off; wait 1000; report free",
         "200 free 1000"},
        {"no word yet during a block", "on; wait 4000; poll", "200 no_report 0 !"},
        {"a free class's computer runs nothing", "wait 4000; poll", "200 free 0"},
        {"a quit during a block", "on; report blocked; wait 9000; report quit; poll",
         "401 departed 9000 !"},
        {"a logout during a block", "on; wait 4000; logout; report blocked", "401 departed 4000 !"},
        {"a logout while free", "logout; report blocked", "401 -"},
        {"a quit while free", "report blocked; report quit", "200 -"},
        {"back after a departure: one row", "on; logout; wait 1000; rejoin", "0 no_report 1000 !"},
        {"no poll for 15 s during a block", "on; report blocked; wait 3000; poll; wait 15001",
         "200 no_contact 3000 !"},
        {"15 s is still in contact", "on; report blocked; wait 3000; poll; wait 15000",
         "200 blocked 0"},
        {"no poll in a free class", "report free; wait 60000", "200 free 0"},
        {"another class's token", "on; piet failed", "200 no_report 0 !"},
        {"a report after removal", "on; report blocked; remove; report failed", "401 -"},
        {"a flood from one token, the others still heard", "on; flood; eva blocked",
         QStringLiteral("200 free %1 !").arg(limits::reportsPerSession - 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Lesson lesson;
        const qint64 start = lesson.clock;
        for (const QString& step : c.steps.split("; ")) lesson.run(step);
        const QList<ComputerView> views = lesson.views();
        EXPECT_TRUE(std::is_partitioned(views.begin(), views.end(), [](const ComputerView& v) {
            return v.needsAttention;
        })) << "those that need attention first";
        QStringList jans;
        QString error;
        for (const ComputerView& view : views) {
            if (view.session.studentName == "Jan") {
                jans << QStringLiteral("%1 %2%3")
                            .arg(computerStateName(view.state))
                            .arg(view.sinceMs - start)
                            .arg(view.needsAttention ? " !" : "");
                error = view.session.report.error;
            }
            const auto evas =
                c.steps.contains("eva blocked") ? ReportedState::Blocked : ReportedState::None;
            EXPECT_TRUE(view.session.studentName != "Eva" || view.session.report.state == evas)
                << "Eva's row is her own";
        }
        const QString status = c.expected.section(' ', 0, 0);
        const QString shown = jans.isEmpty() ? "-" : jans.join(" and ");
        EXPECT_EQ(((status == "0" ? "0" : QString::number(lesson.lastStatus)) + ' ' + shown)
                      .toStdString(),
                  c.expected.toStdString());
        EXPECT_EQ(error.toStdString(), c.error.toStdString());
    }
}

TEST(ServiceData, TheLessonLogTellsTheLessonKeepsItsDaysAndIsSafeInASpreadsheet) {
    Lesson lesson("%3D1%2B2+%22Jan%22", "%40Eva");
    const qint64 start = lesson.clock;
    for (const char* step : {"on", "wait 1000", "report blocked", "eva failed", "wait 20000"})
        lesson.run(step);
    lesson.service->classes.tick();  // Jan has not polled since he joined
    for (const char* step : {"poll", "wait 1000"}) lesson.run(step);
    lesson.service->students.logout(QJsonDocument(QJsonObject{{"token", lesson.eva}}).toJson());
    lesson.service->classes.tick();
    lesson.clock += 1000;
    lesson.run("remove");
    lesson.service->teacher.endLesson(lesson.anna.id, lesson.code, "anna");

    const std::string told = R"(=1+2 "Jan": Aangemeld
@Eva: Aangemeld
Blokkering aan door anna
=1+2 "Jan": Geblokkeerd (18 namen, 40 adressen)
@Eva: Blokkering mislukt: Kon de bewaker niet installeren
=1+2 "Jan": Geen contact meer
=1+2 "Jan": Weer contact
@Eva: Vertrokken tijdens blokkering
=1+2 "Jan": Verwijderd door anna
Les beëindigd door anna)";
    EXPECT_EQ(lesson.log(start, start + hourMs), told) << "unwritten events included";
    lesson.restart();
    EXPECT_EQ(lesson.log(start, start + hourMs), told) << "written, and kept across a restart";
    EXPECT_EQ(lesson.log(start, start + hourMs, 2),
              "=1+2 \"Jan\": Verwijderd door anna\nLes beëindigd door anna")
        << "the newest";

    const QList<LessonEvent> events =
        lesson.service->teacher.lessonLog(lesson.anna.id, lesson.code, start, start + hourMs, 100)
            .value();
    EXPECT_EQ(lessonLogCsv(events, QTimeZone("Europe/Brussels")).split('\n').mid(0, 3),
              (QList<QByteArray>{"\xEF\xBB\xBF"
                                 "Datum;Tijd;Leerling;Gebeurtenis\r",
                                 R"("2023-11-14";"23:13:20";"'=1+2 ""Jan""";"Aangemeld")"
                                 "\r",
                                 R"("2023-11-14";"23:13:20";"'@Eva";"Aangemeld")"
                                 "\r"}))
        << "in the teacher's time zone; a pupil's formula stays text";
    for (const char* cell : {"+1", "-1", "\tx", "\rx"})
        EXPECT_TRUE(csvCell(cell).startsWith("\"'")) << cell;
    EXPECT_EQ(csvCell("a=b"), "\"a=b\"");

    // A day is the teacher's: the spring one in Brussels has 23 hours; a zone is only a name.
    const auto spring = logDay("2024-03-31", "Europe/Brussels");
    ASSERT_TRUE(spring.has_value());
    EXPECT_EQ(spring->fromMs, 1711839600000) << "midnight, UTC+1";
    EXPECT_EQ(spring->toMs - spring->fromMs, 23 * hourMs);
    EXPECT_EQ(logDay("2024-03-31", "../../../etc/passwd")->zone, QTimeZone::systemTimeZone());
    for (const char* day : {"31-03-2024", "2024-02-30", "2024-3-1", ""})
        EXPECT_FALSE(logDay(day, "UTC").has_value()) << day;

    // Kept for the days given, then deleted by the service's own periodic work.
    lesson.service->classes.setLessonLogDays(30);
    lesson.clock = start + 20 * 24 * hourMs;
    lesson.run("on");
    lesson.service->classes.tick();
    lesson.clock = start + 30 * 24 * hourMs + hourMs;
    lesson.service->classes.tick();
    EXPECT_EQ(lesson.log(0, lesson.clock), "Blokkering aan door anna");
}

// A session ends after a day without a poll, or by the teacher of its class
// alone: another teacher can neither see nor change it.
TEST(ServiceData, SessionsEndAfterADayWithoutAPollOrByTheTeacher) {
    Lesson lesson;
    Teacher bert{0, "bert", "h", false, {}};
    ASSERT_TRUE(lesson.store->addTeacher(bert));
    StudentProtocol& students = lesson.service->students;
    TeacherClasses& teacher = lesson.service->teacher;
    const QString& code = lesson.code;
    lesson.clock += limits::studentSessionMs - 1000;
    EXPECT_EQ(students.status(lesson.jan).status, 200);
    lesson.clock += 2000;
    EXPECT_EQ(students.status(lesson.eva).status, 401) << "a day without a poll";
    EXPECT_EQ(students.status(lesson.jan).status, 200);

    ASSERT_TRUE(lesson.store->setDisplayName(lesson.anna.id, "Mevr. Claes"));  // by the command
    const QString removed = lesson.join("Els", code, "x1");
    EXPECT_EQ(students.status(lesson.jan).body.value("class_info")["teacher_name"], "Mevr. Claes")
        << "a display name the teacher command stored comes with the next join";
    const QString id = lesson.idOf(removed);
    const ClassRecord annas = *teacher.classOf(lesson.anna.id, code);
    const std::vector<std::pair<const char*, bool>> bertDid = {
        {"sees the class", teacher.classOf(bert.id, code).has_value()},
        {"lists it", !teacher.classesOf(bert.id).isEmpty()},
        {"removes a student", teacher.removeStudent(bert.id, code, id, "bert")},
        {"ends the lesson", teacher.endLesson(bert.id, code, "bert")},
        {"switches",
         teacher.switchBlocking(bert.id, code, true, "bert", {}).outcome != Outcome::Refused},
        {"reads the log", teacher.lessonLog(bert.id, code, 0, lesson.clock + 1, 100).has_value()},
        {"saves the class", teacher.saveClassOf(bert.id, annas, {}).outcome != Outcome::Refused},
    };
    for (const auto& [what, done] : bertDid) EXPECT_FALSE(done) << "bert " << what;
    EXPECT_TRUE(teacher.removeStudent(lesson.anna.id, code, id, "anna"));
    EXPECT_EQ(students.status(removed).body.value("success"), false);
    EXPECT_EQ(students.status(lesson.jan).status, 200);
    EXPECT_TRUE(teacher.endLesson(lesson.anna.id, code, "anna"));
    EXPECT_TRUE(lesson.store->loadSessionsOf(code).isEmpty()) << "ended sessions are gone";
}

// What an older version left is brought up to date, and what it let in that
// the check now refuses never holds a lesson up: the class still switches,
// takes new names and ends.
TEST(ServiceData, WhatAnOlderVersionLeftIsBroughtUpToDateAndNeverHoldsUpTheLesson) {
    QTemporaryDir dir;
    const QString path = dir.filePath("older.db");
    {  // the tables of schema 2 that its successors change, as that version made them
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", path);
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        for (const QString& statement : QStringLiteral(R"(
CREATE TABLE teachers (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE,
  password_hash TEXT NOT NULL, must_change_password INTEGER NOT NULL);
CREATE TABLE classes (code TEXT PRIMARY KEY, teacher_id INTEGER REFERENCES teachers(id),
  class_name TEXT NOT NULL, teacher_name TEXT NOT NULL, school_name TEXT NOT NULL,
  is_blocked INTEGER NOT NULL, created_at INTEGER NOT NULL);
CREATE TABLE block_entries (class_code TEXT NOT NULL REFERENCES classes(code),
  kind TEXT NOT NULL, position INTEGER NOT NULL, value TEXT NOT NULL, value_end TEXT);
CREATE TABLE sessions (token_hash TEXT PRIMARY KEY, class_code TEXT NOT NULL REFERENCES
  classes(code), student_name TEXT NOT NULL, device_id TEXT NOT NULL, device_info TEXT NOT NULL,
  joined_at INTEGER NOT NULL, last_seen INTEGER NOT NULL);
INSERT INTO teachers VALUES (1, 'anna', 'h', 0);
INSERT INTO sessions VALUES ('h1', 'ACD347', 'Jan', 'a4', 'Linux', 5, 6);
INSERT INTO classes VALUES ('ACD347', 1, '3B', 'anna', '', 0, 1), ('ACD349', 1, '5A', 'Dhr. Maes',
  '', 0, 2);
INSERT INTO block_entries VALUES ('ACD347', 'domain', 0, 'localhost', NULL), ('ACD347', 'domain',
  1, 'chatgpt.com', NULL), ('ACD347', 'domain', 2, 'chatgpt.com', NULL), ('ACD347', 'ip', 0,
  '0.0.0.0/0', NULL);
PRAGMA user_version=2)")
                                            .split(';'))
            EXPECT_TRUE(query.exec(statement)) << statement.toStdString();
    }
    QSqlDatabase::removeDatabase(path);
    SqliteStore older(path);
    ASSERT_EQ(older.open(), QString());
    EXPECT_EQ(SqliteStore(path).open(), QString()) << "brought up to date once";
    EXPECT_EQ(older.teacherByName("anna").value_or(Teacher{}).displayName, "");
    QStringList shown;
    for (const ClassRecord& record : older.loadClasses()) shown << record.teacherName;
    EXPECT_EQ(shown, (QStringList{"", "Dhr. Maes"})) << "a login name kept for students is gone";
    const QList<StudentSession> sessions = older.loadSessions();
    ASSERT_EQ(sessions.size(), 1);
    EXPECT_EQ(sessions.first().lastSeenMs, 6);
    EXPECT_EQ(sessions.first().report.state, ReportedState::None) << "nothing reported yet";
    EXPECT_EQ(sessions.first().departedAtMs, 0) << "still in the lesson";
    EXPECT_TRUE(older.addLessonEvents({{"ACD347", 7, LessonEvent::Kind::Joined, "Jan", {}}}));
    EXPECT_EQ(older.lessonEvents("ACD347", 0, 8, 10).value(0).student, "Jan");

    Rooms rooms(older, [] { return 8; });
    ClassRecord changed = *rooms.teacher.classOf(1, "ACD347");
    const auto saved = [&] {
        return rooms.teacher.saveClassOf(1, changed, {}).outcome == Outcome::Entered;
    };
    changed.isBlocked = true;
    EXPECT_TRUE(saved()) << "switched on";
    changed.domains << "claude.ai";
    EXPECT_TRUE(saved()) << "a new name";
    changed.domains << "localhost.localdomain";
    EXPECT_FALSE(saved()) << "a new name that is refused";
    EXPECT_TRUE(rooms.teacher.endLesson(1, "ACD347", "anna"));
    EXPECT_EQ(rooms.classes.find("ACD347")->domains.size(), 4);
}

// Guessing a teacher's password gets ever slower, not her own browser; a login
// lasts 12 hours.
TEST(ServiceData, EachFailedTeacherLoginWaitsLongerButTheTeachersBrowserIsNeverHeldBack) {
    Lesson lesson;
    const auto anna = TeacherAccounts::reset(*lesson.store, "anna"),
               bert = TeacherAccounts::add(*lesson.store, "bert");
    ASSERT_TRUE(anna && bert);
    TeacherAccounts teachers(*lesson.store, [&] { return lesson.clock; });
    using Outcome = TeacherLogin::Outcome;
    const QByteArray annasBrowser = logIn(teachers, "anna", *anna).deviceCookie;
    const QByteArray bertsBrowser = logIn(teachers, "bert", *bert).deviceCookie;
    ASSERT_FALSE(annasBrowser.isEmpty());
    EXPECT_EQ(logIn(teachers, "nobody", *anna).outcome, Outcome::WrongPassword)
        << "an unknown name is told no more than a wrong password";

    // A pupil guesses from ever new addresses, and waits each time as told.
    std::vector<qint64> waits;
    for (int i = 0; i < 13; ++i) {
        const QString from = QStringLiteral("10.1.0.%1").arg(i);
        TeacherLogin guess = logIn(teachers, "anna", "fout", from);
        if (guess.outcome == Outcome::TooEarly) {
            waits.push_back(guess.retryAfterMs);
            lesson.clock += guess.retryAfterMs;
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
    lesson.clock += 60000;
    EXPECT_EQ(logIn(teachers, "anna", *anna, "10.2.0.1").outcome, Outcome::LoggedIn)
        << "held back for a minute at most, never locked";
    lesson.clock += limits::teacherSessionMs;
    EXPECT_FALSE(teachers.session(own.session.cookie, "10.1.0.1").has_value())
        << "a login lasts 12 hours";
    EXPECT_TRUE(lesson.store->loadTeacherSessions().isEmpty()) << "expired logins are deleted";
}

// On a database that instances share, a login cookie not in memory is looked
// up there: one query each, so an address gets a bounded number of them.
TEST(ServiceData, UnknownLoginCookiesAreLookedUpOnlyUpToTheLimitOfTheirAddress) {
    struct SharedStore : SqliteStore {
        using SqliteStore::SqliteStore;
        bool shared() const override { return true; }
        std::optional<StoredTeacherSession> loadTeacherSession(const QString& hash) override {
            ++lookups;
            return SqliteStore::loadTeacherSession(hash);
        }
        int lookups = 0;
    } store(":memory:");
    ASSERT_EQ(store.open(), QString());
    const auto anna = TeacherAccounts::add(store, "anna");
    TeacherAccounts teachers(store, [] { return qint64(1'700'000'000'000); });
    const QString annas = logIn(teachers, "anna", *anna, "10.0.0.9").session.cookie;
    EXPECT_FALSE(teachers.session({}, "10.0.0.1")) << "no cookie";
    EXPECT_EQ(store.lookups, 0) << "nothing to look up";
    for (int i = 0; i <= limits::unknownCookiesPerAddress; ++i)
        EXPECT_FALSE(teachers.session(QString::number(i), "10.0.0.1"));
    EXPECT_EQ(store.lookups, limits::unknownCookiesPerAddress);
    EXPECT_FALSE(teachers.session("x", "10.0.0.2"));
    EXPECT_EQ(store.lookups, limits::unknownCookiesPerAddress + 1) << "another address";
    EXPECT_TRUE(teachers.session(annas, "10.0.0.1")) << "a login in memory, from any address";
}

// Classes as a class file gives them: abc123 with lists, and XYZ789.
const QByteArray classesJson = R"([
  {"code":"abc123","class_name":"3B","teacher_name":"Mevr. Claes","school_name":"Sint-Jan",
   "is_blocked":false,"domains":["chatgpt.com"],"ips":["104.18.0.1"],
   "ip_ranges":[{"start":"1.0.0.0","end":"1.0.0.255"}]},
  {"code":"XYZ789","class_name":"5A","teacher_name":"Dhr. Maes","school_name":"Atheneum"}
])";

// The administrator's change of a class.
ApiReply adminUpdate(ClassRegister& classes, const QString& code, const QByteArray& json) {
    return classes.updateClass(code, json, QStringLiteral("klas.school.be"));
}

QString errorOf(const ApiReply& reply) {
    return reply.body.value("error").toString();
}

// Malformed requests and a broken or hostile report get 400 and change
// nothing; the status carries the lists and the administrator's changes.
TEST(StudentProtocol, MalformedRequestsGet400AndTheStatusCarriesTheAdministratorsChanges) {
    Lesson lesson("Jan", "Eva", 3);
    lesson.run("on");
    ClassRegister& classes = lesson.service->classes;
    EXPECT_EQ(classes.importClasses(parseClassFile(classesJson).classes), QString());
    StudentProtocol& students = lesson.service->students;
    using Call = std::function<ApiReply(const QByteArray&)>;
    const Call login = [&](const QByteArray& body) { return students.login(body); };
    const Call logout = [&](const QByteArray& body) { return students.logout(body); };
    const Call update = [&](const QByteArray& body) {
        return adminUpdate(classes, "ABC123", body);
    };
    const Call poll = [&](const QByteArray& token) { return students.status(token); };
    const Call report = [&](QByteArray body) {
        return students.report(body.replace("TOKEN", lesson.jan.toUtf8()));
    };
    const QByteArray tooLong(limits::reportErrorLength + 1, 'x');
    const auto jans = [](const QByteArray& members) {
        return R"({"token":"TOKEN",)" + members + '}';
    };
    struct Case {
        Call call;
        QList<QByteArray> bodies;
        QString errorStart = {};
    };
    const std::vector<Case> cases = {
        {login,
         {"", "class_code=ABC123", "student_name=Jan", "student_name=%20&class_code=ABC123",
          "student_name=%FF%FE&class_code=ABC123", QByteArray("\x00\x01", 2)}},
        {logout, {"token=x", "[\"token\"]", R"({"token":5})", R"({"token":""})"}},
        {update,
         {"not json", "[]", R"({"is_blocked":"yes"})", R"({"is_blocked":true,"domains":["a",1]})",
          R"({"ip_ranges":[{"start":"1"}]})", R"({"colour":"red"})",
          R"({"domains":["klas.school.be"]})"}},
        {poll, {""}},
        {report,
         {"not json", "[]", R"({"token":5,"state":"blocked","hosts":1,"rules":1})",
          R"({"state":"blocked","hosts":1,"rules":1})", jans(R"("hosts":1,"rules":1)"),
          jans(R"("state":"gone","hosts":1,"rules":1)"), jans(R"("state":"","hosts":1,"rules":1)"),
          jans(R"("state":"blocked","hosts":"3","rules":1)"),
          jans(R"("state":"blocked","hosts":-1,"rules":1)"),
          jans(R"("state":"blocked","hosts":1.5,"rules":1)"),
          jans(R"("state":"blocked","hosts":1)"),
          jans(R"("state":"blocked","hosts":1,"rules":1e7)"),
          jans(R"("state":"failed","hosts":0,"rules":0)"),
          jans(R"("state":"failed","error":7,"hosts":0,"rules":0)"),
          jans(R"("state":"blocked","error":null,"hosts":0,"rules":0)"),
          jans(R"("state":"failed","error":")" + tooLong + R"(","hosts":0,"rules":0)"),
          R"({"token":")" + QByteArray(300, 'a') + R"(","state":"free","hosts":0,"rules":0})",
          jans(R"("state":"failed","error":")" + QByteArray("\xff\xfe") +
               R"(","hosts":0,"rules":0)")},
         "Ongeldige melding: "},
    };
    for (const Case& c : cases) {
        for (const QByteArray& body : c.bodies) {
            const ApiReply reply = c.call(body);
            const std::string what = body.left(120).toStdString();
            EXPECT_EQ(reply.status, 400) << what;
            EXPECT_EQ(reply.body.value("success"), false) << what;
            EXPECT_FALSE(errorOf(reply).isEmpty()) << what;
            EXPECT_TRUE(errorOf(reply).startsWith(c.errorStart)) << what;
        }
    }
    EXPECT_EQ(classes.classSize("ABC123"), 0);
    EXPECT_FALSE(classes.find("ABC123")->isBlocked) << "a refused change changes nothing";
    EXPECT_EQ(classes.find("ABC123")->domains, QStringList{"chatgpt.com"});
    for (const ComputerView& view : lesson.views())
        EXPECT_EQ(view.session.report.state, ReportedState::None);
    classes.tick();
    EXPECT_EQ(lesson.log(0, lesson.clock + 1),
              "Jan: Aangemeld\nEva: Aangemeld\nBlokkering aan door anna")
        << "no report";
    EXPECT_EQ(students.report(Lesson::reportOf(lesson.jan, "blocked")).status, 200)
        << "none of them cost the computer its turn";

    const QString token =
        students.login("student_name=Jan&class_code=abc123").body.value("session_token").toString();
    EXPECT_EQ(students.login("student_name=Eva&class_code=NOPE00").body.value("success"), false);
    EXPECT_EQ(students.logout(R"({"token":"never-issued"})").body.value("success"), false);
    EXPECT_EQ(students.status(token).body.value("ip_ranges")[0]["end"], "1.0.0.255");
    EXPECT_EQ(
        adminUpdate(classes, "abc123", R"({"is_blocked":true,"domains":["a.com","b.com"]})").status,
        200);
    const QJsonObject status = students.status(token).body;
    EXPECT_EQ(status.value("is_blocked"), true);
    EXPECT_EQ(status.value("domains").toArray(), (QJsonArray{"a.com", "b.com"}));
    EXPECT_EQ(status.value("ips").toArray(), QJsonArray{"104.18.0.1"}) << "untouched";
    EXPECT_EQ(adminUpdate(classes, "new001", R"({"class_name":"Nieuw"})").status, 200);
    EXPECT_EQ(students.login("student_name=Jan&class_code=New001").status, 200) << "a new class";

    // Departures during a block stay for the teacher, as many as the class holds students (3).
    for (int i = 0; i < 5; ++i, lesson.clock += 1000)
        students.report(Lesson::reportOf(
            lesson.join(QStringLiteral("S%1").arg(i), lesson.code, QStringLiteral("d%1").arg(i)),
            "quit"));
    QStringList departed;
    for (const ComputerView& view : lesson.views())
        if (view.state == ComputerState::Departed)
            departed << view.session.studentName;
    EXPECT_EQ(departed.join(' ').toStdString(), "S2 S3 S4") << "the newest three";
}

// The name is checked as it is kept and shown; a full class refuses with a
// reason the application shows, and has room again once a student leaves;
// one address may guess class codes and join a whole school, not without end.
TEST(StudentProtocol, NamesAreKeptCleanedAndClassesAndAddressesHoldAtMostTheirLimits) {
    Lesson lesson("Jan", "Eva", 2 * limits::loginsPerAddress);
    ClassRegister& classes = lesson.service->classes;
    EXPECT_EQ(classes.importClasses(parseClassFile(classesJson).classes), QString());
    const QByteArray longest(limits::studentNameLength, 'a');
    const std::vector<std::pair<QByteArray, QString>> names = {
        {"Jan" + QByteArray(65000, '+'), "Jan"},
        {"+%09Jan++%C2%A0Peeters%0D%0A", "Jan Peeters"},
        {"Jan%09Peeters", "Jan Peeters"},
        {"%E2%80%AEnaJ%E2%80%8B%E2%81%A6%C2%AD%00%1B%7F%C2%9B", "naJ"},
        {"Zo%C3%AB%E2%80%A8%F0%9F%98%80", QStringLiteral("Zoë 😀")},
        {longest + "%E2%80%AE+", QString::fromLatin1(longest)},
        {longest + "a", {}},
        {"%E2%80%AE%E2%80%8B%E2%80%A9", {}},
    };
    QJsonObject first;  // the first student's logout
    QStringList stored;
    for (const auto& [typed, kept] : names) {
        if (!kept.isEmpty())
            stored << kept;
        const ApiReply reply =
            lesson.service->students.login("class_code=ABC123&student_name=" + typed);
        EXPECT_EQ(reply.status, kept.isEmpty() ? 400 : 200) << typed.left(80).toStdString();
        EXPECT_EQ(reply.body.value("student_info")["name"].toString().toStdString(),
                  kept.toStdString());
        if (first.isEmpty())
            first.insert("token", reply.body.value("session_token"));
    }
    QStringList kept;
    for (const StudentSession& session : classes.studentsOf("ABC123")) kept << session.studentName;
    kept.sort(), stored.sort();
    EXPECT_EQ(kept.join('|').toStdString(), stored.join('|').toStdString()) << "stored as checked";
    StudentProtocol students(classes, classes.classSize("ABC123") + 1);
    EXPECT_EQ(students.login("class_code=ABC123&student_name=Eva").status, 200);
    const ApiReply full = students.login("class_code=ABC123&student_name=Piet");
    EXPECT_EQ(full.status, 403);
    EXPECT_TRUE(errorOf(full).startsWith("Deze klas is vol")) << errorOf(full).toStdString();
    EXPECT_EQ(students.login("class_code=XYZ789&student_name=Piet").status, 200) << "per class";
    EXPECT_EQ(students.logout(QJsonDocument(first).toJson()).status, 200);
    EXPECT_EQ(students.login("class_code=ABC123&student_name=Piet").status, 200) << "room again";
    const auto login = [&](const QByteArray& code, const QString& from) {
        return lesson.service->students.login("student_name=S&class_code=" + code, from).status;
    };
    const QByteArray code = lesson.code.toLatin1();
    int refused = 0;
    for (int i = 0; i < 25; ++i) refused += login("ZZZZZZ", "10.0.0.9") == 429;
    EXPECT_EQ(refused, 5) << "20 wrong codes, then a pause";
    EXPECT_EQ(login(code, "10.0.0.9"), 429);
    EXPECT_EQ(login(code, "10.0.0.8"), 200);
    lesson.clock += 11 * 60 * 1000;
    int joined = 0;
    while (joined < limits::loginsPerAddress + 5 && login(code, "10.0.0.9") == 200) ++joined;
    EXPECT_EQ(joined, limits::loginsPerAddress) << "a whole school, but not without end";
}

TEST(ClassFile, RefusesBadClassFilesWithAClearReason) {
    const std::vector<std::pair<QByteArray, QString>> cases = {
        {"{", "not JSON"},
        {R"({"code":"A"})", "expected an array"},
        {R"([{"code":"A1"},{"code":"a1"}])", "appears twice"},
        {R"([{"code":"A1","domains":"a.com"}])", "'domains'"},
        {R"([{"code":"A1","extra":1}])", "unknown field 'extra'"},
        {R"([3])", "not an object"},
    };
    for (const auto& [json, reason] : cases) {
        const ClassFile read = parseClassFile(json);
        EXPECT_TRUE(read.error.contains(reason))
            << json.toStdString() << " -> " << read.error.toStdString();
        EXPECT_TRUE(read.classes.isEmpty());
    }
    EXPECT_TRUE(readClassFile("/nonexistent/classes.json").error.contains("cannot read"));
}

TEST(RequestFraming, FollowsRequestsAndRefusesLargeOnesFromTheHeadAloneInAnyChunking) {
    using Verdict = RequestFraming::Verdict;
    const QByteArray small = "POST /a HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello";
    const QByteArray poll = "GET /s?token=x HTTP/1.1\r\nHost: h\r\n\r\n";
    const QByteArray large = "POST /a HTTP/1.1\r\ncontent-length: 65537\r\n\r\n";
    const auto headOf = [](qsizetype bytes) {  // "GET /aaa...", its blank line in the last 4
        return "GET /" + QByteArray(bytes - 9, 'a') + "\r\n\r\n";
    };
    const QByteArray exact = "POST /a HTTP/1.1\r\nContent-Length: 65536\r\n\r\n" +
                             QByteArray(65536, 'x');  // a "\r\n\r\n"-free body
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
        {"POST /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", Verdict::TooLarge},
        {"GET /" + QByteArray(20000, 'a'), Verdict::HeadTooLarge},
        {headOf(limits::maxHeadBytes), Verdict::Fine, 1},
        {headOf(limits::maxHeadBytes + 1), Verdict::HeadTooLarge},
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
