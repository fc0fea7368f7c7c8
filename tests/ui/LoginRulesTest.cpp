#include <gtest/gtest.h>

#include "ui/LoginRules.h"

namespace kt {
namespace {

// Characters as the student sees them: a flag, a family joined by zero-width
// joiners, a skin-toned hand, a letter with a combining accent and CR LF are
// one character each.
TEST(UiLoginRules, NeedsSixCodeCharactersTwoNameCharactersAndNoLoginUnderWay) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"Jan Jansen", "ABC12", false},
        {"J", "ABC123", false},
        {"👨‍👩‍👧", "ABC123", false},
        {"🇧🇪", "ABC123", false},
        {"👍🏽", "ABC123", false},
        {"e\u0301", "ABC123", false},
        {"🇧🇪🇳🇱", "ABC123", true},
        {"  ", "ABC123", true},
        {"Zoë", "abc123", true},
        {"Jan", "ABC123\r\n", false},
        {"Jan", "ABCD1\r\n", true},
    };
    for (const auto& [name, code, allowed] : cases)
        EXPECT_EQ(LoginRules::canLogin(false, QString::fromUtf8(name), QString::fromUtf8(code)),
                  allowed)
            << name << " / " << code;
    EXPECT_FALSE(LoginRules::canLogin(true, QStringLiteral("Jan"), QStringLiteral("ABC123")));
}

}  // namespace
}  // namespace kt
