#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThread>
#include <deque>
#include <future>
#include <list>
#include <mutex>
#include <optional>
#include <set>

#include "QtTestSupport.h"
#include "TlsStubServer.h"
#include "platform/qt/QtHttpClient.h"

namespace {

using kt::HttpRequest;
using kt::HttpResponse;
using kt::HttpResult;
using kt::QtHttpClient;
using kt::Seconds;
using kt::TransportError;
using kt::testing::qtApp;
using kt::testing::runEventsUntil;
using kt::testing::StubServer;
using kt::testing::testTls;

// Collects completions, which arrive on the client's thread.
class Results {
  public:
    QtHttpClient::Completion collector() {
        return [this](HttpResult result) {
            std::lock_guard lock(mutex_);
            results_.push_back(std::move(result));
            threads_.push_back(QThread::currentThread());
        };
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return results_.size();
    }
    bool waitFor(std::size_t n) {
        return runEventsUntil([&] { return count() >= n; });
    }
    // A deque: what was collected keeps its place while more arrives.
    const HttpResult& at(std::size_t i) const {
        std::lock_guard lock(mutex_);
        return results_.at(i);
    }
    QThread* threadOf(std::size_t i) const {
        std::lock_guard lock(mutex_);
        return threads_.at(i);
    }

  private:
    mutable std::mutex mutex_;
    std::deque<HttpResult> results_;
    std::vector<QThread*> threads_;
};

HttpRequest get(const QString& url, double timeout = 60) {
    HttpRequest request;
    request.url = url.toStdString();
    request.timeout = Seconds{timeout};
    return request;
}

QtHttpClient::Options trusting(double scale = 1.0) {
    return {testTls().certificatePath.toStdString(), scale};
}

class QtHttpClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qtApp();
        ASSERT_TRUE(testTls().pair.error.isEmpty()) << testTls().pair.error.toStdString();
    }
};

TEST_F(QtHttpClientTest, TrustsTheExtraCaReusesOneConnectionAndCompletesOnItsOwnThread) {
    StubServer server;
    QtHttpClient client(trusting());
    Results results;
    for (int i = 0; i < 3; ++i) {
        client.send(get(server.url("/")), results.collector());
        ASSERT_TRUE(results.waitFor(i + 1));
    }
    for (std::size_t i = 0; i < 3; ++i) {
        const auto* response = std::get_if<HttpResponse>(&results.at(i));
        ASSERT_NE(response, nullptr);
        EXPECT_EQ(response->statusCode, 200);
        EXPECT_EQ(response->body, "root");
        EXPECT_EQ(results.threadOf(i), client.completionThread());
        EXPECT_NE(results.threadOf(i), QThread::currentThread());
    }
    EXPECT_EQ(server.connections(), 1) << "the connection is kept and reused";
}

TEST_F(QtHttpClientTest, AnUntrustedCertificateIsRefusedWithTheTlsReason) {
    StubServer server;
    QtHttpClient client({"", 1.0});
    Results results;
    client.send(get(server.url("/")), results.collector());
    ASSERT_TRUE(results.waitFor(1));
    const auto* error = std::get_if<TransportError>(&results.at(0));
    ASSERT_NE(error, nullptr) << "never switched off";
    EXPECT_EQ(error->domain, "QNetworkReply");
    EXPECT_EQ(error->code, 6) << error->description;  // SslHandshakeFailedError
    EXPECT_FALSE(error->description.empty());
    EXPECT_NE(error->underlying.find("self-signed"), std::string::npos) << error->underlying;
}

TEST_F(QtHttpClientTest, HttpErrorStatusesLargeBodiesAndPostsArriveAsResponses) {
    StubServer server;
    QtHttpClient client(trusting());
    Results results;
    client.send(get(server.url("/status/404")), results.collector());
    client.send(get(server.url("/status/500")), results.collector());
    client.send(get(server.url("/big")), results.collector());
    HttpRequest post = get(server.url("/echo"));
    post.method = "POST";
    post.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    post.body = "student_name=Jan&class_code=ABC123";
    client.send(post, results.collector());
    ASSERT_TRUE(results.waitFor(4));

    std::multiset<std::pair<int, std::string>> seen;  // completions come in any order
    for (std::size_t i = 0; i < 4; ++i) {
        const auto* response = std::get_if<HttpResponse>(&results.at(i));
        ASSERT_NE(response, nullptr) << "result " << i;
        seen.emplace(response->statusCode, response->body);
    }
    EXPECT_EQ(seen.count({404, "x"}), 1u);
    EXPECT_EQ(seen.count({500, "x"}), 1u);
    EXPECT_EQ(seen.count({200, std::string(3 << 20, 'b')}), 1u);
    EXPECT_EQ(
        seen.count({200, "application/x-www-form-urlencoded|student_name=Jan&class_code=ABC123"}),
        1u);
}

TEST_F(QtHttpClientTest, ABodyOverTheRequestsLimitIsNotReadFurther) {
    StubServer server;
    QtHttpClient client(trusting());
    Results results;
    HttpRequest limited = get(server.url("/big"));  // 3 MiB
    limited.maxBodyBytes = 1 << 20;
    client.send(limited, results.collector());
    ASSERT_TRUE(results.waitFor(1));
    const auto* error = std::get_if<TransportError>(&results.at(0));
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(kt::isBodyTooLarge(*error)) << error->description;

    limited.maxBodyBytes = 3 << 20;  // exactly the body
    client.send(limited, results.collector());
    ASSERT_TRUE(results.waitFor(2));
    const auto* response = std::get_if<HttpResponse>(&results.at(1));
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->body.size(), std::size_t{3} << 20);
}

TEST_F(QtHttpClientTest, AServerThatNeverAnswersEndsInATimeOut) {
    StubServer server;
    QtHttpClient client(trusting(0.01));  // 60 s become 0.6 s
    Results results;
    client.send(get(server.url("/stall"), 60), results.collector());
    ASSERT_TRUE(results.waitFor(1));
    const auto* error = std::get_if<TransportError>(&results.at(0));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->code, 4);  // TimeoutError
    EXPECT_EQ(error->description, "The request timed out.");
}

TEST_F(QtHttpClientTest, RefusedConnectionsAndBadUrlsAreTransportErrors) {
    quint16 closedPort;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closedPort = probe.serverPort();
    }
    QtHttpClient client(trusting());
    Results results;
    client.send(get(QStringLiteral("https://127.0.0.1:%1/").arg(closedPort)), results.collector());
    ASSERT_TRUE(results.waitFor(1));
    client.send(get("not a url at all"), results.collector());
    ASSERT_TRUE(results.waitFor(2));
    const auto* refused = std::get_if<TransportError>(&results.at(0));
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->code, 1);  // ConnectionRefusedError
    EXPECT_FALSE(refused->description.empty());
    EXPECT_NE(std::get_if<TransportError>(&results.at(1)), nullptr);
}

TEST_F(QtHttpClientTest, DestroyingTheClientCancelsWhatIsPendingOnce) {
    StubServer server;
    Results results;
    {
        QtHttpClient client(trusting());
        client.send(get(server.url("/stall")), results.collector());
        ASSERT_TRUE(runEventsUntil([&] { return server.stalledCount() == 1; }));
    }
    ASSERT_EQ(results.count(), 1u);
    const auto* error = std::get_if<TransportError>(&results.at(0));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->code, 5);  // OperationCanceledError
}

TEST_F(QtHttpClientTest, TheMainThreadMayBlockWhileItWaitsForAReply) {
    QTemporaryDir dir;
    kt::testing::ServiceProcess service(
        kt::testing::writeClassesFile(dir, R"([{"code":"ABC123"}])"), testTls().directory);
    ASSERT_TRUE(service.started()) << service.output().toStdString();
    QtHttpClient client(trusting());
    std::promise<HttpResult> answer;
    client.send(get(service.rootUrl()), [&answer](HttpResult result) { answer.set_value(result); });
    // No event processing on this thread while it waits.
    auto future = answer.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const HttpResult result = future.get();
    ASSERT_NE(std::get_if<HttpResponse>(&result), nullptr);
    EXPECT_EQ(std::get<HttpResponse>(result).statusCode, 200);
}

}  // namespace
