#pragma once
// The real ka-tesmar-service on loopback as its tests start it, and the
// requests that students and teachers send it.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <memory>

#include "QtTestSupport.h"
#include "TestDatabase.h"

namespace kt::testing {

using Headers = QList<QByteArray>;
inline const QByteArray jsonType = "Content-Type: application/json";
inline const QByteArray formType = "Content-Type: application/x-www-form-urlencoded";

inline QJsonObject json(const RawReply& reply) {
    return QJsonDocument::fromJson(reply.body).object();
}

// A student joins the class `code` on `port` from the loopback address
// `from`: the session token, empty when refused.
inline QString studentJoins(quint16 port, const QByteArray& code = "ABC123",
                            const QString& from = {}) {
    const RawReply joined = rawRequest(port, "POST", "/Vexlo/api/class-login.php",
                                       "student_name=Jan&class_code=" + code, {formType}, from);
    return json(joined).value("session_token").toString();
}

// The class ABC123 (3B) in a classes file, and the service serving it from a
// database of the test's own.
class ServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qtApp();
        database = std::make_unique<TestDatabase>(storeKind());
        if (!database->skipReason.empty()) {
            GTEST_SKIP() << database->skipReason;
        }
        ASSERT_TRUE(testTls().pair.error.isEmpty());
        classes = writeClassesFile(dir, R"([{"code":"ABC123","class_name":"3B"}])");
    }
    // SQLite unless a test of both stores says otherwise.
    virtual TestDatabase::Kind storeKind() const { return TestDatabase::Kind::Sqlite; }
    // Starts the service, again on the same data if it ran; `options` are further ones of serve.
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
        return rawRequest(service->port(), method, path, body, headers, from);
    }
    QString studentToken(const QByteArray& code = "ABC123") {
        return studentJoins(service->port(), code);
    }
    QJsonObject status(const QString& token, quint16 port = 0, const QString& from = {}) {
        return json(rawRequest(port ? port : service->port(), "GET",
                               "/Vexlo/api/class-status.php?token=" + token.toLatin1(), {}, {},
                               from));
    }
    // A student joins ABC123 on `port` (the service's own when 0) and polls; whether both
    // were answered.
    bool studentServed(quint16 port = 0, const QString& from = {}) {
        const QString token = studentJoins(port ? port : service->port(), "ABC123", from);
        return !token.isEmpty() && status(token, port, from).value("success") == true;
    }

    std::unique_ptr<TestDatabase> database;
    QTemporaryDir dir;
    QString classes;
    std::unique_ptr<ServiceProcess> service;
};

}  // namespace kt::testing
