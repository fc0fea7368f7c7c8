// ka-tesmar-service as a process: hostile requests get a clear error and
// change nothing; a restart in the middle of a lesson loses nothing.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "QtTestSupport.h"

namespace {

using kt::testing::RawReply;
using kt::testing::rawRequest;
using kt::testing::runServiceCommand;
using kt::testing::ServiceProcess;
using kt::testing::testTls;

const QByteArray classes = R"([{"code":"ABC123","class_name":"3B"}])";
const QByteArray jsonType = "Content-Type: application/json";

QJsonObject json(const RawReply& reply) {
    return QJsonDocument::fromJson(reply.body).object();
}

QString addTeacher(const QString& database, const QString& name) {
    const auto [status, output] =
        runServiceCommand({"teacher", "add", name, "--database", database});
    EXPECT_EQ(status, 0) << output.toStdString();
    return QRegularExpression("one-time password: (\\S+)").match(output).captured(1);
}

QString loginToken(quint16 port) {
    const RawReply login =
        rawRequest(port, "POST", "/Vexlo/api/class-login.php", "student_name=Jan&class_code=abc123",
                   {"Content-Type: application/x-www-form-urlencoded"});
    return json(login).value("session_token").toString();
}

class ServiceHardening : public ::testing::Test {
  protected:
    void SetUp() override {
        kt::testing::qtApp();
        ASSERT_TRUE(testTls().pair.error.isEmpty());
        database = dir.filePath("service.db");
        service = std::make_unique<ServiceProcess>(kt::testing::writeClassesFile(dir, classes),
                                                   testTls().directory, database);
        ASSERT_TRUE(service->started()) << service->output().toStdString();
    }

    QTemporaryDir dir;
    QString database;
    std::unique_ptr<ServiceProcess> service;
};

TEST_F(ServiceHardening, HostileRequestsGetAClearErrorAndChangeNothing) {
    const quint16 port = service->port();
    const QString password = addTeacher(database, "anna");
    const RawReply login = rawRequest(
        port, "POST", "/leerkracht/api/login",
        QJsonDocument(QJsonObject{{"name", "anna"}, {"password", password}}).toJson(), {jsonType});
    ASSERT_EQ(login.status, 200) << login.body.toStdString();
    const QByteArray setCookie = login.header("Set-Cookie");
    for (const char* attribute : {"HttpOnly", "Secure", "SameSite=Strict", "Max-Age=43200"})
        EXPECT_TRUE(setCookie.contains(attribute)) << attribute << " in " << setCookie.data();
    const QByteArray cookie = "Cookie: " + setCookie.left(setCookie.indexOf(';'));
    const QByteArray csrf = "X-CSRF-Token: " + json(login).value("csrf").toString().toLatin1();
    const QByteArray newClass = R"({"class_name":"4C"})";

    EXPECT_EQ(
        rawRequest(port, "POST", "/leerkracht/api/classes", newClass, {jsonType, cookie, csrf})
            .status,
        403)
        << "the one-time password must be changed first";
    EXPECT_EQ(rawRequest(port, "POST", "/leerkracht/api/password", R"({"password":"kort"})",
                         {jsonType, cookie, csrf})
                  .status,
              400);
    ASSERT_EQ(rawRequest(port, "POST", "/leerkracht/api/password",
                         R"({"password":"een goed wachtwoord"})", {jsonType, cookie, csrf})
                  .status,
              200);

    struct Case {
        const char* what;
        QByteArray method, path, body;
        QList<QByteArray> headers;
        int status;
    };
    const QByteArray huge(100 * 1024, 'a');
    const std::vector<Case> cases = {
        {"oversized login", "POST", "/Vexlo/api/class-login.php", huge, {}, 413},
        {"oversized change",
         "POST",
         "/leerkracht/api/classes",
         huge,
         {jsonType, cookie, csrf},
         413},
        {"announced 300 MB",
         "POST",
         "/leerkracht/api/login",
         {},
         {"Content-Length: 300000000"},
         413},
        {"broken login JSON", "POST", "/leerkracht/api/login", "{\"name\":", {jsonType}, 400},
        {"broken JSON", "POST", "/leerkracht/api/classes", "{", {jsonType, cookie, csrf}, 400},
        {"a form, not JSON",
         "POST",
         "/leerkracht/api/classes",
         "class_name=x",
         {"Content-Type: application/x-www-form-urlencoded", cookie, csrf},
         400},
        {"no CSRF token", "POST", "/leerkracht/api/classes", newClass, {jsonType, cookie}, 403},
        {"wrong CSRF token",
         "POST",
         "/leerkracht/api/classes",
         newClass,
         {jsonType, cookie, "X-CSRF-Token: 00"},
         403},
        {"wrong cookie", "GET", "/leerkracht/api/classes", {}, {"Cookie: kt_leerkracht=abc"}, 401},
        {"no cookie", "POST", "/leerkracht/api/classes", newClass, {jsonType, csrf}, 401},
        {"unknown page path", "GET", "/leerkracht/api/nothing", {}, {cookie}, 404},
        {"unknown path", "GET", "/etc/passwd", {}, {}, 404},
        {"no admin secret",
         "PUT",
         "/admin/classes/ABC123",
         R"({"is_blocked":true})",
         {jsonType},
         403},
        {"wrong admin secret",
         "PUT",
         "/admin/classes/ABC123",
         R"({"is_blocked":true})",
         {jsonType, "X-Admin-Secret: " + QByteArray(64, '0')},
         403},
        {"unknown session", "GET", "/Vexlo/api/class-status.php?token=abc", {}, {}, 401},
    };
    for (const Case& c : cases) {
        const RawReply reply = rawRequest(port, c.method, c.path, c.body, c.headers);
        EXPECT_EQ(reply.status, c.status) << c.what << ": " << reply.body.left(200).toStdString();
        EXPECT_EQ(json(reply).value("success"), false) << c.what;
        EXPECT_FALSE(json(reply).value("error").toString().isEmpty()) << c.what;
    }

    const RawReply list = rawRequest(port, "GET", "/leerkracht/api/classes", {}, {cookie});
    EXPECT_EQ(list.body, R"({"classes":[],"success":true})") << "no class was made";
    const QString token = loginToken(port);
    ASSERT_FALSE(token.isEmpty());
    const RawReply status =
        rawRequest(port, "GET", "/Vexlo/api/class-status.php?token=" + token.toLatin1());
    EXPECT_EQ(json(status).value("is_blocked"), false) << "the class was not switched";
    EXPECT_EQ(rawRequest(port, "GET", "/").body, "Ka Tesmar klasdienst\n") << "it still serves";
}

TEST_F(ServiceHardening, ARestartInTheMiddleKeepsTheClassTheSwitchAndTheStudentSession) {
    const QString token = loginToken(service->port());
    ASSERT_FALSE(token.isEmpty());
    const auto [switched, output] = runServiceCommand(
        {"class", "ABC123", "--blocked", "on", "--service", service->rootUrl(), "--ca",
         testTls().certificatePath, "--admin-secret", service->adminSecretPath()});
    ASSERT_EQ(switched, 0) << output.toStdString();
    service->stop();

    ServiceProcess again(kt::testing::writeClassesFile(dir, classes), testTls().directory,
                         database);
    ASSERT_TRUE(again.started()) << again.output().toStdString();
    const RawReply status =
        rawRequest(again.port(), "GET", "/Vexlo/api/class-status.php?token=" + token.toLatin1());
    EXPECT_EQ(status.status, 200) << status.body.toStdString();
    EXPECT_EQ(json(status).value("success"), true);
    EXPECT_EQ(json(status).value("is_blocked"), true) << "the switch, from the database";
}

}  // namespace
