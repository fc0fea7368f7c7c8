#include "session/LoginRequest.h"

#include "session/DeviceIdentity.h"
#include "session/ServiceRequests.h"

namespace kt {
namespace {

std::string deviceInformationOf(const Ports& ports) {
    if (ports.systemProfileName == "linux") {
        std::optional<std::string> osRelease;
        for (const char* path : osReleasePaths)
            if (!osRelease && ports.files)
                osRelease = ports.files->readFile(path);
        return linuxDeviceInformation(osRelease);
    }
    return ports.systemInformation ? deviceInformation(*ports.systemInformation) : "macOS ";
}

}  // namespace

LoginRequest makeLoginRequest(const Ports& ports, std::string url, std::string_view studentName,
                              std::string_view classCode, Seconds timeout) {
    std::string deviceInfo = deviceInformationOf(ports);
    const std::string deviceId =
        ports.networkInterfaces ? getDeviceMACAddress(*ports.networkInterfaces) : "";
    HttpRequest request = loginRequest(
        std::move(url), loginRequestBody(studentName, classCode, deviceInfo, deviceId), timeout);
    return {std::move(request), std::move(deviceInfo)};
}

}  // namespace kt
