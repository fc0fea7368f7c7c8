// ka-tesmar-service as a process: hostile requests get a clear error and
// change nothing; a restart in the middle of a lesson loses nothing; the
// administrator's command, the status poll's quick path and the certificate.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QSslCertificateExtension>

#include "ServiceFixture.h"
#include "classes/StudentProtocol.h"
#include "http/QuickPoll.h"
#include "teacher/AdminSecret.h"

namespace {

using namespace kt::testing;

const QByteArray poll = "/Vexlo/api/class-status.php";

class ServiceHardening : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure())
            start();
    }
};

// The JSON members of a class that blocks `count` names: n0.example.org and on.
QByteArray manyNames(int count) {
    QStringList names;
    for (int i = 0; i < count; ++i) names << QStringLiteral("n%1.example.org").arg(i);
    return R"("domains":[")" + names.join(R"(",")").toLatin1() + R"("])";
}

// Hostile requests get a clear error and change nothing; a class comes in by
// the class file, the administrator's PUT or the teacher's page, and each
// refuses the same bad class with the same words; pupils with a script
// against the teacher's login: the teacher still gets in.
TEST_F(ServiceHardening, HostileRequestsBadClassesAndLoginsLeaveTheLessonToTheTeacher) {
    QByteArray deviceCookie;
    const Headers anna = teacherLogsIn(service->port(), *database, "anna", &deviceCookie);
    const QByteArray cookie = anna.at(1), csrf = anna.at(2);
    const QByteArray secret = "X-Admin-Secret: " + fileBytes(service->adminSecretPath()).trimmed();
    const QByteArray classBody = R"({"class_name":"4C"})", on = R"({"is_blocked":true})";
    const QByteArray wrongSecret = "X-Admin-Secret: " + QByteArray(64, '0');
    const QByteArray badCsrf = "X-CSRF-Token: 0";
    const QByteArray forged = "2024-01-01T00:00:00Z 10.0.0.9 GET /forged 200";
    const QByteArray forgedPath =
        "/x%0a" + forged.toPercentEncoding("/:") + "%0d%e2%80%a8%e2%80%ae%c2%85%1b[2J%5c%ff";
    const QByteArray leave = "/Vexlo/api/class-logout.php", adminPath = "/admin/classes/ABC123",
                     loginPath = "/leerkracht/api/login", classesApi = "/leerkracht/api/classes";
    struct Case {
        const char* what;
        QByteArray method, path, body;
        Headers headers;
        int status;
    };
    const std::vector<Case> cases = {
        {"broken logout JSON", "POST", leave, "{\"token\":", {jsonType}, 400},
        {"broken login JSON", "POST", loginPath, "{\"name\":", {jsonType}, 400},
        {"broken JSON", "POST", classesApi, "{", anna, 400},
        {"JSON sent as a form", "POST", classesApi, classBody, {formType, cookie, csrf}, 400},
        {"no CSRF token", "POST", classesApi, classBody, {jsonType, cookie}, 403},
        {"wrong CSRF token", "POST", classesApi, classBody, {jsonType, cookie, badCsrf}, 403},
        {"wrong cookie", "GET", classesApi, {}, {"Cookie: kt_leerkracht=abc"}, 401},
        {"no cookie", "POST", classesApi, classBody, {jsonType, csrf}, 401},
        {"unknown page path", "GET", "/leerkracht/api/nothing", {}, {cookie}, 404},
        {"a forged line for the log", "GET", forgedPath, {}, {}, 404},
        {"no admin secret", "PUT", adminPath, on, {jsonType}, 403},
        {"wrong admin secret", "PUT", adminPath, on, {jsonType, wrongSecret}, 403},
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
    EXPECT_TRUE(service->waitForOutput("GET /x\\x0a" + forged +
                                       "\\x0d\\u{2028}\\u{202e}\\u{0085}\\x1b[2J\\x5c\uFFFD 404"))
        << "what a client sent stays within its line";
    EXPECT_FALSE(service->output().contains("\n" + forged));
    EXPECT_FALSE(service->output().contains(token)) << "tokens stay out of the log";

    const Headers admin = {jsonType, secret};
    const QByteArray code = newClass(service->port(), anna);
    ASSERT_EQ(call("PUT", "/admin/classes/" + code, "{" + manyNames(500) + "}", admin).status, 200)
        << "a full list of names to block";
    const QByteArray addName = "/leerkracht/api/classes/" + code + "/domains";
    const QByteArray longName = R"("class_name":")" + QByteArray(101, 'x') + '"';
    struct BadClass {
        QByteArray fields;  // the class's JSON members, as the file and the PUT give them
        QString refusal;
        QByteArray added = {};  // the name the page adds to the same effect, if it can
        int status = 400;
        QByteArray code = "BAD1";
    };
    const std::vector<BadClass> badClasses = {
        {R"("domains":["localhost"])", "'localhost' is de computer van de leerling zelf",
         "localhost"},
        {R"("domains":["10.0.0.1"])", "'10.0.0.1' is een adres, geen naam", "10.0.0.1"},
        {R"("domains":["n1.example.org","n1.example.org"])", "n1.example.org staat al in de lijst",
         "n1.example.org", 409},
        {manyNames(501), "De lijst is vol (500 namen)", "extra.example.org"},
        {longName, "Geef de klas een naam (hoogstens 100 tekens)"},
        {R"("ips":["8.0.0.0/7"])", "'8.0.0.0/7' is een te groot netwerk"},
        {R"("ips":["127.0.0.1"])", "'127.0.0.1' is een adres van de computer zelf"},
        {R"("ips":["10.0.0.300"])", "'10.0.0.300' is geen geldig adres"},
        {R"("ip_ranges":[{"start":"a.com","end":"1.1.1.1"}])", "'a.com' is geen geldig adres"},
        {R"("school_name":"\ud800")", "geen geldige Unicode"},
        {R"("class_name":"x")", "Een klascode is 1 tot 32", {}, 400, "AB-C"},
    };
    for (const BadClass& c : badClasses) {
        const std::string what = c.fields.left(60).toStdString();
        const QString file =
            writeClassesFile(dir, R"([{"code":")" + c.code + "\"," + c.fields + "}]");
        // A class file that passes gets as far as the TLS folder, which it cannot make.
        const auto [status, output] =
            runServiceCommand({"serve", "--classes", file, "--database", ":memory:", "--tls-dir",
                               "/dev/null/tls", "--listen", "127.0.0.1:0"});
        EXPECT_TRUE(status == 2 && output.contains(c.refusal))
            << what << ": " << output.toStdString();
        std::vector<RawReply> replies = {
            call("PUT", "/admin/classes/" + c.code, "{" + c.fields + "}", admin)};
        if (c.fields == longName)
            replies.push_back(call("POST", "/leerkracht/api/classes", "{" + c.fields + "}", anna));
        if (!c.added.isEmpty())
            replies.push_back(call("POST", addName, R"({"add":")" + c.added + "\"}", anna));
        for (const RawReply& reply : replies) {
            EXPECT_EQ(reply.status, c.status) << what << ": " << reply.body.left(200).toStdString();
            EXPECT_TRUE(json(reply).value("error").toString().contains(c.refusal)) << what;
        }
    }
    EXPECT_EQ(call("PUT", "/admin/classes/BAD1", R"({"class_name":"x"})", admin).status, 200);
    const auto get = [&](const QByteArray& path) {
        return json(call("GET", "/leerkracht/api/" + path, {}, anna));
    };
    EXPECT_EQ(get("classes/" + code).value("class")["domains"].toArray().size(), 500)
        << "nothing of the refused changes came in";
    EXPECT_EQ(get("classes").value("classes").toArray().size(), 1);

    ASSERT_FALSE(deviceCookie.isEmpty());
    const QString bertOnce = addTeacher(*database, "bert");
    const auto login = [&](const QString& name, const QString& password, const QString& from,
                           const QByteArray& browser = {}) {
        return call("POST", loginPath, loginBody(name, password),
                    browser.isEmpty() ? Headers{jsonType} : Headers{jsonType, "Cookie: " + browser},
                    from);
    };
    // Anna's password guessed from twelve other addresses: her own browser still gets in.
    RawReply toldToWait;  // the last refusal of a guess
    for (int i = 0; i < 12; ++i)
        if (RawReply guess = login("anna", "fout", QStringLiteral("127.0.1.%1").arg(i + 1));
            guess.status == 429)
            toldToWait = guess;
    const QString waitError = json(toldToWait).value("error").toString();
    EXPECT_TRUE(waitError.startsWith("Te veel mislukte pogingen: probeer het over"))
        << waitError.toStdString();
    EXPECT_GT(toldToWait.header("Retry-After").toInt(), 0);
    EXPECT_EQ(login("anna", "een goed wachtwoord", {}, deviceCookie).status, 200);
    // 31 mistakes behind a school's one address: a teacher on a new browser still gets in.
    int heldBack = 0;
    for (int i = 0; i < 31; ++i)
        heldBack += login(QStringLiteral("leerkracht%1").arg(i), "fout", "127.0.2.1").status == 429;
    EXPECT_EQ(heldBack, 0) << "a school's teachers mistype now and then";
    EXPECT_EQ(login("bert", bertOnce, "127.0.2.1").status, 200);
}

class ServiceOnBothStores : public ServiceHardening,
                            public ::testing::WithParamInterface<TestDatabase::Kind> {
    TestDatabase::Kind storeKind() const override { return GetParam(); }
};

// The service stopped and started again mid-lesson keeps the switch, the lists,
// the last polls, the display name, the reports and the teacher's login; then
// the page's other changes and the lesson log.
TEST_P(ServiceOnBothStores, ARestartInTheMiddleKeepsTheClassTheSwitchAndEverySession) {
    const Headers anna = teacherLogsIn(service->port(), *database, "anna");
    const QByteArray code = newClass(service->port(), anna);
    const QString token = studentToken(code);
    ASSERT_FALSE(token.isEmpty());
    const QByteArray classPath = "/leerkracht/api/classes/" + code;
    const auto change = [&](const QByteArray& path, const QByteArray& body) {
        return call("POST", path.startsWith("/leerkracht") ? path : classPath + path, body, anna)
            .status;
    };
    ASSERT_EQ(change("/blocked", R"({"is_blocked":true})"), 200);
    EXPECT_EQ(change("/domains", R"({"add":"ai.example.org"})"), 200);
    const QByteArray report =
        R"({"token":")" + token.toLatin1() + R"(","state":"blocked","hosts":18,"rules":40})";
    EXPECT_EQ(call("POST", "/Vexlo/api/class-report.php", report, {jsonType}).status, 200);
    EXPECT_EQ(status(token).value("class_info")["teacher_name"], "")
        << "no display name yet, and never the login name";
    ASSERT_EQ(change("/leerkracht/api/display-name", R"({"display_name":"Mevr. De Vries"})"), 200);
    const qint64 lastPoll = QDateTime::currentMSecsSinceEpoch();
    EXPECT_EQ(status(token).value("class_info")["teacher_name"], "Mevr. De Vries");

    start();
    const auto store = openStoreOf(*database);
    ASSERT_TRUE(store);
    const auto stored = store->loadSession(kt::service::StudentProtocol::tokenHash(token));
    EXPECT_TRUE(stored && stored->lastSeenMs >= lastPoll) << "the last poll before the stop";
    for (const kt::service::StoredTeacherSession& login : store->loadTeacherSessions())
        EXPECT_FALSE(anna.at(1).contains(login.cookieHash.toLatin1()))
            << "of a login cookie only its hash is stored";
    const QJsonObject polled = status(token);
    EXPECT_EQ(polled.value("success"), true) << "the student's next poll just works";
    EXPECT_EQ(polled.value("is_blocked"), true) << "the switch, from the database";
    EXPECT_TRUE(polled.value("domains").toArray().contains("ai.example.org")) << "the list";
    EXPECT_EQ(polled.value("class_info")["teacher_name"], "Mevr. De Vries");
    const QJsonObject shown = json(call("GET", classPath, {}, anna)).value("class").toObject();
    EXPECT_EQ(shown.value("students")[0]["state"], "blocked") << "the report, from the database";
    EXPECT_EQ(shown.value("blocked_count"), 1);
    // The teacher is still logged in, and the page's CSRF token still holds.
    EXPECT_EQ(change("/blocked", R"({"is_blocked":false})"), 200);
    EXPECT_EQ(status(token).value("is_blocked"), false);
    // A student sent away, the lesson ended.
    const QString other = studentToken(code);
    const QByteArray sentAway =
        studentsShown(service->port(), code, anna).last()["id"].toString().toLatin1();
    EXPECT_EQ(change("/students/" + sentAway + "/remove", "{}"), 200);
    EXPECT_EQ(status(other).value("success"), false);
    EXPECT_EQ(change("/end", "{}"), 200);
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
        onPage += call("GET", classPath + query, {}, anna).body;
    }
    for (const char* told : {"Blokkering aan door anna", "Geblokkeerd (18 namen, 40 adressen)",
                             "Verwijderd door anna", "Les beëindigd door anna"}) {
        EXPECT_TRUE(file.contains(told)) << told << " in\n" << file.toStdString();
        EXPECT_TRUE(onPage.contains(told)) << told << " in\n" << onPage.toStdString();
    }
    EXPECT_EQ(call("GET", classPath + "/log.csv?day=gisteren", {}, anna).status, 400);
    EXPECT_EQ(change("/leerkracht/api/logout", "{}"), 200);
    start();
    EXPECT_EQ(call("GET", "/leerkracht/api/session", {}, anna).status, 401)
        << "logged out for good";
}

INSTANTIATE_TEST_SUITE_P(ServiceHardening, ServiceOnBothStores,
                         ::testing::Values(TestDatabase::Kind::Sqlite,
                                           TestDatabase::Kind::Postgres),
                         kt::testing::kindName);

// The administrator's command switches a class over HTTPS, trusting only the given certificate.
TEST_F(ServiceHardening, TheAdministratorsCommandChangesWhatTheNextStatusSays) {
    const QString token = studentToken();
    // The reply's bytes as the application reads them: the service renders a
    // class's reply once per change, and a switch is such a change.
    const auto statusWire = [&] {
        const auto reply = call("GET", poll + "?token=" + token.toLatin1());
        return reply.header("Content-Type") + "\n" + reply.body;
    };
    const QByteArray free = statusWire();
    ASSERT_TRUE(free.startsWith("application/json\n{\"class_info\":{")) << free.data();
    ASSERT_TRUE(free.contains(R"("domains":[],"ip_ranges":[],"ips":[],"is_blocked":false,)"))
        << free.data();
    const QStringList switchOn = {"class",          "abc123",
                                  "--blocked",      "on",
                                  "--domains",      "chatgpt.com, claude.ai",
                                  "--service",      service->rootUrl(),
                                  "--admin-secret", service->adminSecretPath()};
    EXPECT_NE(runServiceCommand(switchOn).first, 0) << "the self-signed certificate is refused";
    const auto [switched, output] =
        runServiceCommand(switchOn + QStringList{"--ca", testTls().certificatePath});
    EXPECT_EQ(switched, 0) << output.toStdString();
    EXPECT_EQ(statusWire(),
              QByteArray(free)
                  .replace(R"("domains":[])", R"("domains":["chatgpt.com","claude.ai"])")
                  .replace(R"("is_blocked":false)", R"("is_blocked":true)"));
    // A poll is answered from its bytes as the HTTP server answers it, which it does when a
    // body is announced; the token read as the server reads a query.
    const QByteArray plain = token.toLatin1(), escaped = '%' + plain.left(1).toHex() + plain.mid(1);
    const std::vector<std::pair<QByteArray, int>> queries = {
        {"?token=" + plain, 200},
        {"?token=" + escaped, 200},
        {"?x=1&token=" + plain, 200},
        {"?token=" + plain + "&token=x", 200},
        {"?token=" + plain + "%00", 401},
        {"?token=" + plain + "+", 401},
        {"?token=x", 401},
        {"", 400},
    };
    for (const auto& [query, status] : queries) {
        const RawReply quick = call("GET", poll + query),
                       server = call("GET", poll + query, {}, {"Content-Length: 0"});
        EXPECT_EQ(quick.status, status) << query.data();
        EXPECT_EQ(quick.head + "\r\n\r\n" + quick.body, server.head + "\r\n\r\n" + server.body)
            << query.data();
    }
}

TEST(QuickPoll, TakesOneWholePlainGetOfThePollAndLeavesTheRestToTheHttpServer) {
    const QByteArray rest = " HTTP/1.1\r\nHost: k\r\nConnection: keep-alive\r\n\r\n";
    const QByteArray get = "GET " + poll + "?token=a";
    const std::vector<std::pair<QByteArray, QByteArray>> cases = {
        {"GET " + poll + "?token=a%20b" + rest, poll + "?token=a%20b"},
        {"GET " + poll + rest, poll},
        {"GET " + poll + "x?token=a" + rest, "server"},
        {"GET /" + rest, "server"},
        {"POST " + poll + rest, "server"},
        {get + " HTTP/1.0\r\n\r\n", "server"},
        {get + rest + get + rest, "server"},  // a second request behind it
        {get + " HTTP/1.1\r\nHost: k\r\n", "server"},
        {get + " HTTP/1.1\r\ncontent-length: 0\r\n\r\n", "server"},
        {get + " HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "server"},
        {get + " HTTP/1.1\r\nExpect: 100-continue\r\n\r\n", "server"},
        {get + " HTTP/1.1\r\nUpgrade: websocket\r\n\r\n", "server"},
        {get + " HTTP/1.1\r\nX: a\nY: b\r\n\r\n", "server"},
        {get + " HTTP/1.1\r\nX: a\rContent-Length: 5\r\n\r\n", "server"},
        {"GET " + poll + "?a b" + rest, "server"},
        {"GET HTTP/1.1\r\n\r\n", "server"},
    };
    for (const auto& [bytes, target] : cases)
        EXPECT_EQ(kt::service::quickPollTarget(bytes, poll).value_or("server"), target)
            << bytes.data();
}

TEST(AdminSecret, IsMadeForTheOwnerAloneAndOnlyItOpensTheAdministratorCommand) {
    using namespace kt::service;
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

// Trusting the service's certificate lets it vouch for the service only.
TEST(ServiceCertificate, IsAServerCertificateThatIsNoCa) {
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
