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

std::optional<QString> plainPollToken(QByteArrayView target, QByteArrayView path) {
    constexpr QByteArrayView key = "?token=";
    if (!target.startsWith(path) || !target.sliced(path.size()).startsWith(key))
        return std::nullopt;
    const QByteArrayView token = target.sliced(path.size() + key.size());
    for (const char c : token) {
        const bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '-' && c != '.' && c != '_' && c != '~')
            return std::nullopt;
    }
    return QString::fromLatin1(token);
}

QByteArray httpReplyBytes(int status, const QByteArray& type, const QByteArray& body) {
    // One allocation: this is written for every poll.
    const char* reason = reasonPhrase(status);
    QByteArray reply;
    reply.reserve(64 + qstrlen(reason) + type.size() + body.size());
    reply.append("HTTP/1.1 ")
        .append(QByteArray::number(status))
        .append(' ')
        .append(reason)
        .append("\r\nContent-Type: ")
        .append(type)
        .append("\r\nContent-Length: ")
        .append(QByteArray::number(body.size()))
        .append("\r\n\r\n")
        .append(body);
    return reply;
}

QByteArray withConnectionClose(QByteArray reply) {
    return reply.insert(reply.indexOf("\r\n") + 2, "Connection: close\r\n");
}

}  // namespace kt::service
