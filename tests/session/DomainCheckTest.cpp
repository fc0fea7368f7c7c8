#include <gtest/gtest.h>

#include "session/DomainCheck.h"

using kt::checkDomain;
using List = std::vector<std::string>;

TEST(DomainCheck, SearchTermIsNormalisedAndBlankTermsAreRefused) {
    EXPECT_EQ(checkDomain("  ChatGPT.com \n", {"chatgpt.com"}), "GEBLOKKEERD: chatgpt.com");
    EXPECT_EQ(checkDomain("", {"chatgpt.com"}), "Voer een domein in");
    EXPECT_EQ(checkDomain(" \t\n", {"chatgpt.com"}), "Voer een domein in");
}

TEST(DomainCheck, WwwFormCountsBothWays) {
    EXPECT_EQ(checkDomain("www.claude.ai", {"claude.ai"}), "GEBLOKKEERD: claude.ai");
    EXPECT_EQ(checkDomain("claude.ai", {"www.claude.ai"}), "GEBLOKKEERD: www.claude.ai");
    EXPECT_EQ(checkDomain("claude.ai", {"www.claude.ai", "claude.ai"}), "GEBLOKKEERD: claude.ai")
        << "the exact name wins over the alternative form";
}

TEST(DomainCheck, SimilarEntriesAreParentsAndFragmentsOfTheTerm) {
    EXPECT_EQ(checkDomain("api.openai.com", {"openai.com"}),
              "NIET GEBLOKKEERD: api.openai.com\nVergelijkbaar: openai.com");
    EXPECT_EQ(checkDomain("openai.com", {"api.openai.com"}), "NIET GEBLOKKEERD: openai.com")
        << "a longer name that contains the term is not similar";
    EXPECT_EQ(checkDomain("chat.openai.com", {"www.openai.com"}),
              "NIET GEBLOKKEERD: chat.openai.com\nVergelijkbaar: www.openai.com")
        << "entries are compared without www. but shown as stored";
    EXPECT_EQ(checkDomain("x.a.b.c.d", {"d", "zz", "c.d", "b.c.d", "a.b.c.d"}),
              "NIET GEBLOKKEERD: x.a.b.c.d\nVergelijkbaar: d, c.d, b.c.d")
        << "at most three, in list order";
    EXPECT_EQ(checkDomain("example.org", {"", "www."}), "NIET GEBLOKKEERD: example.org")
        << "an empty entry is similar to nothing";
}
