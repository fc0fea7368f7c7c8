#include "platform/system/DeploymentConfig.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kt {
namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

DeploymentSettings parseDeploymentConfig(std::string_view text, DeploymentSettings defaults,
                                         std::vector<std::string>& warnings) {
    DeploymentSettings settings = std::move(defaults);
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        if (line.empty() || line.front() == '#')
            continue;
        const std::size_t equals = line.find('=');
        const std::string key(trimmed(line.substr(0, equals)));
        const std::string value(
            equals == std::string_view::npos ? "" : trimmed(line.substr(equals + 1)));
        std::string* target = key == "service_url" ? &settings.serviceUrl
                              : key == "probe_url" ? &settings.probeUrl
                              : key == "ca_bundle" ? &settings.caBundle
                                                   : nullptr;
        if (equals == std::string_view::npos || !target) {
            warnings.push_back("line " + std::to_string(number) + " ignored: not " +
                               "service_url=, probe_url= or ca_bundle=");
            continue;
        }
        if (target != &settings.caBundle && !value.starts_with("https://")) {
            warnings.push_back("line " + std::to_string(number) + " ignored: " + key +
                               " must start with https://");
            continue;
        }
        *target = value;
    }
    return settings;
}

std::optional<std::string> ownerRefusal(const FileOwner& owner) {
    if (owner.uid != 0)
        return "not owned by root";
    if ((owner.mode & S_IWOTH) || ((owner.mode & S_IWGRP) && owner.gid != 0))
        return "writable by others than root";
    return std::nullopt;
}

std::optional<FileOwner> ownerOfOpenFile(int fd) {
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return FileOwner{status.st_uid, status.st_gid, status.st_mode & 07777u};
}

DeploymentSettings loadDeploymentSettings(
    const std::string& path, DeploymentSettings defaults, std::vector<std::string>& warnings,
    const std::function<std::optional<FileOwner>(int fd)>& ownerOf) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT)
            warnings.push_back(path + " ignored: " + std::strerror(errno));
        return defaults;
    }
    std::optional<std::string> refusal = "not a regular file";
    if (const auto owner = ownerOf(fd))
        refusal = ownerRefusal(*owner);
    std::string text;
    if (!refusal) {
        char buffer[4096];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0 && text.size() < (1u << 16))
            text.append(buffer, static_cast<std::size_t>(n));
        if (n < 0)
            refusal = std::strerror(errno);
    }
    close(fd);
    if (refusal) {
        warnings.push_back(path + " ignored: " + *refusal);
        return defaults;
    }
    return parseDeploymentConfig(text, std::move(defaults), warnings);
}

}  // namespace kt
