#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kt {

// The endpoints of the class service, relative to its base URL (which ends in
// "/Vexlo/api/").
namespace service_endpoint {
inline constexpr const char* login = "class-login.php";
inline constexpr const char* status = "class-status.php";
inline constexpr const char* logout = "class-logout.php";
inline constexpr const char* report = "class-report.php";
}  // namespace service_endpoint

// True for an absolute https URL with a host whose characters may all stand
// in a URL (percent escapes complete, no spaces or control characters).
bool isWellFormedHttpsUrl(std::string_view url);

// base + endpoint, or nothing when that is no well-formed https URL.
std::optional<std::string> serviceUrl(std::string_view apiBaseURL, std::string_view endpoint);

// The root ("/") of the service's host: scheme, host and port of the base.
std::optional<std::string> serviceRootUrl(std::string_view apiBaseURL);

// The host of the base: a name, or an address (an IPv6 one without brackets).
std::optional<std::string> serviceHost(std::string_view apiBaseURL);

// The status URL: the endpoint with the single query parameter `token`.
std::optional<std::string> statusUrl(std::string_view apiBaseURL, std::string_view token);

}  // namespace kt
