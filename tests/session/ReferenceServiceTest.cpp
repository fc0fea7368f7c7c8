// ka-tesmar-service as a process: its HTTPS interface, its log and the
// teacher's switch.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslCertificateExtension>
#include <QTemporaryDir>
#include <mutex>
#include <optional>

#include "QtTestSupport.h"
#include "platform/qt/QtHttpClient.h"

namespace {

using namespace kt;
using kt::testing::ServiceProcess;
using kt::testing::testTls;

class ReferenceService : public ::testing::Test {
  protected:
    void SetUp() override {
        kt::testing::qtApp();
        ASSERT_TRUE(testTls().pair.error.isEmpty());
        service = std::make_unique<ServiceProcess>(
            kt::testing::writeClassesFile(
                dir,
                R"([{"code":"ABC123","class_name":"3B","teacher_name":"T","school_name":"S"}])"),
            testTls().directory);
        ASSERT_TRUE(service->started()) << service->output().toStdString();
        client = std::make_unique<QtHttpClient>(
            QtHttpClient::Options{testTls().certificatePath.toStdString(), 1.0});
    }

    // Sends one request and waits for its answer.
    HttpResponse call(const std::string& method, const std::string& path,
                      const std::string& body = "", const std::string& contentType = "") {
        HttpRequest request;
        request.method = method;
        request.url = service->rootUrl().toStdString() + path;
        request.body = body;
        if (!contentType.empty())
            request.headers = {{"Content-Type", contentType}};
        if (path.starts_with("admin/")) {  // the administrator's requests carry the secret
            QFile secret(service->adminSecretPath());
            if (secret.open(QIODevice::ReadOnly))
                request.headers.emplace_back("X-Admin-Secret",
                                             secret.readAll().trimmed().toStdString());
        }
        std::mutex mutex;
        std::optional<HttpResult> result;
        client->send(request, [&](HttpResult r) {
            std::lock_guard lock(mutex);
            result = std::move(r);
        });
        EXPECT_TRUE(kt::testing::runEventsUntil([&] {
            std::lock_guard lock(mutex);
            return result.has_value();
        }));
        std::lock_guard lock(mutex);
        if (!result || !std::holds_alternative<HttpResponse>(*result)) {
            ADD_FAILURE() << "no HTTP response for " << method << " " << path;
            return {};
        }
        return std::get<HttpResponse>(*result);
    }

    static QJsonObject json(const HttpResponse& response) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(response.body)).object();
    }

    QTemporaryDir dir;
    std::unique_ptr<ServiceProcess> service;
    std::unique_ptr<QtHttpClient> client;
};

TEST_F(ReferenceService, MalformedRequestsGetA400WithAJsonErrorAndTheServiceGoesOn) {
    const std::vector<HttpResponse> answers = {
        call("POST", "Vexlo/api/class-login.php", "garbage\xff",
             "application/x-www-form-urlencoded"),
        call("POST", "Vexlo/api/class-login.php", "student_name=%FF&class_code=ABC123",
             "application/x-www-form-urlencoded"),
        call("GET", "Vexlo/api/class-status.php"),
        call("POST", "Vexlo/api/class-logout.php", "{\"token\":", "application/json"),
        call("PUT", "admin/classes/ABC123", "[1,2]", "application/json"),
    };
    for (const HttpResponse& answer : answers) {
        EXPECT_EQ(answer.statusCode, 400) << answer.body;
        EXPECT_EQ(json(answer).value("success"), false) << answer.body;
        EXPECT_FALSE(json(answer).value("error").toString().isEmpty()) << answer.body;
    }
    const HttpResponse missing = call("GET", "nothing/here");
    EXPECT_EQ(missing.statusCode, 404);
    EXPECT_EQ(json(missing).value("success"), false);
    EXPECT_EQ(call("GET", "").body, "Ka Tesmar klasdienst\n");
    EXPECT_TRUE(service->waitForOutput("POST /Vexlo/api/class-login.php 400"));
    EXPECT_TRUE(service->waitForOutput("GET /nothing/here 404"));
}

TEST_F(ReferenceService, TheTeachersSwitchChangesWhatTheNextStatusSays) {
    const HttpResponse login = call("POST", "Vexlo/api/class-login.php",
                                    "student_name=Jan&class_code=abc123&device_info=macOS%20X",
                                    "application/x-www-form-urlencoded");
    const QString token = json(login).value("session_token").toString();
    ASSERT_FALSE(token.isEmpty()) << login.body;
    const std::string statusPath = "Vexlo/api/class-status.php?token=" + token.toStdString();
    EXPECT_EQ(json(call("GET", statusPath)).value("is_blocked"), false);

    QProcess teacher;
    teacher.setProcessChannelMode(QProcess::MergedChannels);
    teacher.start(QStringLiteral(KT_SERVICE_BINARY),
                  {"class", "abc123", "--blocked", "on", "--domains", "chatgpt.com, claude.ai",
                   "--service", service->rootUrl(), "--ca", testTls().certificatePath,
                   "--admin-secret", service->adminSecretPath()});
    ASSERT_TRUE(teacher.waitForFinished(30000));
    EXPECT_EQ(teacher.exitCode(), 0) << teacher.readAll().toStdString();

    const QJsonObject status = json(call("GET", statusPath));
    EXPECT_EQ(status.value("success"), true);
    EXPECT_EQ(status.value("is_blocked"), true);
    EXPECT_EQ(status.value("domains").toArray(), (QJsonArray{"chatgpt.com", "claude.ai"}));
    EXPECT_TRUE(service->waitForOutput("PUT /admin/classes/abc123 200"));
    EXPECT_FALSE(service->output().contains(token)) << "tokens stay out of the log";

    EXPECT_EQ(json(call("POST", "Vexlo/api/class-logout.php",
                        QJsonDocument(QJsonObject{{"token", token}}).toJson().toStdString(),
                        "application/json"))
                  .value("success"),
              true);
    EXPECT_EQ(json(call("GET", statusPath)).value("success"), false) << "the session is gone";

    QProcess untrusting;  // without --ca the self-signed certificate is refused
    untrusting.start(QStringLiteral(KT_SERVICE_BINARY),
                     {"class", "ABC123", "--blocked", "off", "--service", service->rootUrl(),
                      "--admin-secret", service->adminSecretPath()});
    ASSERT_TRUE(untrusting.waitForFinished(30000));
    EXPECT_NE(untrusting.exitCode(), 0);
}

TEST(ReferenceServiceStart, RefusesABadClassesFileWithAClearMessage) {
    kt::testing::qtApp();
    QTemporaryDir dir;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(KT_SERVICE_BINARY),
                  {"serve", "--listen", "127.0.0.1:0", "--classes",
                   kt::testing::writeClassesFile(dir, R"([{"code":"A1","is_blocked":"yes"}])"),
                   "--tls-dir", testTls().directory, "--database", dir.filePath("service.db")});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(process.readAll().contains("field 'is_blocked' has the wrong type"));
}

// Trusting the service's certificate lets it vouch for the service only.
TEST(ReferenceServiceStart, MakesAServerCertificateThatIsNoCa) {
    ASSERT_TRUE(testTls().pair.error.isEmpty());
    QVariantMap found;
    for (const QSslCertificateExtension& extension : testTls().pair.certificate.extensions())
        found.insert(extension.name(), extension.value());
    EXPECT_EQ(found.value("basicConstraints").toMap().value("ca"), QVariant(false)) << "not a CA";
    EXPECT_TRUE(
        found.value("extendedKeyUsage").toStringList().contains("TLS Web Server Authentication"))
        << found.value("extendedKeyUsage").toString().toStdString();
    EXPECT_TRUE(found.contains("keyUsage"));
}

}  // namespace
