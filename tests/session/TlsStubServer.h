#pragma once

#include <QHttpServer>
#include <QHttpServerResponse>
#include <QSslServer>
#include <list>

#include "QtTestSupport.h"

namespace kt::testing {

// An HTTPS server in the test process (answering on the test's main thread),
// with the certificate of testTls() and a count of the connections it accepted.
//   /                        "root"
//   /status/<code>           an empty-ish page with that status
//   /big                     3 MiB
//   /echo                    "<Content-Type>|<body>"
//   /stall, POST /Vexlo/api/class-login.php   accepted, never answered
class StubServer {
  public:
    StubServer() {
        qtApp();
        using Status = QHttpServerResponse::StatusCode;
        http_.route("/", [] { return QHttpServerResponse("text/plain", "root"); });
        http_.route("/status/<arg>", [](int code) {
            return QHttpServerResponse("text/plain", "x", static_cast<Status>(code));
        });
        http_.route("/big", [] {
            return QHttpServerResponse("application/octet-stream", QByteArray(3 << 20, 'b'));
        });
        http_.route("/echo", [](const QHttpServerRequest& request) {
            return QHttpServerResponse("text/plain",
                                       request.value("Content-Type") + "|" + request.body());
        });
        const auto stall = [this](const QHttpServerRequest&, QHttpServerResponder&& responder) {
            stalled_.push_back(std::move(responder));
        };
        http_.route("/stall", stall);
        http_.route("/Vexlo/api/class-login.php", QHttpServerRequest::Method::Post, stall);

        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.setLocalCertificate(testTls().pair.certificate);
        ssl.setPrivateKey(testTls().pair.key);
        tcp_ = new CountingSslServer;
        tcp_->setSslConfiguration(ssl);
        tcp_->listen(QHostAddress::LocalHost, 0);
        http_.bind(tcp_);
    }

    QString url(const QString& path) const {
        return QStringLiteral("https://127.0.0.1:%1%2").arg(tcp_->serverPort()).arg(path);
    }
    int connections() const { return tcp_->connections; }
    std::size_t stalledCount() const { return stalled_.size(); }

  private:
    class CountingSslServer : public QSslServer {
      public:
        int connections = 0;

      protected:
        void incomingConnection(qintptr socket) override {
            ++connections;
            QSslServer::incomingConnection(socket);
        }
    };

    QHttpServer http_;
    CountingSslServer* tcp_ = nullptr;  // owned by http_
    std::list<QHttpServerResponder> stalled_;
};

}  // namespace kt::testing
