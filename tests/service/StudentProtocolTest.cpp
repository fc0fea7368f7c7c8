#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <functional>

#include "classes/ClassFile.h"
#include "classes/StudentProtocol.h"
#include "store/SqliteStore.h"
#include "teacher/AdminSecret.h"

namespace {

using namespace kt::service;

const QByteArray classesJson = R"([
  {"code":"abc123","class_name":"3B","teacher_name":"Mevr. Claes","school_name":"Sint-Jan",
   "is_blocked":false,"domains":["chatgpt.com"],"ips":["104.18.0.1"],
   "ip_ranges":[{"start":"1.0.0.0","end":"1.0.0.255"}]},
  {"code":"XYZ789","class_name":"5A","teacher_name":"Dhr. Maes","school_name":"Atheneum"}
])";

SqliteStore& opened(SqliteStore& store) {
    EXPECT_EQ(store.open(), QString());
    return store;
}

// The classes of classesJson in a database in memory, and the students' side of them.
struct Lesson {
    Lesson() { EXPECT_EQ(classes.importClasses(parseClassFile(classesJson).classes), QString()); }
    // The administrator's change of a class.
    ApiReply update(const QString& code, const QByteArray& json) {
        return classes.updateClass(code, json, QStringLiteral("klas.school.be"));
    }
    SqliteStore store{QStringLiteral(":memory:")};
    ClassRegister classes{opened(store)};
    StudentProtocol students{classes};
};

QString errorOf(const ApiReply& reply) {
    return reply.body.value("error").toString();
}

// Malformed requests get 400 and change nothing; the status carries the lists
// and the administrator's changes of them.
TEST(StudentProtocol, MalformedRequestsGet400AndTheStatusCarriesTheAdministratorsChanges) {
    Lesson lesson;
    StudentProtocol& students = lesson.students;
    using Call = std::function<ApiReply(const QByteArray&)>;
    const Call login = [&](const QByteArray& body) { return students.login(body); };
    const Call logout = [&](const QByteArray& body) { return students.logout(body); };
    const Call update = [&](const QByteArray& body) { return lesson.update("ABC123", body); };
    const Call poll = [&](const QByteArray& token) { return students.status(token); };
    const std::vector<std::pair<Call, QList<QByteArray>>> cases = {
        {login,
         {"", "class_code=ABC123", "student_name=Jan", "student_name=%20&class_code=ABC123",
          "student_name=%FF%FE&class_code=ABC123", QByteArray("\x00\x01", 2)}},
        {logout, {"token=x", "[\"token\"]", R"({"token":5})", R"({"token":""})"}},
        {update,
         {"not json", "[]", R"({"is_blocked":"yes"})", R"({"is_blocked":true,"domains":["a",1]})",
          R"({"ip_ranges":[{"start":"1"}]})", R"({"colour":"red"})",
          R"({"domains":["klas.school.be"]})"}},
        {poll, {""}},
    };
    for (const auto& [call, bodies] : cases) {
        for (const QByteArray& body : bodies) {
            const ApiReply reply = call(body);
            EXPECT_EQ(reply.status, 400) << body.toStdString();
            EXPECT_EQ(reply.body.value("success"), false) << body.toStdString();
            EXPECT_FALSE(errorOf(reply).isEmpty()) << body.toStdString();
        }
    }
    EXPECT_EQ(lesson.classes.classSize("ABC123"), 0);
    EXPECT_FALSE(lesson.classes.find("ABC123")->isBlocked) << "a refused change changes nothing";
    EXPECT_EQ(lesson.classes.find("ABC123")->domains, QStringList{"chatgpt.com"});

    const QString token =
        students.login("student_name=Jan&class_code=abc123").body.value("session_token").toString();
    EXPECT_EQ(students.login("student_name=Eva&class_code=NOPE00").body.value("success"), false);
    EXPECT_EQ(students.logout(R"({"token":"never-issued"})").body.value("success"), false);
    EXPECT_EQ(students.status(token).body.value("ip_ranges")[0]["end"], "1.0.0.255");
    EXPECT_EQ(lesson.update("abc123", R"({"is_blocked":true,"domains":["a.com","b.com"]})").status,
              200);
    const QJsonObject status = students.status(token).body;
    EXPECT_EQ(status.value("is_blocked"), true);
    EXPECT_EQ(status.value("domains").toArray(), (QJsonArray{"a.com", "b.com"}));
    EXPECT_EQ(status.value("ips").toArray(), QJsonArray{"104.18.0.1"}) << "untouched";
    EXPECT_EQ(lesson.update("new001", R"({"class_name":"Nieuw"})").status, 200);
    EXPECT_EQ(students.login("student_name=Jan&class_code=New001").status, 200) << "a new class";
}

// The name is checked as it is kept and shown; a full class refuses with a
// reason the application shows, and has room again once a student leaves.
TEST(StudentProtocol, NamesAreKeptCleanedAndAClassHoldsAtMostItsLimit) {
    Lesson lesson;
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
        const ApiReply reply = lesson.students.login("class_code=ABC123&student_name=" + typed);
        EXPECT_EQ(reply.status, kept.isEmpty() ? 400 : 200) << typed.left(80).toStdString();
        EXPECT_EQ(reply.body.value("student_info")["name"].toString().toStdString(),
                  kept.toStdString());
        if (first.isEmpty())
            first.insert("token", reply.body.value("session_token"));
    }
    QStringList kept;
    for (const StudentSession& session : lesson.classes.studentsOf("ABC123"))
        kept << session.studentName;
    kept.sort(), stored.sort();
    EXPECT_EQ(kept.join('|').toStdString(), stored.join('|').toStdString()) << "stored as checked";
    StudentProtocol students(lesson.classes, lesson.classes.classSize("ABC123") + 1);
    EXPECT_EQ(students.login("class_code=ABC123&student_name=Eva").status, 200);
    const ApiReply full = students.login("class_code=ABC123&student_name=Piet");
    EXPECT_EQ(full.status, 403);
    EXPECT_TRUE(errorOf(full).startsWith("Deze klas is vol")) << errorOf(full).toStdString();
    EXPECT_EQ(students.login("class_code=XYZ789&student_name=Piet").status, 200) << "per class";
    EXPECT_EQ(students.logout(QJsonDocument(first).toJson()).status, 200);
    EXPECT_EQ(students.login("class_code=ABC123&student_name=Piet").status, 200) << "room again";
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

TEST(AdminSecret, IsMadeForTheOwnerAloneAndOnlyItOpensTheAdministratorCommand) {
    QTemporaryDir dir;
    const QString path = dir.filePath("admin.secret");
    const AdminSecret made = loadOrCreateAdminSecret(path);
    ASSERT_EQ(made.error, QString());
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(QFile::permissions(path) & others, QFile::Permissions());
    EXPECT_EQ(loadOrCreateAdminSecret(path).value, made.value) << "made once, then kept";
    EXPECT_TRUE(secretMatches(made.value, made.value));
    EXPECT_FALSE(secretMatches(made.value.left(made.value.size() - 1) + "x", made.value));
    EXPECT_FALSE(secretMatches(QByteArray(), QByteArray()));

    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    EXPECT_TRUE(readAdminSecret(path).error.contains("may be read by others"));
    EXPECT_TRUE(readAdminSecret(dir.filePath("missing")).error.contains("cannot read"));
}

}  // namespace
