#include "http/TlsContext.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <QSslCertificate>
#include <QSslKey>

namespace kt::service {
namespace {

constexpr const char* tls13Suites =
    "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256";
constexpr const char* tls12Suites =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-ECDSA-CHACHA20-POLY1305:"
    "ECDHE-RSA-AES128-GCM-SHA256:ECDHE-RSA-AES256-GCM-SHA384:ECDHE-RSA-CHACHA20-POLY1305";

QString lastTlsError(const char* what) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof text);
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QLatin1String(text));
}

}  // namespace

TlsContext TlsContext::make(const QSslCertificate& certificate, const QSslKey& key) {
    TlsContext made;
    ERR_clear_error();
    std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    if (!context) {
        made.error_ = lastTlsError("TLS context");
        return made;
    }
    const QByteArray certificateDer = certificate.toDer();
    const auto* certificateBytes =
        reinterpret_cast<const unsigned char*>(certificateDer.constData());
    const QByteArray keyPem = key.toPem();
    BIO* keyBio = BIO_new_mem_buf(keyPem.constData(), int(keyPem.size()));
    EVP_PKEY* privateKey = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    BIO_free(keyBio);
    const bool usable = SSL_CTX_use_certificate_ASN1(context.get(), int(certificateDer.size()),
                                                     certificateBytes) == 1 &&
                        privateKey && SSL_CTX_use_PrivateKey(context.get(), privateKey) == 1 &&
                        SSL_CTX_check_private_key(context.get()) == 1;
    EVP_PKEY_free(privateKey);
    if (!usable) {
        made.error_ = lastTlsError("TLS certificate and key");
        return made;
    }
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    SSL_CTX_set_ciphersuites(context.get(), tls13Suites);
    SSL_CTX_set_cipher_list(context.get(), tls12Suites);
    // No renegotiation, no compression; the server's order of suites holds.
    SSL_CTX_set_options(context.get(), SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION |
                                           SSL_OP_CIPHER_SERVER_PREFERENCE);
    // A write may go out in part, and be tried again from another place in memory.
    SSL_CTX_set_mode(context.get(), SSL_MODE_ENABLE_PARTIAL_WRITE |
                                        SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER |
                                        SSL_MODE_RELEASE_BUFFERS);
    // A request's record in one read from the socket rather than two.
    SSL_CTX_set_read_ahead(context.get(), 1);
    static const unsigned char sessionContext[] = "ka-tesmar-service";
    SSL_CTX_set_session_id_context(context.get(), sessionContext, sizeof sessionContext - 1);
    made.context_ = std::move(context);
    return made;
}

}  // namespace kt::service
