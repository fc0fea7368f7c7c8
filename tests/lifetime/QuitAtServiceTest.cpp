// A quit while logged in, against the real reference service over TLS on
// loopback: the session is gone there afterwards.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <memory>

#include "QtTestSupport.h"
#include "TestPorts.h"
#include "app/AppDelegate.h"
#include "app/AppState.h"
#include "platform/qt/QtHttpClient.h"
#include "platform/qt/QtNetworkInterfaces.h"
#include "platform/qt/QtScheduler.h"
#include "platform/qt/QtSystemInformation.h"
#include "platform/qt/SystemClock.h"
#include "session/ServiceRequests.h"
#include "session/ServiceUrls.h"

namespace kt {
namespace {

using testing::ServiceProcess;
using testing::testTls;

const QByteArray classes = R"([
  {"code":"ABC123","class_name":"3B","teacher_name":"Mevr. Claes","school_name":"Sint-Jan",
   "is_blocked":false,"domains":["chatgpt.com"],"ips":[],"ip_ranges":[]}
])";

TEST(QuitAtService, QuitWhileLoggedInDeletesTheSessionAtTheServiceWithinItsWait) {
    testing::qtApp();
    ASSERT_TRUE(testTls().pair.error.isEmpty());
    QTemporaryDir dir;
    ServiceProcess service(testing::writeClassesFile(dir, classes), testTls().directory);
    ASSERT_TRUE(service.started()) << service.output().toStdString();

    // Real time, real HTTP and the real wait; the restore shell is a fake.
    testing::TestPorts fakes;
    QtScheduler scheduler;
    SystemClock clock;
    QtHttpClient http(QtHttpClient::Options{testTls().certificatePath.toStdString(), 1.0});
    QtNetworkInterfaces interfaces;
    QtSystemInformation system;
    SteadyBlockingWait wait;
    Ports ports = fakes.ports();
    ports.scheduler = &scheduler;
    ports.clock = &clock;
    ports.http = &http;
    ports.networkInterfaces = &interfaces;
    ports.systemInformation = &system;
    ports.blockingWait = &wait;
    auto state = AppState::create(ports);
    state->apiBaseURL = service.baseUrl().toStdString();
    state->probeURL = service.rootUrl().toStdString();

    state->loginWithClassCode("Jan Peeters", "abc123");
    ASSERT_TRUE(testing::runEventsUntil([&] { return !state->isLoading.get(); }, 60000));
    ASSERT_TRUE(state->isLoggedIn.get()) << state->errorMessage.get().value_or("");
    const std::string token = state->sessionToken.get().value();

    AppDelegate delegate;
    delegate.appState = state;
    QElapsedTimer elapsed;
    elapsed.start();
    delegate.applicationWillTerminate();
    const qint64 tookUs = elapsed.nsecsElapsed() / 1000;

    EXPECT_LT(tookUs, 3'000'000) << "the service answered, so the quit did not wait its 3 s out";
    RecordProperty("willTerminateMicroseconds", static_cast<int>(tookUs));
    // The service's own log line, read as its output comes in.
    EXPECT_TRUE(testing::runEventsUntil([&] {
        return service.output().contains("POST /Vexlo/api/class-logout.php 200");
    })) << service.output().toStdString();
    EXPECT_EQ(fakes.processes.requests().size(), 1u) << "the restore ran first";
    EXPECT_EQ(fakes.beeper.times.size(), 1u);

    // The service no longer knows the token.
    std::optional<HttpResult> answer;
    const auto url = statusUrl(state->apiBaseURL, token);
    ASSERT_TRUE(url.has_value());
    http.send(getRequest(*url), [&](HttpResult result) { answer = std::move(result); });
    ASSERT_TRUE(testing::runEventsUntil([&] { return answer.has_value(); }));
    const auto* response = std::get_if<HttpResponse>(&*answer);
    ASSERT_NE(response, nullptr);
    EXPECT_NE(response->body.find("\"success\":false"), std::string::npos) << response->body;
}

}  // namespace
}  // namespace kt
