#include "session/DetectedServices.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <set>
#include <string_view>

#include "text/TextUtil.h"

namespace kt {
namespace {

struct ServiceKeywords {
    std::initializer_list<std::string_view> keywords;
    std::string_view displayName;
};

// Each row is tested on its own: one host name may name several services.
const std::array<ServiceKeywords, 8> serviceTable{{
    {{"openai", "chatgpt"}, "ChatGPT"},
    {{"anthropic", "claude"}, "Claude"},
    {{"gemini", "google"}, "Gemini"},
    {{"copilot", "github"}, "Copilot"},
    {{"cursor"}, "Cursor"},
    {{"lovable", "bolt"}, "Lovable"},
    {{"perplexity"}, "Perplexity"},
    {{"deepseek"}, "DeepSeek"},
}};

}  // namespace

std::vector<std::string> detectedServiceNames(const std::vector<std::string>& domains) {
    std::set<std::string> names;  // ordered by character code
    for (const auto& domain : domains) {
        const std::string host = text::lowerCased(domain);
        for (const auto& row : serviceTable) {
            const bool matches =
                std::any_of(row.keywords.begin(), row.keywords.end(),
                            [&](std::string_view k) { return host.find(k) != std::string::npos; });
            if (matches)
                names.emplace(row.displayName);
        }
    }
    if (names.empty())
        names.emplace("AI Services");
    return {names.begin(), names.end()};
}

}  // namespace kt
