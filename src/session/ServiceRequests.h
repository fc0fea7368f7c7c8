#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/HttpClient.h"

namespace kt {

// The login form body: student_name, class_code, device_info and, when the
// device identity is not empty, device_id, joined with "&".
std::string loginRequestBody(std::string_view studentName, std::string_view classCode,
                             std::string_view deviceInfo, std::string_view deviceId);

// {"token":"…"} written compactly; nothing when the token is not valid UTF-8.
std::optional<std::string> logoutRequestBody(std::string_view token);

// What the class is told of this computer's block: {"token", "state",
// "error" (only when there is one), "hosts", "rules"}, compactly and in that
// order. The error is cut to maxReportErrorCharacters and bytes that are not
// UTF-8 are written out as "\xHH". Nothing when the token is not valid UTF-8.
std::optional<std::string> classReportBody(std::string_view token, std::string_view state,
                                           const std::optional<std::string>& error, int hosts,
                                           int rules);
inline constexpr std::size_t maxReportErrorCharacters = 300;
// The answer to a report is not read; more than this ends the request.
inline constexpr std::size_t maxReportReplyBytes = 1 << 16;

// Time-outs of the requests, in seconds.
namespace request_timeout {
inline constexpr double clientDefault = 60.0;
inline constexpr double login = 30.0;
inline constexpr double reconnectLogin = 15.0;
inline constexpr double logout = 5.0;
inline constexpr double logoutAtQuit = 3.0;
inline constexpr double report = 5.0;
}  // namespace request_timeout

// A status reply longer than this is not read: it could only make the block
// lists larger than a block may be.
inline constexpr std::size_t maxStatusReplyBytes = 1 << 20;

HttpRequest getRequest(std::string url);
HttpRequest loginRequest(std::string url, std::string body, Seconds timeout);
HttpRequest logoutRequest(std::string url, std::string_view token, Seconds timeout);
// A POST of a JSON text (the logout and the report).
HttpRequest jsonPostRequest(std::string url, std::string body, Seconds timeout);

}  // namespace kt
