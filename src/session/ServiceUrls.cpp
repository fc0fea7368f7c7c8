#include "session/ServiceUrls.h"

#include <cctype>

#include "session/PercentEncoding.h"

namespace kt {
namespace {

bool isHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

bool isUrlCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u))
        return true;
    static constexpr std::string_view allowed = "-._~:/?#[]@!$&'()*+,;=%";
    return u < 0x80 && allowed.find(c) != std::string_view::npos;
}

constexpr std::string_view httpsPrefix = "https://";

}  // namespace

bool isWellFormedHttpsUrl(std::string_view url) {
    if (url.size() <= httpsPrefix.size())
        return false;
    for (std::size_t i = 0; i < httpsPrefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != httpsPrefix[i])
            return false;
    const std::string_view rest = url.substr(httpsPrefix.size());
    const std::size_t authorityEnd = rest.find_first_of("/?#");
    if (authorityEnd == 0)
        return false;  // no host
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (!isUrlCharacter(url[i]))
            return false;
        if (url[i] == '%' &&
            (i + 2 >= url.size() || !isHexDigit(url[i + 1]) || !isHexDigit(url[i + 2])))
            return false;
    }
    return true;
}

std::optional<std::string> serviceUrl(std::string_view apiBaseURL, std::string_view endpoint) {
    std::string url(apiBaseURL);
    url += endpoint;
    if (!isWellFormedHttpsUrl(url))
        return std::nullopt;
    return url;
}

std::optional<std::string> serviceRootUrl(std::string_view apiBaseURL) {
    if (apiBaseURL.size() <= httpsPrefix.size())
        return std::nullopt;
    const std::size_t authorityEnd = apiBaseURL.find_first_of("/?#", httpsPrefix.size());
    std::string root(apiBaseURL.substr(0, authorityEnd));
    root += '/';
    if (!isWellFormedHttpsUrl(root))
        return std::nullopt;
    return root;
}

std::optional<std::string> serviceHost(std::string_view apiBaseURL) {
    const auto root = serviceRootUrl(apiBaseURL);
    if (!root)
        return std::nullopt;
    std::string_view authority(*root);
    authority = authority.substr(httpsPrefix.size(), authority.size() - httpsPrefix.size() - 1);
    authority.remove_prefix(authority.find('@') + 1);  // npos + 1 is 0: no user part
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        return std::string(authority.substr(1, close - 1));
    }
    std::string host(authority.substr(0, authority.find(':')));
    if (host.empty())
        return std::nullopt;
    return host;
}

std::optional<std::string> statusUrl(std::string_view apiBaseURL, std::string_view token) {
    auto url = serviceUrl(apiBaseURL, service_endpoint::status);
    if (!url)
        return std::nullopt;
    // The token is opaque: &, = and + are encoded too so it comes back unchanged.
    *url += "?token=" + formValueEncoded(token);
    return url;
}

}  // namespace kt
