// What goes to and comes from the class service (the wire format), and what
// the window derives from text: the services named in a block list, the
// domain check, UTF-8 (both readers agree), and the device's identity.
#include <gtest/gtest.h>

#include <optional>

#include "Fakes.h"
#include "blocking/Validation.h"
#include "session/DetectedServices.h"
#include "session/DeviceIdentity.h"
#include "session/DomainCheck.h"
#include "session/Utf8.h"
#include "session/WireFormat.h"

namespace kt {
namespace {

using Names = std::vector<std::string>;
using Pair = std::pair<std::string, std::string>;
using Text = std::optional<std::string>;

TEST(DetectedServices, KeywordsMatchAnywhereInAnyCaseDistinctAndSortedWithAFallback) {
    const std::pair<Names, Names> cases[] = {
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
    const std::tuple<std::string, Names, std::string> cases[] = {
        {"  ChatGPT.com \n", {"chatgpt.com"}, "GEBLOKKEERD: chatgpt.com"},
        {" \t\n", {"chatgpt.com"}, "Voer een domein in"},
        {"www.claude.ai", {"claude.ai"}, "GEBLOKKEERD: claude.ai"},
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
    for (const auto& [term, list, result] : cases)
        EXPECT_EQ(checkDomain(term, list), result) << term;
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

// The kept characters as the protocol lists them, independent of the code.
bool keptInFormValue(unsigned char c) {
    return std::isalnum(c) || std::string_view("-._~!$'()*,;:@/?").find(static_cast<char>(c)) !=
                                  std::string_view::npos;
}

TEST(PercentEncoding, FormAndQueryValuesKeepExactlyTheirSetsAndEncodeEveryOtherByte) {
    for (int byte = 0; byte < 256; ++byte) {
        const auto c = static_cast<unsigned char>(byte);
        const std::string text(1, static_cast<char>(c));
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
        const bool keptInQuery = keptInFormValue(c) || c == '&' || c == '=' || c == '+';
        EXPECT_EQ(formValueEncoded(text), keptInFormValue(c) ? text : escaped) << byte;
        EXPECT_EQ(queryValueEncoded(text), keptInQuery ? text : escaped) << byte;
    }
    EXPECT_EQ(formValueEncoded("Zoë & \"De\"=😀"), "Zo%C3%AB%20%26%20%22De%22%3D%F0%9F%98%80");
    // The login's body: the code in capitals, no field added or changed, no device id.
    EXPECT_EQ(loginRequestBody("Eva", "xyzçß", "macOS X (1)", ""),
              "student_name=Eva&class_code=XYZ%C3%87SS&device_info=macOS%20X%20(1)");
    EXPECT_EQ(loginRequestBody("E", "a&b=%c", "m", ""),
              "student_name=E&class_code=A%26B%3D%25C&device_info=m");
}

TEST(ReportAndLogoutBodies, AreCompactJsonInTheirOrderWithAnErrorOnlyWhenGivenCutAndMended) {
    const std::string longError = "Kon blokkering niet activeren: " + std::string(400, 'e');
    EXPECT_EQ(
        classReportBody("t\"k", "failed", "Kon niet: polkit", 0, 0),
        R"({"token":"t\"k","state":"failed","error":"Kon niet: polkit","hosts":0,"rules":0})");
    EXPECT_EQ(classReportBody("t", "failed", "fout \xff\nregel", 1, 2),
              R"({"token":"t","state":"failed","error":"fout \\xFF\nregel","hosts":1,"rules":2})");
    EXPECT_EQ(classReportBody("t", "failed", longError, 0, 0),
              R"({"token":"t","state":"failed","error":")" + longError.substr(0, 300) +
                  R"(","hosts":0,"rules":0})");
    EXPECT_EQ(classReportBody("\xff", "quit", {}, 0, 0), std::nullopt);
    // The logout's body: the token, or none when it is no text.
    EXPECT_EQ(logoutRequest("https://h/x", "a\"b\\c\nd é", Seconds{5}).body,
              R"({"token":"a\"b\\c\nd é"})");
    EXPECT_EQ(logoutRequest("https://h/x", "\xff\xfe", Seconds{5}).body, "");
}

TEST(ServiceUrls, RootHostAndEndpointAreFormedOrRefused) {
    const std::tuple<std::string, std::string, std::string, Text> cases[] = {
        {"https://127.0.0.1:8443/Vexlo/api/", "https://127.0.0.1:8443/", "127.0.0.1",
         "https://127.0.0.1:8443/Vexlo/api/class-login.php"},
        {"HTTPS://[2001:db8::5]:8443/a/", "HTTPS://[2001:db8::5]:8443/", "2001:db8::5",
         "HTTPS://[2001:db8::5]:8443/a/class-login.php"},
        {"https://user@klas.example.org/", "https://user@klas.example.org/", "klas.example.org",
         "https://user@klas.example.org/class-login.php"},
        // A broken path leaves the root intact but no endpoint can be formed.
        {"https://h/Vexlo api/", "https://h/", "h", {}},
        {"https://h/%zz/", "https://h/", "h", {}},
        {"https://h/\x01/", "https://h/", "h", {}}};
    for (const auto& [base, root, host, login] : cases) {
        SCOPED_TRACE(base);
        EXPECT_EQ(serviceRootUrl(base), root);
        EXPECT_EQ(serviceHost(base), host);
        EXPECT_EQ(serviceUrl(base, service_endpoint::login), login);
    }
    for (const std::string base : {"", "https:///api/", "https://bad host/api/",
                                   "https://exämple.com/", "http://plain.example/api/"}) {
        EXPECT_EQ(serviceRootUrl(base), std::nullopt) << base;
        EXPECT_EQ(serviceHost(base), std::nullopt) << base;
        EXPECT_EQ(serviceUrl(base, service_endpoint::login), std::nullopt) << base;
    }
    EXPECT_EQ(statusUrl("https://h/api/", "a b&c=d+e/f%"),
              "https://h/api/class-status.php?token=a%20b%26c%3Dd%2Be/f%25");
    EXPECT_EQ(statusUrl("https://h/%zz/", "t"), std::nullopt);
}

TEST(ReplyParsing, TellsNotJsonFromNotAnObjectFromAnObject) {
    const auto kind = [](const std::string& body) {
        const ParsedReply reply = parseReply(body);
        if (reply.parseError)
            return reply.parseError->empty() ? "no reason" : "not JSON";
        return reply.isObject() ? "object" : "not an object";
    };
    for (const std::string body : {"<html>502</html>", "", "{\"a\":1} trailing",
                                   "{\"a\":\"\xff\xfe\"}", "{\"a\":", "{\"a\":1}//"})
        EXPECT_STREQ(kind(body), "not JSON") << body;
    for (const std::string body : {"[1,2]", "\"text\"", "null"})
        EXPECT_STREQ(kind(body), "not an object") << body;
    EXPECT_STREQ(kind(" {\"success\":true}\n"), "object");
    // A hostile depth ends without exhausting the stack.
    EXPECT_STREQ(kind(std::string(200000, '[') + std::string(200000, ']')), "not an object");
}

// Every member a reader yields, in order, as compact JSON ("-" when absent).
template <typename T>
nlohmann::json shown(const std::optional<T>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json("-");
}
std::string readStatus(const std::string& json) {
    const StatusReply r = readStatusReply(nlohmann::json::parse(json));
    return nlohmann::json{r.sessionEnded,    r.isBlocked,        shown(r.domains),    shown(r.ips),
                          shown(r.ipRanges), shown(r.className), shown(r.teacherName)}
        .dump();
}
std::string readLogin(const std::string& json) {
    const LoginReply r = readLoginReply(nlohmann::json::parse(json));
    const auto& i = r.classInfo;
    return nlohmann::json{
        r.success, shown(r.sessionToken), shown(r.studentInfoName), shown(r.error),
        i ? nlohmann::json{shown(i->className), shown(i->teacherName), shown(i->schoolName)}
          : nlohmann::json("none")}
        .dump();
}

// The status reply's members: ended, blocked, domains, ips, ranges, class
// name, teacher name.
TEST(ReplyReaders, ReadEachMemberWithItsTypeRule) {
    for (const std::string json :
         {R"({"success":true})", R"({"success":"false","is_blocked":"true"})",
          R"({"success":2,"is_blocked":2})", R"({"success":null,"is_blocked":[true]})",
          R"({"domains":["a.com",3],"ips":[null],"ip_ranges":[{"start":"1","end":2}]})",
          R"({"ip_ranges":[{"start":"1","end":"2","note":null}],"class_info":"3B"})",
          R"({"ip_ranges":["1.1.1.1"],"domains":"a.com"})"})
        EXPECT_EQ(readStatus(json), R"([false,false,"-","-","-","-","-"])") << json;
    EXPECT_EQ(readStatus(R"({"success":0,"is_blocked":1.0})"),
              R"([true,true,"-","-","-","-","-"])");
    EXPECT_EQ(readStatus(R"({"domains":[],"ip_ranges":[],"class_info":{"class_name":5}})"),
              R"([false,false,[],"-",[],"-","-"])");
    // The login's: success, token, student name, error, class info (class, teacher, school).
    EXPECT_EQ(readLogin(R"({"success":1,"session_token":7,"student_info":"Jan",
            "class_info":{"class_name":5},"error":["x"]})"),
              R"([true,"-","-","-",["-","-","-"]])");
    EXPECT_EQ(readLogin(R"({"success":"true","error":"Klas dicht","class_info":[]})"),
              R"([false,"-","-","Klas dicht","none"])");
    EXPECT_EQ(readLogin(R"({"success":false,"student_info":{"name":1}})"),
              R"([false,"-","-","-","none"])");
}

}  // namespace
}  // namespace kt
