#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>

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
    ApiReply status(const QString& token);
    // A logout during a block leaves a departure for the teacher.
    ApiReply logout(const QByteArray& jsonBody);
    // What happened on the student's computer: {"token", "state": "blocked",
    // "free", "failed" (with "error") or "quit", "hosts", "rules"}. A quit
    // ends the session as a logout does.
    ApiReply report(const QByteArray& jsonBody);

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
    };
    RenderedStatus rendered(const ClassRecord& record) const;

    ClassRegister& classes_;
    int maxStudents_;
    AttemptLimiter wrongCodes_;                     // per address
    AttemptLimiter logins_;                         // per address
    AttemptLimiter reports_;                        // per session
    QHash<QString, RenderedStatus> statusReplies_;  // by class code
};

}  // namespace kt::service
