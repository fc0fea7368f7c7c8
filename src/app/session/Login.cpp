#include <string>
#include <utility>

#include "app/session/ClassSession.h"
#include "app/session/ServiceCall.h"
#include "session/JsonReply.h"
#include "session/LoginRequest.h"
#include "session/ServiceReplies.h"
#include "session/ServiceRequests.h"
#include "session/ServiceUrls.h"
#include "session/Utf8.h"

namespace kt {
namespace {

constexpr const char* unknownName = "Onbekend";
constexpr std::size_t loggedResponseCharacters = 200;

void endLogin(PublishedState& state, std::optional<std::string> error) {
    if (error)
        state.errorMessage = std::move(error);
    state.isLoading = false;
}

void storeSession(ClassSession& session, PublishedState& state, const LoginReply& reply,
                  const std::string& typedName) {
    state.sessionToken = reply.sessionToken;
    state.addDebugLog("Login SUCCESS!");
    state.studentName = reply.studentInfoName.value_or(typedName);
    if (reply.classInfo) {
        state.className = reply.classInfo->className.value_or(unknownName);
        state.teacherName = reply.classInfo->teacherName.value_or(unknownName);
        state.schoolName = reply.classInfo->schoolName.value_or(unknownName);
    }
    state.isLoggedIn = true;
    session.startPolling();
}

void handleLoginReply(ClassSession& session, PublishedState& state, const std::string& typedName,
                      HttpResult result) {
    state.isLoading = false;
    if (const auto* error = std::get_if<TransportError>(&result)) {
        const std::string code = std::to_string(error->code);
        state.addDebugLog("ERROR: " + error->domain + " code=" + code);
        state.addDebugLog("Description: " + error->description);
        if (!error->underlying.empty())
            state.addDebugLog("Underlying: " + error->underlying);
        state.errorMessage = "Fout: " + error->description + " (code: " + code + ")";
        return;
    }
    const auto& response = std::get<HttpResponse>(result);
    state.addDebugLog("HTTP Status: " + std::to_string(response.statusCode));
    if (response.body.empty()) {
        state.errorMessage = "Geen data ontvangen";
        state.addDebugLog("ERROR: No data received");
        return;
    }
    state.addDebugLog("Data received: " + std::to_string(response.body.size()) + " bytes");
    if (utf8::isValid(response.body))
        state.addDebugLog("Response: " +
                          utf8::prefixCharacters(response.body, loggedResponseCharacters));

    const ParsedReply parsed = parseReply(response.body);
    if (parsed.parseError) {
        // The parser quotes the bytes it stopped at, which need not be text.
        const std::string reason = utf8::escapeInvalid(*parsed.parseError);
        state.errorMessage = "JSON parse error: " + reason;
        state.addDebugLog("JSON ERROR: " + reason);
        return;
    }
    if (!parsed.isObject())
        return;  // valid JSON but no object: ends without a message
    state.addDebugLog("JSON parsed OK");

    const LoginReply reply = readLoginReply(*parsed.object);
    if (reply.success) {
        storeSession(session, state, reply, typedName);
    } else {
        const std::string message = reply.error.value_or("Ongeldige klascode");
        state.errorMessage = message;
        state.addDebugLog("Login failed: " + message);
    }
}

}  // namespace

void ClassSession::loginWithClassCode(const std::string& studentName,
                                      const std::string& classCode) {
    state_.isLoading = true;
    state_.errorMessage = std::nullopt;
    state_.addDebugLog("=== LOGIN START ===");
    savedStudentName = studentName;
    savedClassCode = classCode;
    state_.addDebugLog("Testing network...");

    if (!isWellFormedHttpsUrl(probeURL)) {
        state_.addDebugLog("ERROR: Can't create test URL");
        endLogin(state_, std::nullopt);
        return;
    }
    sendToService(
        *this, getRequest(probeURL),
        [studentName, classCode](ClassSession& self, HttpResult result) {
            if (const auto* error = std::get_if<TransportError>(&result)) {
                self.state_.addDebugLog("Network TEST FAILED: " + error->description);
                endLogin(self.state_, "Geen internet: " + error->description);
                return;
            }
            self.state_.addDebugLog("Network TEST OK: HTTP " +
                                    std::to_string(std::get<HttpResponse>(result).statusCode));
            self.performActualLogin(studentName, classCode);
        });
}

void ClassSession::performActualLogin(const std::string& studentName,
                                      const std::string& classCode) {
    state_.addDebugLog("Student: " + studentName + ", Code: " + classCode);
    const auto rootUrl = serviceRootUrl(apiBaseURL);
    if (!rootUrl) {
        state_.addDebugLog("ERROR: Server test URL failed");
        endLogin(state_, std::nullopt);
        return;
    }
    state_.addDebugLog("Testing server ROOT: " + *rootUrl);
    sendToService(
        *this, getRequest(*rootUrl),
        [studentName, classCode](ClassSession& self, HttpResult result) {
            if (const auto* error = std::get_if<TransportError>(&result)) {
                self.state_.addDebugLog("Server TEST FAILED: " + error->description);
                self.state_.addDebugLog("Domain: " + error->domain +
                                        ", Code: " + std::to_string(error->code));
                endLogin(self.state_, "Server niet bereikbaar");
                return;
            }
            self.state_.addDebugLog("Server TEST OK: HTTP " +
                                    std::to_string(std::get<HttpResponse>(result).statusCode));
            self.sendLoginRequest(studentName, classCode);
        });
}

void ClassSession::sendLoginRequest(const std::string& studentName, const std::string& classCode) {
    state_.addDebugLog("POST to: " + apiBaseURL + service_endpoint::login);
    const auto loginUrl = serviceUrl(apiBaseURL, service_endpoint::login);
    if (!loginUrl) {
        endLogin(state_, "URL FOUT");
        return;
    }
    LoginRequest login = makeLoginRequest(ports_, *loginUrl, studentName, classCode,
                                          Seconds{request_timeout::login});
    state_.addDebugLog("Device: " + login.deviceInfo);
    state_.addDebugLog("Sending POST...");
    sendToService(*this, std::move(login.request),
                  [typedName = studentName](ClassSession& self, HttpResult result) {
                      handleLoginReply(self, self.state_, typedName, std::move(result));
                  });
}

}  // namespace kt
