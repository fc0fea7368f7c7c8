#include <gmock/gmock.h>

#include "SessionFixture.h"
#include "session/Utf8.h"

namespace {

using namespace ::testing;
using kt::HttpResponse;
using kt::HttpResult;
using kt::TransportError;

const std::string base = "https://klas.example/Vexlo/api/";
const std::string probe = "https://probe.example/";
const HttpResult ok = HttpResponse{200, ""};

class Login : public kt::testing::SessionFixture {
  protected:
    // The macOS profile's device information is the one the protocol began with.
    void SetUp() override {
        fakes.macos();
        startAt(base, probe);
    }
    void startAt(std::string apiBaseURL, std::string probeURL) {
        fakes.networkInterfaces.interfaces = {{"en0", "A4:83:E7:12:0B:9F", false}};
        start({std::move(apiBaseURL), std::move(probeURL)});
        state->className = "oude klas";
    }
    // Starts a login and gives its requests these answers, one step at a time.
    void login(const std::string& name, const std::vector<HttpResult>& answers) {
        const std::size_t first = fakes.http.count();
        state->loginWithClassCode(name, "abc123");
        settle();
        for (std::size_t i = 0; i < answers.size(); ++i) {
            ASSERT_EQ(fakes.http.count(), first + i + 1) << "request " << i << " is sent alone";
            EXPECT_TRUE(state->isLoading.get()) << "while request " << i << " is out";
            if (const auto* response = std::get_if<HttpResponse>(&answers[i]))
                fakes.http.respond(first + i, response->statusCode, response->body);
            else
                fakes.http.fail(first + i, std::get<TransportError>(answers[i]));
            ASSERT_EQ(fakes.http.count(), first + i + 1)
                << "handled on the main queue, not at once";
            settle();
        }
    }
    // The log, oldest line first, one line each.
    std::string log() const {
        std::string text;
        for (const auto& line : logLines()) text.insert(0, line + "\n");
        return text;
    }
    std::string names() const {
        return state->studentName.get() + "|" + state->className.get() + "|" +
               state->teacherName.get() + "|" + state->schoolName.get();
    }
};

TEST_F(Login, SuccessProbesTheNetworkAndTheServiceThenPostsStoresTheSessionAndPolls) {
    state->errorMessage = "oude fout";
    const std::string answer =
        R"({"success":true,"session_token":"tok-1","student_info":{"name":"Jan Peeters"},)"
        R"("class_info":{"class_name":"3B","teacher_name":"Mevr. Claes",)"
        R"("school_name":"Sint-Janscollege, campus Hemelveerdegem, secundair onderwijs"}})";
    login("Jan & Piet+Co",
          {HttpResponse{404, ""}, HttpResponse{500, ""}, HttpResponse{200, answer}});
    EXPECT_EQ(fakes.http.request(0).url, probe);
    EXPECT_EQ(fakes.http.request(1).url, "https://klas.example/");
    const kt::HttpRequest post = fakes.http.request(2);
    EXPECT_EQ(post.method + " " + post.url, "POST " + base + "class-login.php");
    EXPECT_EQ(post.headers.at(0).second, "application/x-www-form-urlencoded");
    EXPECT_EQ(post.timeout.count(), 30.0);
    EXPECT_EQ(post.body,
              "student_name=Jan%20%26%20Piet%2BCo&class_code=ABC123"
              "&device_info=macOS%20Version%2013.6%20(Build%2022G120)&device_id=a483e7120b9f");
    EXPECT_FALSE(state->isLoading.get());
    EXPECT_EQ(shown(), "logged-in polling status=- error=- hosts=0");
    EXPECT_EQ(session().savedStudentName + "|" + session().savedClassCode, "Jan & Piet+Co|abc123")
        << "kept as typed for a reconnect";
    EXPECT_EQ(
        names(),
        "Jan Peeters|3B|Mevr. Claes|Sint-Janscollege, campus Hemelveerdegem, secundair onderwijs");
    EXPECT_EQ(fakes.http.last().url, base + "class-status.php?token=tok-1") << "polling started";
    EXPECT_EQ(log(),
              "=== LOGIN START ===\nTesting network...\nNetwork TEST OK: HTTP 404\n"
              "Student: Jan & Piet+Co, Code: abc123\nTesting server ROOT: https://klas.example/\n"
              "Server TEST OK: HTTP 500\nPOST to: " +
                  base +
                  "class-login.php\nDevice: macOS Version 13.6 (Build 22G120)\nSending POST...\n"
                  "HTTP Status: 200\nData received: " +
                  std::to_string(answer.size()) + " bytes\nResponse: " + answer.substr(0, 200) +
                  "\nJSON parsed OK\nLogin SUCCESS!\n");
}

TEST_F(Login, MissingMembersGiveTheTypedNameAndOnbekendOrKeepTheNamesAndALateReplyIsDropped) {
    state->teacherName = "oude leerkracht";
    login("Eva", {ok, ok, HttpResponse{200, R"({"success":true})"}});
    EXPECT_TRUE(state->isLoggedIn.get());
    EXPECT_EQ(state->sessionToken.get(), std::nullopt) << "logged in without a token";
    EXPECT_EQ(names(), "Eva|oude klas|oude leerkracht|") << "no class_info: names kept";
    login("Eva",
          {ok, ok, HttpResponse{200, R"({"success":1,"class_info":{"teacher_name":"Dhr. M"}})"}});
    EXPECT_EQ(names(), "Eva|Onbekend|Dhr. M|Onbekend");
    state->loginWithClassCode("Jan", "ABC123");
    settle();
    const std::size_t sent = fakes.http.count();
    const std::weak_ptr<kt::AppState> weak = state;
    state.reset();
    EXPECT_TRUE(weak.expired()) << "a pending request does not keep the state alive";
    fakes.http.respond(sent - 1, 200, "");
    EXPECT_EQ(fakes.scheduler.runUntilIdle(), 1u) << "only the handed-over reply runs";
    EXPECT_EQ(fakes.http.count(), sent);
}

// A login that ends early: the answers its requests get, the message it shows
// and how its log ends.
struct Failure {
    std::string name;
    std::vector<HttpResult> answers;
    Matcher<const std::optional<std::string>&> message;
    Matcher<const std::string&> log;
    std::string base = ::base, probe = ::probe;
};
void PrintTo(const Failure& failure, std::ostream* out) {
    *out << failure.name;
}

const Failure failures[] = {
    Failure("NoProbeUrl", {}, Eq(std::nullopt), EndsWith("\nERROR: Can't create test URL\n"), base,
            "x"),
    Failure("NoInternet", {TransportError{"Host probe.example not found", "QNetworkReply", 3}},
            Optional(Eq("Geen internet: Host probe.example not found")),
            EndsWith("\nNetwork TEST FAILED: Host probe.example not found\n")),
    Failure("NoRootUrl", {ok}, Eq(std::nullopt), EndsWith("\nERROR: Server test URL failed\n"),
            "https://a b/"),
    Failure("NoService", {ok, TransportError{"Connection refused", "QNetworkReply", 1}},
            Optional(Eq("Server niet bereikbaar")),
            EndsWith("\nServer TEST FAILED: Connection refused\nDomain: QNetworkReply, Code: 1\n")),
    Failure("NoLoginUrl", {ok, ok}, Optional(Eq("URL FOUT")),
            EndsWith("\nPOST to: https://klas.example/a b/class-login.php\n"),
            "https://klas.example/a b/"),
    Failure("TimedOut", {ok, ok, TransportError{"The request timed out.", "QNetworkReply", 4}},
            Optional(Eq("Fout: The request timed out. (code: 4)")),
            EndsWith("\nERROR: QNetworkReply code=4\nDescription: The request timed out.\n")),
    Failure("UntrustedCertificate",
            {ok, ok, TransportError{"SSL handshake failed", "QNetworkReply", 6, "self-signed"}},
            Optional(Eq("Fout: SSL handshake failed (code: 6)")),
            EndsWith("\nDescription: SSL handshake failed\nUnderlying: self-signed\n")),
    Failure("EmptyReply", {ok, ok, ok}, Optional(Eq("Geen data ontvangen")),
            EndsWith("\nHTTP Status: 200\nERROR: No data received\n")),
    Failure("RefusedWithText",
            {ok, ok, HttpResponse{404, R"({"success":false,"error":"Klas \"3B\" is gesloten"})"}},
            Optional(Eq("Klas \"3B\" is gesloten")),
            EndsWith("\nJSON parsed OK\nLogin failed: Klas \"3B\" is gesloten\n")),
    Failure("RefusedWithoutText", {ok, ok, HttpResponse{200, R"({"success":false})"}},
            Optional(Eq("Ongeldige klascode")), EndsWith("\nLogin failed: Ongeldige klascode\n")),
    Failure("NoObject", {ok, ok, HttpResponse{200, R"(["success", true])"}}, Eq(std::nullopt),
            EndsWith("\nResponse: [\"success\", true]\n")),
    Failure("NoText", {ok, ok, HttpResponse{200, "{\xff"}},
            Optional(AllOf(StartsWith("JSON parse error: [json.exception.parse_error"),
                           HasSubstr("'{\\xFF'"))),
            AllOf(HasSubstr("\nData received: 2 bytes\nJSON ERROR: "), Not(HasSubstr("Response")))),
};

class LoginFailure : public Login, public WithParamInterface<Failure> {};

TEST_P(LoginFailure, ShowsItsMessageSendsNothingMoreAndChangesNothing) {
    const Failure& failure = GetParam();
    startAt(failure.base, failure.probe);
    login("Jan", failure.answers);
    EXPECT_EQ(fakes.http.count(), failure.answers.size());
    EXPECT_THAT(state->errorMessage.get(), failure.message);
    EXPECT_THAT(log(), failure.log);
    EXPECT_TRUE(kt::utf8::isValid(log() + state->errorMessage.get().value_or("")))
        << "bytes of the reply are escaped or left out";
    EXPECT_FALSE(state->isLoading.get());
    EXPECT_FALSE(state->isLoggedIn.get());
    EXPECT_FALSE(session().pollTimer.has_value());
    EXPECT_EQ(state->sessionToken.get(), std::nullopt);
    EXPECT_EQ(state->className.get(), "oude klas");
}

INSTANTIATE_TEST_SUITE_P(Each, LoginFailure, ValuesIn(failures),
                         [](const auto& info) { return info.param.name; });

}  // namespace
