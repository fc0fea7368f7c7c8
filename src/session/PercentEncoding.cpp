#include "session/PercentEncoding.h"

namespace kt {
namespace {

bool isAsciiAlphanumeric(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool isFormValueCharacter(unsigned char c) {
    if (isAsciiAlphanumeric(c))
        return true;
    switch (c) {
        case '-':
        case '.':
        case '_':
        case '~':
        case '!':
        case '$':
        case '\'':
        case '(':
        case ')':
        case '*':
        case ',':
        case ';':
        case ':':
        case '@':
        case '/':
        case '?':
            return true;
        default:
            return false;
    }
}

bool isQueryValueCharacter(unsigned char c) {
    return isFormValueCharacter(c) || c == '&' || c == '=' || c == '+';
}

template <typename Keep>
std::string encoded(std::string_view text, Keep keep) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (keep(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0x0F]);
        }
    }
    return out;
}

}  // namespace

std::string formValueEncoded(std::string_view text) {
    return encoded(text, isFormValueCharacter);
}

std::string queryValueEncoded(std::string_view text) {
    return encoded(text, isQueryValueCharacter);
}

}  // namespace kt
