#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

// What a fuzz target asserts besides not crashing. A failed check prints what
// was expected and aborts, so that libFuzzer keeps the input as a crash and
// the replay of the corpus fails.
#define FUZZ_CHECK(condition, what) \
    ((condition) ? (void)0 : ::kt::fuzz::fail(#condition, (what), __FILE__, __LINE__))

namespace kt::fuzz {

[[noreturn]] inline void fail(const char* condition, const std::string& what, const char* file,
                              int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n  %s\n", file, line, condition, what.c_str());
    std::abort();
}

// Text for a failure message, every byte outside printable ASCII as \xHH.
inline std::string shown(const std::string& bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += ch;
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
    return out;
}

}  // namespace kt::fuzz
