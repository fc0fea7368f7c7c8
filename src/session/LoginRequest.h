#pragma once

#include <string>
#include <string_view>

#include "platform/HttpClient.h"
#include "platform/Ports.h"

namespace kt {

struct LoginRequest {
    HttpRequest request;
    std::string deviceInfo;  // the device_info it carries, for the log
};

// The login form for `studentName` and `classCode`, with this computer's
// device information and identity, as a login and a reconnect send it.
LoginRequest makeLoginRequest(const Ports& ports, std::string url, std::string_view studentName,
                              std::string_view classCode, Seconds timeout);

}  // namespace kt
