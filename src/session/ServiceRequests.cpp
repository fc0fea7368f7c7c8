#include "session/ServiceRequests.h"

#include <nlohmann/json.hpp>

#include "session/PercentEncoding.h"
#include "session/Utf8.h"

namespace kt {

std::string loginRequestBody(std::string_view studentName, std::string_view classCode,
                             std::string_view deviceInfo, std::string_view deviceId) {
    std::string body = "student_name=" + formValueEncoded(studentName);
    // A code of letters and digits goes out as typed (upper case); anything
    // else is encoded so that a stray "&" or "%" cannot change the form.
    body += "&class_code=" + formValueEncoded(utf8::upperCased(classCode));
    body += "&device_info=" + queryValueEncoded(deviceInfo);
    if (!deviceId.empty())
        body += "&device_id=" + queryValueEncoded(deviceId);
    return body;
}

std::optional<std::string> logoutRequestBody(std::string_view token) {
    if (!utf8::isValid(token))
        return std::nullopt;
    return nlohmann::json{{"token", std::string(token)}}.dump();
}

std::optional<std::string> classReportBody(std::string_view token, std::string_view state,
                                           const std::optional<std::string>& error, int hosts,
                                           int rules) {
    if (!utf8::isValid(token))
        return std::nullopt;
    nlohmann::ordered_json body{{"token", std::string(token)}, {"state", std::string(state)}};
    if (error)
        body["error"] =
            utf8::prefixCharacters(utf8::escapeInvalid(*error), maxReportErrorCharacters);
    body["hosts"] = hosts;
    body["rules"] = rules;
    return body.dump();
}

HttpRequest getRequest(std::string url) {
    HttpRequest request;
    request.method = "GET";
    request.url = std::move(url);
    request.timeout = Seconds{request_timeout::clientDefault};
    return request;
}

HttpRequest loginRequest(std::string url, std::string body, Seconds timeout) {
    HttpRequest request;
    request.method = "POST";
    request.url = std::move(url);
    request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    request.body = std::move(body);
    request.timeout = timeout;
    return request;
}

HttpRequest logoutRequest(std::string url, std::string_view token, Seconds timeout) {
    return jsonPostRequest(std::move(url), logoutRequestBody(token).value_or(""), timeout);
}

HttpRequest jsonPostRequest(std::string url, std::string body, Seconds timeout) {
    HttpRequest request;
    request.method = "POST";
    request.url = std::move(url);
    request.headers = {{"Content-Type", "application/json"}};
    request.body = std::move(body);
    request.timeout = timeout;
    return request;
}

}  // namespace kt
