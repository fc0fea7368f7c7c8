// ka-tesmar-service as a process: hostile requests get a clear error and
// change nothing; a restart in the middle of a lesson loses nothing.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "QtTestSupport.h"

namespace {

using kt::testing::RawReply;
using kt::testing::runServiceCommand;
using kt::testing::ServiceProcess;
using kt::testing::testTls;
using Headers = QList<QByteArray>;

const QByteArray jsonType = "Content-Type: application/json";
const QByteArray formType = "Content-Type: application/x-www-form-urlencoded";

QJsonObject json(const RawReply& reply) {
    return QJsonDocument::fromJson(reply.body).object();
}

class ServiceHardening : public ::testing::Test {
  protected:
    void SetUp() override {
        kt::testing::qtApp();
        ASSERT_TRUE(testTls().pair.error.isEmpty());
        classes = kt::testing::writeClassesFile(dir, R"([{"code":"ABC123","class_name":"3B"}])");
        start();
    }
    void start() {
        service.reset();  // the one before stops first
        service = std::make_unique<ServiceProcess>(classes, testTls().directory,
                                                   dir.filePath("service.db"));
        ASSERT_TRUE(service->started()) << service->output().toStdString();
    }
    RawReply call(const QByteArray& method, const QByteArray& path, const QByteArray& body = {},
                  const Headers& headers = {}) {
        return kt::testing::rawRequest(service->port(), method, path, body, headers);
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
    Headers teacher(const QString& name) {
        const auto [added, output] =
            runServiceCommand({"teacher", "add", name, "--database", dir.filePath("service.db")});
        EXPECT_EQ(added, 0) << output.toStdString();
        const QString once =
            QRegularExpression("one-time password: (\\S+)").match(output).captured(1);
        const RawReply login = call(
            "POST", "/leerkracht/api/login",
            QJsonDocument(QJsonObject{{"name", name}, {"password", once}}).toJson(), {jsonType});
        EXPECT_EQ(login.status, 200) << login.body.toStdString();
        const QByteArray setCookie = login.header("Set-Cookie");
        for (const char* attribute : {"HttpOnly", "Secure", "SameSite=Strict", "Max-Age=43200"})
            EXPECT_TRUE(setCookie.contains(attribute)) << attribute << " in " << setCookie.data();
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

    QTemporaryDir dir;
    QString classes;
    std::unique_ptr<ServiceProcess> service;
};

TEST_F(ServiceHardening, HostileRequestsGetAClearErrorAndChangeNothing) {
    const Headers anna = teacher("anna");
    const QByteArray cookie = anna.at(1), csrf = anna.at(2);
    QFile secretFile(service->adminSecretPath());
    ASSERT_TRUE(secretFile.open(QIODevice::ReadOnly));
    const QByteArray secret = "X-Admin-Secret: " + secretFile.readAll().trimmed();
    const QByteArray newClass = R"({"class_name":"4C"})", on = R"({"is_blocked":true})";
    const QByteArray huge(100 * 1024, 'a'), wrongSecret = "X-Admin-Secret: " + QByteArray(64, '0');
    const QByteArray badCsrf = "X-CSRF-Token: 0";
    const QByteArray join = "/Vexlo/api/class-login.php", poll = "/Vexlo/api/class-status.php",
                     leave = "/Vexlo/api/class-logout.php", admin = "/admin/classes/ABC123",
                     login = "/leerkracht/api/login", classesApi = "/leerkracht/api/classes";
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
        {"admin change not an object", "PUT", admin, "[1,2]", {jsonType, secret}, 400},
        {"broken login JSON", "POST", login, "{\"name\":", {jsonType}, 400},
        {"broken JSON", "POST", classesApi, "{", anna, 400},
        {"a form, not JSON", "POST", classesApi, "class_name=x", {formType, cookie, csrf}, 400},
        {"no CSRF token", "POST", classesApi, newClass, {jsonType, cookie}, 403},
        {"wrong CSRF token", "POST", classesApi, newClass, {jsonType, cookie, badCsrf}, 403},
        {"wrong cookie", "GET", classesApi, {}, {"Cookie: kt_leerkracht=abc"}, 401},
        {"no cookie", "POST", classesApi, newClass, {jsonType, csrf}, 401},
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

TEST_F(ServiceHardening, ARestartInTheMiddleKeepsTheClassTheSwitchAndEverySession) {
    const Headers anna = teacher("anna");
    const RawReply made = call("POST", "/leerkracht/api/classes", R"({"class_name":"4C"})", anna);
    const QByteArray code =
        json(made).value("class").toObject().value("code").toString().toLatin1();
    const QString token = studentToken(code);
    ASSERT_FALSE(token.isEmpty()) << made.body.toStdString();
    const QByteArray switchPath = "/leerkracht/api/classes/" + code + "/blocked";
    ASSERT_EQ(call("POST", switchPath, R"({"is_blocked":true})", anna).status, 200);

    start();
    EXPECT_EQ(status(token).value("success"), true) << "the student's next poll just works";
    EXPECT_EQ(status(token).value("is_blocked"), true) << "the switch, from the database";
    // The teacher is still logged in, and the page's CSRF token still holds.
    EXPECT_EQ(call("POST", switchPath, R"({"is_blocked":false})", anna).status, 200);
    EXPECT_EQ(status(token).value("is_blocked"), false);
    EXPECT_EQ(call("POST", "/leerkracht/api/logout", "{}", anna).status, 200);
    start();
    EXPECT_EQ(call("GET", "/leerkracht/api/session", {}, anna).status, 401)
        << "logged out for good";
}

}  // namespace
