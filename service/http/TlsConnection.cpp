#include "http/TlsConnection.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "http/HandOnListener.h"
#include "limits/ServiceLimits.h"

namespace kt::service {
namespace {

constexpr int chunk = 16 * 1024;
// A side's bytes that the other side has not taken yet: beyond this, the
// side is not read until they are taken.
constexpr qsizetype heldAtMost = 64 * 1024;

// OpenSSL writes a socket with write(), which raises SIGPIPE on a connection
// the client reset; the service sends without it, and reads the error.
int sendWithoutSignal(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    const ssize_t sent = ::send(int(BIO_get_fd(bio, nullptr)), data, size_t(size), MSG_NOSIGNAL);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_write(bio);
    return int(sent);
}

BIO_METHOD* socketWithoutSignal() {
    static BIO_METHOD* const method = [] {
        const BIO_METHOD* socket = BIO_s_socket();
        BIO_METHOD* own =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR,
                         "socket without SIGPIPE");
        BIO_meth_set_write(own, sendWithoutSignal);
        BIO_meth_set_read(own, BIO_meth_get_read(socket));
        BIO_meth_set_puts(own, BIO_meth_get_puts(socket));
        BIO_meth_set_ctrl(own, BIO_meth_get_ctrl(socket));
        BIO_meth_set_create(own, BIO_meth_get_create(socket));
        BIO_meth_set_destroy(own, BIO_meth_get_destroy(socket));
        return own;
    }();
    return method;
}

bool wouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

}  // namespace

TlsConnection::TlsConnection(int descriptor, const QHostAddress& client, ssl_ctx_st* context,
                             const ConnectionLimits& limits, QObject* parent)
    : QObject(parent), descriptor_(descriptor), client_(client), limits_(limits) {
    ERR_clear_error();
    ssl_ = SSL_new(context);
    if (BIO* bio = ssl_ ? BIO_new(socketWithoutSignal()) : nullptr) {
        BIO_set_fd(bio, descriptor, BIO_NOCLOSE);
        SSL_set_bio(ssl_, bio, bio);
        SSL_set_accept_state(ssl_);
    }
    // An accepted descriptor blocks; every read and write here must not.
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
    const int on = 1;
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    readable_ = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    writable_ = new QSocketNotifier(descriptor, QSocketNotifier::Write, this);
    writable_->setEnabled(false);
    connect(readable_, &QSocketNotifier::activated, this, &TlsConnection::clientReady);
    connect(writable_, &QSocketNotifier::activated, this, &TlsConnection::clientReady);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &TlsConnection::deadlinePassed);
}

TlsConnection::~TlsConnection() {
    SSL_free(ssl_);  // and its BIO
    ::close(descriptor_);
    if (bridgeEnd_ >= 0)
        ::close(bridgeEnd_);
}

void TlsConnection::start(int timeoutMs, QuickAnswer quickAnswer, Bridge bridge) {
    quickAnswer_ = std::move(quickAnswer);
    bridge_ = std::move(bridge);
    if (!SSL_get_rbio(ssl_))
        return end();
    deadline_.start(timeoutMs);
    handshake();
}

void TlsConnection::clientReady() {
    writable_->setEnabled(false);  // until a write waits again
    switch (stage_) {
        case Stage::Handshake:
            return handshake();
        case Stage::Requests:
            flushToClient();
            return readRequests();
        case Stage::Bridged:
            flushToClient();
            return pumpToBridge();
        case Stage::Closing:
            flushToClient();
            return discardRequests();
        case Stage::Ended:
            return;
    }
}

void TlsConnection::handshake() {
    ERR_clear_error();
    const int done = SSL_do_handshake(ssl_);
    if (done != 1)
        return waitFor(done) ? void() : end();
    stage_ = Stage::Requests;
    if (!quickAnswer_)
        return startBridge({});
    // The first request is due from here; it may have come with the handshake's last bytes.
    deadline_.start(limits_.requestTimeoutMs);
    readRequests();
}

bool TlsConnection::readClient(QByteArray& into, qsizetype room) {
    char bytes[chunk];
    while (room > 0) {
        ERR_clear_error();
        const int got = SSL_read(ssl_, bytes, int(qMin<qsizetype>(room, chunk)));
        if (got <= 0)
            return waitFor(got);
        into.append(bytes, got);
        room -= got;
        // Read ahead: what OpenSSL holds already raises no notifier.
        if (!SSL_has_pending(ssl_))
            return true;
    }
    return true;
}

void TlsConnection::readRequests() {
    QByteArray bytes;
    clientEnded_ = !readClient(bytes, limits::maxHeadBytes + 1);
    if (!bytes.isEmpty()) {
        std::optional<QByteArray> reply;
        if (bytes.size() <= limits::maxHeadBytes)
            reply = quickAnswer_(bytes);
        if (!reply)
            return startBridge(std::move(bytes));
        answer(*reply);
    }
    if (clientEnded_ && stage_ == Stage::Requests)
        close();
}

void TlsConnection::answer(const QByteArray& reply) {
    sinceRequest_.start();
    if (++requestsAnswered_ == 1)
        deadline_.start(limits_.idleTimeoutMs);  // then set again only when it runs out
    toClient_.append(reply);
    flushToClient();
}

void TlsConnection::flushToClient() {
    while (!toClient_.isEmpty() && stage_ != Stage::Ended) {
        ERR_clear_error();
        const int sent =
            SSL_write(ssl_, toClient_.constData(), int(qMin<qsizetype>(toClient_.size(), chunk)));
        if (sent <= 0)
            return waitFor(sent) ? void() : end();
        toClient_.remove(0, sent);
    }
    if (stage_ == Stage::Bridged)
        bridgeReadable_->setEnabled(toClient_.size() < heldAtMost);
    else if (stage_ == Stage::Closing && toClient_.isEmpty() && !shutDown_) {
        // The client gets the end of the stream after the last answer, and
        // the service can still read what it sends.
        shutDown_ = true;
        ::shutdown(descriptor_, SHUT_WR);
        if (clientEnded_)
            end();
    }
}

bool TlsConnection::waitFor(int result) {
    switch (SSL_get_error(ssl_, result)) {
        case SSL_ERROR_WANT_READ:
            return true;  // the read notifier is on
        case SSL_ERROR_WANT_WRITE:
            writable_->setEnabled(true);
            return true;
        default:  // closed by the client, or broken
            ERR_clear_error();
            return false;
    }
}

void TlsConnection::startBridge(QByteArray first) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0)
        return end();
    auto* socket = new ClientSocket(parent());
    if (!socket->setSocketDescriptor(pair[1])) {
        delete socket;
        ::close(pair[0]), ::close(pair[1]);
        return end();
    }
    socket->setPeerAddress(client_);
    stage_ = Stage::Bridged;
    deadline_.stop();  // the guard's deadlines hold from here
    bridgeEnd_ = pair[0];
    bridgeReadable_ = new QSocketNotifier(bridgeEnd_, QSocketNotifier::Read, this);
    bridgeWritable_ = new QSocketNotifier(bridgeEnd_, QSocketNotifier::Write, this);
    bridgeWritable_->setEnabled(false);
    connect(bridgeReadable_, &QSocketNotifier::activated, this, &TlsConnection::pumpFromBridge);
    connect(bridgeWritable_, &QSocketNotifier::activated, this, &TlsConnection::pumpToBridge);
    toBridge_ = std::move(first);
    bridge_(socket);  // to its guard, and the HTTP server
    pumpToBridge();
}

// The client's bytes to the bridge, as far as it takes them.
void TlsConnection::pumpToBridge() {
    for (;;) {
        while (!toBridge_.isEmpty()) {
            const ssize_t sent =
                ::send(bridgeEnd_, toBridge_.constData(), size_t(toBridge_.size()), MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent < 0 && wouldBlock()) {
                bridgeWritable_->setEnabled(true);
                readable_->setEnabled(false);
                return;
            }
            if (sent < 0)
                toBridge_.clear();  // the HTTP server's side is closed: its end comes as a read
            else
                toBridge_.remove(0, sent);
        }
        bridgeWritable_->setEnabled(false);
        // A descriptor at its end stays readable: no notifier for it any more.
        readable_->setEnabled(!clientEnded_);
        if (clientEnded_) {
            ::shutdown(bridgeEnd_, SHUT_WR);  // the HTTP server sees the client's end
            return;
        }
        clientEnded_ = !readClient(toBridge_, heldAtMost);
        if (stage_ != Stage::Bridged || (toBridge_.isEmpty() && !clientEnded_))
            return;
    }
}

// The HTTP server's bytes to the client; its end is the connection's.
void TlsConnection::pumpFromBridge() {
    char bytes[chunk];
    bool ended = false;
    while (toClient_.size() < heldAtMost) {
        const ssize_t got = ::recv(bridgeEnd_, bytes, sizeof bytes, 0);
        if (got > 0) {
            toClient_.append(bytes, got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        ended = got == 0 || !wouldBlock();
        break;
    }
    if (!ended)
        return flushToClient();
    bridgeReadable_->setEnabled(false);
    bridgeWritable_->setEnabled(false);
    ::close(bridgeEnd_);
    bridgeEnd_ = -1;
    close();
}

void TlsConnection::deadlinePassed() {
    switch (stage_) {
        case Stage::Handshake:
        case Stage::Closing:
            return end();
        case Stage::Requests:
            if (requestsAnswered_ > 0) {
                const qint64 left = limits_.idleTimeoutMs - sinceRequest_.elapsed();
                if (left > 0)
                    return deadline_.start(int(left));
            }
            return close();  // nothing asked in time, nothing to answer
        case Stage::Bridged:
        case Stage::Ended:
            return;
    }
}

void TlsConnection::close() {
    stage_ = Stage::Closing;
    readable_->setEnabled(!clientEnded_);
    deadline_.start(limits::lingerMs);
    flushToClient();
    if (stage_ == Stage::Closing && !clientEnded_)
        discardRequests();
}

// Read and thrown away: closing with unread bytes would make the kernel reset
// the connection, and the client would lose the answer.
void TlsConnection::discardRequests() {
    QByteArray bytes;
    clientEnded_ = !readClient(bytes, chunk);
    discarded_ += bytes.size();
    readable_->setEnabled(!clientEnded_);
    if (discarded_ > limits::lingerBytes || (clientEnded_ && shutDown_))
        end();
}

void TlsConnection::end() {
    stage_ = Stage::Ended;
    deadline_.stop();
    // The descriptors close with the object, after their notifiers are off.
    for (QSocketNotifier* notifier : {readable_, writable_, bridgeReadable_, bridgeWritable_})
        if (notifier)
            notifier->setEnabled(false);
    deleteLater();
}

}  // namespace kt::service
