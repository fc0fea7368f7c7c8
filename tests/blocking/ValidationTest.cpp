#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "blocking/Validation.h"

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

TEST(Validation, Utf8) {
    EXPECT_TRUE(isValidUtf8("caf\xc3\xa9 \xe2\x9a\xa0 \xf0\x9f\x98\x80\n"));
    // Stray, cut short, overlong, a surrogate, above U+10FFFF.
    for (const char* bad : {"\xff", "\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80"})
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
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

}  // namespace
}  // namespace kt
