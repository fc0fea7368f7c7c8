// The service's request framing, fed the bytes of one connection in pieces
// (the first four input bytes choose the piece sizes). Besides not crashing:
// after every piece the verdict agrees with a plain reading of the whole
// stream so far: each head ends at its blank line and holds at most
// maxHeadBytes bytes; a Transfer-Encoding, or a Content-Length that is not
// a decimal number of at most maxBodyBytes, refuses; the body that a
// Content-Length announces is skipped up to the next head.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "http/RequestFraming.h"

namespace {

using kt::fuzz::shown;
using kt::service::RequestFraming;
namespace limits = kt::service::limits;

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\n\v\f\r";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == text.npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string lowerCased(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The body length that the head announces, or -1 when the head is refused.
long long announcedBody(std::string_view head) {
    long long length = 0;
    head.remove_prefix(std::min(head.size(), head.find('\n')));  // the request line
    while (!head.empty()) {
        head.remove_prefix(1);  // the line feed
        const std::string_view line = trimmed(head.substr(0, head.find('\n')));
        head.remove_prefix(std::min(head.size(), head.find('\n')));
        const std::size_t colon = line.find(':');
        if (colon == line.npos || colon == 0)
            continue;
        const std::string name = lowerCased(trimmed(line.substr(0, colon)));
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (name == "transfer-encoding")
            return -1;
        if (name == "content-length") {
            if (value.empty())
                return -1;
            length = 0;
            for (const char c : value) {
                if (c < '0' || c > '9')
                    return -1;
                length = std::min<long long>(length * 10 + (c - '0'), limits::maxBodyBytes + 1);
            }
            if (length > limits::maxBodyBytes)
                return -1;
        }
    }
    return length;
}

bool referenceRefuses(std::string_view stream) {
    while (!stream.empty()) {
        const std::size_t end = stream.find("\r\n\r\n");
        if (end == stream.npos)
            return stream.size() > std::size_t(limits::maxHeadBytes);
        if (end + 4 > std::size_t(limits::maxHeadBytes))
            return true;
        const long long body = announcedBody(stream.substr(0, end + 2));
        if (body < 0)
            return true;
        stream.remove_prefix(std::min(stream.size(), end + 4 + std::size_t(body)));
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    const std::string_view stream(reinterpret_cast<const char*>(data) + 4, size - 4);
    RequestFraming framing;
    std::size_t fed = 0;
    for (int piece = 0; fed < stream.size(); ++piece) {
        const std::size_t control = data[piece % 4];
        const std::size_t length = std::min(stream.size() - fed, 1 + control * control);
        const bool refused = framing.feed(QByteArray(stream.data() + fed, qsizetype(length))) !=
                             RequestFraming::Verdict::Fine;
        fed += length;
        // The reading of the whole prefix costs its length: checked after
        // the first pieces, then every 16th, and at the end.
        if (piece < 16 || piece % 16 == 0 || fed == stream.size())
            FUZZ_CHECK(refused == referenceRefuses(stream.substr(0, fed)),
                       std::string(refused ? "refused" : "taken") + " after " +
                           std::to_string(fed) + " bytes: " +
                           shown(std::string(stream.substr(0, std::min<std::size_t>(fed, 600)))));
    }
    return 0;
}
