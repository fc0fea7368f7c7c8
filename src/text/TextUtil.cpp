#include "text/TextUtil.h"

#include <algorithm>
#include <cctype>

namespace kt::text {

std::string lowerCased(std::string_view s) {
    std::string result(s);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

std::vector<std::string_view> nonEmptyLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end != 0)
            lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string trimmed(std::string_view s) {
    constexpr std::string_view blanks = " \t\n\r\v\f";
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(blanks);
    return std::string(s.substr(first, last - first + 1));
}

std::string withoutWww(std::string_view s) {
    std::string result;
    result.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        if (s.substr(i, 4) == "www.") {
            i += 4;
        } else {
            result += s[i++];
        }
    }
    return result;
}

bool containsText(std::string_view haystack, std::string_view needle) {
    return !needle.empty() && haystack.find(needle) != std::string_view::npos;
}

}  // namespace kt::text
