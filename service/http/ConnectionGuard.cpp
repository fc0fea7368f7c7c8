#include "http/ConnectionGuard.h"

#include <sys/socket.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include "http/LogText.h"
#include "http/QuickPoll.h"

namespace kt::service {

struct Refusal {
    int status;
    const char* reason;  // the status line's
    QString error;       // for the client, Dutch
    const char* why;     // for the log
};

namespace {

const Refusal lateRequest{408, "Request Timeout", "Het verzoek kwam niet op tijd binnen",
                          "request not complete in time"};
const Refusal largeBody{
    413, "Payload Too Large",
    QStringLiteral("Verzoek te groot (hoogstens %1 KiB)").arg(limits::maxBodyBytes / 1024),
    "request too large"};
const Refusal largeHead{
    431, "Request Header Fields Too Large",
    QStringLiteral("Verzoekkop te groot (hoogstens %1 KiB)").arg(limits::maxHeadBytes / 1024),
    "request head too large"};
const Refusal busyAddress{429, "Too Many Requests", "Te veel verbindingen vanaf dit adres",
                          "too many connections from this address"};
const Refusal busyService{503, "Service Unavailable",
                          "De klasdienst heeft te veel verbindingen, probeer het zo opnieuw",
                          "too many connections"};

QByteArray closingReply(const Refusal& refusal, bool plain) {
    const QByteArray body =
        plain ? refusal.error.toUtf8() + '\n'
              : QJsonDocument(QJsonObject{{"success", false}, {"error", refusal.error}})
                    .toJson(QJsonDocument::Compact);
    return "HTTP/1.1 " + QByteArray::number(refusal.status) + ' ' + refusal.reason +
           "\r\nContent-Type: " + (plain ? "text/plain; charset=utf-8" : "application/json") +
           "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

}  // namespace

ConnectionGuard::ConnectionGuard(QTcpSocket* socket, const ConnectionLimits& limits,
                                 ConnectionCounter::Admission admission, QByteArray plainRequest,
                                 LogLine log, QuickAnswer quickAnswer, ServedOverCap servedOverCap)
    : QObject(socket),
      socket_(socket),
      plainRequest_(std::move(plainRequest)),
      log_(std::move(log)),
      quickAnswer_(std::move(quickAnswer)),
      servedOverCap_(std::move(servedOverCap)),
      idleMs_(limits.idleTimeoutMs),
      pollsLeft_(limits.pollsPerConnection) {
    for (QTimer* timer : {&requestDeadline_, &idleDeadline_, &linger_}) timer->setSingleShot(true);
    requestDeadline_.setInterval(limits.requestTimeoutMs);
    linger_.setInterval(limits::lingerMs);
    connect(&requestDeadline_, &QTimer::timeout, this, &ConnectionGuard::requestLate);
    connect(&idleDeadline_, &QTimer::timeout, this, &ConnectionGuard::idleLate);
    connect(&linger_, &QTimer::timeout, this, &ConnectionGuard::abort);
    connect(socket, &QIODevice::readyRead, this, &ConnectionGuard::bytesArrived);
    if (admission == ConnectionCounter::Admission::OverAddressCap)
        overCap_ = &busyAddress;
    else if (admission == ConnectionCounter::Admission::OverTotalCap)
        overCap_ = &busyService;
    requestDeadline_.start();  // the first request is due from the start
    if (overCap_ && socket_->bytesAvailable() > 0)
        bytesArrived();
}

void ConnectionGuard::bytesArrived() {
    if (closing_)
        return discard();
    const QByteArray bytes = socket_->peek(socket_->bytesAvailable());
    if (bytes.isEmpty())
        return;
    if (overCap_) {
        if (overCap_ == &busyAddress && servedOverCap_) {
            // The head decides, unless it is too large for one.
            const bool headIn = bytes.contains("\r\n\r\n") || bytes.contains("\n\n");
            if (!headIn && bytes.size() <= limits::maxHeadBytes)
                return;
            if (headIn && servedOverCap_(bytes)) {
                overCap_ = nullptr;  // the HTTP server has it now, and a signal for its bytes
                return;
            }
        } else if (!bytes.contains('\n') && bytes.size() < plainRequest_.size()) {
            return;
        }
        return refuse(*overCap_, bytes);
    }
    const bool atRequestStart = !framing_.midRequest();
    switch (framing_.feed(bytes)) {
        case RequestFraming::Verdict::TooLarge:
            return refuse(largeBody, framing_.requestStart());
        case RequestFraming::Verdict::HeadTooLarge:
            return refuse(largeHead, framing_.requestStart());
        case RequestFraming::Verdict::Fine:
            break;
    }
    const qint64 completed = framing_.requestsComplete() - requestsSeen_;
    const bool anotherRequest = completed != 0;
    requestsSeen_ = framing_.requestsComplete();
    if (!framing_.midRequest()) {
        requestDeadline_.stop();
        sinceRequest_.start();
        if (!idleDeadline_.isActive())
            idleDeadline_.start(idleMs_);
    } else if (anotherRequest || !requestDeadline_.isActive()) {
        // The deadline runs from a request's first byte, however slowly the rest comes.
        idleDeadline_.stop();
        requestDeadline_.start();
    }
    // The bytes are one whole request: answered here, the HTTP server never sees them.
    if (quickAnswer_ && atRequestStart && completed == 1 && !framing_.midRequest())
        if (const std::optional<QByteArray> reply = quickAnswer_(bytes)) {
            socket_->skip(bytes.size());
            if (pollsLeft_ > 0 && --pollsLeft_ == 0)
                return close(withConnectionClose(*reply));
            socket_->write(*reply);
        }
}

void ConnectionGuard::idleLate() {
    const qint64 left = idleMs_ - sinceRequest_.elapsed();
    if (left > 0)
        return idleDeadline_.start(static_cast<int>(left));
    close({});
}

void ConnectionGuard::requestLate() {
    if (overCap_) {
        const QByteArray bytes = socket_->peek(socket_->bytesAvailable());
        return bytes.contains('\n') ? refuse(*overCap_, bytes) : close({});
    }
    if (requestsSeen_ == 0 && !framing_.midRequest())
        return close({});  // nothing asked, nothing to answer
    refuse(lateRequest, framing_.requestStart());
}

void ConnectionGuard::refuse(const Refusal& refusal, const QByteArray& requestStart) {
    log_(QStringLiteral("%1 %2 refused %3 %4")
             .arg(logTime(), socket_->peerAddress().toString())
             .arg(refusal.status)
             .arg(QString::fromUtf8(refusal.why)));
    close(
        closingReply(refusal, !plainRequest_.isEmpty() && requestStart.startsWith(plainRequest_)));
}

void ConnectionGuard::close(const QByteArray& reply) {
    closing_ = true;
    requestDeadline_.stop();
    idleDeadline_.stop();
    linger_.start();
    discard();
    if (reply.isEmpty())
        return shutDownWhenSent();
    connect(socket_, &QIODevice::bytesWritten, this, &ConnectionGuard::shutDownWhenSent);
    socket_->write(reply);
}

// Once every byte is with the kernel, the client gets the end of the stream
// after them, while the service can still read what it sends.
void ConnectionGuard::shutDownWhenSent() {
    if (shutDown_ || socket_->bytesToWrite() > 0)
        return;
    shutDown_ = true;
    ::shutdown(static_cast<int>(socket_->socketDescriptor()), SHUT_WR);
}

void ConnectionGuard::discard() {
    discarded_ += socket_->skip(socket_->bytesAvailable());
    if (discarded_ > limits::lingerBytes)
        abort();
}

void ConnectionGuard::abort() {
    socket_->abort();
    socket_->deleteLater();
}

}  // namespace kt::service
