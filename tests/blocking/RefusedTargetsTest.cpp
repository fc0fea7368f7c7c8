#include <gtest/gtest.h>

#include <algorithm>

#include "blocking/Limits.h"
#include "blocking/NameResolution.h"
#include "blocking/RefusedTargets.h"
#include "blocking/Validation.h"

namespace kt {
namespace {

const ProtectedTargets school{{"10.77.0.53", "192.168.1.1", "2001:db8:5::53", "198.51.100.20"},
                              {"Klas.School.example.", "www.dienst.example"}};

enum class From { IPs, Names, Dig };

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// Whether the item is used after the checks of its source; nothing when it
// landed neither among the used nor among the rejected.
std::optional<bool> usedAfterChecks(const std::string& item, From from) {
    std::vector<std::string> used, rejected;
    if (from == From::Dig) {
        const DigAnswer answer = parseDigAnswer(item + "\n");
        LookupResult found{answer.rules, answer.addresses, answer.rejected};
        refuseProtectedAnswers(found, school);
        if (found.rules.size() != found.addresses.size())
            return std::nullopt;
        used = found.addresses, rejected = found.rejectedAnswers;
    } else if (from == From::Names) {
        const CheckedBlockData data = checkBlockData({item}, {}, school);
        used = data.domains, rejected = data.rejectedDomains;
    } else {
        const CheckedBlockData data = checkBlockData({}, {item}, school);
        used = data.ips, rejected = data.rejectedIPs;
    }
    if (contains(used, item) != contains(rejected, item))
        return contains(used, item);
    return std::nullopt;
}

TEST(RefusedTargets, WhatWouldCutTheComputerOffIsRejected) {
    const struct {
        From from;
        bool used;
        std::vector<std::string> items;
    } rows[] = {// Loopback, link-local, multicast, unspecified (plain, mapped, networks);
                // the name servers, the class service and networks holding them.
                {From::IPs,
                 false,
                 {"127.0.0.53", "::ffff:127.0.0.53", "::1", "127.255.0.0/16", "::ffff:0:0/96",
                  "169.254.10.1", "fe80::1", "febf:ffff::1", "224.0.0.251", "239.255.255.250",
                  "ff02::fb", "0.0.0.0", "::", "::/16", "10.0.0.0/8", "192.168.1.1",
                  "::ffff:192.168.1.1", "198.51.100.0/24", "2001:db8::/32"}},
                {From::Names, false, {"klas.school.example", "dienst.example"}},
                // Ordinary targets, some right next to a refused range.
                {From::IPs,
                 true,
                 {"203.0.113.7", "10.77.0.52", "198.51.101.0/24", "126.255.255.255",
                  "223.255.255.255", "169.253.255.255", "fec0::1", "::2", "2606:4700::/32"}},
                {From::Names, true, {"school.example", "www.klas.school.example"}},
                // DNS answers: single addresses only, with the same refusals.
                {From::Dig,
                 false,
                 {"1.2.3.4/0", "104.18.0.0/16", "127.0.0.53", "::ffff:127.0.0.53", "192.168.1.1",
                  "198.51.100.20"}},
                {From::Dig, true, {"104.18.32.47", "2606:4700:4400::6812:2011"}}};
    for (const auto& row : rows)
        for (const auto& item : row.items)
            EXPECT_EQ(usedAfterChecks(item, row.from), row.used) << item;
}

TEST(RefusedTargets, NameServersComeFromTheNameserverLines) {
    EXPECT_EQ(nameServersIn("# nameserver 9.9.9.9\nsearch lan\nnameserver 127.0.0.53\n"
                            "nameserver\tfe80::1%eth0 ; link-local\nnameserver 10.0.0.0/8\n"
                            "nameserver junk\n  nameserver 192.168.1.1\r\nnameserver"),
              (std::vector<std::string>{"127.0.0.53", "fe80::1", "192.168.1.1"}));
}

TEST(RefusedTargets, ItemsPastTheLimitsAreLeftOutAndCountedOnce) {
    std::vector<std::string> names(maxBlockedNames + 3, "chatgpt.com");
    names.insert(names.begin(), "bad name");
    std::vector<std::string> ips(maxBlockedAddresses, "203.0.113.7");
    ips.push_back("203.0.113.8");
    const CheckedBlockData data = checkBlockData(names, ips);
    EXPECT_EQ(data.domains.size(), maxBlockedNames);
    EXPECT_EQ(data.ips.size(), maxBlockedAddresses);
    EXPECT_EQ(data.ips.back(), "203.0.113.7");
    EXPECT_EQ(data.rejectedDomains, std::vector<std::string>{"bad name"});
    EXPECT_EQ(overLimitLogLine(data),
              "WAARSCHUWING: Meer dan 2000 namen/adressen: 4 niet gebruikt");
    EXPECT_EQ(overLimitLogLine(checkBlockData({"chatgpt.com"}, {})), std::nullopt);
}

}  // namespace
}  // namespace kt
