// The store contract: every method of ServiceStore, the schema and refused
// writes, run alike against SQLite and PostgreSQL so that neither drifts.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QSqlQuery>
#include <functional>

#include "TestDatabase.h"
#include "store/OpenStore.h"

namespace {

using namespace kt::service;
using kt::testing::PostgresCluster;
using kt::testing::TestDatabase;
using Kind = TestDatabase::Kind;

QString shown(const Teacher& t) {
    return QStringLiteral("teacher %1 %2 %3 %4 %5")
        .arg(t.id)
        .arg(t.name, QString::fromLatin1(t.passwordHash))
        .arg(t.mustChangePassword)
        .arg(t.displayName);
}
QString shown(const StoredTeacherSession& s) {
    return QStringLiteral("login %1 %2 %3").arg(s.cookieHash).arg(s.teacherId).arg(s.expiresAtMs);
}
QString shown(const ClassRecord& r) {
    return QStringLiteral("class %1 %2 ").arg(r.teacherId).arg(r.createdAtMs) +
           QJsonDocument(r.toJson()).toJson(QJsonDocument::Compact);
}
QString shown(const StudentSession& s) {
    const StudentReport& r = s.report;
    return QStringLiteral("student %1 %2 %3 %4 %5 %6 %7 %8 ")
               .arg(s.tokenHash, s.classCode, s.studentName, s.deviceId, s.deviceInfo,
                    QString::number(s.joinedAtMs), QString::number(s.lastSeenMs),
                    QString::number(s.departedAtMs)) +
           QStringLiteral("%1 %2 %3 %4 %5")
               .arg(stateName(r.state), QString::number(r.atMs), r.error, QString::number(r.hosts),
                    QString::number(r.rules));
}
QString shown(const LessonEvent& e) {
    return QStringLiteral("event %1 %2 %3 %4 %5 %6 %7 %8 %9")
        .arg(e.classCode, QString::number(e.atMs), kindName(e.kind), e.student, e.detail,
             QString::number(e.classBlocked), stateName(e.state), QString::number(e.hosts),
             QString::number(e.rules));
}

// Everything `store` reads back, one line an item.
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
    return lines.join('\n').toStdString();
}

class StoreContract : public ::testing::TestWithParam<Kind> {
  protected:
    void SetUp() override {
        if (!database.skipReason.empty()) {
            GTEST_SKIP() << database.skipReason;
        }
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
    constexpr qint64 t = 1'700'000'000'123;
    Teacher zoe{0, "zoë.ø@school", "$argon2id$v=19$zoe", true, {}};
    Teacher bert{0, "bert_2", "$argon2id$v=19$bert", false, "Dhr. Ŝmit 😀"};
    ClassRecord first{"ACD347",
                      "3B — Wiskunde 📐",
                      "",
                      "Sint-Jozef (Brugge)",
                      true,
                      {"claude.ai", "chatgpt.com"},
                      {"10.1.2.3", "2001:db8::1"},
                      {{"1.0.0.0", "1.0.0.255"}},
                      0,
                      {},
                      t};
    ClassRecord changed = first,
                second{"BCD349", "5A", "Mevr. Ünal", "", false, {}, {}, {}, 0, {}, t + 1};
    changed.domains = QStringList{"gemini.google.com"};
    changed.ips.clear();
    StudentSession jan{"hash-jan",
                       "ACD347",
                       "Jan 'O Brien\\",
                       "dev-1",
                       "Debian 12",
                       t,
                       t,
                       StudentReport{ReportedState::Failed, t + 3, "Geen rechten ✗", 18, 40}};
    StudentSession eva{"hash-eva", "ACD347", "Éva 李", "", "", t + 1, t + 1, {}};
    StudentSession piet{"hash-piet", "BCD349", "Piet", "dev-2", "", t + 2, t + 2, {}, t + 4};
    const LessonEvent joined{"ACD347", t, LessonEvent::Kind::Joined, "Éva 李", {}};
    const LessonEvent switched{"ACD347", t + 1, LessonEvent::Kind::Switched, {}, "zoë", true};
    const LessonEvent reported{"ACD347", t + 2, LessonEvent::Kind::Reported, "Jan",
                               "",       false, ReportedState::Blocked,      18,
                               40};
    const LessonEvent old{"ACD347", 5, LessonEvent::Kind::LessonEnded, {}, {}};
    struct Step {
        const char* what;
        std::function<bool(ServiceStore&)> write;
        bool done;  // on a database that works
    };
    const std::vector<Step> steps = {
        {"a teacher", [&](ServiceStore& s) { return s.addTeacher(zoe); }, true},
        {"another teacher", [&](ServiceStore& s) { return s.addTeacher(bert); }, true},
        {"a name taken",
         [&](ServiceStore& s) {
             Teacher again{0, zoe.name, "x", true, {}};
             return s.addTeacher(again);
         },
         false},
        {"a password",
         [&](ServiceStore& s) { return s.setPassword(zoe.id, "$argon2id$new", false); }, true},
        {"a display name", [&](ServiceStore& s) { return s.setDisplayName(zoe.id, "Mevr. Zoë"); },
         true},
        {"no such teacher's password",
         [&](ServiceStore& s) { return s.setPassword(zoe.id + bert.id, "h", true); }, false},
        {"no such teacher's name", [&](ServiceStore& s) { return s.setDisplayName(-1, "x"); },
         false},
        {"a key", [&](ServiceStore& s) { return s.serviceKey("cookie", "k1") == "k1"; }, true},
        {"the key kept", [&](ServiceStore& s) { return s.serviceKey("cookie", "k2") == "k1"; },
         true},
        {"a login",
         [&](ServiceStore& s) {
             return s.saveTeacherSession({"c1", zoe.id, t});
         },
         true},
        {"a second",
         [&](ServiceStore& s) {
             return s.saveTeacherSession({"c2", zoe.id, t});
         },
         true},
        {"an old one",
         [&](ServiceStore& s) {
             return s.saveTeacherSession({"c3", bert.id, 5});
         },
         true},
        {"a login again",
         [&](ServiceStore& s) {
             return s.saveTeacherSession({"c1", bert.id, t + 9});
         },
         true},
        {"a logout, and what expired",
         [&](ServiceStore& s) { return s.deleteTeacherSessions("c2", 6); }, true},
        {"a class", [&](ServiceStore& s) { return s.saveClass(first); }, true},
        {"the class changed",
         [&](ServiceStore& s) {
             changed.teacherId = zoe.id;
             return s.saveClass(changed);
         },
         true},
        {"the administrator's class", [&](ServiceStore& s) { return s.saveClass(second); }, true},
        {"a student", [&](ServiceStore& s) { return s.saveSession(jan); }, true},
        {"another student", [&](ServiceStore& s) { return s.saveSession(eva); }, true},
        {"a third", [&](ServiceStore& s) { return s.saveSession(piet); }, true},
        {"a student removed", [&](ServiceStore& s) { return s.deleteSessions({"hash-eva"}); },
         true},
        {"the lesson log",
         [&](ServiceStore& s) {
             return s.addLessonEvents({old, joined, switched, reported});
         },
         true},
        {"its old days gone", [&](ServiceStore& s) { return s.deleteLessonEventsBefore(6); }, true},
        {"last polls",
         [&](ServiceStore& s) {
             return s.saveLastSeen({{"hash-jan", t + 500}, {"gone", 1}});
         },
         true},
    };
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->schemaVersion(), SqlStore::latestSchemaVersion()) << "made on an empty one";
    for (const Step& step : steps) EXPECT_EQ(step.write(*store), step.done) << step.what;

    Teacher zoeNow = zoe;
    zoeNow.passwordHash = "$argon2id$new";
    zoeNow.mustChangePassword = false;
    zoeNow.displayName = "Mevr. Zoë";
    jan.lastSeenMs = t + 500;
    const std::string expected = QStringList{shown(zoeNow),
                                             shown(bert),
                                             shown({"c1", bert.id, t + 9}),
                                             shown(changed),
                                             shown(second),
                                             shown(jan),
                                             shown(piet),
                                             shown(joined),
                                             shown(switched),
                                             shown(reported),
                                             "newest " + shown(reported)}
                                     .join('\n')
                                     .toStdString();
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
    for (const Step& step : steps) EXPECT_FALSE(step.write(*store)) << step.what << ", refused";
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
