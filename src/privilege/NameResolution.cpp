#include "privilege/NameResolution.h"

#include "blocking/Validation.h"
#include "text/TextUtil.h"

namespace kt {
namespace {

using text::containsText;
using text::trimmed;
using text::withoutWww;

bool startsWithLetter(const std::string& text) {
    char c = text.front();
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           static_cast<unsigned char>(c) >= 0x80;
}

}  // namespace

std::vector<std::string> selectHostsToLookUp(const std::vector<std::string>& aiHosts,
                                             const std::vector<std::string>& blockedDomains) {
    std::vector<std::string> stripped;
    for (const auto& name : blockedDomains) stripped.push_back(withoutWww(name));
    std::vector<std::string> selected;
    for (const auto& host : aiHosts) {
        std::string bareHost = withoutWww(host);
        for (std::size_t i = 0; i < blockedDomains.size(); ++i) {
            if (containsText(host, stripped[i]) || containsText(blockedDomains[i], bareHost)) {
                selected.push_back(host);
                break;
            }
        }
    }
    return selected;
}

DigAnswer parseDigAnswer(const std::string& text) {
    DigAnswer answer;
    for (std::string_view piece : text::nonEmptyLines(text)) {
        const std::string line = trimmed(piece);
        // Empty lines and dig's own remarks (";; communications error ...").
        if (line.empty() || line.front() == ';')
            continue;
        if (line.find_first_of(".:") == std::string::npos)
            continue;
        if (line == "0.0.0.0" || line == "127.0.0.1" || line == "::1")
            continue;
        if (startsWithLetter(line))
            continue;  // an alias name
        if (isSingleAddress(line) && !isRefusedAddress(line, {})) {
            answer.addresses.push_back(line);
        } else {
            answer.rejected.push_back(line);
        }
    }
    return answer;
}

void refuseProtectedAnswers(LookupResult& result, const ProtectedTargets& protectedTargets) {
    FilteredAddresses filtered = filterLookedUpAddresses(result.addresses, protectedTargets);
    result.addresses = std::move(filtered.used);
    result.rejectedAnswers.insert(result.rejectedAnswers.end(), filtered.rejected.begin(),
                                  filtered.rejected.end());
}

std::string lookupSummaryLine(std::size_t addressCount, std::size_t aiHostCount) {
    return "DNS lookup (dig): " + std::to_string(addressCount) + " IPs gevonden voor " +
           std::to_string(aiHostCount) + " domeinen";
}

}  // namespace kt
