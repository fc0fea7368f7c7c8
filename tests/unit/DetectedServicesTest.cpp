#include <gtest/gtest.h>

#include "TestPorts.h"
#include "app/AppState.h"
#include "session/DetectedServices.h"

using kt::detectedServiceNames;
using Names = std::vector<std::string>;

TEST(DetectedServices, FallsBackToAIServicesWhenNothingIsRecognised) {
    EXPECT_EQ(detectedServiceNames({}), Names{"AI Services"});
    EXPECT_EQ(detectedServiceNames({"example.com", "wikipedia.org"}), Names{"AI Services"});
}

TEST(DetectedServices, KeywordsMatchAnywhereAndInAnyCase) {
    EXPECT_EQ(detectedServiceNames({"generativelanguage.googleapis.com"}), Names{"Gemini"});
    EXPECT_EQ(detectedServiceNames({"api.github.com"}), Names{"Copilot"});
    EXPECT_EQ(detectedServiceNames({"bolt.new"}), Names{"Lovable"});
    EXPECT_EQ(detectedServiceNames({"API.OPENAI.COM"}), Names{"ChatGPT"});
    EXPECT_EQ(detectedServiceNames({"cursor.github.io"}), (Names{"Copilot", "Cursor"}));
}

TEST(DetectedServices, NamesAreDistinctAndSortedByCharacterCode) {
    EXPECT_EQ(detectedServiceNames({"chatgpt.com", "claude.ai", "openai.com", "cdn.oaistatic.com",
                                    "auth.openai.com"}),
              (Names{"ChatGPT", "Claude"}));
    EXPECT_EQ(detectedServiceNames({"perplexity.ai", "deepseek.com", "lovable.dev", "cursor.sh",
                                    "copilot.microsoft.com", "gemini.google.com", "claude.ai",
                                    "chatgpt.com"}),
              (Names{"ChatGPT", "Claude", "Copilot", "Cursor", "DeepSeek", "Gemini", "Lovable",
                     "Perplexity"}));
}

TEST(DetectedServices, UpdateReplacesTheWholeList) {
    kt::testing::TestPorts fakes;
    auto state = kt::AppState::create(fakes.ports());
    int writes = 0;
    state->detectedServices.observe([&] { ++writes; });
    state->updateDetectedServices({"claude.ai", "chatgpt.com"});
    EXPECT_EQ(state->detectedServices.get(), (Names{"ChatGPT", "Claude"}));
    state->updateDetectedServices({"deepseek.com"});
    EXPECT_EQ(state->detectedServices.get(), Names{"DeepSeek"});
    EXPECT_EQ(writes, 2);
}
