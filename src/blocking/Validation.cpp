#include "blocking/Validation.h"

#include <cstdio>
#include <set>

namespace kt {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isValidLabel(std::string_view label) {
    if (label.empty() || label.size() > 63)
        return false;
    if (label.front() == '-' || label.back() == '-')
        return false;
    for (char c : label)
        if (!isLetter(c) && !isDigit(c) && c != '-')
            return false;
    return true;
}

// A decimal number without sign or leading zeros, at most `max`.
std::optional<unsigned> smallNumber(std::string_view text, unsigned max) {
    if (text.empty() || text.size() > 3)
        return std::nullopt;
    if (text.size() > 1 && text.front() == '0')
        return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > max)
        return std::nullopt;
    return value;
}

bool isIPv4(std::string_view text) {
    int parts = 0;
    while (true) {
        std::size_t dot = text.find('.');
        if (!smallNumber(text.substr(0, dot), 255))
            return false;
        ++parts;
        if (dot == std::string_view::npos)
            break;
        text.remove_prefix(dot + 1);
    }
    return parts == 4;
}

// Counts the 16-bit groups of one side of "::"; an IPv4 tail counts as two.
std::optional<int> ipv6Groups(std::string_view side, bool mayEndInIPv4) {
    if (side.empty())
        return 0;
    int groups = 0;
    while (true) {
        std::size_t colon = side.find(':');
        std::string_view group = side.substr(0, colon);
        if (colon == std::string_view::npos && mayEndInIPv4 &&
            group.find('.') != std::string_view::npos) {
            if (!isIPv4(group))
                return std::nullopt;
            return groups + 2;
        }
        if (group.empty() || group.size() > 4)
            return std::nullopt;
        for (char c : group)
            if (!isHexDigit(c))
                return std::nullopt;
        ++groups;
        if (colon == std::string_view::npos)
            return groups;
        side.remove_prefix(colon + 1);
    }
}

bool isIPv6(std::string_view text) {
    std::size_t gap = text.find("::");
    if (gap == std::string_view::npos) {
        auto groups = ipv6Groups(text, true);
        return groups && *groups == 8;
    }
    std::string_view head = text.substr(0, gap);
    std::string_view tail = text.substr(gap + 2);
    if (tail.find("::") != std::string_view::npos)
        return false;
    auto before = ipv6Groups(head, false);
    auto after = ipv6Groups(tail, true);
    return before && after && *before + *after <= 7;
}

std::string escaped(const std::string& text) {
    static constexpr std::size_t limit = 80;
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02X", c);
            out += code;
        }
    }
    if (text.size() > limit)
        out += "...";
    return out + "\"";
}

// Each item once, in the order first seen: sixty lookups that fail alike
// make one mention, not sixty.
void appendGroup(std::string& line, const char* label, const std::vector<std::string>& items) {
    if (items.empty())
        return;
    if (line.back() != ' ')
        line += "; ";
    line += label;
    std::set<std::string_view> named;
    for (const auto& item : items) {
        if (!named.insert(item).second)
            continue;
        line += (named.size() > 1 ? ", " : " ") + escaped(item);
    }
}

}  // namespace

bool isValidHostName(std::string_view name) {
    if (name.empty() || name.size() > 253)
        return false;
    while (true) {
        std::size_t dot = name.find('.');
        if (!isValidLabel(name.substr(0, dot)))
            return false;
        if (dot == std::string_view::npos)
            return true;
        name.remove_prefix(dot + 1);
    }
}

bool isValidAddress(std::string_view text) {
    std::size_t slash = text.find('/');
    std::string_view address = text.substr(0, slash);
    bool v6 = address.find(':') != std::string_view::npos;
    if (v6 ? !isIPv6(address) : !isIPv4(address))
        return false;
    if (slash == std::string_view::npos)
        return true;
    return smallNumber(text.substr(slash + 1), v6 ? 128 : 32).has_value();
}

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        std::size_t length;
        char32_t value;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
            value = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            value = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            value = c & 0x07;
        } else {
            return false;
        }
        if (i + length > bytes.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (next & 0x3F);
        }
        static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

bool isBlockableAddress(std::string_view text) {
    if (!isValidAddress(text))
        return false;
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return true;
    const bool v6 = text.find(':') != std::string_view::npos;
    return *smallNumber(text.substr(slash + 1), v6 ? 128 : 32) >= (v6 ? 16u : 8u);
}

CheckedBlockData checkBlockData(const std::vector<std::string>& blockedDomains,
                                const std::vector<std::string>& blockIPs) {
    CheckedBlockData data;
    for (const auto& name : blockedDomains)
        (isValidHostName(name) ? data.domains : data.rejectedDomains).push_back(name);
    for (const auto& address : blockIPs)
        (isBlockableAddress(address) ? data.ips : data.rejectedIPs).push_back(address);
    return data;
}

std::optional<std::string> rejectedInputLogLine(const CheckedBlockData& data,
                                                const std::vector<std::string>& rejectedAnswers) {
    if (data.rejectedDomains.empty() && data.rejectedIPs.empty() && rejectedAnswers.empty())
        return std::nullopt;
    std::string line = "WAARSCHUWING: Ongeldige invoer niet gebruikt: ";
    appendGroup(line, "domeinnamen", data.rejectedDomains);
    appendGroup(line, "IP-adressen", data.rejectedIPs);
    appendGroup(line, "DNS-antwoorden", rejectedAnswers);
    return line;
}

}  // namespace kt
