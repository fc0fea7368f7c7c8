#include "session/Utf8.h"

#include <optional>

namespace kt::utf8 {
namespace {

struct Decoded {
    char32_t codePoint;
    std::size_t length;
};

// Decodes the code point at `pos`, or nothing when the bytes there are not
// well-formed UTF-8.
std::optional<Decoded> decodeAt(std::string_view s, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[pos + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return Decoded{lead, 1};
    std::size_t length;
    char32_t cp;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (pos + length > s.size())
        return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return std::nullopt;
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    return Decoded{cp, length};
}

void append(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool inRange(char32_t cp, char32_t first, char32_t last) {
    return cp >= first && cp <= last;
}

// Code points that never start a character of their own.
bool extendsPrevious(char32_t cp) {
    return inRange(cp, 0x0300, 0x036F) || inRange(cp, 0x1AB0, 0x1AFF) ||
           inRange(cp, 0x1DC0, 0x1DFF) || inRange(cp, 0x20D0, 0x20FF) ||
           inRange(cp, 0xFE00, 0xFE0F) || inRange(cp, 0xFE20, 0xFE2F) ||
           inRange(cp, 0x1F3FB, 0x1F3FF) || inRange(cp, 0xE0020, 0xE007F) ||
           inRange(cp, 0xE0100, 0xE01EF) || cp == 0x200D;
}

bool isRegionalIndicator(char32_t cp) {
    return inRange(cp, 0x1F1E6, 0x1F1FF);
}

// The upper-case form of one code point (0 when it has a two-letter form).
char32_t upper(char32_t cp) {
    if (inRange(cp, 'a', 'z'))
        return cp - 0x20;
    if (inRange(cp, 0xE0, 0xFE) && cp != 0xF7)
        return cp - 0x20;  // à..þ, not ÷
    if (cp == 0xFF)
        return 0x178;  // ÿ
    if (cp == 0x131)
        return 'I';                                              // dotless i
    if (inRange(cp, 0x100, 0x137) || inRange(cp, 0x14A, 0x177))  // pairs: even upper, odd lower
        return (cp & 1) ? cp - 1 : cp;
    if (inRange(cp, 0x139, 0x148) || inRange(cp, 0x179, 0x17E))  // pairs: odd upper, even lower
        return (cp & 1) ? cp : cp - 1;
    if (cp == 0x17F)
        return 'S';  // long s
    if (inRange(cp, 0x3B1, 0x3C9) && cp != 0x3C2)
        return cp - 0x20;  // α..ω
    if (cp == 0x3C2)
        return 0x3A3;  // final sigma
    if (inRange(cp, 0x430, 0x44F))
        return cp - 0x20;  // а..я
    if (inRange(cp, 0x450, 0x45F))
        return cp - 0x50;  // ѐ..џ
    return cp;
}

}  // namespace

bool isValid(std::string_view bytes) {
    for (std::size_t pos = 0; pos < bytes.size();) {
        const auto decoded = decodeAt(bytes, pos);
        if (!decoded)
            return false;
        pos += decoded->length;
    }
    return true;
}

namespace {

struct CharacterScan {
    std::size_t characters = 0;
    std::size_t end = 0;  // where the last character taken ends
};

// Walks valid UTF-8 text character by character, taking at most `limit`.
CharacterScan scanCharacters(std::string_view text, std::size_t limit) {
    CharacterScan scan;
    char32_t previous = 0;
    bool pairOpen = false;  // a regional indicator waiting for its partner
    while (scan.end < text.size()) {
        const auto decoded = decodeAt(text, scan.end);
        if (!decoded)
            break;
        const char32_t cp = decoded->codePoint;
        const bool joins = (scan.end > 0 && extendsPrevious(cp)) || previous == 0x200D ||
                           (pairOpen && isRegionalIndicator(cp)) ||
                           (previous == '\r' && cp == '\n');
        if (!joins) {
            if (scan.characters == limit)
                break;
            ++scan.characters;
        }
        pairOpen = isRegionalIndicator(cp) && !(joins && pairOpen);
        previous = cp;
        scan.end += decoded->length;
    }
    return scan;
}

}  // namespace

std::string prefixCharacters(std::string_view text, std::size_t count) {
    return std::string(text.substr(0, scanCharacters(text, count).end));
}

std::size_t characterCount(std::string_view text) {
    return scanCharacters(text, text.size()).characters;
}

std::string upperCased(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const auto decoded = decodeAt(text, pos);
        if (!decoded) {
            out.push_back(text[pos]);
            ++pos;
            continue;
        }
        if (decoded->codePoint == 0xDF) {  // ß
            out += "SS";
        } else {
            append(out, upper(decoded->codePoint));
        }
        pos += decoded->length;
    }
    return out;
}

std::string escapeInvalid(std::string_view bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (const auto decoded = decodeAt(bytes, pos)) {
            out.append(bytes.substr(pos, decoded->length));
            pos += decoded->length;
            continue;
        }
        const auto byte = static_cast<unsigned char>(bytes[pos++]);
        out += "\\x";
        out += hex[byte >> 4];
        out += hex[byte & 0x0F];
    }
    return out;
}

}  // namespace kt::utf8
