#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

#include "http/ConnectionGuard.h"
#include "http/ConnectionLimits.h"

class QSocketNotifier;
class QTcpSocket;
struct ssl_st;
struct ssl_ctx_st;

namespace kt::service {

// One student's TLS connection, read and written on its own descriptor.
//
// The students' status poll is most of what the service answers, every 5
// seconds on a kept-alive connection. A request that comes whole in one read
// and that `quickAnswer` answers (see QuickPoll.h) is answered here, between
// the descriptor and OpenSSL, without a socket object, a signal or a buffer
// of Qt's in between. At the first request it does not answer, the connection
// is bridged: its plain bytes go both ways through a local socket pair, whose
// other end is a plain socket (with the client's address as its peer) that
// `bridge` hands to a connection guard and the HTTP server, as a front's
// connection is. From then on every request goes that way.
//
// Without `quickAnswer` (a connection over a cap, for its guard to refuse)
// the connection is bridged as soon as its handshake is done.
//
// Here the first request is due within the request deadline from the
// handshake's end, and the next within the idle deadline from the last one's
// answer (a student's own connection is not ended after some polls). Any end
// is graceful: the answers written, the sending side shut, and what the
// client still sends read and thrown away (for a bounded time and amount).
// The connection ends once both sides are closed; it lives until then.
class TlsConnection : public QObject {
  public:
    using QuickAnswer = ConnectionGuard::QuickAnswer;
    using Bridge = std::function<void(QTcpSocket*)>;

    // Takes `descriptor`.
    TlsConnection(int descriptor, const QHostAddress& client, ssl_ctx_st* context,
                  const ConnectionLimits& limits, QObject* parent);
    ~TlsConnection() override;

    // Starts the handshake, which has `timeoutMs` to finish.
    void start(int timeoutMs, QuickAnswer quickAnswer, Bridge bridge);

  private:
    enum class Stage { Handshake, Requests, Bridged, Closing, Ended };

    void clientReady();
    void handshake();
    void readRequests();
    void answer(const QByteArray& reply);
    void startBridge(QByteArray first);
    void pumpToBridge();
    void pumpFromBridge();
    void flushToClient();
    void deadlinePassed();
    void close();
    void discardRequests();
    void end();
    // Appends what the client sent, up to `room` bytes; false once it sent its last.
    bool readClient(QByteArray& into, qsizetype room);
    // After an OpenSSL call that did not complete: waits for what it needs;
    // false when the connection failed or the client closed it.
    bool waitFor(int result);

    int descriptor_;
    QHostAddress client_;
    ssl_st* ssl_ = nullptr;
    QSocketNotifier* readable_ = nullptr;
    QSocketNotifier* writable_ = nullptr;
    ConnectionLimits limits_;
    QuickAnswer quickAnswer_;
    Bridge bridge_;
    Stage stage_ = Stage::Handshake;
    QTimer deadline_;  // handshake, first request, idle, or the linger of a closing connection
    QElapsedTimer sinceRequest_;
    qint64 requestsAnswered_ = 0;
    QByteArray toClient_;  // plain bytes not yet taken by OpenSSL
    bool shutDown_ = false;
    qint64 discarded_ = 0;

    // The bridge: this side's end of the socket pair.
    int bridgeEnd_ = -1;
    QSocketNotifier* bridgeReadable_ = nullptr;
    QSocketNotifier* bridgeWritable_ = nullptr;
    QByteArray toBridge_;
    bool clientEnded_ = false;
};

}  // namespace kt::service
