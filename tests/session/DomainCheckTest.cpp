#include <gtest/gtest.h>

#include "session/DomainCheck.h"

// The search term is trimmed and lower-cased; the www. form counts both ways
// (the exact name first); similar are at most three entries, in list order,
// that are the term's parents, compared without www. but shown as stored.
TEST(DomainCheck, BlockedOrSimilarEntriesForTheNormalisedTerm) {
    const struct {
        std::string term;
        std::vector<std::string> list;
        std::string result;
    } cases[] = {
        {"  ChatGPT.com \n", {"chatgpt.com"}, "GEBLOKKEERD: chatgpt.com"},
        {" \t\n", {"chatgpt.com"}, "Voer een domein in"},
        {"www.claude.ai", {"claude.ai"}, "GEBLOKKEERD: claude.ai"},
        {"claude.ai", {"www.claude.ai"}, "GEBLOKKEERD: www.claude.ai"},
        {"claude.ai", {"www.claude.ai", "claude.ai"}, "GEBLOKKEERD: claude.ai"},
        {"openai.com", {"api.openai.com"}, "NIET GEBLOKKEERD: openai.com"},
        {"chat.openai.com",
         {"www.openai.com"},
         "NIET GEBLOKKEERD: chat.openai.com\nVergelijkbaar: www.openai.com"},
        {"x.a.b.c.d",
         {"d", "zz", "c.d", "b.c.d", "a.b.c.d"},
         "NIET GEBLOKKEERD: x.a.b.c.d\nVergelijkbaar: d, c.d, b.c.d"},
        {"example.org", {"", "www."}, "NIET GEBLOKKEERD: example.org"},
    };
    for (const auto& c : cases) EXPECT_EQ(kt::checkDomain(c.term, c.list), c.result) << c.term;
}
