#include "blocking/Validation.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "blocking/Limits.h"

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

std::optional<std::array<std::uint8_t, 4>> parseIPv4(std::string_view text) {
    std::array<std::uint8_t, 4> bytes{};
    std::size_t parts = 0;
    while (true) {
        std::size_t dot = text.find('.');
        auto number = smallNumber(text.substr(0, dot), 255);
        if (!number || parts == bytes.size())
            return std::nullopt;
        bytes[parts++] = static_cast<std::uint8_t>(*number);
        if (dot == std::string_view::npos)
            break;
        text.remove_prefix(dot + 1);
    }
    if (parts != bytes.size())
        return std::nullopt;
    return bytes;
}

unsigned hexValue(char c) {
    if (isDigit(c))
        return static_cast<unsigned>(c - '0');
    return static_cast<unsigned>((c | 0x20) - 'a' + 10);
}

// Appends the 16-bit groups of one side of "::"; an IPv4 tail gives two.
bool readIPv6Groups(std::string_view side, bool mayEndInIPv4, std::vector<std::uint16_t>& groups) {
    if (side.empty())
        return true;
    while (groups.size() < 8) {
        std::size_t colon = side.find(':');
        std::string_view group = side.substr(0, colon);
        if (colon == std::string_view::npos && mayEndInIPv4 &&
            group.find('.') != std::string_view::npos) {
            auto v4 = parseIPv4(group);
            if (!v4)
                return false;
            groups.push_back(static_cast<std::uint16_t>((*v4)[0] << 8 | (*v4)[1]));
            groups.push_back(static_cast<std::uint16_t>((*v4)[2] << 8 | (*v4)[3]));
            return true;
        }
        if (group.empty() || group.size() > 4)
            return false;
        unsigned value = 0;
        for (char c : group) {
            if (!isHexDigit(c))
                return false;
            value = value * 16 + hexValue(c);
        }
        groups.push_back(static_cast<std::uint16_t>(value));
        if (colon == std::string_view::npos)
            return true;
        side.remove_prefix(colon + 1);
    }
    return false;  // more than eight groups
}

std::optional<std::array<std::uint8_t, 16>> parseIPv6(std::string_view text) {
    std::vector<std::uint16_t> head, tail;
    std::size_t gap = text.find("::");
    if (gap == std::string_view::npos) {
        if (!readIPv6Groups(text, true, head) || head.size() != 8)
            return std::nullopt;
    } else {
        std::string_view after = text.substr(gap + 2);
        if (after.find("::") != std::string_view::npos)
            return std::nullopt;
        if (!readIPv6Groups(text.substr(0, gap), false, head) ||
            !readIPv6Groups(after, true, tail) || head.size() + tail.size() > 7)
            return std::nullopt;
    }
    std::array<std::uint8_t, 16> bytes{};
    auto put = [&bytes](std::size_t index, std::uint16_t group) {
        bytes[2 * index] = static_cast<std::uint8_t>(group >> 8);
        bytes[2 * index + 1] = static_cast<std::uint8_t>(group & 0xff);
    };
    for (std::size_t i = 0; i < head.size(); ++i) put(i, head[i]);
    for (std::size_t i = 0; i < tail.size(); ++i) put(8 - tail.size() + i, tail[i]);
    return bytes;
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
// make one mention, not sixty; after the first twenty only their number.
void appendGroup(std::string& line, const char* label, const std::vector<std::string>& items) {
    if (items.empty())
        return;
    if (line.back() != ' ')
        line += "; ";
    line += label;
    // At most this many named, so that a hostile list stays one readable line.
    constexpr std::size_t shown = 20;
    std::set<std::string_view> named;
    for (const auto& item : items) {
        if (!named.insert(item).second || named.size() > shown)
            continue;
        line += (named.size() > 1 ? ", " : " ") + escaped(item);
    }
    if (named.size() > shown)
        line += " en " + std::to_string(named.size() - shown) + " meer";
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

std::optional<IpNetwork> parseNetwork(std::string_view text) {
    std::size_t slash = text.find('/');
    std::string_view address = text.substr(0, slash);
    IpNetwork network;
    if (address.find(':') != std::string_view::npos) {
        auto bytes = parseIPv6(address);
        if (!bytes)
            return std::nullopt;
        network.bytes = *bytes;
    } else {
        auto bytes = parseIPv4(address);
        if (!bytes)
            return std::nullopt;
        network.bytes[10] = network.bytes[11] = 0xff;
        std::copy(bytes->begin(), bytes->end(), network.bytes.begin() + 12);
        network.prefixLength = 32;
    }
    const unsigned familyBits = network.prefixLength;
    if (slash != std::string_view::npos) {
        auto prefix = smallNumber(text.substr(slash + 1), familyBits);
        if (!prefix)
            return std::nullopt;
        network.prefixLength = *prefix;
    }
    network.prefixLength += 128 - familyBits;
    return network;
}

bool overlap(const IpNetwork& a, const IpNetwork& b) {
    const unsigned bits = std::min(a.prefixLength, b.prefixLength);
    for (unsigned i = 0; i < bits; i += 8) {
        const unsigned take = std::min(8u, bits - i);
        const auto mask = static_cast<std::uint8_t>(0xff << (8 - take));
        if ((a.bytes[i / 8] & mask) != (b.bytes[i / 8] & mask))
            return false;
    }
    return true;
}

bool isValidAddress(std::string_view text) {
    return parseNetwork(text).has_value();
}

bool isSingleAddress(std::string_view text) {
    return text.find('/') == std::string_view::npos && isValidAddress(text);
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
    const auto network = parseNetwork(text);
    if (!network)
        return false;
    const bool v6 = text.find(':') != std::string_view::npos;
    return network->prefixLength >= (v6 ? 16u : 96u + 8u);
}

namespace {

// A usable item is taken up to `limit`; those past it are only counted.
void take(CheckedBlockData& data, const std::string& item, bool usable,
          std::vector<std::string>& used, std::vector<std::string>& rejected, std::size_t limit) {
    if (!usable)
        rejected.push_back(item);
    else if (used.size() < limit)
        used.push_back(item);
    else
        ++data.droppedOverLimit;
}

}  // namespace

CheckedBlockData checkBlockedNames(const std::vector<std::string>& blockedDomains,
                                   const ProtectedTargets& protectedTargets) {
    CheckedBlockData data;
    for (const auto& name : blockedDomains)
        take(data, name, nameRefusal(name, protectedTargets) == NameRefusal::None, data.domains,
             data.rejectedDomains, maxBlockedNames);
    return data;
}

void checkBlockedAddresses(CheckedBlockData& data, const std::vector<std::string>& blockIPs,
                           const ProtectedTargets& protectedTargets) {
    for (const auto& address : blockIPs)
        take(data, address,
             isBlockableAddress(address) && !isRefusedAddress(address, protectedTargets), data.ips,
             data.rejectedIPs, maxBlockedAddresses);
}

CheckedBlockData checkBlockData(const std::vector<std::string>& blockedDomains,
                                const std::vector<std::string>& blockIPs,
                                const ProtectedTargets& protectedTargets) {
    CheckedBlockData data = checkBlockedNames(blockedDomains, protectedTargets);
    checkBlockedAddresses(data, blockIPs, protectedTargets);
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

std::optional<std::string> overLimitLogLine(const CheckedBlockData& data) {
    if (data.droppedOverLimit == 0)
        return std::nullopt;
    return "WAARSCHUWING: Meer dan " + std::to_string(maxBlockedNames) +
           " namen/adressen: " + std::to_string(data.droppedOverLimit) + " niet gebruikt";
}

}  // namespace kt
