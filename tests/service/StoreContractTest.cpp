// The store contract: every method of ServiceStore, the schema and refused
// writes, run alike against SQLite and PostgreSQL so that neither drifts.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QSqlQuery>
#include <QVariant>

#include "TestDatabase.h"
#include "store/OpenStore.h"

namespace {

using namespace kt::service;
using kt::testing::PostgresCluster;
using kt::testing::TestDatabase;
using Kind = TestDatabase::Kind;

// The parts in one line, apart by spaces.
template <typename... Parts>
QString line(const Parts&... parts) {
    return QStringList{QVariant(parts).toString()...}.join(' ');
}
QString shown(const Teacher& t) {
    return line("teacher", t.id, t.name, t.passwordHash, t.mustChangePassword, t.displayName);
}
QString shown(const StoredTeacherSession& s) {
    return line("login", s.cookieHash, s.teacherId, s.expiresAtMs);
}
QString shown(const ClassRecord& r) {
    return line("class", r.teacherId, r.createdAtMs,
                QJsonDocument(r.toJson()).toJson(QJsonDocument::Compact));
}
QString shown(const StudentSession& s) {
    return line("student", s.tokenHash, s.classCode, s.studentName, s.deviceId, s.deviceInfo,
                s.joinedAtMs, s.lastSeenMs, s.departedAtMs, stateName(s.report.state),
                s.report.atMs, s.report.error, s.report.hosts, s.report.rules);
}
QString shown(const LessonEvent& e) {
    return line("event", e.classCode, e.atMs, kindName(e.kind), e.student, e.detail, e.classBlocked,
                stateName(e.state), e.hosts, e.rules);
}

constexpr qint64 t = 1'700'000'000'123;

// Everything `store` reads back, one line an item: all of it, then single
// items as another instance reads them again.
std::string contents(ServiceStore& store, const QList<qint64>& teacherIds) {
    QStringList lines;
    for (const qint64 id : teacherIds)
        if (const auto teacher = store.teacherById(id))
            lines << shown(*teacher);
    for (const auto& session : store.loadTeacherSessions()) lines << shown(session);
    for (const auto& record : store.loadClasses()) lines << shown(record);
    for (const auto& session : store.loadSessions()) lines << shown(session);
    for (const auto& event : store.lessonEvents("ACD347", 0, 1LL << 60, 10)) lines << shown(event);
    for (const auto& newest : store.lessonEvents("ACD347", 0, 1LL << 60, 1))
        lines << "newest " + shown(newest);
    if (const auto one = store.loadClass("BCD349"))
        lines << "one " + shown(*one);
    for (const auto& session : store.loadSessionsOf("BCD349"))
        lines << "of BCD349 " + shown(session);
    if (const auto one = store.loadSession("hash-jan"))
        lines << "one " + shown(*one);
    if (const auto one = store.loadTeacherSession("c1"))
        lines << "one " + shown(*one);
    for (const auto& [hash, at] : store.lastSeenSince(t + 2)) lines << line("polled", hash, at);
    for (const qint64 at : store.loginFailures("account:zoë", 0)) lines << line("failed", at);
    return lines.join('\n').toStdString();
}

class StoreContract : public ::testing::TestWithParam<Kind> {
  protected:
    void SetUp() override {
        if (!database.skipReason.empty())
            GTEST_SKIP() << database.skipReason;
    }
    std::unique_ptr<SqlStore> open(const QString& expectedError = {}) {
        QString error;
        auto store = openStore(database.address, database.passwordFile, error);
        EXPECT_TRUE(expectedError.isEmpty() ? error.isEmpty() : error.contains(expectedError))
            << error.toStdString();
        return store;
    }
    // Makes every further write fail, as a read-only disk or a stopped server does.
    void breakDatabase(SqlStore& store) {
        ASSERT_TRUE(GetParam() == Kind::Postgres
                        ? PostgresCluster::shared().stop()
                        : QSqlQuery(store.database()).exec("PRAGMA query_only = ON"));
    }
    void repairDatabase() {
        ASSERT_TRUE(GetParam() == Kind::Sqlite || PostgresCluster::shared().start());
    }

    TestDatabase database{GetParam()};
};

TEST_P(StoreContract, KeepsWhatItIsGivenAcrossOpeningsAndRefusesWritesItCannotMake) {
    Teacher zoe{0, "zoë.ø@school", "$argon2id$v=19$zoe", true, {}};
    Teacher bert{0, "bert_2", "$argon2id$v=19$bert", false, "Dhr. Ŝmit 😀"};
    ClassRecord first{
        "ACD347", "3B — Wiskunde 📐", "", "Sint-Jozef (Brugge)", true, {}, {}, {}, 0, {}, t};
    first.domains = {"claude.ai", "chatgpt.com"}, first.ips = {"10.1.2.3", "2001:db8::1"};
    first.ipRanges = {{"1.0.0.0", "1.0.0.255"}};
    ClassRecord changed = first,
                second{"BCD349", "5A", "Mevr. Ünal", "", false, {}, {}, {}, 0, {}, t + 1};
    changed.domains = QStringList{"gemini.google.com"};
    changed.ips.clear();
    StudentSession jan{"hash-jan", "ACD347", "Jan 'O Brien\\", "dev-1", "Debian 12", t, t, {}};
    jan.report = {ReportedState::Failed, t + 3, "Geen rechten ✗", 18, 40};
    StudentSession eva{"hash-eva", "ACD347", "Éva 李", "", "", t + 1, t + 1, {}};
    StudentSession piet{"hash-piet", "BCD349", "Piet", "dev-2", "", t + 2, t + 2, {}, t + 4};
    const LessonEvent joined{"ACD347", t, LessonEvent::Kind::Joined, "Éva 李", {}};
    const LessonEvent switched{"ACD347", t + 1, LessonEvent::Kind::Switched, {}, "zoë", true};
    const LessonEvent reported{"ACD347", t + 2, LessonEvent::Kind::Reported, "Jan",
                               "",       false, ReportedState::Blocked,      18,
                               40};
    const LessonEvent old{"ACD347", 5, LessonEvent::Kind::LessonEnded, {}, {}};
    // Every kind of write in turn: done on a database that `works` (unless refused anyway),
    // refused on a broken one.
    const auto writeAll = [&](ServiceStore& s, bool works) {
        const auto expect = [&](const char* what, bool written, bool done = true) {
            EXPECT_EQ(written, works && done) << what << (works ? "" : ", refused");
        };
        expect("a teacher", s.addTeacher(zoe));
        expect("another teacher", s.addTeacher(bert));
        Teacher again{0, zoe.name, "x", true, {}};
        expect("a name taken", s.addTeacher(again), false);
        expect("a password", s.setPassword(zoe.id, "$argon2id$new", false));
        expect("a display name", s.setDisplayName(zoe.id, "Mevr. Zoë"));
        expect("no such teacher's password", s.setPassword(zoe.id + bert.id, "h", true), false);
        expect("no such teacher's name", s.setDisplayName(-1, "x"), false);
        expect("a key", s.serviceKey("cookie", "k1") == "k1");
        expect("the key kept", s.serviceKey("cookie", "k2") == "k1");
        expect("a login", s.saveTeacherSession({"c1", zoe.id, t}));
        expect("a second", s.saveTeacherSession({"c2", zoe.id, t}));
        expect("an old one", s.saveTeacherSession({"c3", bert.id, 5}));
        expect("a login again", s.saveTeacherSession({"c1", bert.id, t + 9}));
        expect("a logout, and what expired", s.deleteTeacherSessions("c2", 6));
        expect("a class", s.saveClass(first));
        changed.teacherId = zoe.id;
        expect("the class changed", s.saveClass(changed));
        expect("the administrator's class", s.saveClass(second));
        expect("a student", s.saveSession(jan));
        expect("another student", s.saveSession(eva));
        expect("a third", s.saveSession(piet));
        expect("a student removed", s.deleteSessions({"hash-eva"}));
        expect("the lesson log", s.addLessonEvents({old, joined, switched, reported}));
        expect("its old days gone", s.deleteLessonEventsBefore(6));
        expect("last polls", s.saveLastSeen({{"hash-jan", t + 500}, {"gone", 1}}));
        expect("an earlier poll, from another instance", s.saveLastSeen({{"hash-jan", t + 100}}));
        expect("login failures, two in one millisecond",
               s.addLoginFailure("account:zoë", t - 10) &&
                   s.addLoginFailure("account:zoë", t + 1) &&
                   s.addLoginFailure("account:zoë", t + 1) && s.addLoginFailure("account:x", t));
        expect("one of them taken back", s.removeLoginFailure("account:zoë", t + 1));
        expect("the old ones gone", s.deleteLoginFailuresBefore(t - 10));
    };
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->schemaVersion(), SqlStore::latestSchemaVersion()) << "made on an empty one";
    writeAll(*store, true);

    const Teacher zoeNow{zoe.id, zoe.name, "$argon2id$new", false, "Mevr. Zoë"};
    jan.lastSeenMs = t + 500;
    const StoredTeacherSession bertsLogin{"c1", bert.id, t + 9};
    QStringList lines;
    lines << shown(zoeNow) << shown(bert) << shown(bertsLogin) << shown(changed) << shown(second)
          << shown(jan) << shown(piet) << shown(joined) << shown(switched) << shown(reported)
          << "newest " + shown(reported) << "one " + shown(second) << "of BCD349 " + shown(piet)
          << "one " + shown(jan) << "one " + shown(bertsLogin)
          << line("polled", "hash-jan", t + 500) << line("failed", t + 1);
    const std::string expected = lines.join('\n').toStdString();
    const QList<qint64> ids = {zoe.id, bert.id};
    EXPECT_EQ(contents(*store, ids), expected);
    EXPECT_EQ(shown(store->teacherByName("zoë.ø@school").value_or(Teacher{})).toStdString(),
              shown(zoeNow).toStdString());
    EXPECT_FALSE(store->teacherByName("nobody") || store->teacherById(-1));
    store.reset();

    store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->schemaVersion(), SqlStore::latestSchemaVersion()) << "opened again";
    EXPECT_EQ(contents(*store, ids), expected);
    breakDatabase(*store);
    writeAll(*store, false);
    contents(*store, ids);  // reading a broken database is no crash either
    store.reset();
    repairDatabase();
    store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(contents(*store, ids), expected) << "a refused write changed nothing";
}

TEST_P(StoreContract, ANewerUnreachableOrForeignDatabaseIsRefusedByName) {
    const bool postgres = GetParam() == Kind::Postgres;
    {
        auto store = open();
        ASSERT_TRUE(store);
        EXPECT_TRUE(QSqlQuery(store->database())
                        .exec(postgres ? "UPDATE schema_version SET version = 99"
                                       : "PRAGMA user_version = 99"));
    }
    EXPECT_FALSE(open(database.address + " was written by a newer version (schema 99"));

    if (postgres) {
        ASSERT_TRUE(PostgresCluster::shared().stop());
        EXPECT_FALSE(open("cannot connect to " + database.address));
        ASSERT_TRUE(PostgresCluster::shared().start());
        database.address = PostgresCluster::shared().newDatabase();
        auto other = open();
        ASSERT_TRUE(other && QSqlQuery(other->database()).exec("DROP TABLE schema_version"));
    } else {
        const QString kept = database.address;
        database.address = database.dir.filePath("missing/service.db");
        EXPECT_FALSE(open("cannot open " + database.address));
        database.address = kept;
        QFile file(database.address);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
    }
    EXPECT_FALSE(open(database.address + " is not a database of this service"));
}

INSTANTIATE_TEST_SUITE_P(BothStores, StoreContract, ::testing::Values(Kind::Sqlite, Kind::Postgres),
                         kt::testing::kindName);

}  // namespace
