#pragma once
// The real ka-tesmar-service on loopback as its tests start it, and the
// requests that students and teachers send it.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <memory>

#include "QtTestSupport.h"
#include "TestDatabase.h"
#include "store/OpenStore.h"

namespace kt::testing {

using Headers = QList<QByteArray>;
inline const QByteArray jsonType = "Content-Type: application/json";
inline const QByteArray formType = "Content-Type: application/x-www-form-urlencoded";

inline QJsonObject json(const RawReply& reply) {
    return QJsonDocument::fromJson(reply.body).object();
}

// The student `name` joins the class `code` on `port` from the loopback
// address `from`: the session token, empty when refused.
inline QString studentJoins(quint16 port, const QByteArray& code = "ABC123",
                            const QString& from = {}, const QByteArray& name = "Jan") {
    const RawReply joined =
        rawRequest(port, "POST", "/Vexlo/api/class-login.php",
                   "student_name=" + name + "&class_code=" + code, {formType}, from);
    return json(joined).value("session_token").toString();
}

// "NAME=VALUE; ATTRIBUTES" of the cookie NAME that the reply sets, empty when it sets none.
inline QByteArray cookieSet(const RawReply& reply, const QByteArray& name) {
    for (const QByteArray& line : reply.head.split('\n'))
        if (line.toLower().startsWith("set-cookie: " + name + '='))
            return line.mid(12).trimmed();
    return {};
}

inline QByteArray loginBody(const QString& name, const QString& password) {
    return QJsonDocument(QJsonObject{{"name", name}, {"password", password}}).toJson();
}

// The one-time password of a new teacher account.
inline QString addTeacher(const TestDatabase& database, const QString& name) {
    const auto [added, output] =
        runServiceCommand(QStringList{"teacher", "add", name} + database.options());
    EXPECT_EQ(added, 0) << output.toStdString();
    return QRegularExpression("one-time password: (\\S+)").match(output).captured(1);
}

// A new teacher, logged in on `port` with a password of their own ("een goed
// wachtwoord"): the headers of their changes. Their browser's device cookie
// lands in `deviceCookie` when given.
inline Headers teacherLogsIn(quint16 port, const TestDatabase& database, const QString& name,
                             QByteArray* deviceCookie = nullptr) {
    const RawReply login = rawRequest(port, "POST", "/leerkracht/api/login",
                                      loginBody(name, addTeacher(database, name)), {jsonType});
    EXPECT_EQ(login.status, 200) << login.body.toStdString();
    const QByteArray session = cookieSet(login, "kt_leerkracht");
    const QByteArray device = cookieSet(login, "kt_toestel");
    for (const char* attribute : {"HttpOnly", "Secure", "SameSite=Strict"})
        EXPECT_TRUE(session.contains(attribute) && device.contains(attribute))
            << attribute << " in " << session.data() << " and " << device.data();
    EXPECT_TRUE(session.contains("Max-Age=43200")) << session.data();
    EXPECT_TRUE(device.contains("Max-Age=34560000")) << device.data();
    if (deviceCookie)
        *deviceCookie = device.left(device.indexOf(';'));
    const Headers headers = {jsonType, "Cookie: " + session.left(session.indexOf(';')),
                             "X-CSRF-Token: " + json(login).value("csrf").toString().toLatin1()};
    const auto post = [&](const QByteArray& path, const QByteArray& body) {
        return rawRequest(port, "POST", "/leerkracht/api/" + path, body, headers).status;
    };
    EXPECT_EQ(post("classes", R"({"class_name":"4C"})"), 403)
        << "the one-time password must be changed first";
    EXPECT_EQ(post("password", R"({"password":"kort"})"), 400);
    EXPECT_EQ(post("password", R"({"password":"een goed wachtwoord"})"), 200);
    return headers;
}

// The code of a new class of the teacher whose headers these are.
inline QByteArray newClass(quint16 port, const Headers& teacher) {
    const RawReply made =
        rawRequest(port, "POST", "/leerkracht/api/classes", R"({"class_name":"4C"})", teacher);
    EXPECT_EQ(made.status, 200) << made.body.toStdString();
    return json(made).value("class")["code"].toString().toLatin1();
}

// The teacher switches the block of class `code` on or off.
inline RawReply switchBlocking(quint16 port, const QByteArray& code, const Headers& teacher,
                               bool on) {
    return rawRequest(port, "POST", "/leerkracht/api/classes/" + code + "/blocked",
                      on ? R"({"is_blocked":true})" : R"({"is_blocked":false})", teacher);
}

// What a teacher's change is refused with while the database is away.
inline const QString databaseAway =
    "De database is even niet bereikbaar: je wijziging is niet bewaard. Probeer het zo opnieuw.";

// The test's database opened as the service opens it.
inline std::unique_ptr<kt::service::SqlStore> openStoreOf(const TestDatabase& database) {
    QString error;
    auto store = kt::service::openStore(database.address, database.passwordFile, error);
    EXPECT_TRUE(store) << error.toStdString();
    return store;
}

// The students of a class as its page on `port` shows them.
inline QJsonArray studentsShown(quint16 port, const QByteArray& code, const Headers& teacher) {
    return json(rawRequest(port, "GET", "/leerkracht/api/classes/" + code, {}, teacher))
        .value("class")["students"]
        .toArray();
}

// GET `path` on the plain (front's) listener on `port`.
inline RawReply plainGet(quint16 port, const QByteArray& path) {
    TestConnection connection(port, "127.0.0.1", false);
    connection.send("GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    return connection.waitForReply();
}

// The port the service announced for `what` ("Behind a front", "Health and metrics").
inline quint16 announcedPort(ServiceProcess& service, const QString& what) {
    return QRegularExpression(what + " on http://127\\.0\\.0\\.1:(\\d+)/")
        .match(service.output())
        .captured(1)
        .toUShort();
}

inline const QString haproxyPath = QStringLiteral("/usr/sbin/haproxy");

inline quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An instance's ports behind a front: the students' and the admin's.
struct FrontPorts {
    quint16 plain, admin;
};

// The real HAProxy on 127.0.0.1:`frontPort` with the shipped example: the
// test's certificate, its two server lines on the instances' ports, and the
// open-file limit of a test (the example's connections need HAProxy to raise
// it as root). Its files in `dir`.
inline bool startHaproxy(QProcess& front, const QTemporaryDir& dir, quint16 frontPort,
                         FrontPorts first, FrontPorts second) {
    QFile pem(dir.filePath("school.pem")), config(dir.filePath("haproxy.cfg"));
    const auto port = [](quint16 number) { return "127.0.0.1:" + QByteArray::number(number); };
    if (!pem.open(QIODevice::WriteOnly) || !config.open(QIODevice::WriteOnly))
        return false;
    pem.write(fileBytes(testTls().certificatePath) + fileBytes(testTls().directory + "/key.pem"));
    config.write(fileBytes(QStringLiteral(KT_HAPROXY_EXAMPLE))
                     .replace("bind :443", "bind " + port(frontPort))
                     .replace("/etc/haproxy/school.pem", pem.fileName().toUtf8())
                     .replace("127.0.0.1:8081 port 9081",
                              port(first.plain) + " port " + QByteArray::number(first.admin))
                     .replace("127.0.0.1:8082 port 9082",
                              port(second.plain) + " port " + QByteArray::number(second.admin))
                     .replace("maxconn 60000", "maxconn 1000"));
    pem.close(), config.close();
    front.setProcessChannelMode(QProcess::MergedChannels);
    front.start(haproxyPath, {"-db", "-f", config.fileName()});
    return front.waitForStarted();
}

// The class ABC123 (3B) in a classes file, and the service serving it from a
// database of the test's own.
class ServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qtApp();
        database = std::make_unique<TestDatabase>(storeKind());
        if (!database->skipReason.empty())
            GTEST_SKIP() << database->skipReason;
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
    // Whether a student who joins ABC123 has the poll after it answered.
    bool studentServed() { return status(studentToken()).value("success") == true; }

    std::unique_ptr<TestDatabase> database;
    QTemporaryDir dir;
    QString classes;
    std::unique_ptr<ServiceProcess> service;
};

}  // namespace kt::testing
