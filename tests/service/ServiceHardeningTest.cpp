// ka-tesmar-service as a process: hostile requests get a clear error and
// change nothing; a restart in the middle of a lesson loses nothing.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <functional>

#include "QtTestSupport.h"
#include "TeacherSupport.h"
#include "TestDatabase.h"

namespace {

using kt::testing::addTeacher;
using kt::testing::cookieSet;
using kt::testing::json;
using kt::testing::loginBody;
using kt::testing::RawReply;
using kt::testing::runServiceCommand;
using kt::testing::ServiceProcess;
using kt::testing::TestDatabase;
using kt::testing::testTls;
using Headers = QList<QByteArray>;

const QByteArray jsonType = "Content-Type: application/json";
const QByteArray formType = "Content-Type: application/x-www-form-urlencoded";

class ServiceHardening : public ::testing::Test {
  protected:
    void SetUp() override {
        kt::testing::qtApp();
        database = std::make_unique<TestDatabase>(storeKind());
        if (!database->skipReason.empty()) {
            GTEST_SKIP() << database->skipReason;
        }
        ASSERT_TRUE(testTls().pair.error.isEmpty());
        classes = kt::testing::writeClassesFile(dir, R"([{"code":"ABC123","class_name":"3B"}])");
        start();
    }
    void start(const QStringList& options = {}) {
        service.reset();  // the one before stops first
        const QStringList passwordAndSecret = {"--database-password-file", database->passwordFile,
                                               "--admin-secret", dir.filePath("admin.secret")};
        service = std::make_unique<ServiceProcess>(
            classes, testTls().directory, database->address,
            options + (database->passwordFile.isEmpty() ? QStringList() : passwordAndSecret));
        ASSERT_TRUE(service->started()) << service->output().toStdString();
    }
    RawReply call(const QByteArray& method, const QByteArray& path, const QByteArray& body = {},
                  const Headers& headers = {}, const QString& from = {}) {
        return kt::testing::rawRequest(service->port(), method, path, body, headers, from);
    }
    QString studentToken(const QByteArray& code) {
        const RawReply joined = call("POST", "/Vexlo/api/class-login.php",
                                     "student_name=Jan&class_code=" + code, {formType});
        return json(joined).value("session_token").toString();
    }
    QJsonObject status(const QString& token) {
        return json(call("GET", "/Vexlo/api/class-status.php?token=" + token.toLatin1()));
    }
    // A new teacher, logged in with a password of their own: the headers of their changes.
    // Their browser's device cookie lands in `deviceCookie`.
    Headers teacher(const QString& name) {
        const QString once = addTeacher(*database, name);
        const RawReply login =
            call("POST", "/leerkracht/api/login", loginBody(name, once), {jsonType});
        EXPECT_EQ(login.status, 200) << login.body.toStdString();
        const QByteArray setCookie = cookieSet(login, "kt_leerkracht");
        for (const char* attribute : {"HttpOnly", "Secure", "SameSite=Strict", "Max-Age=43200"})
            EXPECT_TRUE(setCookie.contains(attribute)) << attribute << " in " << setCookie.data();
        const QByteArray device = cookieSet(login, "kt_toestel");
        for (const char* attribute : {"HttpOnly", "Secure", "SameSite=Strict", "Max-Age=34560000"})
            EXPECT_TRUE(device.contains(attribute)) << attribute << " in " << device.data();
        deviceCookie = device.left(device.indexOf(';'));
        const Headers session = {
            jsonType, "Cookie: " + setCookie.left(setCookie.indexOf(';')),
            "X-CSRF-Token: " + json(login).value("csrf").toString().toLatin1()};
        EXPECT_EQ(call("POST", "/leerkracht/api/classes", R"({"class_name":"4C"})", session).status,
                  403)
            << "the one-time password must be changed first";
        for (const auto& [password, expected] :
             {std::pair{"kort", 400}, std::pair{"een goed wachtwoord", 200}})
            EXPECT_EQ(call("POST", "/leerkracht/api/password",
                           QByteArray(R"({"password":")") + password + "\"}", session)
                          .status,
                      expected);
        return session;
    }

    // The code of a new class of the teacher whose headers these are.
    QByteArray newClass(const Headers& teacher) {
        const RawReply made =
            call("POST", "/leerkracht/api/classes", R"({"class_name":"4C"})", teacher);
        EXPECT_EQ(made.status, 200) << made.body.toStdString();
        return json(made).value("class")["code"].toString().toLatin1();
    }
    // The header that opens the administrator's PUT.
    QByteArray adminSecret() {
        QFile file(service->adminSecretPath());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return "X-Admin-Secret: " + file.readAll().trimmed();
    }

    // SQLite unless a test of both stores says otherwise.
    virtual TestDatabase::Kind storeKind() const { return TestDatabase::Kind::Sqlite; }

    std::unique_ptr<TestDatabase> database;

    QTemporaryDir dir;
    QString classes;
    std::unique_ptr<ServiceProcess> service;
    QByteArray deviceCookie;
};

TEST_F(ServiceHardening, HostileRequestsGetAClearErrorAndChangeNothing) {
    const Headers anna = teacher("anna");
    const QByteArray cookie = anna.at(1), csrf = anna.at(2);
    const QByteArray secret = adminSecret();
    const QByteArray classBody = R"({"class_name":"4C"})", on = R"({"is_blocked":true})";
    const QByteArray huge(100 * 1024, 'a'), wrongSecret = "X-Admin-Secret: " + QByteArray(64, '0');
    const QByteArray badCsrf = "X-CSRF-Token: 0";
    const QByteArray join = "/Vexlo/api/class-login.php", poll = "/Vexlo/api/class-status.php",
                     leave = "/Vexlo/api/class-logout.php", admin = "/admin/classes/ABC123",
                     report = "/Vexlo/api/class-report.php", login = "/leerkracht/api/login",
                     classesApi = "/leerkracht/api/classes";
    struct Case {
        const char* what;
        QByteArray method, path, body;
        Headers headers;
        int status;
    };
    const std::vector<Case> cases = {
        {"oversized login", "POST", join, huge, {}, 413},
        {"oversized change", "POST", classesApi, huge, anna, 413},
        {"announced 300 MB", "POST", login, {}, {"Content-Length: 300000000"}, 413},
        {"student form garbage", "POST", join, "garbage\xff", {formType}, 400},
        {"name not UTF-8", "POST", join, "student_name=%FF&class_code=ABC123", {formType}, 400},
        {"status without token", "GET", poll, {}, {}, 400},
        {"broken logout JSON", "POST", leave, "{\"token\":", {jsonType}, 400},
        {"broken report JSON", "POST", report, "{\"token\":", {jsonType}, 400},
        {"report of no session",
         "POST",
         report,
         R"({"token":"x","state":"free","hosts":0,"rules":0})",
         {jsonType},
         401},
        {"admin change not an object", "PUT", admin, "[1,2]", {jsonType, secret}, 400},
        {"broken login JSON", "POST", login, "{\"name\":", {jsonType}, 400},
        {"broken JSON", "POST", classesApi, "{", anna, 400},
        {"a form, not JSON", "POST", classesApi, "class_name=x", {formType, cookie, csrf}, 400},
        {"no CSRF token", "POST", classesApi, classBody, {jsonType, cookie}, 403},
        {"wrong CSRF token", "POST", classesApi, classBody, {jsonType, cookie, badCsrf}, 403},
        {"wrong cookie", "GET", classesApi, {}, {"Cookie: kt_leerkracht=abc"}, 401},
        {"no cookie", "POST", classesApi, classBody, {jsonType, csrf}, 401},
        {"unknown page path", "GET", "/leerkracht/api/nothing", {}, {cookie}, 404},
        {"unknown path", "GET", "/etc/passwd", {}, {}, 404},
        {"no admin secret", "PUT", admin, on, {jsonType}, 403},
        {"wrong admin secret", "PUT", admin, on, {jsonType, wrongSecret}, 403},
        {"unknown session", "GET", poll + "?token=abc", {}, {}, 401},
    };
    for (const Case& c : cases) {
        const RawReply reply = call(c.method, c.path, c.body, c.headers);
        EXPECT_EQ(reply.status, c.status) << c.what << ": " << reply.body.left(200).toStdString();
        EXPECT_EQ(json(reply).value("success"), false) << c.what;
        EXPECT_FALSE(json(reply).value("error").toString().isEmpty()) << c.what;
    }

    EXPECT_EQ(call("GET", "/leerkracht/api/classes", {}, {cookie}).body,
              R"({"classes":[],"success":true})")
        << "no class was made";
    const QString token = studentToken("abc123");
    EXPECT_EQ(status(token).value("is_blocked"), false) << "the class was not switched";
    EXPECT_EQ(call("GET", "/").body, "Ka Tesmar klasdienst\n") << "it still serves";
    EXPECT_TRUE(service->waitForOutput("POST /Vexlo/api/class-login.php 400"));
    EXPECT_TRUE(service->waitForOutput("GET /etc/passwd 404"));
    EXPECT_FALSE(service->output().contains(token)) << "tokens stay out of the log";
}

// The JSON members of a class that blocks `count` names: n0.example.org and on.
QByteArray manyNames(int count) {
    QStringList names;
    for (int i = 0; i < count; ++i) names << QStringLiteral("n%1.example.org").arg(i);
    return R"("domains":[")" + names.join(R"(",")").toLatin1() + R"("])";
}

// A class comes in by the class file, the administrator's PUT or the
// teacher's page; each refuses the same bad class with the same words, and
// nothing of it comes in.
TEST_F(ServiceHardening, EveryWayInRefusesTheSameBadClassTheSameWay) {
    const Headers anna = teacher("anna");
    const Headers admin = {jsonType, adminSecret()};
    const QByteArray code = newClass(anna);
    ASSERT_EQ(call("PUT", "/admin/classes/" + code, "{" + manyNames(500) + "}", admin).status, 200)
        << "a full list of names to block";
    const QByteArray addName = "/leerkracht/api/classes/" + code + "/domains";
    struct Case {
        const char* what;
        QByteArray fields;  // the class's JSON members, as the file and the PUT give them
        QByteArray pagePath, pageBody;  // the page's way to the same, if it has one
        QString refusal;
        int status = 400;
        QByteArray code = "BAD1";
    };
    const std::vector<Case> cases = {
        {"the students' own computer", R"("domains":["localhost"])", addName,
         R"({"add":"localhost"})", "'localhost' is de computer van de leerling zelf"},
        {"an address as a name", R"("domains":["10.0.0.1"])", addName, R"({"add":"10.0.0.1"})",
         "'10.0.0.1' is een adres, geen naam"},
        {"a name twice", R"("domains":["n1.example.org","n1.example.org"])", addName,
         R"({"add":"n1.example.org"})", "n1.example.org staat al in de lijst", 409},
        {"one name too many", manyNames(501), addName, R"({"add":"extra.example.org"})",
         "De lijst is vol (500 namen)"},
        {"a class name too long", R"("class_name":")" + QByteArray(101, 'x') + '"',
         "/leerkracht/api/classes", R"({"class_name":")" + QByteArray(101, 'x') + "\"}",
         "Geef de klas een naam (hoogstens 100 tekens)"},
        {"a network too wide",
         R"("ips":["8.0.0.0/7"])",
         {},
         {},
         "'8.0.0.0/7' is een te groot netwerk"},
        {"the computer's own address",
         R"("ips":["127.0.0.1"])",
         {},
         {},
         "'127.0.0.1' is een adres van de computer zelf"},
        {"no address", R"("ips":["10.0.0.300"])", {}, {}, "'10.0.0.300' is geen geldig adres"},
        {"a range from a name",
         R"("ip_ranges":[{"start":"a.com","end":"1.1.1.1"}])",
         {},
         {},
         "'a.com' is geen geldig adres"},
        {"a lone surrogate", R"("school_name":"\ud800")", {}, {}, "geen geldige Unicode"},
        {"a code with a dash",
         R"("class_name":"x")",
         {},
         {},
         "Een klascode is 1 tot 32",
         400,
         "AB-C"},
    };
    for (const Case& c : cases) {
        const QString file =
            kt::testing::writeClassesFile(dir, R"([{"code":")" + c.code + "\"," + c.fields + "}]");
        // A class file that passes gets as far as the folder of the TLS files, which it cannot
        // make.
        const auto [status, output] =
            runServiceCommand({"serve", "--classes", file, "--database", ":memory:", "--tls-dir",
                               "/dev/null/tls", "--listen", "127.0.0.1:0"});
        EXPECT_TRUE(status == 2 && output.contains(c.refusal))
            << c.what << ": " << output.toStdString();
        const RawReply put = call("PUT", "/admin/classes/" + c.code, "{" + c.fields + "}", admin);
        EXPECT_EQ(put.status, c.status) << c.what << ": " << put.body.left(200).toStdString();
        EXPECT_TRUE(json(put).value("error").toString().contains(c.refusal)) << c.what;
        if (c.pagePath.isEmpty())
            continue;
        const RawReply page = call("POST", c.pagePath, c.pageBody, anna);
        EXPECT_EQ(page.status, c.status) << c.what << ": " << page.body.left(200).toStdString();
        EXPECT_TRUE(json(page).value("error").toString().contains(c.refusal)) << c.what;
    }
    EXPECT_EQ(call("PUT", "/admin/classes/BAD1", R"({"class_name":"x"})", admin).status, 200);
    EXPECT_EQ(json(call("GET", "/leerkracht/api/classes/" + code, {}, anna))
                  .value("class")["domains"]
                  .toArray()
                  .size(),
              500)
        << "nothing of the refused changes came in";
    EXPECT_EQ(
        json(call("GET", "/leerkracht/api/classes", {}, anna)).value("classes").toArray().size(),
        1);
}

// Pupils with a script against the teacher's login and the class: the
// teacher still gets in, and what is kept and shown stays small and plain.
TEST_F(ServiceHardening, HostileLoginsLeaveTheLessonToTheTeacher) {
    start({"--max-students", "3"});
    const Headers anna = teacher("anna");
    ASSERT_FALSE(deviceCookie.isEmpty());
    ASSERT_EQ(
        call("POST", "/leerkracht/api/display-name", R"({"display_name":"Mevr. De Vries"})", anna)
            .status,
        200);
    const QByteArray code = newClass(anna);
    const QString bertOnce = addTeacher(*database, "bert");
    const auto login = [&](const QString& name, const QString& password, const QByteArray& cookie,
                           const QString& from) {
        return call("POST", "/leerkracht/api/login", loginBody(name, password),
                    cookie.isEmpty() ? Headers{jsonType} : Headers{jsonType, "Cookie: " + cookie},
                    from);
    };
    const auto join = [&](const QByteArray& name) {
        return call("POST", "/Vexlo/api/class-login.php",
                    "student_name=" + name + "&class_code=" + code, {formType}, "127.0.0.30");
    };
    RawReply toldToWait;  // the last refusal of a guess
    struct Case {
        const char* what;
        std::function<void()> attack;    // what the pupils do first
        std::function<RawReply()> then;  // what the teacher or the next student does
        int status;
        QByteArray inBody;
    };
    const std::vector<Case> cases = {
        {"anna's password guessed from twelve other addresses, then her own browser",
         [&] {
             for (int i = 0; i < 12; ++i)
                 if (RawReply guess =
                         login("anna", "fout", {}, QStringLiteral("127.0.1.%1").arg(i + 1));
                     guess.status == 429)
                     toldToWait = guess;
         },
         [&] { return login("anna", "een goed wachtwoord", deviceCookie, {}); }, 200,
         R"("success":true)"},
        {"31 mistakes behind a school's one address, then a teacher on a new browser",
         [&] {
             for (int i = 0; i < 31; ++i)
                 login(QStringLiteral("leerkracht%1").arg(i), "fout", {}, "127.0.2.1");
         },
         [&] { return login("bert", bertOnce, {}, "127.0.2.1"); }, 200, R"("success":true)"},
        {"a name padded with 65,000 spaces",
         {},
         [&] { return join("Jan" + QByteArray(65000, '+')); },
         200,
         R"("student_info":{"name":"Jan"})"},
        {"a name with direction, format and control characters",
         {},
         [&] { return join("%E2%80%AEnaJ%E2%80%8B%07%C2%85"); },
         200,
         R"("student_info":{"name":"naJ"})"},
        {"a name of nothing but format characters",
         {},
         [&] { return join("%E2%80%AE%E2%80%8B"); },
         400,
         "verplicht"},
        {"the students see the display name, never the login name",
         {},
         [&] { return join("Eva"); },
         200,
         R"("teacher_name":"Mevr. De Vries")"},
        {"a full class", {}, [&] { return join("Piet"); }, 403, "Deze klas is vol"},
    };
    for (const Case& c : cases) {
        if (c.attack)
            c.attack();
        const RawReply reply = c.then();
        EXPECT_EQ(reply.status, c.status) << c.what << ": " << reply.body.left(300).toStdString();
        EXPECT_TRUE(reply.body.contains(c.inBody)) << c.what << ": " << reply.body.left(300).data();
    }
    // Each guess past the first few waits twice as long: one of twelve in a row came too early.
    EXPECT_TRUE(json(toldToWait)
                    .value("error")
                    .toString()
                    .startsWith("Te veel mislukte pogingen: probeer het over"))
        << toldToWait.body.data();
    EXPECT_GT(toldToWait.header("Retry-After").toInt(), 0);
    const QJsonArray students = json(call("GET", "/leerkracht/api/classes/" + code, {}, anna))
                                    .value("class")
                                    .toObject()
                                    .value("students")
                                    .toArray();
    QStringList names;
    for (const QJsonValue& student : students) names << student.toObject().value("name").toString();
    EXPECT_EQ(names, (QStringList{"Jan", "naJ", "Eva"})) << "as kept and shown on the page";
}

class ServiceOnBothStores : public ServiceHardening,
                            public ::testing::WithParamInterface<TestDatabase::Kind> {
    TestDatabase::Kind storeKind() const override { return GetParam(); }
};

TEST_P(ServiceOnBothStores, ARestartInTheMiddleKeepsTheClassTheSwitchAndEverySession) {
    const Headers anna = teacher("anna");
    const QByteArray code = newClass(anna);
    const QString token = studentToken(code);
    ASSERT_FALSE(token.isEmpty());
    const QByteArray switchPath = "/leerkracht/api/classes/" + code + "/blocked";
    ASSERT_EQ(call("POST", switchPath, R"({"is_blocked":true})", anna).status, 200);
    const QByteArray blocked =
        QJsonDocument(
            QJsonObject{{"token", token}, {"state", "blocked"}, {"hosts", 18}, {"rules", 40}})
            .toJson();
    EXPECT_EQ(call("POST", "/Vexlo/api/class-report.php", blocked, {jsonType}).status, 200);

    start();
    EXPECT_EQ(status(token).value("success"), true) << "the student's next poll just works";
    EXPECT_EQ(status(token).value("is_blocked"), true) << "the switch, from the database";
    const QByteArray classPath = "/leerkracht/api/classes/" + code;
    const QJsonObject shown = json(call("GET", classPath, {}, anna)).value("class").toObject();
    EXPECT_EQ(shown.value("students")[0]["state"], "blocked") << "the report, from the database";
    EXPECT_EQ(shown.value("blocked_count"), 1);
    // The teacher is still logged in, and the page's CSRF token still holds.
    EXPECT_EQ(call("POST", switchPath, R"({"is_blocked":false})", anna).status, 200);
    EXPECT_EQ(status(token).value("is_blocked"), false);
    // The page's other changes: a name to block, a student sent away, the lesson ended.
    EXPECT_EQ(call("POST", classPath + "/domains", R"({"add":"ai.example.org"})", anna).status,
              200);
    EXPECT_TRUE(status(token).value("domains").toArray().contains("ai.example.org"));
    const QString other = studentToken(code);
    const QJsonArray students = json(call("GET", classPath, {}, anna))
                                    .value("class")
                                    .toObject()
                                    .value("students")
                                    .toArray();
    const QByteArray sentAway = students.last().toObject().value("id").toString().toLatin1();
    EXPECT_EQ(call("POST", classPath + "/students/" + sentAway + "/remove", "{}", anna).status,
              200);
    EXPECT_EQ(status(other).value("success"), false);
    EXPECT_EQ(call("POST", classPath + "/end", "{}", anna).status, 200);
    EXPECT_EQ(status(token).value("success"), false) << "the lesson is over";
    // The lesson's log, on the page and as a file: today's, and yesterday's near midnight.
    QByteArray file, onPage;
    const QDate today = QDateTime::currentDateTimeUtc().date();
    for (const QDate& day : {today.addDays(-1), today}) {
        const QByteArray query = "?tz=UTC&day=" + day.toString(Qt::ISODate).toLatin1();
        const RawReply csv = call("GET", classPath + "/log.csv" + query, {}, anna);
        EXPECT_EQ(csv.status, 200) << csv.body.toStdString();
        EXPECT_EQ(csv.header("Content-Type"), "text/csv; charset=utf-8");
        EXPECT_TRUE(
            csv.header("Content-Disposition").startsWith("attachment; filename=\"logboek-"));
        file += csv.body;
        onPage += QJsonDocument(json(call("GET", classPath + query, {}, anna))
                                    .value("class")
                                    .toObject()
                                    .value("log")
                                    .toArray())
                      .toJson();
    }
    for (const char* told : {"Blokkering aan door anna", "Geblokkeerd (18 namen, 40 adressen)",
                             "Verwijderd door anna", "Les beëindigd door anna"}) {
        EXPECT_TRUE(file.contains(told)) << told << " in\n" << file.toStdString();
        EXPECT_TRUE(onPage.contains(told)) << told << " in\n" << onPage.toStdString();
    }
    EXPECT_EQ(call("GET", classPath + "/log.csv?day=gisteren", {}, anna).status, 400);
    EXPECT_EQ(call("POST", "/leerkracht/api/logout", "{}", anna).status, 200);
    start();
    EXPECT_EQ(call("GET", "/leerkracht/api/session", {}, anna).status, 401)
        << "logged out for good";
}

INSTANTIATE_TEST_SUITE_P(ServiceHardening, ServiceOnBothStores,
                         ::testing::Values(TestDatabase::Kind::Sqlite,
                                           TestDatabase::Kind::Postgres),
                         kt::testing::kindName);

}  // namespace
