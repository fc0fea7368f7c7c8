// The root helper's request (standard input of `ka-tesmar-helper activate`)
// as the helper reads it and turns it into the script that root runs.
// Besides not crashing: whatever the helper accepts renders only valid,
// unrefused names and addresses (checked again with the validation
// functions), every rule can be translated, and the script is the helper's
// own text except for its two data parts, the hosts entries and the nft
// table, which hold nothing but those names and addresses.
#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "blocking/HelperRequest.h"
#include "blocking/LinuxProfile.h"
#include "blocking/NftRules.h"
#include "blocking/RuleText.h"
#include "blocking/Validation.h"
#include "session/Utf8.h"

namespace {

using namespace kt;
using fuzz::shown;

const std::vector<std::string> resolvers{"192.0.2.53", "2001:db8::53"};

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::vector<std::string> split(std::string_view text, std::string_view separator) {
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at <= text.size();) {
        std::size_t end = text.find(separator, at);
        if (end == text.npos)
            end = text.size();
        pieces.emplace_back(text.substr(at, end - at));
        at = end + separator.size();
    }
    return pieces;
}

// The nft file's words: what stands between blanks, braces, commas and semicolons.
std::set<std::string> nftWords(const std::string& text) {
    std::set<std::string> words;
    std::string word;
    for (const char c : text + "\n") {
        if (std::string_view(" \t\n{},;").find(c) == std::string_view::npos) {
            word += c;
        } else if (!word.empty()) {
            words.insert(word);
            word.clear();
        }
    }
    return words;
}

// The script with its two data parts taken out (both checked to be where
// they belong), or "" when one of them is not found.
std::string withoutData(std::string script, const ActivationPlan& plan) {
    static constexpr std::string_view hostsStart = "'# Ka Tesmar Start\\n";
    const std::size_t hosts = script.find(hostsStart);
    if (hosts == std::string::npos ||
        script.compare(hosts + hostsStart.size(), plan.hostsEntries.size(), plan.hostsEntries) != 0)
        return "";
    script.erase(hosts + hostsStart.size(), plan.hostsEntries.size());
    const std::string table = nftRuleFile(plan.rulesText).text;
    const std::size_t rules = script.find(table);
    if (rules == std::string::npos)
        return "";
    return script.erase(rules, table.size());
}

struct Reference {
    std::string scriptOutsideData;
    std::vector<std::string> fixedRules;
    std::set<std::string> nftVocabulary;  // the table's own words, without addresses
};

const Reference& reference() {
    static const Reference made = [] {
        const LinuxProfile profile;
        Reference r;
        const ActivationPlan empty = helperPlan({}, resolvers);
        r.scriptOutsideData =
            withoutData(profile.activationScript(empty.hostsEntries, empty.rulesText, {}), empty);
        r.fixedRules = split(empty.rulesText, "\n");
        // Addresses of each family, blocked and looked up, bring their sets' names.
        HelperRequest every;
        every.addresses = {"192.0.2.1", "2001:db8::1", "198.51.100.0/24", "2001:db8:1::/48"};
        every.lookedUp = {"192.0.2.2", "2001:db8::2"};
        const ActivationPlan full = helperPlan(every, resolvers);
        for (const auto& text : {empty.rulesText, full.rulesText})
            for (const auto& word : nftWords(nftRuleFile(text).text))
                if (!isValidAddress(word))
                    r.nftVocabulary.insert(word);
        return r;
    }();
    return made;
}

void checkHostsEntries(const ActivationPlan& plan, const HelperRequest& request,
                       const ProtectedTargets& protectedTargets) {
    const std::vector<std::string> entries = split(plan.hostsEntries, "\\n");
    FUZZ_CHECK(entries.back().empty(),
               "the entries end in a line break: " + shown(plan.hostsEntries));
    for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
        const std::string& entry = entries[i];
        const std::size_t blank = entry.find(' ');
        const std::string address = entry.substr(0, blank);
        std::string name = blank == std::string::npos ? "" : entry.substr(blank + 1);
        FUZZ_CHECK(address == "0.0.0.0" || address == "::1", shown(entry));
        FUZZ_CHECK(isValidHostName(name), "hosts entry " + shown(entry));
        // The name as requested, or "www." in front of a requested name.
        if (!contains(request.names, name) && name.starts_with("www."))
            name = name.substr(4);
        FUZZ_CHECK(contains(request.names, name) && !isRefusedName(name, protectedTargets),
                   "hosts entry " + shown(entry));
    }
}

void checkRules(const ActivationPlan& plan, const HelperRequest& request,
                const ProtectedTargets& protectedTargets) {
    for (const auto& rule : split(plan.rulesText, "\n")) {
        if (contains(reference().fixedRules, rule))
            continue;
        std::string address;
        for (const std::string_view prefix :
             {"block drop quick inet6 from any to ", "block drop quick from any to "})
            if (address.empty() && rule.starts_with(prefix))
                address = rule.substr(prefix.size());
        FUZZ_CHECK(isValidAddress(address) && !isRefusedAddress(address, protectedTargets),
                   "rule " + shown(rule));
        FUZZ_CHECK((contains(request.addresses, address) && isBlockableAddress(address)) ||
                       (contains(request.lookedUp, address) && isSingleAddress(address)),
                   "rule " + shown(rule) + " from no blockable address of the request");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const DecodedHelperRequest decoded = decodeHelperRequest(text);
    if (!decoded.request) {
        FUZZ_CHECK(!decoded.error.empty(), "refused without a reason");
        return 0;
    }
    // Only a whole JSON text is taken: UTF-8 throughout, nothing after a NUL byte.
    FUZZ_CHECK(utf8::isValid(text) && text.find('\0') == text.npos,
               "accepted: " + shown(std::string(text)));
    const HelperRequest& request = *decoded.request;
    ProtectedTargets protectedTargets{request.protectedAddresses, request.protectedNames};
    protectedTargets.addresses.insert(protectedTargets.addresses.end(), resolvers.begin(),
                                      resolvers.end());

    const ActivationPlan plan = helperPlan(request, resolvers);
    checkHostsEntries(plan, request, protectedTargets);
    checkRules(plan, request, protectedTargets);

    const std::string script =
        LinuxProfile().activationScript(plan.hostsEntries, plan.rulesText, {});
    FUZZ_CHECK(script.find("Firewallregel niet te vertalen") == std::string::npos,
               "a rule of the plan cannot be translated: " + shown(plan.rulesText));
    FUZZ_CHECK(withoutData(script, plan) == reference().scriptOutsideData,
               "the script differs from the helper's own text outside its data parts");
    for (const auto& word : nftWords(nftRuleFile(plan.rulesText).text))
        FUZZ_CHECK(reference().nftVocabulary.count(word) || isValidAddress(word),
                   "nft word " + shown(word));
    return 0;
}
