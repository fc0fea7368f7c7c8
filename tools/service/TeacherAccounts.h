#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <optional>

#include "AttemptLimiter.h"
#include "ServiceStore.h"

namespace kt::service {

// A teacher logged in through the page. The cookie holds `cookie`; every
// change also carries `csrf`, which only the page itself can read.
struct TeacherSession {
    QString cookie;
    QString csrf;
    qint64 teacherId = 0;
    QString name;
    bool mustChangePassword = false;
    qint64 expiresAtMs = 0;
};

struct TeacherLogin {
    enum class Outcome { LoggedIn, WrongPassword, TooManyAttempts, Failed };
    Outcome outcome = Outcome::Failed;
    TeacherSession session;
};

// Teacher accounts (in the store) and their page sessions (in memory: a
// restart asks teachers to log in again).
class TeacherAccounts {
  public:
    using Clock = std::function<qint64()>;
    static constexpr qint64 sessionLifetimeMs = 12LL * 3600 * 1000;

    TeacherAccounts(ServiceStore& store, Clock now);

    // Adds an account and returns its one-time password; nothing when the
    // name is taken or not a plain name.
    static std::optional<QString> add(ServiceStore& store, const QString& name);
    // A new one-time password for an existing account.
    static std::optional<QString> reset(ServiceStore& store, const QString& name);
    static bool isValidName(const QString& name);

    // Failed attempts are limited per address and per account.
    TeacherLogin login(const QString& name, const QString& password, const QString& peer);
    std::optional<TeacherSession> session(const QString& cookie);
    bool changePassword(const QString& cookie, const QString& newPassword);
    void logout(const QString& cookie);

  private:
    ServiceStore& store_;
    Clock now_;
    QHash<QString, TeacherSession> sessions_;  // by cookie
    AttemptLimiter perAddress_;
    AttemptLimiter perAccount_;
};

}  // namespace kt::service
