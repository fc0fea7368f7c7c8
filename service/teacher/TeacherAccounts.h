#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <functional>
#include <optional>

#include "store/ServiceStore.h"
#include "teacher/LoginDelays.h"

namespace kt::service {

// A teacher logged in through the page. The cookie holds `cookie`; every
// change also carries `csrf`, which only the page itself can read.
struct TeacherSession {
    QString cookie;
    QString csrf;
    qint64 teacherId = 0;
    QString name;  // the login name, which students never see
    QString displayName;
    bool mustChangePassword = false;
    qint64 expiresAtMs = 0;
};

struct TeacherLogin {
    enum class Outcome { LoggedIn, WrongPassword, TooEarly, Failed };
    Outcome outcome = Outcome::Failed;
    TeacherSession session;
    qint64 retryAfterMs = 0;  // TooEarly: how long until the next attempt is heard
    QByteArray deviceCookie;  // LoggedIn: what the browser keeps (see DeviceCookie.h)
};

// Teacher accounts and their page sessions, both in the store (a session by
// the hash of its cookie), so that a restart logs no teacher out. Passwords
// are hashed and checked on worker threads: the event loop that answers the
// students' polls never waits for Argon2id.
class TeacherAccounts {
  public:
    using Clock = std::function<qint64()>;
    using LoginDone = std::function<void(const TeacherLogin&)>;

    TeacherAccounts(ServiceStore& store, Clock now);
    ~TeacherAccounts();

    // Adds an account and returns its one-time password; nothing when the
    // name is taken or not a plain name.
    static std::optional<QString> add(ServiceStore& store, const QString& name);
    // A new one-time password for an existing account.
    static std::optional<QString> reset(ServiceStore& store, const QString& name);
    static bool isValidName(const QString& name);
    // The cleaned name (see cleanedName), or nothing when it is empty or too long.
    static std::optional<QString> displayNameFrom(const QString& typed);

    // After a few failures each further one makes the next attempt wait,
    // per account and per address; from a browser with the teacher's device
    // cookie only that browser's own failures count. `done` runs on this
    // thread once the password is checked, never before login returns.
    void login(const QString& name, const QString& password, const QString& peer,
               const QByteArray& deviceCookie, LoginDone done);
    // The session of `cookie`, from memory. On a database that instances
    // share, one made on another instance a moment ago is looked up there,
    // unless `peer` sent too many unknown cookies lately: each costs a query
    // on the service's thread.
    std::optional<TeacherSession> session(const QString& cookie, const QString& peer);
    // A browser a teacher uses: its session is open here, or its device cookie
    // is one this service signed. From memory alone: no database is asked.
    bool knowsBrowser(const QString& sessionCookie, const QByteArray& deviceCookie);
    bool setDisplayName(qint64 teacherId, const QString& displayName);
    // Of a teacher whose session the page admitted; `done` as with login.
    void changePassword(qint64 teacherId, const QString& newPassword,
                        std::function<void(bool)> done);
    void logout(const QString& cookie);
    // Instances on one shared database: a session another one made or
    // ended, read again (see ClassRegister::reloadClass); all of them.
    void reloadSession(const QString& cookieHash);
    bool resync();

  private:
    // Runs `work` on a worker, then `reply` with its result on this thread.
    void offload(std::function<QByteArray()> work, std::function<void(const QByteArray&)> reply);
    std::optional<TeacherSession> restore(const StoredTeacherSession& stored);
    void announce(const QString& cookieHash);
    void announceSessionsOf(qint64 teacherId);

    ServiceStore& store_;
    Clock now_;
    QHash<QString, TeacherSession> sessions_;  // by the hash of the cookie
    QByteArray deviceKey_;                     // signs the device cookies
    LoginDelays perAddress_;
    LoginDelays perAccount_;
    LoginDelays perDevice_;
    AttemptLimiter unknownCookies_;  // per address
    QObject replies_;                // where the workers' results are delivered
    QThreadPool workers_;
};

}  // namespace kt::service
