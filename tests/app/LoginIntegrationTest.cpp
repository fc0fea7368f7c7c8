// The real core, the real HTTP adapter and the real reference service, over
// TLS on loopback.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <future>

#include "QtTestSupport.h"
#include "TestPorts.h"
#include "app/AppDelegate.h"
#include "app/AppState.h"
#include "platform/qt/QtHttpClient.h"
#include "platform/qt/QtScheduler.h"
#include "session/ServiceRequests.h"
#include "session/ServiceUrls.h"

namespace {

using namespace kt;
using kt::testing::testTls;

TEST(LiveLogin, NamesTravelIntactThePollIsAnsweredAWaitMayBlockAndTheQuitEndsTheSession) {
    QTemporaryDir dir;
    kt::testing::ServiceProcess service(
        kt::testing::writeClassesFile(dir, R"([{"code":"ABC123","class_name":"3B",
            "teacher_name":"Mevr. Claes","school_name":"Sint-Jan","is_blocked":false}])"),
        testTls().directory);
    ASSERT_TRUE(service.started()) << service.output().toStdString();
    kt::testing::TestPorts fakes;
    QtScheduler scheduler;
    QtHttpClient http({testTls().certificatePath.toStdString(), 1.0});
    SteadyBlockingWait wait;
    Ports ports = fakes.ports();
    ports.scheduler = &scheduler;
    ports.http = &http;
    ports.blockingWait = &wait;
    const auto state =
        AppState::create(ports, {service.baseUrl().toStdString(), service.rootUrl().toStdString()});
    const std::string name = "Jan & \"JP\" = Peeters+😀";
    state->loginWithClassCode(name, "abc123");
    ASSERT_TRUE(kt::testing::runEventsUntil([&] { return !state->isLoading.get(); }, 60000));
    EXPECT_EQ(state->errorMessage.get(), std::nullopt);
    EXPECT_TRUE(state->isLoggedIn.get());
    EXPECT_EQ(state->studentName.get() + "|" + state->className.get() + "|" +
                  state->teacherName.get() + "|" + state->schoolName.get(),
              name + "|3B|Mevr. Claes|Sint-Jan");
    EXPECT_TRUE(service.waitForOutput("GET /Vexlo/api/class-status.php 200")) << "a known token";
    // The quit blocks the main thread while it waits for the service's answer.
    std::promise<HttpResult> answer;
    http.send(getRequest(service.rootUrl().toStdString()),
              [&answer](HttpResult result) { answer.set_value(std::move(result)); });
    auto future = answer.get_future();  // no event processing on this thread while it waits
    ASSERT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_TRUE(std::holds_alternative<HttpResponse>(future.get()));
    // The quit restores first, then ends the session at the service within its
    // wait: the logout, or the quit's report when that arrives first (the
    // logout then finds the session gone).
    AppDelegate delegate;
    delegate.appState = state;
    delegate.applicationWillTerminate();
    EXPECT_TRUE(service.waitForOutput("POST /Vexlo/api/class-logout.php "));
    EXPECT_EQ(fakes.processes.requests().back().arguments.back(), "restore");
    std::optional<HttpResult> status;
    http.send(getRequest(*statusUrl(state->session().apiBaseURL, *state->sessionToken.get())),
              [&](HttpResult result) { status = std::move(result); });
    ASSERT_TRUE(kt::testing::runEventsUntil([&] { return status.has_value(); }));
    const auto* response = std::get_if<HttpResponse>(&*status);
    ASSERT_NE(response, nullptr);
    EXPECT_NE(response->body.find("\"success\":false"), std::string::npos) << response->body;
}

}  // namespace
