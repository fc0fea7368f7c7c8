#pragma once

#include <QByteArray>

namespace kt::service {

// Follows the HTTP/1.1 requests on one connection as their bytes arrive,
// before the HTTP server buffers them, so that an oversized request is
// refused from its header alone and its body is never held in memory.
class RequestFraming {
  public:
    static constexpr qint64 maxBodyBytes = 64 * 1024;
    static constexpr qsizetype maxHeadBytes = 16 * 1024;

    enum class Verdict { Fine, TooLarge };

    // The next bytes of the connection, in order.
    Verdict feed(const QByteArray& bytes);

  private:
    Verdict headComplete();

    QByteArray head_;
    qint64 bodyLeft_ = 0;
    bool refused_ = false;
};

// The whole reply that refuses a request: 413 with a JSON error, closing.
QByteArray tooLargeReply();

}  // namespace kt::service
