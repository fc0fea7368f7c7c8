// The class service's login and status replies as the application reads them
// (any body up to the reply limit). Besides not crashing: a body that is
// accepted is UTF-8 throughout; the session token always makes a well-formed
// status URL with one query parameter that decodes back to the token; of the
// names and addresses to block only ones that pass the validators are used,
// none is lost from the count, and the log line about the rest holds no raw
// control character.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "blocking/Validation.h"
#include "session/JsonReply.h"
#include "session/ServiceReplies.h"
#include "session/ServiceUrls.h"
#include "session/Utf8.h"

namespace {

using namespace kt;
using fuzz::shown;

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;  // the encoder writes upper case only
}

// The query value decoded, or "<bad escape>".
std::string percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || hexValue(text[i + 1]) < 0 || hexValue(text[i + 2]) < 0)
            return "<bad escape>";
        out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
        i += 2;
    }
    return out;
}

void checkToken(const std::string& token) {
    const auto url = statusUrl("https://klas.school.example/Vexlo/api/", token);
    FUZZ_CHECK(url.has_value(), "no status URL for token " + shown(token));
    FUZZ_CHECK(isWellFormedHttpsUrl(*url), shown(*url));
    const std::string_view query = std::string_view(*url).substr(url->find('?') + 1);
    FUZZ_CHECK(query.starts_with("token=") && query.find_first_of("&#+=", 6) == query.npos,
               "the token leaks out of its parameter: " + shown(*url));
    FUZZ_CHECK(percentDecoded(query.substr(6)) == token, shown(*url));
}

void checkBlockLists(const StatusReply& reply) {
    const std::vector<std::string> domains = reply.domains.value_or(std::vector<std::string>{});
    const std::vector<std::string> ips = reply.ips.value_or(std::vector<std::string>{});
    const CheckedBlockData data = checkBlockData(domains, ips);
    for (const auto& name : data.domains)
        FUZZ_CHECK(isValidHostName(name), "used name " + shown(name));
    for (const auto& address : data.ips)
        FUZZ_CHECK(isBlockableAddress(address), "used address " + shown(address));
    FUZZ_CHECK(data.domains.size() + data.ips.size() + data.rejectedDomains.size() +
                       data.rejectedIPs.size() + data.droppedOverLimit ==
                   domains.size() + ips.size(),
               "an item went missing from the count");
    if (const auto line = rejectedInputLogLine(data, {})) {
        FUZZ_CHECK(utf8::isValid(*line), shown(*line));
        for (const char c : *line)
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, shown(*line));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const ParsedReply parsed = parseReply(body);
    FUZZ_CHECK(!(parsed.isObject() && parsed.parseError), "an object and a parse error at once");
    if (!parsed.isObject())
        return 0;
    FUZZ_CHECK(utf8::isValid(body),
               "a body that is not UTF-8 was accepted: " + shown(std::string(body)));

    const LoginReply login = readLoginReply(*parsed.object);
    if (login.sessionToken)
        checkToken(*login.sessionToken);
    checkBlockLists(readStatusReply(*parsed.object));
    return 0;
}
