#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kt {

// What a school sets without rebuilding: the class service, the connectivity
// probe and an extra CA bundle (empty: the system's CAs only).
struct DeploymentSettings {
    std::string serviceUrl;
    std::string probeUrl;
    std::string caBundle;
};

inline constexpr const char* deploymentConfigPath = "/etc/ka-tesmar/ka-tesmar.conf";

// "key=value" lines (service_url, probe_url, ca_bundle) over `defaults`.
// Blank lines and lines starting with "#" are skipped; blanks around keys and
// values are dropped. Unknown keys, lines without "=" and URLs that are not
// https give a warning each and change nothing.
DeploymentSettings parseDeploymentConfig(std::string_view text, DeploymentSettings defaults,
                                         std::vector<std::string>& warnings);

struct FileOwner {
    unsigned uid = 0;
    unsigned gid = 0;
    unsigned mode = 0;  // permission bits
};

// Why a file with this owner may not set the deployment, or nothing: it must
// be root's and writable by root only (a student could otherwise point the
// application at a service and a trust anchor of their own).
std::optional<std::string> ownerRefusal(const FileOwner& owner);

// The owner and mode of the open file `fd` (fstat), or nothing.
std::optional<FileOwner> ownerOfOpenFile(int fd);

// The settings of the file at `path` over `defaults`. A missing file gives
// the defaults quietly; a file that cannot be read or that `ownerOf` refuses
// gives the defaults and a warning. The file is opened once, without
// following a link, and checked and read through the same descriptor.
DeploymentSettings loadDeploymentSettings(
    const std::string& path, DeploymentSettings defaults, std::vector<std::string>& warnings,
    const std::function<std::optional<FileOwner>(int fd)>& ownerOf = ownerOfOpenFile);

}  // namespace kt
