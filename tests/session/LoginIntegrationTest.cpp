// The real core, the real HTTP adapter and the real reference service, over
// TLS on loopback.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <memory>

#include "QtTestSupport.h"
#include "TestPorts.h"
#include "TlsStubServer.h"
#include "app/AppState.h"
#include "platform/qt/QtHttpClient.h"
#include "platform/qt/QtNetworkInterfaces.h"
#include "platform/qt/QtScheduler.h"
#include "platform/qt/QtSystemInformation.h"
#include "platform/qt/SystemClock.h"

namespace {

using namespace kt;
using kt::testing::ServiceProcess;
using kt::testing::testTls;

const QByteArray classes = R"([
  {"code":"ABC123","class_name":"3B","teacher_name":"Mevr. Claes","school_name":"Sint-Jan",
   "is_blocked":false,"domains":["chatgpt.com"],"ips":[],"ip_ranges":[]}
])";

class LiveLogin : public ::testing::Test {
  protected:
    // `timeoutScale` shortens the client's time-outs for the test only.
    void start(double timeoutScale = 1.0) {
        kt::testing::qtApp();
        ASSERT_TRUE(testTls().pair.error.isEmpty());
        scheduler = std::make_unique<QtScheduler>();
        http = std::make_unique<QtHttpClient>(
            QtHttpClient::Options{testTls().certificatePath.toStdString(), timeoutScale});
        Ports ports = fakes.ports();
        ports.scheduler = scheduler.get();
        ports.clock = &clock;
        ports.http = http.get();
        ports.networkInterfaces = &interfaces;
        ports.systemInformation = &system;
        state = AppState::create(ports);
    }

    void TearDown() override {
        state.reset();
        http.reset();
        scheduler.reset();
    }

    void loginAndWait(const std::string& name, const std::string& code) {
        state->loginWithClassCode(name, code);
        ASSERT_TRUE(kt::testing::runEventsUntil([&] { return !state->isLoading.get(); }, 60000));
        // The log lines of the last step are queued after the state changes.
        QCoreApplication::processEvents();
    }

    bool logHas(const std::string& text) const {
        return state->debugLog.get().find(text) != std::string::npos;
    }

    kt::testing::TestPorts fakes;
    SystemClock clock;
    QtNetworkInterfaces interfaces;
    QtSystemInformation system;
    std::unique_ptr<QtScheduler> scheduler;
    std::unique_ptr<QtHttpClient> http;
    std::shared_ptr<AppState> state;
    QTemporaryDir dir;
};

TEST_F(LiveLogin, ALoginStoresTheServiceTokenAndNamesAndPollingReachesTheService) {
    ServiceProcess service(kt::testing::writeClassesFile(dir, classes), testTls().directory);
    ASSERT_TRUE(service.started()) << service.output().toStdString();
    start();
    state->apiBaseURL = service.baseUrl().toStdString();
    state->probeURL = service.rootUrl().toStdString();

    loginAndWait("Jan \"JP\" Peeters 😀", "abc123");
    EXPECT_FALSE(state->errorMessage.get().has_value()) << *state->errorMessage.get();
    ASSERT_TRUE(state->isLoggedIn.get());
    ASSERT_TRUE(state->sessionToken.get().has_value());
    EXPECT_TRUE(QRegularExpression("^[0-9a-f]{64}$")
                    .match(QString::fromStdString(*state->sessionToken.get()))
                    .hasMatch());
    EXPECT_EQ(state->studentName.get(), "Jan \"JP\" Peeters 😀");
    EXPECT_EQ(state->className.get(), "3B");
    EXPECT_EQ(state->teacherName.get(), "Mevr. Claes");
    EXPECT_EQ(state->schoolName.get(), "Sint-Jan");
    EXPECT_TRUE(logHas("Network TEST OK: HTTP 200"));
    EXPECT_TRUE(logHas("Server TEST OK: HTTP 200"));
    EXPECT_TRUE(logHas("Login SUCCESS!"));

    // The token is one the service knows: the first status poll is answered.
    ASSERT_TRUE(service.waitForOutput("GET /Vexlo/api/class-status.php 200"));
}

TEST_F(LiveLogin, AWrongCodeShowsTheServiceErrorText) {
    ServiceProcess service(kt::testing::writeClassesFile(dir, classes), testTls().directory);
    ASSERT_TRUE(service.started());
    start();
    state->apiBaseURL = service.baseUrl().toStdString();
    state->probeURL = service.rootUrl().toStdString();

    loginAndWait("Jan", "ZZZ999");
    EXPECT_EQ(state->errorMessage.get(), "Onbekende klascode: controleer de code");
    EXPECT_FALSE(state->isLoggedIn.get());
    EXPECT_TRUE(logHas("HTTP Status: 404"));
    EXPECT_TRUE(logHas("Login failed: Onbekende klascode: controleer de code"));
}

TEST_F(LiveLogin, AStoppedServiceWithTheProbeAnsweringIsServerNietBereikbaar) {
    ServiceProcess probe(kt::testing::writeClassesFile(dir, classes), testTls().directory);
    ServiceProcess stopped(kt::testing::writeClassesFile(dir, classes), testTls().directory);
    ASSERT_TRUE(probe.started() && stopped.started());
    stopped.stop();
    start();
    state->apiBaseURL = stopped.baseUrl().toStdString();
    state->probeURL = probe.rootUrl().toStdString();

    loginAndWait("Jan", "ABC123");
    EXPECT_EQ(state->errorMessage.get(), "Server niet bereikbaar");
    EXPECT_TRUE(logHas("Network TEST OK: HTTP 200"));
    EXPECT_TRUE(logHas("Server TEST FAILED: "));
    EXPECT_TRUE(logHas("Domain: QNetworkReply, Code: 1"));
}

TEST_F(LiveLogin, AServiceThatNeverAnswersTheLoginEndsItAfterItsTimeOut) {
    kt::testing::StubServer silent;  // answers "/" but never the login
    start(0.05);                     // the 30 s login time-out becomes 1.5 s
    state->apiBaseURL = silent.url("/Vexlo/api/").toStdString();
    state->probeURL = silent.url("/").toStdString();

    loginAndWait("Jan", "ABC123");
    EXPECT_EQ(silent.stalledCount(), 1u);
    EXPECT_EQ(state->errorMessage.get(), "Fout: The request timed out. (code: 4)");
    EXPECT_TRUE(logHas("ERROR: QNetworkReply code=4"));
    EXPECT_FALSE(state->isLoggedIn.get());
}

}  // namespace
