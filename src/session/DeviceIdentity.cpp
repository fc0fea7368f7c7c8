#include "session/DeviceIdentity.h"

#include <algorithm>
#include <cctype>

#include "session/Utf8.h"
#include "text/TextUtil.h"

namespace kt {
namespace {

std::string withoutColonsLowerCase(const std::string& address) {
    std::string identity;
    identity.reserve(address.size());
    for (const char c : address)
        if (c != ':')
            identity.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return identity;
}

bool isAllZero(const std::string& identity) {
    return std::all_of(identity.begin(), identity.end(), [](char c) { return c == '0'; });
}

// The value of the last line "KEY=value" of an os-release text, without its
// quotes; what stands after a closing quote is left out.
std::optional<std::string> osReleaseValue(std::string_view text, std::string_view key) {
    std::optional<std::string> found;
    for (std::string_view line : text::nonEmptyLines(text)) {
        if (!line.starts_with(key) || line.substr(key.size(), 1) != "=")
            continue;
        std::string_view value = line.substr(key.size() + 1);
        if (!value.empty() && (value.front() == '"' || value.front() == '\'')) {
            const auto close = value.find(value.front(), 1);
            value = value.substr(1, close == std::string_view::npos ? close : close - 1);
        }
        found = std::string(value);
    }
    return found;
}

// Printable text only: no control characters, quotes or backslashes, and no
// bytes of a broken UTF-8 sequence.
std::string plainName(const std::string& value) {
    const bool validText = utf8::isValid(value);
    std::string plain;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        const bool control = byte < 0x20 || byte == 0x7f;
        const bool quoting = c == '"' || c == '\'' || c == '`' || c == '\\';
        if (!control && !quoting && (validText || byte < 0x80))
            plain.push_back(c);
    }
    return utf8::prefixCharacters(text::trimmed(plain), maxDeviceNameCharacters);
}

}  // namespace

std::string getDeviceMACAddress(const NetworkInterfaces& interfaces) {
    for (const NetworkInterfaceInfo& interface : interfaces.all()) {
        if (interface.isLoopback)
            continue;
        const std::string identity = withoutColonsLowerCase(interface.hardwareAddress);
        if (identity.empty() || isAllZero(identity))
            continue;
        return identity;
    }
    return {};
}

std::string deviceInformation(const SystemInformation& system) {
    return "macOS " + system.operatingSystemVersion();
}

std::string linuxDeviceInformation(std::optional<std::string_view> osRelease) {
    for (const char* key : {"PRETTY_NAME", "NAME"}) {
        const auto value = osRelease ? osReleaseValue(*osRelease, key) : std::nullopt;
        const std::string name = value ? plainName(*value) : "";
        if (!name.empty())
            return "Linux " + name;
    }
    return "Linux";
}

}  // namespace kt
