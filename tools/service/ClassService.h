#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <functional>

#include "ClassStore.h"

namespace kt::service {

struct ApiReply {
    int status = 200;
    QJsonObject body;
};

// The class service's behaviour, without the HTTP server around it: login,
// status and logout as the student application calls them, and the
// teacher's changes to a class.
class ClassService {
  public:
    using TokenSource = std::function<QString()>;

    // `newToken` makes session tokens; by default 32 random bytes in hex.
    explicit ClassService(ClassStore classes, TokenSource newToken = randomToken);

    ApiReply login(const QByteArray& formBody);
    ApiReply status(const QString& token) const;
    ApiReply logout(const QByteArray& jsonBody);
    ApiReply updateClass(const QString& code, const QByteArray& jsonBody);

    int sessionCount() const { return static_cast<int>(sessions_.size()); }
    const ClassStore& classes() const { return classes_; }

    static QString randomToken();

  private:
    struct Session {
        QString classCode;
        QString studentName;
        QString deviceId;
        QString deviceInfo;
    };

    ClassStore classes_;
    TokenSource newToken_;
    QHash<QString, Session> sessions_;
};

}  // namespace kt::service
