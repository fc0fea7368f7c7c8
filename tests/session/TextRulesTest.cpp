// What the window derives from text: the services named in a block list, the
// domain check, UTF-8 (both readers agree), and the device's identity.
#include <gtest/gtest.h>

#include <optional>

#include "Fakes.h"
#include "blocking/Validation.h"
#include "session/DetectedServices.h"
#include "session/DeviceIdentity.h"
#include "session/DomainCheck.h"
#include "session/Utf8.h"

namespace kt {
namespace {

using Names = std::vector<std::string>;
using Pair = std::pair<std::string, std::string>;

TEST(DetectedServices, KeywordsMatchAnywhereInAnyCaseDistinctAndSortedWithAFallback) {
    const std::pair<Names, Names> cases[] = {
        {{}, {"AI Services"}},
        {{"example.com", "wikipedia.org"}, {"AI Services"}},
        {{"generativelanguage.googleapis.com"}, {"Gemini"}},
        {{"api.github.com"}, {"Copilot"}},
        {{"bolt.new"}, {"Lovable"}},
        {{"API.OPENAI.COM"}, {"ChatGPT"}},
        {{"cursor.github.io"}, {"Copilot", "Cursor"}},
        {{"chatgpt.com", "claude.ai", "openai.com", "cdn.oaistatic.com"}, {"ChatGPT", "Claude"}},
        {{"perplexity.ai", "deepseek.com", "lovable.dev", "cursor.sh", "copilot.microsoft.com",
          "gemini.google.com", "claude.ai", "chatgpt.com"},
         {"ChatGPT", "Claude", "Copilot", "Cursor", "DeepSeek", "Gemini", "Lovable", "Perplexity"}},
    };
    for (const auto& [domains, names] : cases)
        EXPECT_EQ(detectedServiceNames(domains), names) << ::testing::PrintToString(domains);
}

// The search term is trimmed and lower-cased; the www. form counts both ways
// (the exact name first); similar are at most three entries, in list order,
// that are the term's parents, compared without www. but shown as stored.
TEST(DomainCheck, BlockedOrSimilarEntriesForTheNormalisedTerm) {
    const struct {
        std::string term;
        Names list;
        std::string result;
    } cases[] = {
        {"  ChatGPT.com \n", {"chatgpt.com"}, "GEBLOKKEERD: chatgpt.com"},
        {" \t\n", {"chatgpt.com"}, "Voer een domein in"},
        {"www.claude.ai", {"claude.ai"}, "GEBLOKKEERD: claude.ai"},
        {"claude.ai", {"www.claude.ai"}, "GEBLOKKEERD: www.claude.ai"},
        {"claude.ai", {"www.claude.ai", "claude.ai"}, "GEBLOKKEERD: claude.ai"},
        {"openai.com", {"api.openai.com"}, "NIET GEBLOKKEERD: openai.com"},
        {"chat.openai.com",
         {"www.openai.com"},
         "NIET GEBLOKKEERD: chat.openai.com\nVergelijkbaar: www.openai.com"},
        {"x.a.b.c.d",
         {"d", "zz", "c.d", "b.c.d", "a.b.c.d"},
         "NIET GEBLOKKEERD: x.a.b.c.d\nVergelijkbaar: d, c.d, b.c.d"},
        {"example.org", {"", "www."}, "NIET GEBLOKKEERD: example.org"},
    };
    for (const auto& c : cases) EXPECT_EQ(checkDomain(c.term, c.list), c.result) << c.term;
}

TEST(Utf8, ValidityAndEscapingCatchCutOffOverlongSurrogateAndTooHighFormsAndUpperCase) {
    const std::string good = "Zoë 😀 日本\n";
    EXPECT_TRUE(utf8::isValid(good) && isValidUtf8(good));
    EXPECT_EQ(utf8::escapeInvalid(good), good);
    // cut off, overlong "/", surrogate, above U+10FFFF
    for (const auto& [broken, escaped] :
         {Pair{"'\xff'", "'\\xFF'"}, Pair{"\xc3\xa9\xc3", "é\\xC3"}, Pair{"\xc0\xaf", "\\xC0\\xAF"},
          Pair{"\xed\xa0\x80", "\\xED\\xA0\\x80"},
          Pair{"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"}}) {
        EXPECT_FALSE(utf8::isValid(broken)) << escaped;
        EXPECT_FALSE(isValidUtf8(broken)) << escaped;
        EXPECT_EQ(utf8::escapeInvalid(broken), escaped);
    }
    for (const auto& [text, upper] :
         {Pair{"abc-9 _", "ABC-9 _"}, Pair{"straße", "STRASSE"}, Pair{"éàÿ ñ", "ÉÀŸ Ñ"},
          Pair{"ąčšž ıi", "ĄČŠŽ II"}, Pair{"αβγς", "ΑΒΓΣ"}, Pair{"привет", "ПРИВЕТ"},
          Pair{"😀x\xff!", "😀X\xff!"}})
        EXPECT_EQ(utf8::upperCased(text), upper) << text;
}

TEST(DeviceIdentity, FirstNonLoopbackNonZeroAddressInTheSystemsOrderWithoutColonsLowerCase) {
    const std::pair<std::vector<NetworkInterfaceInfo>, std::string> cases[] = {
        {{{"en0", "A4:83:E7:12:0B:9F", false}, {"en1", "00:11:22:33:44:55", false}},
         "a483e7120b9f"},
        {{{"bridge0", "", false},
          {"dummy0", "00:00:00:00:00:00", false},
          {"lo", "02:00:00:00:00:01", true},
          {"eth1", "0a:0b:0c:0d:0e:0f", false}},
         "0a0b0c0d0e0f"},
        {{{"lo", "00:00:00:00:00:00", true}, {"utun0", "", false}}, ""},
        {{}, ""},
    };
    for (const auto& [interfaces, identity] : cases) {
        testing::FakeNetworkInterfaces fake;
        fake.interfaces = interfaces;
        EXPECT_EQ(getDeviceMACAddress(fake), identity) << interfaces.size() << " interfaces";
    }
}

TEST(DeviceIdentity, LinuxDeviceInformationIsThePrettyNameMadePlainAndShort) {
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\nID=debian\n",
         "Linux Debian GNU/Linux 12 (bookworm)"},
        {"# comment\nPRETTY_NAME='Ubuntu 24.04 LTS'\r\nNAME=Ubuntu", "Linux Ubuntu 24.04 LTS"},
        {"NAME=Fedora Linux\nPRETTY_NAME=\"\"", "Linux Fedora Linux"},
        {"ID=alpine\nMY_PRETTY_NAME=x", "Linux"},
        {std::nullopt, "Linux"},
        {"PRETTY_NAME=\"Evil\x01\x1b[31m \\\"`x`\" trailing\nPRETTY_NAME=Later OS 2",
         "Linux Later OS 2"},
        {"PRETTY_NAME=\"A\x1b[31mB`C`\\D'E\xff\"", "Linux A[31mBCDE"},
        {"PRETTY_NAME=" + std::string(150, 'x') + "\n", "Linux " + std::string(100, 'x')},
        {"PRETTY_NAME=\"Zo\xc3\xab OS\"", "Linux Zo\xc3\xab OS"},
    };
    for (const auto& [osRelease, info] : cases)
        EXPECT_EQ(linuxDeviceInformation(osRelease), info) << osRelease.value_or("(none)");
}

}  // namespace
}  // namespace kt
