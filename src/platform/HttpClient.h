#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/Time.h"

namespace kt {

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    Seconds timeout{60.0};
    // A response body longer than this is not read further: the request ends
    // in the bodyTooLarge transport error. None: no limit.
    std::optional<std::size_t> maxBodyBytes{};
};

struct HttpResponse {
    int statusCode = 0;
    std::string body;
};

// A request that got no usable HTTP response (no connection, TLS failure,
// time-out, cancelled, a body over the request's limit).
struct TransportError {
    std::string description;   // human-readable, from the network stack
    std::string domain;        // which layer reported it, e.g. "QNetworkReply"
    int code = 0;              // that layer's numeric code
    std::string underlying{};  // a deeper cause (e.g. the TLS errors), empty when none
};

using HttpResult = std::variant<HttpResponse, TransportError>;

// The error of a response whose body grew past the request's maxBodyBytes.
inline TransportError bodyTooLargeError(std::size_t maxBodyBytes) {
    return {"The response body is larger than " + std::to_string(maxBodyBytes) + " bytes.",
            "HttpClient", 1};
}
inline bool isBodyTooLarge(const TransportError& error) {
    return error.domain == "HttpClient" && error.code == 1;
}

// The HTTPS client. Certificates are always verified. Connections are reused.
class HttpClient {
  public:
    using Completion = std::function<void(HttpResult)>;
    virtual ~HttpClient() = default;

    // Sends the request; `completion` runs exactly once, on the client's own
    // thread (never the caller's): post to the main queue before touching state.
    // Callable from any thread.
    virtual void send(HttpRequest request, Completion completion) = 0;
};

}  // namespace kt
