#include "http/ProxyHeader.h"

#include <QList>

namespace kt::service {
namespace {

using Outcome = ProxyHeader::Outcome;

const QByteArray binarySignature("\r\n\r\n\0\r\nQUIT\n", 12);
const QByteArray textSignature("PROXY ");
// The text form's longest line, its CRLF included.
constexpr qsizetype maxTextLine = 107;

ProxyHeader outcome(Outcome what) {
    return {what, 0, std::nullopt};
}

// Whether `bytes` begin with `signature`, or are all of its beginning so far.
bool beginsWith(const QByteArray& bytes, const QByteArray& signature) {
    const qsizetype n = qMin(bytes.size(), signature.size());
    return bytes.left(n) == signature.left(n);
}

ProxyHeader parseBinary(const QByteArray& bytes) {
    constexpr qsizetype fixed = 16;  // signature, version and command, family, length
    if (bytes.size() < fixed)
        return outcome(Outcome::NeedMore);
    const auto byte = [&](qsizetype i) { return static_cast<quint8>(bytes.at(i)); };
    const int version = byte(12) >> 4, command = byte(12) & 0x0f;
    const int family = byte(13) >> 4, transport = byte(13) & 0x0f;
    const qsizetype length = fixed + (byte(14) << 8 | byte(15));
    if (version != 2 || command > 1 || family > 3 || transport > 2 || length > maxProxyHeaderBytes)
        return outcome(Outcome::Malformed);
    if (bytes.size() < length)
        return outcome(Outcome::NeedMore);
    ProxyHeader header{Outcome::Parsed, length, std::nullopt};
    const bool proxied = command == 1;
    if (family == 1) {  // IPv4: source, destination, their ports
        if (length < fixed + 12)
            return outcome(Outcome::Malformed);
        if (proxied)
            header.client =
                QHostAddress(quint32(byte(16)) << 24 | byte(17) << 16 | byte(18) << 8 | byte(19));
    } else if (family == 2) {  // IPv6
        if (length < fixed + 36)
            return outcome(Outcome::Malformed);
        if (proxied)
            header.client = QHostAddress(reinterpret_cast<const quint8*>(bytes.constData() + 16));
    }
    return header;
}

ProxyHeader parseText(const QByteArray& bytes) {
    const qsizetype end = bytes.indexOf("\r\n");
    if (end < 0 || end + 2 > maxTextLine)
        return outcome(bytes.size() < maxTextLine ? Outcome::NeedMore : Outcome::Malformed);
    const QList<QByteArray> fields = bytes.left(end).split(' ');
    ProxyHeader header{Outcome::Parsed, end + 2, std::nullopt};
    if (fields.size() >= 2 && fields.at(1) == "UNKNOWN")
        return header;  // the front's own connection
    const bool v4 = fields.value(1) == "TCP4", v6 = fields.value(1) == "TCP6";
    QHostAddress client, server;
    bool sourcePort = false, destinationPort = false;
    if (fields.size() != 6 || !(v4 || v6) || !client.setAddress(QString::fromLatin1(fields[2])) ||
        !server.setAddress(QString::fromLatin1(fields[3])) ||
        client.protocol() != server.protocol() ||
        client.protocol() != (v4 ? QAbstractSocket::IPv4Protocol : QAbstractSocket::IPv6Protocol))
        return outcome(Outcome::Malformed);
    fields[4].toUShort(&sourcePort), fields[5].toUShort(&destinationPort);
    if (!sourcePort || !destinationPort)
        return outcome(Outcome::Malformed);
    header.client = client;
    return header;
}

}  // namespace

ProxyHeader parseProxyHeader(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return outcome(Outcome::NeedMore);
    if (beginsWith(bytes, binarySignature))
        return bytes.size() < binarySignature.size() ? outcome(Outcome::NeedMore)
                                                     : parseBinary(bytes);
    if (beginsWith(bytes, textSignature))
        return bytes.size() < textSignature.size() ? outcome(Outcome::NeedMore) : parseText(bytes);
    return outcome(Outcome::NotProxy);
}

}  // namespace kt::service
