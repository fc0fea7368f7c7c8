// The real core, the real HTTP adapter and the real reference service, over
// TLS on loopback.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <future>

#include "QtTestSupport.h"
#include "TestPorts.h"
#include "app/AppState.h"
#include "platform/qt/QtHttpClient.h"
#include "platform/qt/QtScheduler.h"
#include "session/ServiceRequests.h"

namespace {

using namespace kt;
using kt::testing::testTls;

TEST(LiveLogin, NamesTravelIntactTheTokenIsTheServicesItsPollIsAnsweredAndAWaitMayBlock) {
    QTemporaryDir dir;
    kt::testing::ServiceProcess service(
        kt::testing::writeClassesFile(dir, R"([{"code":"ABC123","class_name":"3B",
            "teacher_name":"Mevr. Claes","school_name":"Sint-Jan","is_blocked":false}])"),
        testTls().directory);
    ASSERT_TRUE(service.started()) << service.output().toStdString();
    kt::testing::TestPorts fakes;
    QtScheduler scheduler;
    QtHttpClient http({testTls().certificatePath.toStdString(), 1.0});
    Ports ports = fakes.ports();
    ports.scheduler = &scheduler;
    ports.http = &http;
    const auto state = AppState::create(ports);
    state->apiBaseURL = service.baseUrl().toStdString();
    state->probeURL = service.rootUrl().toStdString();

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
}

}  // namespace
