// ka-tesmar-service as a process holds every connection to its limits: slow,
// idle and oversized requests and connections over the caps end with an
// answer the client reads, then a close, while other students are served.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include "ServiceFixture.h"

namespace {

using namespace kt::testing;
using ServiceConnections = ServiceTest;
using Connections = std::vector<std::unique_ptr<TestConnection>>;

const QByteArray keepAliveGet = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

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

// Every whole reply in `received`, in order.
std::vector<RawReply> repliesIn(QByteArray received) {
    std::vector<RawReply> replies;
    bool complete = false;
    for (RawReply reply = parseReply(received, &complete); complete;
         reply = parseReply(received, &complete)) {
        const qint64 length = reply.header("Content-Length").toLongLong();
        reply.body.truncate(length);
        received.remove(0, reply.head.size() + 4 + length);
        replies.push_back(reply);
    }
    return replies;
}

TEST_F(ServiceConnections, SlowIdleAndOversizedRequestsGetTheirAnswerAndThenAClose) {
    start({"--request-timeout", "1", "--idle-timeout", "2", "--max-students", "1"});
    const QByteArray megabyte(1'000'000, 'a');
    const QByteArray login = "POST /Vexlo/api/class-login.php HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    // Once: all at once. Drip: then one more byte every 50 ms. Unread: the rest goes
    // after the service has refused the request, and nothing is read until all of it
    // is out, so that a reset meanwhile loses the answer. Poll: the same request
    // again every 500 ms, six times, past the idle deadline of the first.
    enum class Pace { Once, Drip, Unread, Poll };
    struct Case {
        const char* what;
        QByteArray sent;
        std::vector<int> answers;  // their statuses, in order, before the close
        Pace pace = Pace::Once;
        QByteArray afterAnswer = {};  // sent once the first answer is in
    };
    const std::vector<Case> cases = {
        {"1 MB body", login + "Content-Length: 1000000\r\n\r\n" + megabyte, {413}, Pace::Unread},
        {"300 MB announced",
         login + "Content-Length: 300000000\r\n\r\n" + megabyte,
         {413},
         Pace::Unread},
        {"1 MB head", "GET / HTTP/1.1\r\nX-Big: " + megabyte + "\r\n\r\n", {431}, Pace::Unread},
        {"nothing sent", {}, {}},
        {"half a head", "GET / HTTP/1.1\r\nHost: 127", {408}},
        {"a head a byte at a time", "GET / HTTP/1.1\r\nX-Slow: ", {408}, Pace::Drip},
        {"half a body", login + "Content-Length: 100\r\n\r\nstudent_name=", {408}},
        {"half a second request", keepAliveGet, {200, 408}, Pace::Once, "GET / HTTP/1.1\r\nHo"},
        {"idle after a request", keepAliveGet, {200}},
        {"idle after polls", keepAliveGet, std::vector<int>(7, 200), Pace::Poll},
    };
    Connections connections;
    qsizetype refused = 0;
    for (const Case& c : cases) {
        connections.push_back(std::make_unique<TestConnection>(service->port()));
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
                connections[i]->send(keepAliveGet);
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
        const std::vector<RawReply> replies = repliesIn(connection.received());
        std::vector<int> answers;
        for (const RawReply& reply : replies) answers.push_back(reply.status);
        EXPECT_EQ(answers, c.answers) << c.what << ": " << connection.received().left(300).data();
        if (!answers.empty() && answers.back() != 200)
            expectRefusal(replies.back(), answers.back(), c.what);
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
    // "New, TLSv1.3" or "Reused, TLSv1.3": how the handshake went.
    const auto handshake = [](const QString& output) {
        return QRegularExpression("^(New|Reused), [^,]+", QRegularExpression::MultilineOption)
            .match(output)
            .captured();
    };
    const QString first = connect("-sess_out");
    ASSERT_TRUE(first.contains("HTTP/1.1 200 OK")) << first.right(300).toStdString();
    const QString second = connect("-sess_in");
    EXPECT_EQ(handshake(second), "Reused, TLSv1.3");
    EXPECT_TRUE(second.contains("HTTP/1.1 200 OK")) << second.right(300).toStdString();
}

}  // namespace
