// The root helper's request (standard input of `ka-tesmar-helper activate`)
// as the helper reads it and turns it into the script that root runs.
// Besides not crashing: whatever the helper accepts becomes hosts entries,
// rules and protected addresses that hold only valid, unrefused names and
// addresses of the request (checked again with the validation functions),
// and the script is the helper's own text except for its two data parts,
// the hosts entries and the nft table, which hold nothing but those.
#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "blocking/ActivationPlan.h"
#include "blocking/BlockLists.h"
#include "blocking/HelperRequest.h"
#include "blocking/LinuxProfile.h"
#include "blocking/NftTable.h"
#include "blocking/Validation.h"
#include "session/Utf8.h"

namespace {

using namespace kt;
using fuzz::shown;

const std::vector<std::string> resolvers{"192.0.2.53", "2001:db8::53"};

template <typename T>
bool contains(const std::vector<T>& list, const T& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// The script as the helper makes it for a request.
std::string helperScript(const ActivationPlan& plan) {
    return LinuxProfile().activationScript(plan, {});
}

// The nft table's words: what stands between blanks, braces, commas and semicolons.
std::set<std::string> nftWords(const std::string& table) {
    std::set<std::string> words;
    std::string word;
    for (const char c : table + "\n") {
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
    const std::string hosts = printfHostsLines(plan.hostsEntries);
    const std::size_t at = script.find(hostsStart);
    if (at == std::string::npos || script.compare(at + hostsStart.size(), hosts.size(), hosts) != 0)
        return "";
    script.erase(at + hostsStart.size(), hosts.size());
    const std::string table = nftTableFile(plan.firewallRules, plan.protectedAddresses);
    const std::size_t rules = script.find(table);
    if (rules == std::string::npos)
        return "";
    return script.erase(rules, table.size());
}

struct Reference {
    std::string scriptOutsideData;
    std::set<std::string> nftVocabulary;  // the table's own words, without addresses
};

const Reference& reference() {
    static const Reference made = [] {
        Reference r;
        const ActivationPlan empty = helperPlan({}, resolvers);
        r.scriptOutsideData = withoutData(helperScript(empty), empty);
        // Addresses of each family, blocked and looked up, bring their sets' names.
        HelperRequest every;
        every.addresses = {"192.0.2.1", "2001:db8::1", "198.51.100.0/24", "2001:db8:1::/48"};
        every.lookedUp = {"192.0.2.2", "2001:db8::2"};
        for (const ActivationPlan& plan : {empty, helperPlan(every, resolvers)})
            for (const auto& word :
                 nftWords(nftTableFile(plan.firewallRules, plan.protectedAddresses)))
                if (!isValidAddress(word))
                    r.nftVocabulary.insert(word);
        return r;
    }();
    return made;
}

void checkHostsEntries(const ActivationPlan& plan, const HelperRequest& request,
                       const ProtectedTargets& protectedTargets) {
    for (const HostsEntry& entry : plan.hostsEntries) {
        const std::string what = "hosts entry " + shown(entry.address + " " + entry.name);
        FUZZ_CHECK(entry.address == "0.0.0.0" || entry.address == "::1", what);
        FUZZ_CHECK(isValidHostName(entry.name), what);
        // The name as requested, or "www." in front of a requested name.
        FUZZ_CHECK(!entry.addedWww || entry.name.starts_with("www."), what);
        const std::string requested = entry.addedWww ? entry.name.substr(4) : entry.name;
        FUZZ_CHECK(
            contains(request.names, requested) && !isRefusedName(requested, protectedTargets),
            what);
    }
}

void checkRules(const ActivationPlan& plan, const HelperRequest& request,
                const ProtectedTargets& protectedTargets) {
    for (const FirewallRule& rule : plan.firewallRules) {
        if (contains(encryptedDnsRules(), rule) || contains(serviceRangeRules(), rule))
            continue;
        const std::string& address = rule.target;
        const std::string what = "rule to " + shown(address);
        FUZZ_CHECK(rule == blockAddress(address), what + " is not one of every packet");
        FUZZ_CHECK(isValidAddress(address) && !isRefusedAddress(address, protectedTargets), what);
        FUZZ_CHECK((contains(request.addresses, address) && isBlockableAddress(address)) ||
                       (contains(request.lookedUp, address) && isSingleAddress(address)),
                   what + " from no blockable address of the request");
    }
    for (const std::string& address : plan.protectedAddresses)
        FUZZ_CHECK(isSingleAddress(address) && (contains(request.protectedAddresses, address) ||
                                                contains(resolvers, address)),
                   "protected " + shown(address));
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

    FUZZ_CHECK(withoutData(helperScript(plan), plan) == reference().scriptOutsideData,
               "the script differs from the helper's own text outside its data parts");
    for (const auto& word : nftWords(nftTableFile(plan.firewallRules, plan.protectedAddresses)))
        FUZZ_CHECK(reference().nftVocabulary.count(word) || isValidAddress(word),
                   "nft word " + shown(word));
    return 0;
}
