#pragma once

#include <QHttpServer>
#include <QHttpServerResponse>
#include <QSslServer>
#include <list>

#include "QtTestSupport.h"

namespace kt::testing {

// An HTTPS server in the test process (answering on the test's main thread),
// with the certificate of testTls() and a count of the connections it accepted.
// Paths without a route are answered with 404.
class StubServer {
  public:
    StubServer() {
        http_.route("/", [] { return QHttpServerResponse("text/plain", "root"); });
        http_.route("/big", [] {
            return QHttpServerResponse("application/octet-stream", QByteArray(3 << 20, 'b'));
        });
        // Accepted, never answered.
        http_.route("/stall", [this](const QHttpServerRequest&, QHttpServerResponder&& responder) {
            stalled_.push_back(std::move(responder));
        });
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.setLocalCertificate(testTls().pair.certificate);
        ssl.setPrivateKey(testTls().pair.key);
        tcp_->setSslConfiguration(ssl);
        QObject::connect(tcp_, &QSslServer::startedEncryptionHandshake, [this] { ++connections_; });
        tcp_->listen(QHostAddress::LocalHost, 0);
        http_.bind(tcp_);
    }

    QString url(const QString& path) const {
        return QStringLiteral("https://127.0.0.1:%1%2").arg(tcp_->serverPort()).arg(path);
    }
    int connections() const { return connections_; }
    std::size_t stalledCount() const { return stalled_.size(); }

  private:
    QCoreApplication& app_ = qtApp();  // before any Qt object
    QHttpServer http_;
    QSslServer* tcp_ = new QSslServer;  // owned by http_ once bound
    int connections_ = 0;
    std::list<QHttpServerResponder> stalled_;
};

}  // namespace kt::testing
