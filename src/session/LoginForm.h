#pragma once

#include <cstddef>
#include <string_view>

namespace kt {

// A class code has exactly this many characters.
inline constexpr std::size_t classCodeLength = 6;

// Whether the login screen may start a login: none under way, a class code of
// exactly 6 characters and a name of at least 2, counted as the student sees
// them (UTF-8 text).
bool canLogin(bool isLoading, std::string_view studentName, std::string_view classCode);

}  // namespace kt
