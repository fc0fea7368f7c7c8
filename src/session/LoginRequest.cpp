#include "session/LoginRequest.h"

#include "session/DeviceIdentity.h"
#include "session/ServiceRequests.h"

namespace kt {

LoginRequest makeLoginRequest(const Ports& ports, std::string url, std::string_view studentName,
                              std::string_view classCode, Seconds timeout) {
    std::string deviceInfo =
        ports.systemInformation ? deviceInformation(*ports.systemInformation) : "macOS ";
    const std::string deviceId =
        ports.networkInterfaces ? getDeviceMACAddress(*ports.networkInterfaces) : "";
    HttpRequest request = loginRequest(
        std::move(url), loginRequestBody(studentName, classCode, deviceInfo, deviceId), timeout);
    return {std::move(request), std::move(deviceInfo)};
}

}  // namespace kt
