#include "http/QuickPoll.h"

namespace kt::service {
namespace {

// Header names that make a request more than a plain GET.
bool asksMore(QByteArrayView line) {
    for (const char* name : {"content-length:", "transfer-encoding:", "expect:", "upgrade:"})
        if (line.size() >= qsizetype(qstrlen(name)) &&
            qstrnicmp(line.data(), name, qstrlen(name)) == 0)
            return true;
    return false;
}

const char* reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 429:
            return "Too Many Requests";
        case 503:
            return "Service Unavailable";
        default:
            return "Internal Server Error";
    }
}

}  // namespace

std::optional<QByteArray> quickPollTarget(const QByteArray& bytes, const QByteArray& path) {
    if (!bytes.startsWith("GET ") || !bytes.endsWith("\r\n\r\n"))
        return std::nullopt;
    // Line by line; every line ends in CRLF, and holds no other CR or LF (parsers
    // differ on those).
    qsizetype lineEnd = -1;
    QByteArrayView target;
    for (qsizetype at = 0;; at = lineEnd + 2) {
        lineEnd = bytes.indexOf('\n', at) - 1;
        if (lineEnd < at || bytes[lineEnd] != '\r')
            return std::nullopt;
        const QByteArrayView line(bytes.constData() + at, lineEnd - at);
        if (line.contains('\r'))
            return std::nullopt;
        if (at == 0) {
            constexpr qsizetype method = 4, version = 9;  // "GET ", " HTTP/1.1"
            if (line.size() < method + path.size() + version || !line.endsWith(" HTTP/1.1"))
                return std::nullopt;
            target = line.sliced(method, line.size() - method - version);
            if (!target.startsWith(path) ||
                (target.size() > path.size() && target[path.size()] != '?') || target.contains(' '))
                return std::nullopt;
        } else if (line.isEmpty()) {
            // The head's end, which is where the bytes end: a second request is not answered here.
            if (lineEnd + 2 != bytes.size())
                return std::nullopt;
            return target.toByteArray();
        } else if (asksMore(line)) {
            return std::nullopt;
        }
    }
}

QByteArray httpReplyBytes(int status, const QByteArray& type, const QByteArray& body) {
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
           "\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

}  // namespace kt::service
