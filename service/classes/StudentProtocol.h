#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "classes/ClassRegister.h"
#include "classes/HttpReplies.h"
#include "http/AttemptLimiter.h"
#include "limits/ServiceLimits.h"

namespace kt::service {

// The student application's side: its login, status poll and logout, as it
// calls them, with their limits (logins and wrong codes per address,
// students per class). The poll only reads memory.
class StudentProtocol {
  public:
    using TokenSource = std::function<QString()>;

    explicit StudentProtocol(ClassRegister& classes, int maxStudents = limits::studentsPerClass,
                             TokenSource newToken = randomToken);

    ApiReply login(const QByteArray& formBody, const QString& peer = QString());
    ApiReply status(const QString& token);
    ApiReply logout(const QByteArray& jsonBody);

    static QString randomToken();

  private:
    ClassRegister& classes_;
    int maxStudents_;
    TokenSource newToken_;
    AttemptLimiter wrongCodes_;  // per address
    AttemptLimiter logins_;      // per address
};

}  // namespace kt::service
