// ka-tesmar-service as a process: the limits on its connections, TLS session
// resumption, and what it trusts and serves behind a front.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTimer>

#include "ServiceFixture.h"
#include "http/ProxyHeader.h"
#include "limits/ServiceLimits.h"

namespace {

using namespace kt::testing;
using ServiceConnections = ServiceTest;
using kt::service::parseProxyHeader;
using kt::service::ProxyHeader;
using Outcome = ProxyHeader::Outcome;
using Connections = std::vector<std::unique_ptr<TestConnection>>;

const QByteArray keepAliveGet = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
const QByteArray unknownPoll =
    "GET /Vexlo/api/class-status.php?token=x HTTP/1.1\r\nHost: x\r\n\r\n";

// A new connection from `from` that asked for "/" and got its reply.
std::unique_ptr<TestConnection> served(quint16 port, const QString& from, RawReply& reply) {
    auto connection = std::make_unique<TestConnection>(port, from);
    connection->send(keepAliveGet);
    reply = connection->waitForReply();
    return connection;
}

// What a refusal must look like: the status, a Dutch JSON error, and the close announced.
void expectRefusal(const RawReply& reply, int status, const char* what) {
    EXPECT_EQ(reply.status, status) << what << ": " << reply.head.toStdString();
    EXPECT_EQ(reply.header("Connection"), "close") << what;
    EXPECT_EQ(json(reply).value("success"), false) << what;
    EXPECT_FALSE(json(reply).value("error").toString().isEmpty())
        << what << ": " << reply.body.data();
}

TEST_F(ServiceConnections, SlowIdleAndOversizedRequestsGetTheirAnswerAndThenAClose) {
    start({"--request-timeout", "1", "--idle-timeout", "2", "--max-students", "1", "--listen-plain",
           "127.0.0.1:0"});
    const quint16 plainPort = announcedPort(*service, "Behind a front");
    const QByteArray megabyte(1'000'000, 'a');
    const QByteArray login = "POST /Vexlo/api/class-login.php HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    // Once: all at once. Drip: then one more byte every 50 ms. Unread: the rest goes
    // after the service has refused the request, and nothing is read until all of it
    // is out, so that a reset meanwhile loses the answer. Poll: the same request
    // again every 500 ms, six times, past the idle deadline of the first (the
    // students' status poll, which the TLS connection answers itself).
    enum class Pace { Once, Drip, Unread, Poll };
    struct Case {
        const char* what;
        QByteArray sent;
        std::vector<int> answers;  // their statuses, in order, before the close
        Pace pace = Pace::Once;
        QByteArray afterAnswer = {};  // sent once the first answer is in
        bool plain = false;           // to the plain listener: the guard's own graceful end
    };
    const std::vector<Case> cases = {
        {"1 MB body", login + "Content-Length: 1000000\r\n\r\n" + megabyte, {413}, Pace::Unread},
        {"1 MB head, plain",
         "GET / HTTP/1.1\r\nX-Big: " + megabyte + "\r\n\r\n",
         {431},
         Pace::Unread,
         {},
         true},
        {"nothing sent", {}, {}},
        {"half a head", "GET / HTTP/1.1\r\nHost: 127", {408}},
        {"a head a byte at a time", "GET / HTTP/1.1\r\nX-Slow: ", {408}, Pace::Drip},
        {"half a body", login + "Content-Length: 100\r\n\r\nstudent_name=", {408}},
        {"half a second request", keepAliveGet, {200, 408}, Pace::Once, "GET / HTTP/1.1\r\nHo"},
        {"idle after a request", keepAliveGet, {200}},
        {"idle after polls", unknownPoll, std::vector<int>(7, 401), Pace::Poll},
        {"idle after requests", keepAliveGet, std::vector<int>(7, 200), Pace::Poll},
    };
    Connections connections;
    qsizetype refused = 0;
    for (const Case& c : cases) {
        connections.push_back(std::make_unique<TestConnection>(
            c.plain ? plainPort : service->port(), "127.0.0.1", !c.plain));
        if (c.pace != Pace::Unread) {
            connections.back()->send(c.sent);
            continue;
        }
        // The refusals come first: no other line with " refused 4" is due before them.
        const qsizetype refusal = 20000;  // past the head's limit, or the body's head
        connections.back()->sendWithoutReading(c.sent.left(refusal));
        ASSERT_TRUE(service->waitForOutputAlone(" refused 4", ++refused)) << c.what;
        connections.back()->sendWithoutReading(c.sent.mid(refusal));
    }
    QTimer drip;
    std::vector<bool> followed(cases.size());
    int ticks = 0;
    QObject::connect(&drip, &QTimer::timeout, [&] {
        ++ticks;
        for (std::size_t i = 0; i < connections.size(); ++i) {
            if (cases[i].pace == Pace::Drip && !connections[i]->closed())
                connections[i]->send("a");
            if (cases[i].pace == Pace::Poll && ticks % 10 == 0 && ticks <= 60)
                connections[i]->send(cases[i].sent);
            if (!cases[i].afterAnswer.isEmpty() && !followed[i] && connections[i]->reply().status)
                connections[i]->send(cases[i].afterAnswer), followed[i] = true;
        }
    });
    drip.start(50);
    runEventsUntil(
        [&] {
            return std::all_of(connections.begin(), connections.end(),
                               [](const auto& connection) { return connection->closed(); });
        },
        30000);

    for (std::size_t i = 0; i < connections.size(); ++i) {
        const Case& c = cases[i];
        const TestConnection& connection = *connections[i];
        EXPECT_TRUE(connection.closed()) << c.what << ": the service must close it";
        const QByteArray& received = connection.received();
        std::vector<int> answers;
        const QRegularExpression statusLine("HTTP/1\\.1 (\\d{3}) ");
        for (const auto& status : statusLine.globalMatch(QString::fromLatin1(received)))
            answers.push_back(status.captured(1).toInt());
        EXPECT_EQ(answers, c.answers) << c.what << ": " << received.left(300).data();
        if (!answers.empty() && answers.back() != 200 && answers.back() != 401)
            expectRefusal(parseReply(received.mid(received.lastIndexOf("HTTP/1.1 "))),
                          answers.back(), c.what);
    }
    for (const char* line : {"refused 408 request not complete in time",
                             "refused 413 request too large", "refused 431 request head too large"})
        EXPECT_TRUE(service->waitForOutput(line)) << line;
    EXPECT_TRUE(studentServed()) << "it still serves";
    EXPECT_EQ(studentJoins(service->port()), "") << "a class of one is full";
}

TEST_F(ServiceConnections, ConnectionsOverTheCapsAreRefusedWhileOthersAreServed) {
    start({"--max-connections", "8", "--max-connections-per-address", "2"});
    Connections held;
    RawReply reply;
    for (int i = 0; i < 2; ++i) {
        held.push_back(served(service->port(), "127.0.0.2", reply));
        ASSERT_EQ(reply.status, 200) << "within the cap of its address";
    }
    // A student's poll over the cap, its request line in two pieces: the
    // refusal is plain text, as the application reads any JSON object there as
    // the class's answer (one with "success": false as the end of its session).
    TestConnection third(service->port(), "127.0.0.2");
    third.send("GET /Vexlo/api/class-");
    runEventsUntil([] { return false; }, 200);  // the first piece is read alone
    third.send("status.php?token=abc HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    reply = third.waitForReply();
    EXPECT_EQ(reply.status, 429) << reply.head.toStdString();
    EXPECT_EQ(reply.header("Content-Type"), "text/plain; charset=utf-8");
    EXPECT_EQ(reply.body, "Te veel verbindingen vanaf dit adres\n");
    EXPECT_TRUE(runEventsUntil([&] { return third.closed(); })) << "closed after its answer";
    served(service->port(), "127.0.0.2", reply);
    expectRefusal(reply, 429, "any other request");
    EXPECT_TRUE(studentServed()) << "another address is served meanwhile";

    // A teacher's browser behind that address (a school's students and teachers
    // often share one) is served over its cap: by its session or its device cookie.
    QByteArray device;
    const Headers teacher = teacherLogsIn(service->port(), *database, "juf", &device);
    const QByteArray classes = "/leerkracht/api/classes";
    EXPECT_EQ(call("GET", classes, {}, teacher, "127.0.0.2").status, 200);
    EXPECT_EQ(call("GET", classes, {}, {"Cookie: a=b; " + device}, "127.0.0.2").status, 401);
    reply = call("GET", classes, {}, {"Cookie: kt_toestel=1.0123456789abcdef.1.abc"}, "127.0.0.2");
    expectRefusal(reply, 429, "a device cookie the service did not sign");

    // Addresses of their own until the total is reached: six besides the two
    // held (closed connections, the teacher's too, count no more), then a refusal.
    Connections more;
    int servedMore = 0;
    EXPECT_TRUE(runEventsUntil([&] {
        more.clear();
        for (servedMore = 0; servedMore < 8; ++servedMore) {
            more.push_back(
                served(service->port(), QStringLiteral("127.0.0.%1").arg(3 + servedMore), reply));
            if (reply.status != 200)
                break;
        }
        return servedMore == 6;
    })) << servedMore
        << " served before the total cap";
    expectRefusal(reply, 503, "over the total cap");

    // A closed connection frees its place.
    held.front().reset();
    EXPECT_TRUE(runEventsUntil([&] {
        const auto again = served(service->port(), "127.0.0.2", reply);
        return reply.status == 200;
    })) << "last answer "
        << reply.status;
    EXPECT_TRUE(
        service->waitForOutput("127.0.0.2 refused 429 too many connections from this address"));
    EXPECT_TRUE(service->waitForOutput("refused 503 too many connections"));
}

// The listener's connections share one TLS context: a session that one
// connection was given resumes on the next (another context's keys refuse it).
TEST_F(ServiceConnections, ATlsSessionFromOneConnectionResumesOnTheNext) {
    start();
    const auto connect = [&](const char* sessionOption) {
        QProcess client;
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start("openssl",
                     {"s_client", "-connect", QStringLiteral("127.0.0.1:%1").arg(service->port()),
                      sessionOption, dir.filePath("session.pem")});
        client.write(keepAliveGet);
        QString output;
        while (!output.contains("HTTP/1.1 200 OK") && client.waitForReadyRead(30000))
            output += QString::fromUtf8(client.readAll());
        client.closeWriteChannel();
        client.waitForFinished(30000);
        return output + QString::fromUtf8(client.readAll());
    };
    const QString first = connect("-sess_out");
    ASSERT_TRUE(first.contains("HTTP/1.1 200 OK")) << first.right(300).toStdString();
    const QString second = connect("-sess_in");
    EXPECT_TRUE(second.contains("\nReused, TLSv1.3")) << "not resumed:\n"
                                                      << second.left(1500).toStdString();
    EXPECT_TRUE(second.contains("HTTP/1.1 200 OK")) << second.right(300).toStdString();
}

// A binary PROXY header: `command` 0 LOCAL, 1 PROXY; `family` as on the wire.
QByteArray proxyV2(quint8 command, quint8 family, const QByteArray& addresses, quint8 version = 2) {
    return QByteArray("\r\n\r\n\0\r\nQUIT\n", 12) + char(version << 4 | command) + char(family) +
           char(addresses.size() >> 8) + char(addresses.size() & 0xff) + addresses;
}

// An address as the binary header carries it (an IPv4 one is the end of its mapped IPv6 one).
QByteArray wire(const QHostAddress& address) {
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    return QByteArray(reinterpret_cast<const char*>(address.toIPv6Address().c) + (v6 ? 0 : 12),
                      v6 ? 16 : 4);
}

// From `client` to a server of its family, with both ports.
QByteArray proxyV2(const QString& client) {
    const QHostAddress address(client);
    const bool v4 = address.protocol() == QAbstractSocket::IPv4Protocol;
    const QHostAddress server(v4 ? "192.0.2.80" : "2001:db8::80");
    return proxyV2(1, v4 ? 0x11 : 0x21,
                   wire(address) + wire(server) + QByteArray("\xd4\x31\x1f\x91", 4));
}

TEST(ProxyHeaderParsing, TakesWholeHeadersAndRefusesBrokenOnes) {
    const QByteArray request = "GET / HTTP/1.1\r\n\r\n";
    const QByteArray v4 = proxyV2("10.1.2.3"), v6 = proxyV2("2001:db8::7");
    const QByteArray v4Block = v4.mid(16);
    const QByteArray withExtensions = proxyV2(1, 0x11, v4Block + QByteArray("\x04\x00\x02xy", 5));
    const QByteArray v1 = "PROXY TCP4 10.9.8.7 127.0.0.1 5555 8081\r\n";
    struct Case {
        const char* what;
        QByteArray bytes;
        Outcome outcome;
        qsizetype length = 0;
        QString client = {};  // empty: none
    };
    const std::vector<Case> cases = {
        {"v2 IPv4", v4 + request, Outcome::Parsed, v4.size(), "10.1.2.3"},
        {"v2 IPv6", v6 + request, Outcome::Parsed, v6.size(), "2001:db8::7"},
        {"v2 with extensions", withExtensions, Outcome::Parsed, withExtensions.size(), "10.1.2.3"},
        {"v2 LOCAL (a health check)", proxyV2(0, 0x11, v4Block), Outcome::Parsed, 28},
        {"v2 without an address", proxyV2(1, 0x00, {}), Outcome::Parsed, 16},
        {"v2 truncated", v4.left(20), Outcome::NeedMore},
        {"v2 signature so far", v4.left(5), Outcome::NeedMore},
        {"nothing yet", {}, Outcome::NeedMore},
        {"wrong signature", QByteArray("\r\n\r\n\0\r\nQUIZ\n", 12) + v4.mid(12), Outcome::NotProxy},
        {"a plain request", request, Outcome::NotProxy},
        {"v2 wrong version", proxyV2(1, 0x11, v4Block, 3), Outcome::Malformed},
        {"v2 unknown command", proxyV2(2, 0x11, v4Block), Outcome::Malformed},
        {"v2 unknown family", proxyV2(1, 0x41, v4Block), Outcome::Malformed},
        {"v2 IPv4 block too short", proxyV2(1, 0x11, v4Block.left(8)), Outcome::Malformed},
        {"v2 IPv6 block too short", proxyV2(1, 0x21, v4Block), Outcome::Malformed},
        {"v2 oversized", proxyV2(1, 0x11, QByteArray(2000, 'x')).left(40), Outcome::Malformed},
        {"v1 TCP4", v1 + request, Outcome::Parsed, v1.size(), "10.9.8.7"},
        {"v1 TCP6", "PROXY TCP6 2001:db8::9 ::1 5555 8081\r\n", Outcome::Parsed, 38, "2001:db8::9"},
        {"v1 UNKNOWN", "PROXY UNKNOWN\r\n", Outcome::Parsed, 15},
        {"v1 without its end", v1.left(20), Outcome::NeedMore},
        {"v1 family and address differ", "PROXY TCP4 ::1 ::1 1 2\r\n", Outcome::Malformed},
        {"v1 bad port", "PROXY TCP4 10.0.0.1 10.0.0.2 x 80\r\n", Outcome::Malformed},
        {"v1 missing field", "PROXY TCP4 10.0.0.1 10.0.0.2 80\r\n", Outcome::Malformed},
        {"v1 overlong", "PROXY " + QByteArray(120, '1'), Outcome::Malformed},
    };
    for (const Case& c : cases) {
        const ProxyHeader header = parseProxyHeader(c.bytes);
        EXPECT_EQ(header.outcome, c.outcome) << c.what;
        if (c.outcome != Outcome::Parsed)
            continue;
        EXPECT_EQ(header.length, c.length) << c.what;
        EXPECT_EQ(header.client.value_or(QHostAddress()).toString(), c.client) << c.what;
    }
}

class ServiceFront : public ServiceTest {
  protected:
    void start(const QStringList& options) {
        ServiceTest::start(QStringList{"--instance-id", "front-test"} + options);
        plainPort = announcedPort(*service, "Behind a front");
        adminPort = announcedPort(*service, "Health and metrics");
    }

    quint16 plainPort = 0, adminPort = 0;
};

TEST_F(ServiceFront, TheClientsAddressComesFromTrustedFrontsOnly) {
    start({"--listen-plain", "127.0.0.1:0", "--trusted-front", "127.0.0.1",
           "--max-connections-per-address", "1"});
    ASSERT_NE(plainPort, 0) << service->output().toStdString();
    constexpr int notServed = -1;  // any answer but 200, or none
    struct Step {
        const char* from;
        QByteArray header;  // before the request
        QByteArray forwardedFor = {};
        int status = 200;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;  // on connections held open to the end of the case
        QString logged;           // "ADDRESS GET / 200" in the request log
        QString neverLogged = {};
    };
    const QByteArray front = "127.0.0.1";
    const std::vector<Case> cases = {
        {"PROXY v2 from a trusted front: the cap is the client's",
         {{front, proxyV2("10.1.0.1")},
          {front, proxyV2("10.1.0.1"), {}, 429},
          {front, proxyV2("10.1.0.2")}},
         "10.1.0.1"},
        {"PROXY v2 over IPv6: per /64",
         {{front, proxyV2("2001:db8:0:1::1")},
          {front, proxyV2("2001:db8:0:1::2"), {}, 429},
          {front, proxyV2("2001:db8:0:2::1")}},
         "2001:db8:0:1::1"},
        {"X-Forwarded-For from a trusted front: its last entry",
         {{front, {}, "198.51.100.7, 10.3.0.1"},
          {front, {}, "10.3.0.2, 10.3.0.1", 429},
          {front, {}, "10.3.0.1, 10.3.0.2"}},
         "10.3.0.1",
         "198.51.100.7"},
        {"X-Forwarded-For from another peer is ignored",
         {{"127.0.0.2", {}, "10.4.0.1"}, {"127.0.0.2", {}, "10.4.0.2", 429}},
         "127.0.0.2",
         "10.4.0.1"},
        {"a PROXY header from another peer is not read",
         {{"127.0.0.3", proxyV2("10.5.0.1"), {}, notServed}},
         {},
         "10.5.0.1"},
        {"a trusted front's malformed PROXY header closes the connection",
         {{front, proxyV2(1, 0x11, QByteArray(12, 'x'), 3), {}, 0}},
         {}},
        {"a trusted front's own connection (LOCAL)", {{front, proxyV2(0, 0x00, {})}}, "127.0.0.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::unique_ptr<TestConnection>> held;
        for (const Step& step : c.steps) {
            QByteArray request = step.header + "GET / HTTP/1.1\r\nHost: x\r\n";
            if (!step.forwardedFor.isEmpty())
                request += "X-Forwarded-For: " + step.forwardedFor + "\r\n";
            held.push_back(std::make_unique<TestConnection>(plainPort, step.from, false));
            held.back()->send(request + "\r\n");
            const RawReply reply = held.back()->waitForReply();
            if (step.status == notServed)
                EXPECT_NE(reply.status, 200);
            else
                EXPECT_EQ(reply.status, step.status) << reply.head.data();
        }
        EXPECT_TRUE(c.logged.isEmpty() || service->waitForOutput(" " + c.logged + " GET / 200"));
        EXPECT_TRUE(c.neverLogged.isEmpty() || !service->output().contains(c.neverLogged));
    }
}

// So that a front balancing connections spreads the students again after an
// instance restarted; a student's own TLS connection stays.
TEST_F(ServiceFront, AStudentsConnectionThroughTheFrontEndsAfterItsPolls) {
    start({"--listen-plain", "127.0.0.1:0"});
    const QByteArray poll = "GET /Vexlo/api/class-status.php?token=" + studentToken().toLatin1() +
                            " HTTP/1.1\r\nHost: x\r\n\r\n";
    const int polls = kt::service::limits::pollsPerFrontConnection;
    for (const bool front : {true, false}) {
        TestConnection connection(front ? plainPort : service->port(), "127.0.0.1", !front);
        // A TLS connection passes its polls to the HTTP server's side too once
        // it asked something else: it stays all the same.
        if (!front)
            connection.send(keepAliveGet), connection.waitForReply();
        const auto answered = [&] { return connection.received().count("HTTP/1.1 200 ") - !front; };
        for (int i = 1; i <= polls + 1 && !connection.closed(); ++i) {
            connection.send(poll);
            runEventsUntil([&] { return answered() == i || connection.closed(); });
        }
        const QByteArray& received = connection.received();
        const qsizetype lastReply = received.lastIndexOf("HTTP/1.1 ");
        EXPECT_EQ(answered(), front ? polls : polls + 1) << (front ? "front" : "TLS");
        EXPECT_EQ(received.count("Connection: close"), front ? 1 : 0) << (front ? "front" : "TLS");
        EXPECT_EQ(received.indexOf("Connection: close") > lastReply, front)
            << received.right(300).data();
        EXPECT_EQ(connection.closed(), front) << (front ? "front" : "TLS");
    }
    // A kept-alive TLS connection: each poll answered for its own token, the
    // same bytes before and after another request on it, and a poll that comes
    // in two pieces or with a second one behind it answered too.
    TestConnection connection(service->port(), "127.0.0.1", true);
    const auto pollWith = [](const QByteArray& token) {
        return "GET /Vexlo/api/class-status.php?token=" + token + " HTTP/1.1\r\nHost: x\r\n\r\n";
    };
    const QByteArray valid = pollWith(studentToken().toLatin1()), unknown = unknownPoll;
    const std::vector<std::vector<QByteArray>> steps = {
        {unknown}, {valid},        {valid.left(9), valid.mid(9)}, {valid}, {keepAliveGet}, {valid},
        {unknown}, {valid + valid}};
    std::vector<QByteArray> replies;
    for (const auto& pieces : steps) {
        const qsizetype before = connection.received().count("HTTP/1.1 ");
        for (const QByteArray& piece : pieces) {
            connection.send(piece);
            runEventsUntil([] { return false; }, 100);  // each piece read alone
        }
        const int due = pieces.front() == valid + valid ? 2 : 1;
        runEventsUntil([&] { return connection.received().count("HTTP/1.1 ") == before + due; });
    }
    const QByteArray& received = connection.received();
    for (qsizetype at = 0; (at = received.indexOf("HTTP/1.1 ", at)) >= 0; ++at)
        replies.push_back(received.mid(at, received.indexOf("HTTP/1.1 ", at + 1) - at));
    std::vector<int> statuses;
    for (const QByteArray& reply : replies) statuses.push_back(parseReply(reply).status);
    EXPECT_EQ(statuses, (std::vector<int>{401, 200, 200, 200, 200, 200, 401, 200, 200}))
        << received.data();
    for (const std::size_t i : {2, 3, 5, 7, 8})
        EXPECT_EQ(replies.at(i), replies.at(1)) << "reply " << i;
    EXPECT_FALSE(connection.closed());
}

TEST_F(ServiceFront, HealthAndMetricsAreNeverOnTheStudentsListener) {
    struct Case {
        const char* what;
        QStringList options;
        bool onPlain;  // else on the admin address
    };
    const std::vector<Case> cases = {
        {"behind the front", {"--listen-plain", "127.0.0.1:0"}, true},
        {"on an admin address",
         {"--listen-plain", "127.0.0.1:0", "--admin-listen", "127.0.0.1:0"},
         false},
    };
    for (const Case& c : cases) {
        QFile::remove(database->address);  // its own students
        start(c.options);
        ASSERT_TRUE(studentServed()) << c.what;
        const quint16 adminAt = c.onPlain ? plainPort : adminPort;
        const RawReply health = plainGet(adminAt, "/healthz");
        EXPECT_EQ(health.status, 200) << c.what;
        const QJsonObject body = json(health);
        EXPECT_EQ(body.value("instance").toString(), "front-test") << c.what;
        EXPECT_EQ(body.value("database"), true) << c.what;
        const QByteArray metrics = plainGet(adminAt, "/metrics").body;
        for (const char* line : {"ka_tesmar_polls_total 1\n", "ka_tesmar_students_online 1\n",
                                 "ka_tesmar_database_errors_total 0\n"})
            EXPECT_TRUE(metrics.contains(line)) << c.what << ": " << line << "\n" << metrics.data();
        for (const QByteArray path : {"/healthz", "/metrics"}) {
            EXPECT_EQ(call("GET", path).status, 404)
                << c.what << ": " << path.data() << " over TLS";
            if (!c.onPlain) {
                EXPECT_EQ(plainGet(plainPort, path).status, 404) << c.what << ": " << path.data();
            }
        }
    }
}

}  // namespace
