#include <gtest/gtest.h>

#include "session/DetectedServices.h"

using Names = std::vector<std::string>;

TEST(DetectedServices, KeywordsMatchAnywhereInAnyCaseDistinctAndSortedWithAFallback) {
    const std::pair<Names, Names> cases[] = {
        {{}, {"AI Services"}},
        {{"example.com", "wikipedia.org"}, {"AI Services"}},
        {{"generativelanguage.googleapis.com"}, {"Gemini"}},
        {{"api.github.com"}, {"Copilot"}},
        {{"bolt.new"}, {"Lovable"}},
        {{"API.OPENAI.COM"}, {"ChatGPT"}},
        {{"cursor.github.io"}, {"Copilot", "Cursor"}},
        {{"chatgpt.com", "claude.ai", "openai.com", "cdn.oaistatic.com"}, {"ChatGPT", "Claude"}},
        {{"perplexity.ai", "deepseek.com", "lovable.dev", "cursor.sh", "copilot.microsoft.com",
          "gemini.google.com", "claude.ai", "chatgpt.com"},
         {"ChatGPT", "Claude", "Copilot", "Cursor", "DeepSeek", "Gemini", "Lovable", "Perplexity"}},
    };
    for (const auto& [domains, names] : cases)
        EXPECT_EQ(kt::detectedServiceNames(domains), names) << ::testing::PrintToString(domains);
}
