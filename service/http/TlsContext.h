#pragma once

#include <QString>
#include <memory>

class QSslCertificate;
class QSslKey;
struct ssl_ctx_st;

namespace kt::service {

// The one TLS context of a listener's connections: the certificate, its key
// and the offered suites set up once, and one set of session-ticket keys, so
// that a student's reconnect resumes its session on any later connection.
class TlsContext {
  public:
    // TLS 1.3, and for TLS 1.2 forward-secret AEAD suites only (for an ECDSA
    // or an RSA certificate). A null context and `error` when the pair is
    // unusable.
    static TlsContext make(const QSslCertificate& certificate, const QSslKey& key);

    ssl_ctx_st* get() const { return context_.get(); }
    const QString& error() const { return error_; }

  private:
    std::shared_ptr<ssl_ctx_st> context_;
    QString error_;
};

}  // namespace kt::service
