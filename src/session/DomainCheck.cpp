#include "session/DomainCheck.h"

#include <algorithm>

#include "text/TextUtil.h"

namespace kt {

std::string checkDomain(const std::string& searchDomain,
                        const std::vector<std::string>& blockedDomains) {
    const std::string term = text::trimmed(text::lowerCased(searchDomain));
    if (term.empty())
        return "Voer een domein in";

    const std::string alternative = term.starts_with("www.") ? term.substr(4) : "www." + term;
    const auto listed = [&](const std::string& name) {
        return std::find(blockedDomains.begin(), blockedDomains.end(), name) !=
               blockedDomains.end();
    };
    if (listed(term))
        return "GEBLOKKEERD: " + term;
    if (listed(alternative))
        return "GEBLOKKEERD: " + alternative;

    std::string similar;
    int shown = 0;
    for (const auto& entry : blockedDomains) {
        if (shown == 3)
            break;
        if (!text::containsText(term, text::withoutWww(entry)))
            continue;
        similar += (shown++ ? ", " : "") + entry;
    }
    if (shown == 0)
        return "NIET GEBLOKKEERD: " + term;
    return "NIET GEBLOKKEERD: " + term + "\nVergelijkbaar: " + similar;
}

}  // namespace kt
