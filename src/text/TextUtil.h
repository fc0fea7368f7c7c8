#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kt::text {

// ASCII lower case; other bytes (UTF-8 sequences) are kept as they are.
std::string lowerCased(std::string_view s);

// The pieces of `text` between line feeds, empty ones left out.
std::vector<std::string_view> nonEmptyLines(std::string_view text);

// Without white space and line breaks at both ends.
std::string trimmed(std::string_view s);

// With every occurrence of "www." removed, wherever it stands.
std::string withoutWww(std::string_view s);

// Whether `needle` occurs in `haystack`. An empty needle is found nowhere,
// as the name matching of the application has always treated it.
bool containsText(std::string_view haystack, std::string_view needle);

}  // namespace kt::text
