// ka-tesmar-service migrate: a school's SQLite database copied to a
// throwaway PostgreSQL, checked row for row or not copied at all; the real
// service then runs on the copy as it did on the file.
#include <gtest/gtest.h>

#include <QSqlQuery>

#include "ServiceFixture.h"
#include "classes/ClassRegister.h"
#include "classes/StudentProtocol.h"
#include "store/OpenStore.h"
#include "teacher/TeacherAccounts.h"

namespace {

using namespace kt::service;
using namespace kt::testing;

class MigrateCommand : public ServiceTest {
    TestDatabase::Kind storeKind() const override { return TestDatabase::Kind::Postgres; }
};

TEST_F(MigrateCommand, CopiesASchoolRowForRowOrNothingAndTheServiceRunsOnTheCopy) {
    const TestDatabase& target = *database;
    const QString file = dir.filePath("school.db");
    QString error, password, token;
    {
        auto school = openStore(file, {}, error);
        ASSERT_TRUE(school) << error.toStdString();
        password = TeacherAccounts::add(*school, "anna").value_or(QString());
        const qint64 anna = school->teacherByName("anna").value_or(Teacher{}).id;
        ClassRegister classes(*school);
        ClassRecord record{"ACD347", "3B", "",   "Sint-Jan", true, {"claude.ai"},
                           {},       {},   anna, {},         1};
        ASSERT_EQ(classes.enter(record, "127.0.0.1").outcome, ClassEntry::Outcome::Entered);
        token = StudentProtocol(classes)
                    .login("student_name=Zo%C3%AB&class_code=ACD347", "p")
                    .body.value("session_token")
                    .toString();
        ASSERT_FALSE(token.isEmpty() || password.isEmpty());
    }
    const auto migrate = [&](const QStringList& options) {
        return runServiceCommand(QStringList{"migrate", "--from", file, "--to"} + options);
    };
    const QStringList to = {target.address, "--database-password-file", target.passwordFile};
    // A target that changes what it is given: a trigger stands in for any such difference.
    auto copy = openStoreOf(target);
    ASSERT_TRUE(copy);
    QSqlQuery sql(copy->database());
    for (const char* statement : {"CREATE FUNCTION tamper() RETURNS trigger AS $$ BEGIN "
                                  "NEW.student_name := 'x'; RETURN NEW; END $$ LANGUAGE plpgsql",
                                  "CREATE TRIGGER tamper BEFORE INSERT ON sessions FOR EACH ROW "
                                  "EXECUTE FUNCTION tamper()"})
        ASSERT_TRUE(sql.exec(statement)) << statement;
    const QString withPassword = QString(target.address).replace("//ka@", "//ka:geheim@");
    struct Case {
        const char* what;
        QStringList options;
        int status;
        QString said;
        int teachers;  // in the target afterwards: all or nothing
    };
    const std::vector<Case> cases = {
        {"a copy that differs", to, 1,
         "nothing was copied: a row of sessions differs in the copy (student_name)", 0},
        {"a password in the address", {withPassword}, 1, "never on the command line", 0},
        {"the copy", to, 0, "sessions: 1 row", 1},
        {"again", to, 1, "already holds data", 1},
        {"again, replacing", to + QStringList{"--replace"}, 0, "teachers: 1 row", 1},
    };
    for (const Case& c : cases) {
        const auto [status, output] = migrate(c.options);
        EXPECT_EQ(status, c.status) << c.what << ": " << output.toStdString();
        EXPECT_TRUE(output.contains(c.said)) << c.what << ": " << output.toStdString();
        ASSERT_TRUE(sql.exec("SELECT count(*) FROM teachers") && sql.next());
        EXPECT_EQ(sql.value(0).toInt(), c.teachers) << c.what;
        sql.exec("DROP TRIGGER IF EXISTS tamper ON sessions");  // the first case's alone
    }
    copy.reset();

    start();
    EXPECT_EQ(status(token).value("is_blocked"), true)
        << "the student's session and the class's switch";
    EXPECT_EQ(call("POST", "/leerkracht/api/login", loginBody("anna", password), {jsonType}).status,
              200);
    EXPECT_FALSE(addTeacher(target, "bert").isEmpty())
        << "numbering goes on after the copied teachers";
}

}  // namespace
