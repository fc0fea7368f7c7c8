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

enum class From { StatusIPs, StatusDomains, Dig };
struct Row {
    const char* item;
    From from;
    bool used;
};

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// Whether the item is used, after it went the way of its source; nothing
// when it landed neither among the used nor among the rejected.
std::optional<bool> usedAfterChecks(const Row& row) {
    if (row.from == From::Dig) {
        const DigAnswer answer = parseDigAnswer(std::string(row.item) + "\n");
        LookupResult found{answer.rules, answer.addresses, answer.rejected};
        refuseProtectedAnswers(found, school);
        if (found.rules.size() != found.addresses.size())
            return std::nullopt;
        if (contains(found.addresses, row.item))
            return true;
        return contains(found.rejectedAnswers, row.item) ? std::optional(false) : std::nullopt;
    }
    const bool isName = row.from == From::StatusDomains;
    const CheckedBlockData data =
        isName ? checkBlockData({row.item}, {}, school) : checkBlockData({}, {row.item}, school);
    if (contains(isName ? data.domains : data.ips, row.item))
        return true;
    return contains(isName ? data.rejectedDomains : data.rejectedIPs, row.item)
               ? std::optional(false)
               : std::nullopt;
}

TEST(RefusedTargets, WhatWouldCutTheComputerOffIsRejected) {
    const Row rows[] = {
        // Loopback, link-local, multicast, unspecified; plain, mapped, networks.
        {"127.0.0.53", From::StatusIPs, false},
        {"::ffff:127.0.0.53", From::StatusIPs, false},
        {"::1", From::StatusIPs, false},
        {"127.255.0.0/16", From::StatusIPs, false},
        {"::ffff:0:0/96", From::StatusIPs, false},
        {"169.254.10.1", From::StatusIPs, false},
        {"fe80::1", From::StatusIPs, false},
        {"febf:ffff::1", From::StatusIPs, false},
        {"224.0.0.251", From::StatusIPs, false},
        {"239.255.255.250", From::StatusIPs, false},
        {"ff02::fb", From::StatusIPs, false},
        {"0.0.0.0", From::StatusIPs, false},
        {"::", From::StatusIPs, false},
        {"::/16", From::StatusIPs, false},
        // The name servers and the class service, and networks holding them.
        {"10.0.0.0/8", From::StatusIPs, false},
        {"192.168.1.1", From::StatusIPs, false},
        {"::ffff:192.168.1.1", From::StatusIPs, false},
        {"198.51.100.0/24", From::StatusIPs, false},
        {"2001:db8::/32", From::StatusIPs, false},
        {"klas.school.example", From::StatusDomains, false},
        {"dienst.example", From::StatusDomains, false},
        // Ordinary targets, some right next to a refused range.
        {"203.0.113.7", From::StatusIPs, true},
        {"10.77.0.52", From::StatusIPs, true},
        {"198.51.101.0/24", From::StatusIPs, true},
        {"126.255.255.255", From::StatusIPs, true},
        {"223.255.255.255", From::StatusIPs, true},
        {"169.253.255.255", From::StatusIPs, true},
        {"fec0::1", From::StatusIPs, true},
        {"::2", From::StatusIPs, true},
        {"2606:4700::/32", From::StatusIPs, true},
        {"school.example", From::StatusDomains, true},
        {"www.klas.school.example", From::StatusDomains, true},
        // DNS answers: single addresses only, with the same refusals.
        {"1.2.3.4/0", From::Dig, false},
        {"104.18.0.0/16", From::Dig, false},
        {"127.0.0.53", From::Dig, false},
        {"::ffff:127.0.0.53", From::Dig, false},
        {"192.168.1.1", From::Dig, false},
        {"198.51.100.20", From::Dig, false},
        {"104.18.32.47", From::Dig, true},
        {"2606:4700:4400::6812:2011", From::Dig, true},
    };
    for (const Row& row : rows) EXPECT_EQ(usedAfterChecks(row), row.used) << row.item;
}

TEST(RefusedTargets, NameServersComeFromTheNameserverLines) {
    EXPECT_EQ(nameServersIn("# nameserver 9.9.9.9\nsearch lan\nnameserver 127.0.0.53\n"
                            "nameserver\tfe80::1%eth0 ; link-local\nnameserver 10.0.0.0/8\n"
                            "nameserver junk\n  nameserver 192.168.1.1\r\nnameserver"),
              (std::vector<std::string>{"127.0.0.53", "fe80::1", "192.168.1.1"}));
}

TEST(BlockLimits, ItemsPastTheLimitsAreLeftOutAndCountedOnce) {
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
