#include <gtest/gtest.h>

#include <string>

#include "session/WireFormat.h"

namespace {

using namespace kt;

// The kept characters as the protocol lists them, independent of the code.
bool keptInFormValue(unsigned char c) {
    return std::isalnum(c) || std::string_view("-._~!$'()*,;:@/?").find(static_cast<char>(c)) !=
                                  std::string_view::npos;
}

TEST(PercentEncoding, FormAndQueryValuesKeepExactlyTheirSetsAndEncodeEveryOtherByte) {
    EXPECT_EQ(formValueEncoded("Jan & Piet+Co"), "Jan%20%26%20Piet%2BCo");
    EXPECT_EQ(queryValueEncoded("macOS Version 13.6 (Build 22G120)"),
              "macOS%20Version%2013.6%20(Build%2022G120)");
    EXPECT_EQ(formValueEncoded("a=b&c+d%"), "a%3Db%26c%2Bd%25");
    EXPECT_EQ(queryValueEncoded("a=b&c+d%"), "a=b&c+d%25");
    EXPECT_EQ(formValueEncoded("Zoë \"De\" Vries\n😀"),
              "Zo%C3%AB%20%22De%22%20Vries%0A%F0%9F%98%80");

    for (int byte = 0; byte < 256; ++byte) {
        const auto c = static_cast<unsigned char>(byte);
        const std::string text(1, static_cast<char>(c));
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
        const bool keptInQuery = keptInFormValue(c) || c == '&' || c == '=' || c == '+';
        EXPECT_EQ(formValueEncoded(text), keptInFormValue(c) ? text : escaped) << byte;
        EXPECT_EQ(queryValueEncoded(text), keptInQuery ? text : escaped) << byte;
    }
}

TEST(LoginBody, HasItsFourFieldsInOrderAndDeviceIdOnlyWithAnIdentity) {
    EXPECT_EQ(loginRequestBody("Jan & Piet+Co", "abc123", "macOS Version 13.6 (Build 22G120)",
                               "a483e7120b9f"),
              "student_name=Jan%20%26%20Piet%2BCo&class_code=ABC123"
              "&device_info=macOS%20Version%2013.6%20(Build%2022G120)&device_id=a483e7120b9f");
    EXPECT_EQ(loginRequestBody("Eva", "XYZ789", "macOS Debian GNU/Linux 12 (bookworm)", ""),
              "student_name=Eva&class_code=XYZ789"
              "&device_info=macOS%20Debian%20GNU/Linux%2012%20(bookworm)");
    // A code with form characters cannot add or change fields.
    EXPECT_EQ(loginRequestBody("E", "a&b=%c", "x", ""),
              "student_name=E&class_code=A%26B%3D%25C&device_info=x");
}

TEST(LoginBody, RequestCarriesFormHeaderAndTimeout) {
    const HttpRequest request =
        loginRequest("https://h/Vexlo/api/class-login.php", "a=b", Seconds{30});
    EXPECT_EQ(request.method, "POST");
    ASSERT_EQ(request.headers.size(), 1u);
    EXPECT_EQ(request.headers[0].first, "Content-Type");
    EXPECT_EQ(request.headers[0].second, "application/x-www-form-urlencoded");
    EXPECT_EQ(request.body, "a=b");
    EXPECT_EQ(request.timeout.count(), 30.0);
    const HttpRequest probe = getRequest("https://probe/");
    EXPECT_EQ(probe.method, "GET");
    EXPECT_TRUE(probe.headers.empty());
    EXPECT_EQ(probe.timeout.count(), 60.0);
}

TEST(LogoutBody, IsCompactJsonWithTheTokenOrNothingWhenItCannotBeWritten) {
    EXPECT_EQ(logoutRequestBody("3f9a"), R"({"token":"3f9a"})");
    EXPECT_EQ(logoutRequestBody("a\"b\\c\nd"), R"({"token":"a\"b\\c\nd"})");
    EXPECT_EQ(logoutRequestBody("é"), "{\"token\":\"é\"}");
    EXPECT_EQ(logoutRequestBody("\xff\xfe"), std::nullopt);

    const HttpRequest request = logoutRequest("https://h/x", "\xff", Seconds{5});
    EXPECT_EQ(request.body, "") << "sent without a body";
    EXPECT_EQ(request.headers.at(0).second, "application/json");
    EXPECT_EQ(logoutRequest("https://h/x", "t", Seconds{3}).body, R"({"token":"t"})");
}

TEST(ServiceUrls, EndpointsRootAndStatusTokenAreFormedOrRefused) {
    const std::string base = "https://127.0.0.1:8443/Vexlo/api/";
    EXPECT_EQ(serviceUrl(base, service_endpoint::login),
              "https://127.0.0.1:8443/Vexlo/api/class-login.php");
    EXPECT_EQ(serviceRootUrl(base), "https://127.0.0.1:8443/");
    EXPECT_EQ(serviceRootUrl("https://klas.example.org/Vexlo/api/"), "https://klas.example.org/");
    EXPECT_EQ(statusUrl(base, "a b&c=d+e/f%"),
              "https://127.0.0.1:8443/Vexlo/api/class-status.php?token=a%20b%26c%3Dd%2Be/f%25");

    EXPECT_EQ(serviceHost(base), "127.0.0.1");
    EXPECT_EQ(serviceHost("https://[2001:db8::5]:8443/Vexlo/api/"), "2001:db8::5");
    EXPECT_EQ(serviceHost("https://user@klas.example.org/Vexlo/api/"), "klas.example.org");

    EXPECT_EQ(serviceRootUrl(""), std::nullopt);
    EXPECT_EQ(serviceHost("https:///Vexlo/api/"), std::nullopt);
    EXPECT_EQ(serviceRootUrl("https:///Vexlo/api/"), std::nullopt);
    EXPECT_EQ(serviceRootUrl("https://bad host/Vexlo/api/"), std::nullopt);
    EXPECT_EQ(serviceRootUrl("http://plain.example/Vexlo/api/"), std::nullopt);
    // A broken path leaves the root intact but no endpoint can be formed.
    EXPECT_EQ(serviceRootUrl("https://h/Vexlo api/"), "https://h/");
    EXPECT_EQ(serviceUrl("https://h/Vexlo api/", service_endpoint::login), std::nullopt);
    EXPECT_EQ(statusUrl("https://h/%zz/", "t"), std::nullopt);
    EXPECT_TRUE(isWellFormedHttpsUrl("HTTPS://example.com"));
    EXPECT_FALSE(isWellFormedHttpsUrl("https://example.com/\x01"));
    EXPECT_FALSE(isWellFormedHttpsUrl("https://exämple.com/"));
}

TEST(ReplyParsing, TellsNotJsonFromNotAnObjectFromAnObject) {
    for (const std::string& body :
         {std::string("<html>502</html>"), std::string(""), std::string("{\"a\":1} trailing"),
          std::string("{\"a\":\"\xff\xfe\"}"), std::string("{\"a\":")}) {
        const ParsedReply reply = parseReply(body);
        EXPECT_FALSE(reply.isObject()) << body;
        ASSERT_TRUE(reply.parseError.has_value()) << body;
        EXPECT_FALSE(reply.parseError->empty());
    }
    for (const std::string body : {"[1,2]", "\"text\"", "true", "42", "null"}) {
        const ParsedReply reply = parseReply(body);
        EXPECT_FALSE(reply.isObject()) << body;
        EXPECT_FALSE(reply.parseError.has_value()) << body;
    }
    EXPECT_TRUE(parseReply(" {\"success\":true}\n").isObject());
}

TEST(ReplyParsing, SurvivesHugeAndDeeplyNestedBodies) {
    const std::string big = "{\"error\":\"" + std::string(4 * 1024 * 1024, 'x') + "\"}";
    const ParsedReply reply = parseReply(big);
    ASSERT_TRUE(reply.isObject());
    EXPECT_EQ(json_member::string(*reply.object, "error")->size(), 4u * 1024 * 1024);
    EXPECT_TRUE(parseReply(std::string(3 * 1024 * 1024, '{')).parseError.has_value());
    const std::string nested = std::string(200000, '[') + std::string(200000, ']');
    const ParsedReply deep = parseReply(nested);
    EXPECT_FALSE(deep.isObject());
}

TEST(ReplyMembers, BooleansAcceptOnlyTrueFalseOneAndZero) {
    const auto j = nlohmann::json::parse(R"({"t":true,"f":false,"one":1,"zero":0,"oneF":1.0,
        "s":"true","two":2,"neg":-1,"n":null,"a":[true],"o":{}})");
    EXPECT_EQ(json_member::boolean(j, "t"), true);
    EXPECT_EQ(json_member::boolean(j, "f"), false);
    EXPECT_EQ(json_member::boolean(j, "one"), true);
    EXPECT_EQ(json_member::boolean(j, "zero"), false);
    EXPECT_EQ(json_member::boolean(j, "oneF"), true);
    for (const char* key : {"s", "two", "neg", "n", "a", "o", "missing"})
        EXPECT_EQ(json_member::boolean(j, key), std::nullopt) << key;
}

TEST(ReplyMembers, StringArraysAndRangesCountOnlyWhenEveryElementFits) {
    const auto j = nlohmann::json::parse(R"({
        "good":["a.com","b.com"], "mixed":["a.com",1], "empty":[], "notArray":"a.com",
        "ranges":[{"start":"10.0.0.1","end":"10.0.0.9"},{"start":"1.1.1.1"},{"end":"x","note":"y"}],
        "badEnd":[{"start":"1.1.1.1","end":2}], "nullMember":[{"start":"1","end":"2","n":null}],
        "notObjects":["1.1.1.1"]})");
    EXPECT_EQ(json_member::stringArray(j, "good"), (std::vector<std::string>{"a.com", "b.com"}));
    EXPECT_EQ(json_member::stringArray(j, "mixed"), std::nullopt);
    EXPECT_EQ(json_member::stringArray(j, "empty"), std::vector<std::string>{});
    EXPECT_EQ(json_member::stringArray(j, "notArray"), std::nullopt);
    const auto ranges = json_member::rangeArray(j, "ranges");
    ASSERT_TRUE(ranges.has_value());
    ASSERT_EQ(ranges->size(), 1u) << "elements lacking start or end are skipped";
    EXPECT_EQ((*ranges)[0], std::make_pair(std::string("10.0.0.1"), std::string("10.0.0.9")));
    EXPECT_EQ(json_member::rangeArray(j, "badEnd"), std::nullopt);
    EXPECT_EQ(json_member::rangeArray(j, "nullMember"), std::nullopt);
    EXPECT_EQ(json_member::rangeArray(j, "notObjects"), std::nullopt);
    EXPECT_EQ(json_member::rangeArray(j, "good"), std::nullopt);
}

TEST(LoginReplyReader, ReadsEachMemberWithItsTypeRule) {
    const LoginReply full = readLoginReply(nlohmann::json::parse(R"({"success":true,
        "session_token":"tok","student_info":{"name":"Jan"},
        "class_info":{"class_name":"3B","teacher_name":"Mevr. Peeters","school_name":"Sint-Jan"}})"));
    EXPECT_TRUE(full.success);
    EXPECT_EQ(full.sessionToken, "tok");
    EXPECT_EQ(full.studentInfoName, "Jan");
    ASSERT_TRUE(full.classInfo.has_value());
    EXPECT_EQ(full.classInfo->className, "3B");
    EXPECT_EQ(full.classInfo->teacherName, "Mevr. Peeters");
    EXPECT_EQ(full.classInfo->schoolName, "Sint-Jan");

    const LoginReply odd = readLoginReply(nlohmann::json::parse(
        R"({"success":1,"session_token":7,"student_info":"Jan","class_info":{"class_name":5},"error":["x"]})"));
    EXPECT_TRUE(odd.success);
    EXPECT_EQ(odd.sessionToken, std::nullopt);
    EXPECT_EQ(odd.studentInfoName, std::nullopt);
    ASSERT_TRUE(odd.classInfo.has_value()) << "an object, even with nothing usable in it";
    EXPECT_EQ(odd.classInfo->className, std::nullopt);
    EXPECT_EQ(odd.error, std::nullopt);

    EXPECT_FALSE(readLoginReply(nlohmann::json::parse(R"({"success":"true"})")).success);
    EXPECT_FALSE(readLoginReply(nlohmann::json::parse(R"({})")).success);
    EXPECT_FALSE(readLoginReply(nlohmann::json::parse(R"({"class_info":[]})")).classInfo);
}

TEST(StatusReplyReader, ReadsEachMemberWithItsTypeRule) {
    const StatusReply minimal = readStatusReply(nlohmann::json::parse(R"({"success":true})"));
    EXPECT_FALSE(minimal.sessionEnded);
    EXPECT_FALSE(minimal.isBlocked);
    EXPECT_FALSE(minimal.domains || minimal.ips || minimal.ipRanges);
    EXPECT_FALSE(minimal.className || minimal.teacherName);

    EXPECT_TRUE(readStatusReply(nlohmann::json::parse(R"({"success":false})")).sessionEnded);
    EXPECT_TRUE(readStatusReply(nlohmann::json::parse(R"({"success":0})")).sessionEnded);
    EXPECT_FALSE(readStatusReply(nlohmann::json::parse(R"({"success":"false"})")).sessionEnded);
    EXPECT_FALSE(readStatusReply(nlohmann::json::parse(R"({"is_blocked":"true"})")).isBlocked);

    const StatusReply full = readStatusReply(nlohmann::json::parse(R"({"success":true,
        "is_blocked":1,"domains":["chatgpt.com"],"ips":["104.18.0.1","2606:4700::1"],
        "ip_ranges":[{"start":"1.0.0.0","end":"1.0.0.255"}],
        "class_info":{"class_name":"3B","teacher_name":"Mevr. Peeters","school_name":"X"}})"));
    EXPECT_TRUE(full.isBlocked);
    EXPECT_EQ(full.domains, std::vector<std::string>{"chatgpt.com"});
    EXPECT_EQ(full.ips->size(), 2u);
    EXPECT_EQ(full.ipRanges->size(), 1u);
    EXPECT_EQ(full.className, "3B");
    EXPECT_EQ(full.teacherName, "Mevr. Peeters");

    const StatusReply mixed = readStatusReply(
        nlohmann::json::parse(R"({"domains":["a.com",3],"ip_ranges":[{"start":"1","end":2}]})"));
    EXPECT_EQ(mixed.domains, std::nullopt);
    EXPECT_EQ(mixed.ipRanges, std::nullopt);
}

}  // namespace
