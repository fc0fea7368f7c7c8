// ka-tesmar-service as a process: the student's three requests, the
// administrator's switch, a bad start and the certificate it makes.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QSslCertificateExtension>

#include "QtTestSupport.h"

namespace {

using kt::testing::runServiceCommand;
using kt::testing::testTls;

TEST(ReferenceService, TheAdministratorsSwitchChangesWhatTheNextStatusSays) {
    kt::testing::qtApp();
    ASSERT_TRUE(testTls().pair.error.isEmpty());
    QTemporaryDir dir;
    kt::testing::ServiceProcess service(
        kt::testing::writeClassesFile(
            dir, R"([{"code":"ABC123","class_name":"3B","teacher_name":"T","school_name":"S"}])"),
        testTls().directory);
    ASSERT_TRUE(service.started()) << service.output().toStdString();
    const auto call = [&](const QByteArray& method, const QByteArray& path,
                          const QByteArray& body = {}, const QByteArray& type = {}) {
        const auto reply = kt::testing::rawRequest(
            service.port(), method, path, body,
            type.isEmpty() ? QList<QByteArray>{} : QList{"Content-Type: " + type});
        return QJsonDocument::fromJson(reply.body).object();
    };
    // The student's requests themselves are shown by the live login and the class service's test.
    const QString token =
        call("POST", "/Vexlo/api/class-login.php", "student_name=Jan&class_code=abc123",
             "application/x-www-form-urlencoded")
            .value("session_token")
            .toString();
    const QByteArray statusPath = "/Vexlo/api/class-status.php?token=" + token.toLatin1();
    // The reply's bytes as the application reads them, before and after a
    // switch: the service renders a class's reply once per change.
    const auto statusWire = [&] {
        const auto reply = kt::testing::rawRequest(service.port(), "GET", statusPath);
        return reply.header("Content-Type") + "\n" + reply.body;
    };
    const QByteArray classInfo =
        R"("class_info":{"class_name":"3B","school_name":"S","teacher_name":"T"})";
    EXPECT_EQ(statusWire(), "application/json\n{" + classInfo +
                                R"(,"domains":[],"ip_ranges":[],"ips":[],"is_blocked":false,)"
                                R"("success":true})");

    const QStringList switchOn = {"class",          "abc123",
                                  "--blocked",      "on",
                                  "--domains",      "chatgpt.com, claude.ai",
                                  "--service",      service.rootUrl(),
                                  "--admin-secret", service.adminSecretPath()};
    EXPECT_NE(runServiceCommand(switchOn).first, 0) << "the self-signed certificate is refused";
    const auto [switched, output] =
        runServiceCommand(switchOn + QStringList{"--ca", testTls().certificatePath});
    EXPECT_EQ(switched, 0) << output.toStdString();
    EXPECT_EQ(statusWire(), "application/json\n{" + classInfo +
                                R"(,"domains":["chatgpt.com","claude.ai"],"ip_ranges":[],"ips":[],)"
                                R"("is_blocked":true,"success":true})");
}

// Trusting the service's certificate lets it vouch for the service only.
TEST(ReferenceService, MakesAServerCertificateThatIsNoCa) {
    ASSERT_TRUE(testTls().pair.error.isEmpty());
    QVariantMap found;
    for (const QSslCertificateExtension& extension : testTls().pair.certificate.extensions())
        found.insert(extension.name(), extension.value());
    EXPECT_EQ(found.value("basicConstraints").toMap().value("ca"), QVariant(false)) << "not a CA";
    EXPECT_TRUE(
        found.value("extendedKeyUsage").toStringList().contains("TLS Web Server Authentication"))
        << found.value("extendedKeyUsage").toString().toStdString();
    EXPECT_TRUE(found.contains("keyUsage"));
    EXPECT_EQ(testTls().pair.key.algorithm(), QSsl::Ec) << "cheap to sign a handshake with";
}

}  // namespace
