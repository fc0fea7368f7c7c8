#pragma once

#include <QByteArray>

#include "limits/ServiceLimits.h"

namespace kt::service {

// Follows the HTTP/1.1 requests on one connection as their bytes arrive,
// before the HTTP server buffers them, so that an oversized request is
// refused from its header alone and its body is never held in memory.
class RequestFraming {
  public:
    // TooLarge: a body over limits::maxBodyBytes or of unknown length;
    // HeadTooLarge: a head over limits::maxHeadBytes. Once refused, every later feed says so again.
    enum class Verdict { Fine, TooLarge, HeadTooLarge };

    // The next bytes of the connection, in order.
    Verdict feed(const QByteArray& bytes);

    // True while a request has begun and its head or body is not all in.
    bool midRequest() const { return !head_.isEmpty() || bodyLeft_ > 0; }
    // Requests whose head and body have arrived in full.
    qint64 requestsComplete() const { return complete_; }
    // The first bytes of the latest request begun (its method and path), kept
    // after it is complete.
    const QByteArray& requestStart() const { return start_; }

  private:
    Verdict headComplete(QByteArrayView head);

    QByteArray head_;
    QByteArray start_;
    qint64 bodyLeft_ = 0;
    qint64 complete_ = 0;
    Verdict verdict_ = Verdict::Fine;
};

}  // namespace kt::service
