#include "blocking/RefusedTargets.h"

#include "blocking/Validation.h"

namespace kt {
namespace {

// Loopback, link-local, multicast and unspecified, of both families.
const std::vector<IpNetwork>& specialNetworks() {
    static const std::vector<IpNetwork> networks = [] {
        std::vector<IpNetwork> out;
        for (const char* text : {"127.0.0.0/8", "::1", "169.254.0.0/16", "fe80::/10", "224.0.0.0/4",
                                 "ff00::/8", "0.0.0.0", "::"})
            out.push_back(*parseNetwork(text));
        return out;
    }();
    return networks;
}

std::string canonicalName(std::string_view name) {
    if (name.ends_with('.'))
        name.remove_suffix(1);
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The blank-separated words of one line.
std::vector<std::string_view> wordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i])) ++i;
        std::size_t start = i;
        while (i < line.size() && !isBlank(line[i])) ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

}  // namespace

std::vector<std::string> nameServersIn(std::string_view resolvConfText) {
    std::vector<std::string> servers;
    while (!resolvConfText.empty()) {
        std::size_t end = resolvConfText.find('\n');
        std::string_view line = resolvConfText.substr(0, end);
        resolvConfText.remove_prefix(end == std::string_view::npos ? resolvConfText.size()
                                                                   : end + 1);
        line = line.substr(0, line.find_first_of("#;"));
        const auto words = wordsOf(line);
        if (words.size() < 2 || words[0] != "nameserver")
            continue;
        const std::string_view address = words[1].substr(0, words[1].find('%'));
        if (isSingleAddress(address))
            servers.emplace_back(address);
    }
    return servers;
}

std::vector<std::string> computerNameServers(const FileSystem& files) {
    std::vector<std::string> found;
    for (const char* file : {"/etc/resolv.conf", "/run/systemd/resolve/resolv.conf"}) {
        const std::vector<std::string> servers = nameServersIn(files.readFile(file).value_or(""));
        found.insert(found.end(), servers.begin(), servers.end());
    }
    return found;
}

bool isRefusedAddress(std::string_view target, const ProtectedTargets& protectedTargets) {
    const auto network = parseNetwork(target);
    if (!network)
        return false;
    for (const IpNetwork& special : specialNetworks())
        if (overlap(*network, special))
            return true;
    for (const std::string& address : protectedTargets.addresses) {
        if (!isSingleAddress(address))
            continue;
        if (overlap(*network, *parseNetwork(address)))
            return true;
    }
    return false;
}

bool isRefusedName(std::string_view name, const ProtectedTargets& protectedTargets) {
    const std::string blocked = canonicalName(name);
    for (const std::string& host : protectedTargets.hostNames) {
        const std::string kept = canonicalName(host);
        if (kept == blocked || (!blocked.starts_with("www.") && kept == "www." + blocked))
            return true;
    }
    return false;
}

NameRefusal nameRefusal(std::string_view name, const ProtectedTargets& protectedTargets) {
    if (!isValidHostName(name))
        return isValidAddress(name) ? NameRefusal::Address : NameRefusal::NotAHostName;
    const std::string canonical = canonicalName(name);
    const std::string_view lastLabel = std::string_view(canonical).substr(canonical.rfind('.') + 1);
    if (lastLabel.find_first_not_of("0123456789") == std::string_view::npos)
        return NameRefusal::Address;  // no top-level name is a number: 127.1, 10.0.0.1
    if (canonical == "localhost" || canonical.ends_with(".localhost"))
        return NameRefusal::ThisComputer;
    if (canonical.find('.') == std::string::npos)
        return NameRefusal::SingleLabel;
    // Suffixes that are never delegated on the internet and that networks use
    // for themselves (multicast DNS, home and company networks).
    for (const char* local : {".local", ".localdomain", ".lan", ".home", ".internal", ".intranet",
                              ".corp", ".private", ".home.arpa"})
        if (canonical.ends_with(local))
            return NameRefusal::LocalName;
    return isRefusedName(name, protectedTargets) ? NameRefusal::Protected : NameRefusal::None;
}

FilteredAddresses filterLookedUpAddresses(const std::vector<std::string>& addresses,
                                          const ProtectedTargets& protectedTargets) {
    FilteredAddresses out;
    for (const std::string& address : addresses) {
        const bool usable =
            isSingleAddress(address) && !isRefusedAddress(address, protectedTargets);
        (usable ? out.used : out.rejected).push_back(address);
    }
    return out;
}

}  // namespace kt
