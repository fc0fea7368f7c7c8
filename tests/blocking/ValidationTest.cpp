// What of the service's lists and dig's answers may be used: the syntax of
// names and addresses, and the targets that would cut the computer off.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "blocking/Limits.h"
#include "blocking/RefusedTargets.h"
#include "blocking/Validation.h"
#include "privilege/NameResolution.h"

namespace kt {
namespace {

TEST(Validation, HostNames) {
    std::string longest;
    while (longest.size() < 253) longest += (longest.empty() ? "" : ".") + std::string(9, 'b');
    longest.resize(253);
    // clang-format off
    const std::vector<std::string> valid = {
        "chatgpt.com", "xn--bcher-kva.example", "a", "1.2.3.4", "api-2.cursor.sh", "A.B.C",
        std::string(63, 'a') + ".nl", longest};
    const std::vector<std::string> invalid = {
        longest + "d", std::string(64, 'a') + ".nl", "", ".", "a..b", ".a.com", "a.com.", "-a.com",
        "a-.com", "a_b.com", "a b.com", "a'b.com", "a\"b.com", "a\\nb.com", "a\nb.com",
        std::string("a\0b.com", 7), "$(reboot).com", "`id`.com", "a;b.com", "caf\xc3\xa9.nl",
        "a/b", "*.openai.com"};
    // clang-format on
    for (const auto& name : valid) EXPECT_TRUE(isValidHostName(name)) << name;
    for (const auto& name : invalid) EXPECT_FALSE(isValidHostName(name)) << name;
}

// Single addresses as the C library reads them; prefix lengths that fit the family.
TEST(Validation, Addresses) {
    // clang-format off
    for (const char* text : {
             "1.2.3.4", "0.0.0.0", "255.255.255.255", "256.1.1.1", "1.2.3", "1.2.3.4.5", "01.2.3.4",
             "1.2.3.4 ", " 1.2.3.4", "1..3.4", "1.2.3.-4", "a.b.c.d", "::", "::1", "2001:db8::1",
             "2001:0db8:0000:0000:0000:ff00:0042:8329", "2001:db8:0:0:1:0:0:1", "1:2:3:4:5:6:7:8",
             "1:2:3:4:5:6:7:8:9", "1::2::3", ":1:2:3:4:5:6:7", "1:2:3:4:5:6:7:", "::ffff:1.2.3.4",
             "64:ff9b::192.0.2.33", "1.2.3.4::", "12345::1", "g::1", "fe80::1%eth0", "::1.2.3",
             "1:2:3:4:5:6:7::", "::2:3:4:5:6:7:8", "1:2:3:4:5:6::1.2.3.4", "1:2:3:4:5:6:7:1.2.3.4"}) {
        // clang-format on
        unsigned char buffer[16];
        const bool v6 = std::string(text).find(':') != std::string::npos;
        EXPECT_EQ(isValidAddress(text), inet_pton(v6 ? AF_INET6 : AF_INET, text, buffer) == 1)
            << text;
    }
    for (const char* good : {"198.51.100.0/24", "0.0.0.0/0", "2606:4700::/32", "2001:db8::/128"})
        EXPECT_TRUE(isValidAddress(good)) << good;
    // clang-format off
    for (const std::string& bad : std::vector<std::string>{
             "1.2.3.4/33", "1.2.3.4/", "1.2.3.4/024", "1.2.3.4/2 4", "::/129", "1.2.3.4/24/8",
             "1.2.3.4/24; pass", "1.2.3.4\npass all", "", "any", "1.2.3.4 port 443",
             std::string("1.2.3.4\0", 8)})
        // clang-format on
        EXPECT_FALSE(isValidAddress(bad)) << bad;
}

TEST(Validation, BlockDataKeepsTheUsableAndNamesEachRejectedItemOnceEscaped) {
    const CheckedBlockData data =
        checkBlockData({"chatgpt.com", "evil'; reboot; '", "", "chatgpt.com", ""},
                       {"203.0.113.7", "1.2.3.4\npass all", "2001:db8::1", "0.0.0.0/0",
                        "128.0.0.0/1", "::/0", "2000::/3", "10.0.0.0/8", "2606:4700::/32"});
    EXPECT_EQ(data.domains, (std::vector<std::string>{"chatgpt.com", "chatgpt.com"}));
    // Networks wider than a /8 or a /16 would cut everything off.
    EXPECT_EQ(data.ips, (std::vector<std::string>{"203.0.113.7", "2001:db8::1", "10.0.0.0/8",
                                                  "2606:4700::/32"}));
    EXPECT_EQ(rejectedInputLogLine(data, {"1.2.3.999", "1.2.3.999", std::string("1.2\0", 4)}),
              "WAARSCHUWING: Ongeldige invoer niet gebruikt: domeinnamen \"evil'; reboot; '\", "
              "\"\"; IP-adressen \"1.2.3.4\\x0Apass all\", \"0.0.0.0/0\", \"128.0.0.0/1\", "
              "\"::/0\", \"2000::/3\"; DNS-antwoorden \"1.2.3.999\", \"1.2\\x00\"");
    EXPECT_FALSE(rejectedInputLogLine(checkBlockData({"a.nl"}, {"1.2.3.4"}), {}));
    // A hostile list stays one readable line: twenty named, then their number.
    std::vector<std::string> many;
    for (int i = 0; i < 500; ++i) many.push_back("bad_" + std::to_string(i));
    const std::string capped = rejectedInputLogLine(checkBlockData(many, {}), {}).value_or("");
    EXPECT_NE(capped.find("\"bad_18\", \"bad_19\" en 480 meer"), std::string::npos)
        << capped.substr(0, 200);
    EXPECT_EQ(capped.find("bad_20"), std::string::npos);
}

const ProtectedTargets school{{"10.77.0.53", "192.168.1.1", "2001:db8:5::53", "198.51.100.20"},
                              {"Klas.School.example.", "www.dienst.example"}};

enum class From { IPs, Dig };

// Whether the item is used after the checks of its source; nothing when it
// landed neither among the used nor among the rejected.
std::optional<bool> usedAfterChecks(const std::string& item, From from) {
    std::vector<std::string> used, rejected;
    if (from == From::Dig) {
        const DigAnswer answer = parseDigAnswer(item + "\n");
        LookupResult found{answer.addresses, answer.rejected};
        refuseProtectedAnswers(found, school);
        used = found.addresses, rejected = found.rejectedAnswers;
    } else {
        const CheckedBlockData data = checkBlockData({}, {item}, school);
        used = data.ips, rejected = data.rejectedIPs;
    }
    const bool isUsed = std::ranges::count(used, item),
               isRejected = std::ranges::count(rejected, item);
    return isUsed != isRejected ? std::optional(isUsed) : std::nullopt;
}

TEST(RefusedTargets, WhatWouldCutTheComputerOffIsRejected) {
    const std::tuple<From, bool, std::vector<std::string>> rows[] = {
        // clang-format off
        // Loopback, link-local, multicast, unspecified (plain, mapped, networks);
        // the name servers, the class service and networks holding them.
        {From::IPs, false, {"127.0.0.53", "::ffff:127.0.0.53", "::1", "127.255.0.0/16",
            "::ffff:0:0/96", "169.254.10.1", "fe80::1", "febf:ffff::1", "224.0.0.251",
            "239.255.255.250", "ff02::fb", "0.0.0.0", "::", "::/16", "10.0.0.0/8", "192.168.1.1",
            "::ffff:192.168.1.1", "198.51.100.0/24", "2001:db8::/32"}},
        // Ordinary targets, some right next to a refused range.
        {From::IPs, true, {"203.0.113.7", "10.77.0.52", "198.51.101.0/24", "126.255.255.255",
            "223.255.255.255", "169.253.255.255", "fec0::1", "::2", "2606:4700::/32"}},
        // DNS answers: single addresses only, with the same refusals.
        {From::Dig, false, {"1.2.3.4/0", "104.18.0.0/16", "127.0.0.53", "::ffff:127.0.0.53",
            "192.168.1.1", "198.51.100.20"}},
        {From::Dig, true, {"104.18.32.47", "2606:4700:4400::6812:2011"}}};
    // clang-format on
    for (const auto& [from, used, items] : rows)
        for (const auto& item : items) EXPECT_EQ(usedAfterChecks(item, from), used) << item;
}

// The teacher's page names the reason, so each name is refused for the right one.
TEST(RefusedTargets, ANameIsRefusedForTheFirstReasonThatHolds) {
    const std::pair<NameRefusal, std::vector<std::string>> rows[] = {
        {NameRefusal::None,
         {"chatgpt.com", "a.b", "local.example", "localhost.example.com", "x.ai", "school.example",
          "www.klas.school.example"}},
        {NameRefusal::NotAHostName, {"", "a..b", "chat gpt.com", "*.openai.com", "a.com."}},
        {NameRefusal::Address,
         {"127.0.0.1", "10.1.2", "192.168.1.1", "1234", "::1", "2001:db8::1"}},
        {NameRefusal::ThisComputer, {"localhost", "LocalHost", "app.localhost"}},
        {NameRefusal::SingleLabel, {"x", "intranet", "router"}},
        {NameRefusal::LocalName, {"printer.local", "nas.LAN", "router.home.arpa", "db.internal"}},
        {NameRefusal::Protected, {"klas.school.example", "dienst.example"}},
    };
    for (const auto& [refusal, names] : rows)
        for (const auto& name : names) EXPECT_EQ(nameRefusal(name, school), refusal) << name;
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
