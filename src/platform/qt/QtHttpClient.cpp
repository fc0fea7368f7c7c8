#include "platform/qt/QtHttpClient.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QSslError>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <optional>
#include <set>

namespace kt {
namespace {

constexpr const char* errorDomain = "QNetworkReply";

// Errors below the HTTP layer (connection, TLS, proxy): no usable response,
// even when a status line had already arrived.
bool isTransportLayer(QNetworkReply::NetworkError error) {
    return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

QSslConfiguration verifyingConfiguration(const std::string& caBundlePath) {
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> authorities = QSslConfiguration::systemCaCertificates();
    if (!caBundlePath.empty()) {
        const auto extra =
            QSslCertificate::fromPath(QString::fromStdString(caBundlePath), QSsl::Pem);
        if (extra.isEmpty())
            qWarning("No CA certificate found in %s", caBundlePath.c_str());
        authorities += extra;
    }
    configuration.setCaCertificates(authorities);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    return configuration;
}

}  // namespace

class QtHttpClient::Worker : public QObject {
  public:
    explicit Worker(Options options) : options_(std::move(options)) {}

    // On the client's thread.
    void init() {
        manager_ = new QNetworkAccessManager(this);
        ssl_ = verifyingConfiguration(options_.caBundlePath);
    }

    void shutdown() {
        shuttingDown_ = true;
        // abort() finishes each reply at once; copy, the set shrinks meanwhile.
        const auto pending = pending_;
        for (QNetworkReply* reply : pending) reply->abort();
        delete manager_;
        manager_ = nullptr;
    }

    void start(const HttpRequest& request, const Completion& completion) {
        const QUrl url(QString::fromStdString(request.url), QUrl::StrictMode);
        if (shuttingDown_ || !url.isValid() || url.scheme().isEmpty()) {
            completion(TransportError{shuttingDown_ ? "Operation canceled" : "unsupported URL",
                                      errorDomain,
                                      shuttingDown_ ? QNetworkReply::OperationCanceledError
                                                    : QNetworkReply::ProtocolUnknownError,
                                      {}});
            return;
        }
        QNetworkRequest networkRequest(url);
        networkRequest.setSslConfiguration(ssl_);
        for (const auto& [name, value] : request.headers)
            networkRequest.setRawHeader(QByteArray::fromStdString(name),
                                        QByteArray::fromStdString(value));
        const QByteArray body = QByteArray::fromStdString(request.body);
        QNetworkReply* reply;
        if (request.method == "GET")
            reply = manager_->get(networkRequest);
        else if (request.method == "POST")
            reply = manager_->post(networkRequest, body);
        else
            reply = manager_->sendCustomRequest(networkRequest,
                                                QByteArray::fromStdString(request.method), body);
        track(reply, request.timeout, request.maxBodyBytes, completion);
    }

  private:
    // What is learnt about one reply while it runs.
    struct Progress {
        QStringList sslProblems;
        bool timedOut = false;
        std::optional<std::size_t> maxBodyBytes;
        bool bodyTooLarge = false;
    };

    void track(QNetworkReply* reply, Seconds timeout, std::optional<std::size_t> maxBodyBytes,
               Completion completion) {
        pending_.insert(reply);
        auto progress = std::make_shared<Progress>();
        progress->maxBodyBytes = maxBodyBytes;

        // The time-out counts idle time: any data moving starts it afresh.
        auto* timer = new QTimer(reply);
        timer->setSingleShot(true);
        timer->setInterval(static_cast<int>(timeout.count() * options_.timeoutScale * 1000.0));
        QObject::connect(timer, &QTimer::timeout, reply, [reply, progress] {
            progress->timedOut = true;
            reply->abort();
        });
        const auto restart = [timer] { timer->start(); };
        QObject::connect(reply, &QNetworkReply::downloadProgress, timer, restart);
        QObject::connect(reply, &QNetworkReply::uploadProgress, timer, restart);
        timer->start();

        // A body over the limit is not read further (the announced length
        // counts as well); what has arrived is dropped with the reply.
        if (maxBodyBytes) {
            const auto limit = static_cast<qint64>(*maxBodyBytes);
            QObject::connect(
                reply, &QNetworkReply::downloadProgress, reply,
                [reply, progress, limit](qint64 received, qint64 total) {
                    if (progress->bodyTooLarge ||
                        (received <= limit && total <= limit && reply->bytesAvailable() <= limit))
                        return;
                    progress->bodyTooLarge = true;
                    reply->abort();
                });
        }

        // Recorded only: certificate errors are never ignored.
        QObject::connect(reply, &QNetworkReply::sslErrors, reply,
                         [progress](const QList<QSslError>& errors) {
                             for (const QSslError& error : errors)
                                 progress->sslProblems << error.errorString();
                         });
        QObject::connect(reply, &QNetworkReply::finished, this,
                         [this, reply, timer, progress, completion] {
                             timer->stop();
                             pending_.erase(reply);
                             HttpResult result = resultOf(*reply, *progress);
                             reply->deleteLater();
                             completion(std::move(result));
                         });
    }

    static HttpResult resultOf(QNetworkReply& reply, const Progress& progress) {
        if (progress.bodyTooLarge)
            return bodyTooLargeError(*progress.maxBodyBytes);
        if (progress.timedOut)
            return TransportError{
                "The request timed out.", errorDomain, QNetworkReply::TimeoutError, {}};
        const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QNetworkReply::NetworkError error = reply.error();
        if (isTransportLayer(error) || (error != QNetworkReply::NoError && !status.isValid())) {
            return TransportError{reply.errorString().toStdString(), errorDomain,
                                  static_cast<int>(error),
                                  progress.sslProblems.join(QStringLiteral("; ")).toStdString()};
        }
        return HttpResponse{status.toInt(), reply.readAll().toStdString()};
    }

    Options options_;
    QNetworkAccessManager* manager_ = nullptr;
    QSslConfiguration ssl_;
    std::set<QNetworkReply*> pending_;
    bool shuttingDown_ = false;
};

QtHttpClient::QtHttpClient(Options options) : worker_(new Worker(std::move(options))) {
    thread_.setObjectName(QStringLiteral("http-client"));
    worker_->moveToThread(&thread_);
    thread_.start();
    QMetaObject::invokeMethod(
        worker_, [this] { worker_->init(); }, Qt::BlockingQueuedConnection);
}

QtHttpClient::~QtHttpClient() {
    QMetaObject::invokeMethod(
        worker_, [this] { worker_->shutdown(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    delete worker_;
}

void QtHttpClient::send(HttpRequest request, Completion completion) {
    QMetaObject::invokeMethod(
        worker_,
        [this, request = std::move(request), completion = std::move(completion)] {
            worker_->start(request, completion);
        },
        Qt::QueuedConnection);
}

}  // namespace kt
