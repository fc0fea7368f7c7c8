#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <optional>

#include "classes/ClassRegister.h"
#include "classes/HttpReplies.h"
#include "http/AttemptLimiter.h"
#include "limits/ServiceLimits.h"

namespace kt::service {

// The student application's side: its login, status poll, logout and the
// reports of what its privileged runs did, as it calls them, with their
// limits (logins and wrong codes per address, students per class, reports
// per session). The poll only reads memory.
class StudentProtocol {
  public:
    explicit StudentProtocol(ClassRegister& classes, int maxStudents = limits::studentsPerClass);

    ApiReply login(const QByteArray& formBody, const QString& peer = QString());
    ApiReply status(const QString& token, const QString& peer = QString());
    // The status poll of the session whose token has the hash `key` (tokenHash).
    ApiReply statusOf(const QString& key, const QString& peer);
    // A logout during a block leaves a departure for the teacher.
    ApiReply logout(const QByteArray& jsonBody, const QString& peer = QString());
    // What happened on the student's computer: {"token", "state": "blocked",
    // "free", "failed" (with "error") or "quit", "hosts", "rules"}. A quit
    // ends the session as a logout does.
    ApiReply report(const QByteArray& jsonBody, const QString& peer = QString());

    static QString randomToken();
    // Sessions are kept by the hash of their token: the token itself is never stored.
    static QString tokenHash(const QString& token);

  private:
    // Every student of a class gets the same status reply: rendered once per
    // revision of the register.
    struct RenderedStatus {
        quint64 revision = 0;
        QJsonObject body;
        QByteArray rendered;
        QByteArray wire;  // the reply's bytes
    };
    RenderedStatus rendered(const ClassRecord& record) const;
    // Why the session of `key` cannot be served, if it cannot: `notHeld`, or
    // (plain text for the poll, which reads any JSON object as its answer) a
    // shared store that did not answer or too many unknown tokens from `peer`.
    // An unknown token costs a shared store a query, so the lookups that find
    // nothing are limited per address; the poll's own work is in memory.
    std::optional<ApiReply> unservable(const QString& key, const QString& peer,
                                       const ApiReply& notHeld, bool forPoll);

    ClassRegister& classes_;
    int maxStudents_;
    AttemptLimiter wrongCodes_;                     // per address
    AttemptLimiter logins_;                         // per address
    AttemptLimiter reports_;                        // per session
    AttemptLimiter unknownTokens_;                  // per address, on a shared store
    QHash<QString, RenderedStatus> statusReplies_;  // by class code
};

}  // namespace kt::service
