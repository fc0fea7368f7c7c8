#include <gtest/gtest.h>

#include <QHttpServer>
#include <QHttpServerResponse>
#include <QSslServer>
#include <QTemporaryDir>
#include <future>
#include <list>

#include "QtTestSupport.h"
#include "platform/qt/QtHttpClient.h"

namespace {

using namespace kt;
using kt::testing::qtApp;
using kt::testing::runEventsUntil;
using kt::testing::testTls;

// An HTTPS server in the test process (answering on the test's main thread),
// with the certificate of testTls() and a count of the connections it accepted.
// Paths without a route are answered with 404.
struct StubServer {
    StubServer() {
        http_.route("/", [] { return QHttpServerResponse("text/plain", "root"); });
        http_.route("/big", [] {
            return QHttpServerResponse("application/octet-stream", QByteArray(3 << 20, 'b'));
        });
        // Accepted, never answered.
        http_.route("/stall", [this](const QHttpServerRequest&, QHttpServerResponder&& responder) {
            stalled.push_back(std::move(responder));
        });
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.setLocalCertificate(testTls().pair.certificate);
        ssl.setPrivateKey(testTls().pair.key);
        tcp_->setSslConfiguration(ssl);
        QObject::connect(tcp_, &QSslServer::startedEncryptionHandshake, [this] { ++connections; });
        tcp_->listen(QHostAddress::LocalHost, 0);
        http_.bind(tcp_);
    }
    QString url(const QString& path) const {
        return QStringLiteral("https://127.0.0.1:%1%2").arg(tcp_->serverPort()).arg(path);
    }
    QCoreApplication& app_ = qtApp();  // before any Qt object
    QHttpServer http_;
    QSslServer* tcp_ = new QSslServer;  // owned by http_ once bound
    int connections = 0;
    std::list<QHttpServerResponder> stalled;
};

HttpRequest get(const QString& url, double timeout = 60,
                std::optional<std::size_t> maxBody = std::nullopt) {
    return HttpRequest{"GET", url.toStdString(), {}, "", Seconds{timeout}, maxBody};
}

QtHttpClient::Options trusting(const QString& caDirectory = testTls().directory) {
    return {(caDirectory + "/cert.pem").toStdString(), 1.0};
}

// Sends the request and runs the event loop (where the stub server answers)
// until it completes.
HttpResult fetch(QtHttpClient& client, HttpRequest request) {
    auto answer = std::make_shared<std::promise<HttpResult>>();
    std::future<HttpResult> result = answer->get_future();
    client.send(std::move(request), [answer](HttpResult r) { answer->set_value(std::move(r)); });
    if (!runEventsUntil(
            [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }))
        return TransportError{"no completion", "test", -1};
    return result.get();
}

TEST(QtHttpClient, ResponsesArriveWholeAndFailuresAreTransportErrorsWithTheirReason) {
    StubServer server;
    QTemporaryDir otherCa;
    service::loadOrCreateTlsPair(otherCa.path());
    QtHttpClient client(trusting()), wrongCa(trusting(otherCa.path()));
    const std::pair<HttpRequest, HttpResponse> responses[] = {
        {get(server.url("/")), {200, "root"}},
        {get(server.url("/nothing")), {404, ""}},
        {get(server.url("/big"), 60, 3 << 20), {200, std::string(3 << 20, 'b')}}};
    for (const auto& [request, expected] : responses) {
        const HttpResult result = fetch(client, request);
        const auto* response = std::get_if<HttpResponse>(&result);
        ASSERT_NE(response, nullptr)
            << request.url << ": " << std::get<TransportError>(result).description;
        EXPECT_EQ(response->statusCode, expected.statusCode) << request.url;
        EXPECT_TRUE(response->body == expected.body)
            << request.url << ": " << response->body.size() << " bytes";
    }
    EXPECT_EQ(server.connections, 1) << "the connection is kept and reused";
    const QString closed = [] { return StubServer().url("/"); }();  // a port no one listens on
    // The client, the request and the error's domain, code and underlying reason.
    const std::tuple<QtHttpClient&, HttpRequest, std::string, int, std::string> failures[] = {
        {wrongCa, get(server.url("/")), "QNetworkReply", 6, "self-signed"},   // handshake failed
        {client, get(server.url("/big"), 60, 1 << 20), "HttpClient", 1, ""},  // body too large
        {client, get(server.url("/stall"), 0.3), "QNetworkReply", 4, ""},     // timed out
        {client, get(closed), "QNetworkReply", 1, ""},                        // connection refused
    };
    for (const auto& [failing, request, domain, code, underlying] : failures) {
        SCOPED_TRACE(request.url);
        const HttpResult result = fetch(failing, request);
        const auto* error = std::get_if<TransportError>(&result);
        ASSERT_NE(error, nullptr) << "a response of " << std::get<HttpResponse>(result).statusCode;
        EXPECT_EQ(error->domain + " " + std::to_string(error->code),
                  domain + " " + std::to_string(code))
            << error->description;
        EXPECT_FALSE(error->description.empty());
        EXPECT_NE(error->underlying.find(underlying), std::string::npos) << error->underlying;
    }
    // Destroying the client cancels what is pending, once.
    std::vector<HttpResult> results;
    auto pending = std::make_unique<QtHttpClient>(trusting());
    const std::size_t stalled = server.stalled.size();
    pending->send(get(server.url("/stall")), [&](HttpResult r) { results.push_back(r); });
    ASSERT_TRUE(runEventsUntil([&] { return server.stalled.size() > stalled; }));
    pending.reset();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(std::holds_alternative<TransportError>(results[0]));
    EXPECT_EQ(std::get<TransportError>(results[0]).code, 5);  // OperationCanceledError
}

}  // namespace
