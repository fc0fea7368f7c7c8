#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kt::utf8 {

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValid(std::string_view bytes);

// The first `count` user-perceived characters of valid UTF-8 text (the whole
// text when it is shorter). A character is a code point together with the
// combining marks, variation selectors, emoji modifiers and zero-width-joined
// code points that follow it; a regional-indicator pair (a flag) and CR LF
// count as one.
std::string prefixCharacters(std::string_view text, std::size_t count);

// The number of user-perceived characters of valid UTF-8 text, counted as
// prefixCharacters counts them.
std::size_t characterCount(std::string_view text);

// The text with every byte that is not part of well-formed UTF-8 written as
// "\xHH" (upper-case hex); well-formed text comes back unchanged.
std::string escapeInvalid(std::string_view bytes);

// The upper-case form of the text: ASCII, Latin-1, Latin Extended-A, Greek and
// Cyrillic letters are mapped ("ß" becomes "SS"); everything else is kept.
// Bytes that are not valid UTF-8 are kept as they are.
std::string upperCased(std::string_view text);

}  // namespace kt::utf8
