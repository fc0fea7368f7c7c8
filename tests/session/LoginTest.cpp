#include <gtest/gtest.h>

#include "LoginTestSupport.h"
#include "session/Utf8.h"

namespace {

using kt::TransportError;
using Strings = std::vector<std::string>;

class Login : public kt::testing::LoginFlowTest {};

TEST_F(Login, SuccessWalksTheThreeStepsAndStoresTheSession) {
    std::vector<bool> loading;
    state->isLoading.observe([&] { loading.push_back(state->isLoading.get()); });
    state->errorMessage = "oude fout";

    state->loginWithClassCode("Jan & Piet+Co", "abc123");
    EXPECT_TRUE(state->isLoading.get());
    EXPECT_FALSE(state->errorMessage.get().has_value()) << "cleared at the start";
    EXPECT_EQ(state->savedStudentName, "Jan & Piet+Co");
    EXPECT_EQ(state->savedClassCode, "abc123") << "saved as typed";
    ASSERT_EQ(fakes.http.count(), 1u) << "one step at a time";
    EXPECT_EQ(fakes.http.request(0).method, "GET");
    EXPECT_EQ(fakes.http.request(0).url, probe);
    EXPECT_EQ(fakes.http.request(0).timeout.count(), 60.0);

    fakes.http.respond(0, 404, "not found");
    EXPECT_EQ(fakes.http.count(), 1u) << "the reply is handled on the main queue, not on arrival";
    run();
    ASSERT_EQ(fakes.http.count(), 2u) << "any probe status counts as success";
    EXPECT_EQ(fakes.http.request(1).url, "https://klas.example/");
    EXPECT_EQ(fakes.http.request(1).timeout.count(), 60.0);

    fakes.http.respond(1, 500, "");
    run();
    ASSERT_EQ(fakes.http.count(), 3u);
    const kt::HttpRequest post = fakes.http.request(2);
    EXPECT_EQ(post.method, "POST");
    EXPECT_EQ(post.url, "https://klas.example/Vexlo/api/class-login.php");
    EXPECT_EQ(post.timeout.count(), 30.0);
    ASSERT_EQ(post.headers.size(), 1u);
    EXPECT_EQ(post.headers[0], std::make_pair(std::string("Content-Type"),
                                              std::string("application/x-www-form-urlencoded")));
    EXPECT_EQ(post.body,
              "student_name=Jan%20%26%20Piet%2BCo&class_code=ABC123"
              "&device_info=macOS%20Version%2013.6%20(Build%2022G120)&device_id=a483e7120b9f");
    EXPECT_TRUE(state->isLoading.get());

    const std::string reply =
        R"({"success":true,"session_token":"tok-1","student_info":{"name":"Jan Peeters"},)"
        R"("class_info":{"class_name":"3B","teacher_name":"Mevr. Claes","school_name":"Sint-Jan"}})";
    loginRequest = 2;
    answerLogin(200, reply);
    EXPECT_FALSE(state->isLoading.get());
    EXPECT_TRUE(state->isLoggedIn.get());
    EXPECT_EQ(state->sessionToken.get(), "tok-1");
    EXPECT_EQ(state->studentName.get(), "Jan Peeters");
    EXPECT_EQ(state->className.get(), "3B");
    EXPECT_EQ(state->teacherName.get(), "Mevr. Claes");
    EXPECT_EQ(state->schoolName.get(), "Sint-Jan");
    EXPECT_FALSE(state->errorMessage.get().has_value());
    EXPECT_TRUE(state->pollTimer.has_value()) << "polling started";
    EXPECT_EQ(loading, (std::vector<bool>{true, false}));

    const std::string received = std::to_string(reply.size());
    EXPECT_EQ(log(),
              (Strings{"=== LOGIN START ===", "Testing network...", "Network TEST OK: HTTP 404",
                       "Student: Jan & Piet+Co, Code: abc123",
                       "Testing server ROOT: https://klas.example/", "Server TEST OK: HTTP 500",
                       "POST to: https://klas.example/Vexlo/api/class-login.php",
                       "Device: macOS Version 13.6 (Build 22G120)", "Sending POST...",
                       "HTTP Status: 200", "Data received: " + received + " bytes",
                       "Response: " + reply.substr(0, 200), "JSON parsed OK", "Login SUCCESS!"}));
}

TEST_F(Login, MissingMembersGiveTypedNameOnbekendOrKeepThePreviousNames) {
    state->className = "oude klas";
    state->teacherName = "oude leerkracht";
    state->schoolName = "oude school";

    loginUpToTheRequest("Eva", "XYZ789");
    answerLogin(200, R"({"success":true})");
    EXPECT_TRUE(state->isLoggedIn.get());
    EXPECT_FALSE(state->sessionToken.get().has_value()) << "logged in without a token";
    EXPECT_EQ(state->studentName.get(), "Eva");
    EXPECT_EQ(state->className.get(), "oude klas") << "no class_info: names untouched";
    EXPECT_EQ(state->teacherName.get(), "oude leerkracht");
    EXPECT_EQ(state->schoolName.get(), "oude school");

    state->isLoggedIn = false;
    loginUpToTheRequest("Eva", "XYZ789");
    answerLogin(
        200,
        R"({"success":1,"session_token":"t","student_info":{},"class_info":{"teacher_name":"Dhr. Maes"}})");
    EXPECT_EQ(state->studentName.get(), "Eva");
    EXPECT_EQ(state->className.get(), "Onbekend");
    EXPECT_EQ(state->teacherName.get(), "Dhr. Maes");
    EXPECT_EQ(state->schoolName.get(), "Onbekend");
}

TEST_F(Login, ConnectivityProbeFailureEndsTheLoginWithGeenInternet) {
    state->loginWithClassCode("Jan", "ABC123");
    fakes.http.fail(0, TransportError{"Host probe.example not found", "QNetworkReply", 3});
    run();
    EXPECT_EQ(fakes.http.count(), 1u);
    EXPECT_EQ(state->errorMessage.get(), "Geen internet: Host probe.example not found");
    EXPECT_FALSE(state->isLoading.get());
    EXPECT_FALSE(state->isLoggedIn.get());
    EXPECT_EQ(log(), (Strings{"=== LOGIN START ===", "Testing network...",
                              "Network TEST FAILED: Host probe.example not found"}));
}

TEST_F(Login, ServiceRootFailureSaysServerNietBereikbaarAndLogsDomainAndCode) {
    state->loginWithClassCode("Jan", "ABC123");
    fakes.http.respond(0, 200, "");
    run();
    fakes.http.fail(1, TransportError{"Connection refused", "QNetworkReply", 1});
    run();
    EXPECT_EQ(fakes.http.count(), 2u);
    EXPECT_EQ(state->errorMessage.get(), "Server niet bereikbaar");
    EXPECT_FALSE(state->isLoading.get());
    const Strings lines = log();
    EXPECT_EQ(
        Strings(lines.end() - 2, lines.end()),
        (Strings{"Server TEST FAILED: Connection refused", "Domain: QNetworkReply, Code: 1"}));
}

TEST_F(Login, LoginRequestTransportErrorShowsDescriptionAndCode) {
    loginUpToTheRequest("Jan", "ABC123");
    failLogin(TransportError{"The request timed out.", "QNetworkReply", 4});
    EXPECT_EQ(state->errorMessage.get(), "Fout: The request timed out. (code: 4)");
    EXPECT_FALSE(state->isLoading.get());
    Strings lines = log();
    EXPECT_EQ(Strings(lines.end() - 2, lines.end()),
              (Strings{"ERROR: QNetworkReply code=4", "Description: The request timed out."}));

    loginUpToTheRequest("Jan", "ABC123");
    failLogin(TransportError{"SSL handshake failed", "QNetworkReply", 6,
                             "The certificate is self-signed, and untrusted"});
    EXPECT_EQ(state->errorMessage.get(), "Fout: SSL handshake failed (code: 6)");
    lines = log();
    EXPECT_EQ(lines.back(), "Underlying: The certificate is self-signed, and untrusted");
}

TEST_F(Login, EmptyOrUnparsableRepliesShowTheirTexts) {
    loginUpToTheRequest("Jan", "ABC123");
    answerLogin(200, "");
    EXPECT_EQ(state->errorMessage.get(), "Geen data ontvangen");
    EXPECT_EQ(log().back(), "ERROR: No data received");
    EXPECT_FALSE(state->isLoading.get());

    for (const std::string& body : {std::string("<html>Bad Gateway</html>"),
                                    std::string("{\"success\":true,\"error\":\"\xff\xfe\"}"),
                                    std::string("\xff"), std::string(2 * 1024 * 1024, '#')}) {
        state->errorMessage = std::nullopt;
        loginUpToTheRequest("Jan", "ABC123");
        answerLogin(502, body);
        ASSERT_TRUE(state->errorMessage.get().has_value());
        const std::string& message = *state->errorMessage.get();
        EXPECT_EQ(message.rfind("JSON parse error: ", 0), 0u) << message;
        const std::string parserText = message.substr(std::string("JSON parse error: ").size());
        EXPECT_FALSE(parserText.empty());
        EXPECT_TRUE(kt::utf8::isValid(message)) << "raw bytes of the reply are escaped";
        if (body == "\xff") {
            EXPECT_NE(message.find("\\xFF"), std::string::npos) << message;
        }
        EXPECT_EQ(log().back(), "JSON ERROR: " + parserText);
        EXPECT_TRUE(logHas("Data received: " + std::to_string(body.size()) + " bytes"));
        EXPECT_FALSE(state->isLoggedIn.get());
        EXPECT_FALSE(state->isLoading.get());
    }
}

TEST_F(Login, ResponseLineOnlyForUtf8AndAtMost200Characters) {
    loginUpToTheRequest("Jan", "ABC123");
    const std::string longError(500, 'e');
    const std::string body = "{\"success\":false,\"error\":\"" + longError + "\"}";
    answerLogin(200, body);
    EXPECT_TRUE(logHas("Response: " + body.substr(0, 200)));
    EXPECT_EQ(state->errorMessage.get(), longError);

    loginUpToTheRequest("Jan", "ABC123");
    answerLogin(200, "\xff{}");
    for (const auto& line : log()) EXPECT_NE(line.rfind("Response: \xff", 0), 0u);
}

TEST_F(Login, JsonThatIsNoObjectEndsSilently) {
    loginUpToTheRequest("Jan", "ABC123");
    answerLogin(200, R"(["success", true])");
    EXPECT_FALSE(state->errorMessage.get().has_value());
    EXPECT_FALSE(state->isLoading.get());
    EXPECT_FALSE(state->isLoggedIn.get());
    EXPECT_FALSE(logHas("JSON parsed OK"));
    EXPECT_EQ(log().back(), R"(Response: ["success", true])");
}

TEST_F(Login, RefusedLoginShowsTheServiceErrorOrOngeldigeKlascode) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"success":false,"error":"Klas \"3B\" is gesloten"})", "Klas \"3B\" is gesloten"},
        {R"({"success":false})", "Ongeldige klascode"},
        {R"({"success":"true","session_token":"t"})", "Ongeldige klascode"},
        {R"({"error":7})", "Ongeldige klascode"},
    };
    for (const auto& [body, expected] : cases) {
        loginUpToTheRequest("Jan", "ABC123");
        answerLogin(404, body);
        EXPECT_EQ(state->errorMessage.get(), expected) << body;
        EXPECT_EQ(log().back(), "Login failed: " + expected);
        EXPECT_FALSE(state->isLoggedIn.get());
        EXPECT_FALSE(state->sessionToken.get().has_value());
        EXPECT_FALSE(state->pollTimer.has_value());
        EXPECT_EQ(state->savedStudentName, "Jan");
    }
}

TEST_F(Login, UrlsThatCannotBeFormedEndTheLoginWithoutARequest) {
    state->probeURL = "not a url";
    state->loginWithClassCode("Jan", "ABC123");
    run();
    EXPECT_EQ(fakes.http.count(), 0u);
    EXPECT_FALSE(state->isLoading.get());
    EXPECT_FALSE(state->errorMessage.get().has_value());
    EXPECT_EQ(log().back(), "ERROR: Can't create test URL");

    state->probeURL = probe;
    state->apiBaseURL = "https://bad host/Vexlo/api/";
    state->loginWithClassCode("Jan", "ABC123");
    fakes.http.respond(0, 200, "");
    run();
    EXPECT_EQ(fakes.http.count(), 1u) << "no probe of the service root";
    EXPECT_FALSE(state->isLoading.get());
    EXPECT_FALSE(state->errorMessage.get().has_value());
    EXPECT_EQ(log().back(), "ERROR: Server test URL failed");
}

TEST_F(Login, LoginUrlThatCannotBeFormedSaysUrlFout) {
    state->apiBaseURL = "https://klas.example/Vexlo api/";
    state->loginWithClassCode("Jan", "ABC123");
    fakes.http.respond(0, 200, "");
    run();
    fakes.http.respond(1, 200, "");
    run();
    EXPECT_EQ(fakes.http.count(), 2u) << "no login request";
    EXPECT_EQ(state->errorMessage.get(), "URL FOUT");
    EXPECT_FALSE(state->isLoading.get());
    EXPECT_EQ(log().back(), "POST to: https://klas.example/Vexlo api/class-login.php");
}

TEST_F(Login, NoHardwareAddressMeansNoDeviceIdField) {
    fakes.networkInterfaces.interfaces = {{"lo", "00:00:00:00:00:00", true}, {"tun0", "", false}};
    loginUpToTheRequest("Jan", "abc123");
    EXPECT_EQ(
        fakes.http.request(loginRequest).body,
        "student_name=Jan&class_code=ABC123&device_info=macOS%20Version%2013.6%20(Build%2022G120)");
}

TEST_F(Login, NamesWithQuotesEmojiAndLineFeedsTravelEncodedAndComeBackIntact) {
    const std::string name = "Zoë \"Zo\" 😀\nVries";
    loginUpToTheRequest(name, "ABC123");
    EXPECT_EQ(fakes.http.request(loginRequest).body.substr(0, 62),
              "student_name=Zo%C3%AB%20%22Zo%22%20%F0%9F%98%80%0AVries&class_");
    answerLogin(200, R"({"success":true,"student_info":{"name":"Zoë \"Zo\" 😀\nVries"}})");
    EXPECT_EQ(state->studentName.get(), name);
    EXPECT_EQ(state->savedStudentName, name);
}

TEST_F(Login, RepliesArrivingAfterTheStateIsGoneDoNothing) {
    state->loginWithClassCode("Jan", "ABC123");
    std::weak_ptr<kt::AppState> weak = state;
    run();
    state.reset();
    EXPECT_TRUE(weak.expired()) << "a pending request does not keep the state alive";
    fakes.http.respond(0, 200, "");
    EXPECT_EQ(fakes.scheduler.runUntilIdle(), 1u);
    EXPECT_EQ(fakes.http.count(), 1u);
}

}  // namespace
