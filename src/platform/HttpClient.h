#pragma once

#include <functional>
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
};

struct HttpResponse {
    int statusCode = 0;
    std::string body;
};

// A request that got no HTTP response at all (no connection, TLS failure,
// time-out, cancelled).
struct TransportError {
    std::string description;  // human-readable, from the network stack
    std::string domain;       // which layer reported it, e.g. "QNetworkReply"
    int code = 0;             // that layer's numeric code
    std::string underlying{};  // a deeper cause (e.g. the TLS errors), empty when none
};

using HttpResult = std::variant<HttpResponse, TransportError>;

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
