#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "blocking/Validation.h"

namespace kt {
namespace {

TEST(HostNameCheck, AcceptsPlainHostNamesOnly) {
    for (std::string good : {"chatgpt.com", "www.claude.ai", "a", "xn--bcher-kva.example",
                             "1.2.3.4", "api-2.cursor.sh", "A.B.C"})
        EXPECT_TRUE(isValidHostName(good)) << good;
    for (const std::string& bad : std::vector<std::string>{"",
                                                           ".",
                                                           "a..b",
                                                           ".a.com",
                                                           "a.com.",
                                                           "-a.com",
                                                           "a-.com",
                                                           "a_b.com",
                                                           "a b.com",
                                                           "a'b.com",
                                                           "a\"b.com",
                                                           "a\\nb.com",
                                                           "a\nb.com",
                                                           std::string("a\0b.com", 7),
                                                           "$(reboot).com",
                                                           "`id`.com",
                                                           "a;b.com",
                                                           "caf\xc3\xa9.nl",
                                                           "a/b",
                                                           "*.openai.com"})
        EXPECT_FALSE(isValidHostName(bad)) << bad;
    // Label and total length limits.
    EXPECT_TRUE(isValidHostName(std::string(63, 'a') + ".nl"));
    EXPECT_FALSE(isValidHostName(std::string(64, 'a') + ".nl"));
    std::string name;
    while (name.size() < 253) name += (name.empty() ? "" : ".") + std::string(9, 'b');
    name.resize(253);
    if (name.back() == '.')
        name.back() = 'c';
    EXPECT_TRUE(isValidHostName(name));
    EXPECT_FALSE(isValidHostName(name + "d"));
}

// The checker must agree with the C library on every address form.
TEST(AddressCheck, AgreesWithInetPton) {
    const char* corpus[] = {"1.2.3.4",
                            "0.0.0.0",
                            "255.255.255.255",
                            "256.1.1.1",
                            "1.2.3",
                            "1.2.3.4.5",
                            "01.2.3.4",
                            "1.2.3.4 ",
                            " 1.2.3.4",
                            "1..3.4",
                            "1.2.3.-4",
                            "a.b.c.d",
                            "::",
                            "::1",
                            "2001:db8::1",
                            "2001:0db8:0000:0000:0000:ff00:0042:8329",
                            "2001:db8:0:0:1:0:0:1",
                            "1:2:3:4:5:6:7:8",
                            "1:2:3:4:5:6:7:8:9",
                            "1::2::3",
                            ":1:2:3:4:5:6:7",
                            "1:2:3:4:5:6:7:",
                            "::ffff:1.2.3.4",
                            "64:ff9b::192.0.2.33",
                            "1.2.3.4::",
                            "12345::1",
                            "g::1",
                            "fe80::1%eth0",
                            "::1.2.3",
                            "1:2:3:4:5:6:7::",
                            "::2:3:4:5:6:7:8",
                            "1:2:3:4:5:6::1.2.3.4",
                            "1:2:3:4:5:6:7:1.2.3.4"};
    for (const char* text : corpus) {
        unsigned char buffer[16];
        bool v6 = std::string(text).find(':') != std::string::npos;
        bool libc = inet_pton(v6 ? AF_INET6 : AF_INET, text, buffer) == 1;
        EXPECT_EQ(isValidAddress(text), libc) << text;
    }
}

TEST(AddressCheck, PrefixLengthFitsTheFamily) {
    EXPECT_TRUE(isValidAddress("198.51.100.0/24"));
    EXPECT_TRUE(isValidAddress("0.0.0.0/0"));
    EXPECT_TRUE(isValidAddress("2606:4700::/32"));
    EXPECT_TRUE(isValidAddress("2001:db8::/128"));
    for (const std::string& bad :
         std::vector<std::string>{"1.2.3.4/33", "1.2.3.4/", "1.2.3.4/024", "1.2.3.4/2 4", "::/129",
                                  "1.2.3.4/24/8", "1.2.3.4/24; pass", "1.2.3.4\npass all", "",
                                  "any", "1.2.3.4 port 443", std::string("1.2.3.4\0", 8)})
        EXPECT_FALSE(isValidAddress(bad)) << bad;
}

TEST(Utf8Check, RejectsMalformedSequences) {
    EXPECT_TRUE(isValidUtf8("1.2.3.4\n"));
    EXPECT_TRUE(isValidUtf8("caf\xc3\xa9 \xe2\x9a\xa0 \xf0\x9f\x98\x80"));
    EXPECT_FALSE(isValidUtf8("\xff"));
    EXPECT_FALSE(isValidUtf8("\xc3"));              // cut short
    EXPECT_FALSE(isValidUtf8("\xc0\xaf"));          // overlong
    EXPECT_FALSE(isValidUtf8("\xed\xa0\x80"));      // surrogate
    EXPECT_FALSE(isValidUtf8("\xf4\x90\x80\x80"));  // above U+10FFFF
}

TEST(BlockDataCheck, SplitsUsableFromRejectedAndLogsTheRejectedEscaped) {
    CheckedBlockData data =
        checkBlockData({"chatgpt.com", "evil'; reboot; '", "", "chatgpt.com", ""},
                       {"203.0.113.7", "1.2.3.4\npass all", "2001:db8::1"});
    EXPECT_EQ(data.domains, (std::vector<std::string>{"chatgpt.com", "chatgpt.com"}));
    EXPECT_EQ(data.rejectedDomains, (std::vector<std::string>{"evil'; reboot; '", "", ""}));
    EXPECT_EQ(data.ips, (std::vector<std::string>{"203.0.113.7", "2001:db8::1"}));
    EXPECT_EQ(data.rejectedIPs, (std::vector<std::string>{"1.2.3.4\npass all"}));

    auto line = rejectedInputLogLine(data, {"1.2.3.999", "1.2.3.999", "1.2.3.999"});
    ASSERT_TRUE(line);
    EXPECT_EQ(
        *line,
        "WAARSCHUWING: Ongeldige invoer niet gebruikt: domeinnamen \"evil'; reboot; '\", \"\"; "
        "IP-adressen \"1.2.3.4\\x0Apass all\"; DNS-antwoorden \"1.2.3.999\"");
    EXPECT_EQ(line->find('\n'), std::string::npos);

    EXPECT_FALSE(rejectedInputLogLine(checkBlockData({"a.nl"}, {"1.2.3.4"}), {}));
    auto onlyAnswers = rejectedInputLogLine(checkBlockData({}, {}), {std::string("1.2\0", 4)});
    ASSERT_TRUE(onlyAnswers);
    EXPECT_EQ(*onlyAnswers,
              "WAARSCHUWING: Ongeldige invoer niet gebruikt: DNS-antwoorden \"1.2\\x00\"");

    // A hostile list stays one readable line: twenty named, then their number.
    std::vector<std::string> many;
    for (int i = 0; i < 500; ++i) many.push_back("bad_" + std::to_string(i));
    const auto capped = rejectedInputLogLine(checkBlockData(many, {}), {});
    ASSERT_TRUE(capped);
    EXPECT_NE(capped->find("\"bad_19\" en 480 meer"), std::string::npos) << capped->substr(0, 200);
    EXPECT_EQ(capped->find("bad_20"), std::string::npos);
}

TEST(BlockDataCheck, NetworksThatWouldCutEverythingOffAreLeftOut) {
    CheckedBlockData data =
        checkBlockData({}, {"0.0.0.0/0", "128.0.0.0/1", "10.0.0.0/8", "104.16.0.0/12", "::/0",
                            "2000::/3", "2001:db8::/16", "2606:4700::/32", "203.0.113.9"});
    EXPECT_EQ(data.ips, (std::vector<std::string>{"10.0.0.0/8", "104.16.0.0/12", "2001:db8::/16",
                                                  "2606:4700::/32", "203.0.113.9"}));
    EXPECT_EQ(data.rejectedIPs,
              (std::vector<std::string>{"0.0.0.0/0", "128.0.0.0/1", "::/0", "2000::/3"}));
    EXPECT_TRUE(isValidAddress("0.0.0.0/0")) << "still an address, just not one to block";
}

}  // namespace
}  // namespace kt
