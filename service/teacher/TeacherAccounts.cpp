#include "teacher/TeacherAccounts.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>
#include <algorithm>

#include "http/FormDecoding.h"
#include "limits/ServiceLimits.h"
#include "store/ChangeNotice.h"
#include "teacher/DeviceCookie.h"
#include "teacher/Passwords.h"

namespace kt::service {
namespace {

QString cookieHash(const QString& cookie) {
    return QString::fromLatin1(
        QCryptographicHash::hash(cookie.toLatin1(), QCryptographicHash::Sha256).toHex());
}

// Derived from the cookie rather than kept: only the cookie's hash is stored,
// and the token still outlives a restart with its session.
QString csrfFor(const QString& cookie) {
    return QString::fromLatin1(QMessageAuthenticationCode::hash(QByteArrayLiteral("csrf"),
                                                                cookie.toLatin1(),
                                                                QCryptographicHash::Sha256)
                                   .toHex());
}

// An unknown name costs as much time as a wrong password: no one learns which names exist.
const QByteArray& standInHash() {
    static const QByteArray hash = hashPassword(randomHex(16));
    return hash;
}

constexpr LoginDelays::Policy policyFor(int freeFailures) {
    return {freeFailures, limits::firstLoginDelayMs, limits::longestLoginDelayMs,
            limits::loginFailureWindowMs};
}

// Where the login failures are kept: in memory unless instances share the store.
ServiceStore* sharedStore(ServiceStore& store) {
    return store.shared() ? &store : nullptr;
}

}  // namespace

TeacherAccounts::TeacherAccounts(ServiceStore& store, Clock now)
    : store_(store),
      now_(std::move(now)),
      deviceKey_(store_.serviceKey(QStringLiteral("device_cookie"), randomHex(32).toLatin1())),
      perAddress_(policyFor(limits::freeFailuresPerAddress), sharedStore(store), "address"),
      perAccount_(policyFor(limits::freeFailuresPerAccount), sharedStore(store), "account"),
      perDevice_(policyFor(limits::freeFailuresPerAccount), sharedStore(store), "device"),
      unknownCookies_(limits::unknownCookiesPerAddress, limits::loginWindowMs) {
    workers_.setMaxThreadCount(limits::passwordCheckThreads);
    workers_.start([] { standInHash(); });  // made before the first unknown name needs it
    const qint64 nowMs = now_();
    store_.deleteTeacherSessions({}, nowMs);
    for (const StoredTeacherSession& stored : store_.loadTeacherSessions())
        if (const auto restored = restore(stored))
            sessions_.insert(stored.cookieHash, *restored);
}

TeacherAccounts::~TeacherAccounts() {
    workers_.waitForDone();  // their replies are then dropped with replies_
}

std::optional<TeacherSession> TeacherAccounts::restore(const StoredTeacherSession& stored) {
    const auto teacher = store_.teacherById(stored.teacherId);
    if (!teacher)
        return std::nullopt;
    return TeacherSession{{},
                          {},
                          teacher->id,
                          teacher->name,
                          teacher->displayName,
                          teacher->mustChangePassword,
                          stored.expiresAtMs};
}

bool TeacherAccounts::isValidName(const QString& name) {
    static const QRegularExpression plain(
        QStringLiteral(R"(^[A-Za-z0-9._@-]{1,%1}$)").arg(limits::teacherNameLength));
    return plain.match(name).hasMatch();
}

std::optional<QString> TeacherAccounts::displayNameFrom(const QString& typed) {
    const QString name = cleanedName(typed);
    if (name.isEmpty() || name.size() > limits::displayNameLength)
        return std::nullopt;
    return name;
}

std::optional<QString> TeacherAccounts::add(ServiceStore& store, const QString& name) {
    if (!isValidName(name) || store.teacherByName(name))
        return std::nullopt;
    const QString password = oneTimePassword();
    Teacher teacher{0, name, hashPassword(password), true, {}};
    if (password.isEmpty() || teacher.passwordHash.isEmpty() || !store.addTeacher(teacher))
        return std::nullopt;
    return password;
}

std::optional<QString> TeacherAccounts::reset(ServiceStore& store, const QString& name) {
    const auto teacher = store.teacherByName(name);
    const QString password = oneTimePassword();
    const QByteArray hash = hashPassword(password);
    if (!teacher || password.isEmpty() || hash.isEmpty() ||
        !store.setPassword(teacher->id, hash, true))
        return std::nullopt;
    return password;
}

void TeacherAccounts::offload(std::function<QByteArray()> work,
                              std::function<void(const QByteArray&)> reply) {
    workers_.start([this, work = std::move(work), reply = std::move(reply)] {
        QMetaObject::invokeMethod(
            &replies_, [reply, result = work()] { reply(result); }, Qt::QueuedConnection);
    });
}

void TeacherAccounts::login(const QString& name, const QString& password, const QString& peer,
                            const QByteArray& deviceCookie, LoginDone done) {
    const qint64 now = now_();
    const auto teacher = store_.teacherByName(name);
    const auto device = readDeviceCookie(deviceCookie, deviceKey_, now, limits::deviceCookieMs);
    // Where this attempt counts: a browser the teacher logged in from before
    // answers for its own failures only.
    QList<QPair<LoginDelays*, QString>> counted = {{&perAccount_, name}, {&perAddress_, peer}};
    if (device && teacher && device->teacherId == teacher->id)
        counted = {{&perDevice_, device->deviceId}};
    qint64 waitMs = 0;
    for (const auto& [delays, key] : counted) waitMs = std::max(waitMs, delays->waitMs(key, now));
    if (waitMs > 0) {
        QMetaObject::invokeMethod(
            &replies_,
            [done, waitMs] {
                done({TeacherLogin::Outcome::TooEarly, {}, waitMs, {}});
            },
            Qt::QueuedConnection);
        return;
    }
    for (const auto& [delays, key] : counted) delays->recordFailure(key, now);
    const QString deviceId = device ? device->deviceId : randomHex(16);
    const QByteArray hash = teacher ? teacher->passwordHash : QByteArray();
    offload(
        [password, hash] {
            const bool matches = passwordMatches(password, hash.isEmpty() ? standInHash() : hash);
            return QByteArray(matches && !hash.isEmpty() ? "1" : "");
        },
        [this, teacher, counted, deviceId, now, done](const QByteArray& matched) {
            if (matched.isEmpty())
                return done({TeacherLogin::Outcome::WrongPassword, {}, 0, {}});
            for (const auto& [delays, key] : counted) delays->takeBack(key, now);
            const QString cookie = randomHex(32);
            const TeacherSession session{cookie,
                                         csrfFor(cookie),
                                         teacher->id,
                                         teacher->name,
                                         teacher->displayName,
                                         teacher->mustChangePassword,
                                         now_() + limits::teacherSessionMs};
            const QString key = cookieHash(cookie);
            store_.deleteTeacherSessions({}, now_());
            if (cookie.isEmpty() ||
                !store_.saveTeacherSession({key, session.teacherId, session.expiresAtMs}))
                return done({TeacherLogin::Outcome::Failed, {}, 0, {}});
            sessions_.insert(key, session);
            announce(key);
            const QByteArray browser =
                deviceKey_.isEmpty() || deviceId.isEmpty()
                    ? QByteArray()
                    : signDeviceCookie({teacher->id, deviceId, now_()}, deviceKey_);
            done({TeacherLogin::Outcome::LoggedIn, session, 0, browser});
        });
}

bool TeacherAccounts::knowsBrowser(const QString& sessionCookie, const QByteArray& deviceCookie) {
    if (readDeviceCookie(deviceCookie, deviceKey_, now_(), limits::deviceCookieMs))
        return true;
    const auto found = sessions_.constFind(cookieHash(sessionCookie));
    return found != sessions_.cend() && found->expiresAtMs > now_();
}

std::optional<TeacherSession> TeacherAccounts::session(const QString& cookie, const QString& peer) {
    const QString key = cookieHash(cookie);
    const qint64 now = now_();
    auto it = sessions_.find(key);
    // Made on another instance a moment ago? A request without a cookie has none.
    if (it == sessions_.end() && store_.shared() && !cookie.isEmpty() &&
        unknownCookies_.allows(peer, now)) {
        reloadSession(key);
        it = sessions_.find(key);
        if (it == sessions_.end())
            unknownCookies_.record(peer, now);
    }
    if (it == sessions_.end())
        return std::nullopt;
    if (it->expiresAtMs <= now) {
        sessions_.erase(it);
        store_.deleteTeacherSessions(key, now);
        return std::nullopt;
    }
    TeacherSession found = *it;
    found.cookie = cookie;
    found.csrf = csrfFor(cookie);
    return found;
}

void TeacherAccounts::changePassword(qint64 teacherId, const QString& newPassword,
                                     std::function<void(bool)> done) {
    if (newPassword.size() < limits::minPasswordLength ||
        newPassword.size() > limits::maxPasswordLength) {
        QMetaObject::invokeMethod(
            &replies_, [done] { done(false); }, Qt::QueuedConnection);
        return;
    }
    offload([newPassword] { return hashPassword(newPassword); },
            [this, teacherId, done](const QByteArray& hash) {
                if (hash.isEmpty() || !store_.setPassword(teacherId, hash, false))
                    return done(false);
                for (TeacherSession& session : sessions_)
                    if (session.teacherId == teacherId)
                        session.mustChangePassword = false;
                announceSessionsOf(teacherId);
                done(true);
            });
}

bool TeacherAccounts::setDisplayName(qint64 teacherId, const QString& displayName) {
    if (!store_.setDisplayName(teacherId, displayName))
        return false;
    for (TeacherSession& session : sessions_)
        if (session.teacherId == teacherId)
            session.displayName = displayName;
    announceSessionsOf(teacherId);
    return true;
}

void TeacherAccounts::logout(const QString& cookie) {
    const QString key = cookieHash(cookie);
    sessions_.remove(key);
    if (store_.deleteTeacherSessions(key, now_()))
        announce(key);
}

void TeacherAccounts::announce(const QString& cookieHash) {
    store_.announce(ChangeNotice{ChangeNotice::Kind::TeacherSession, cookieHash}.text());
}

// The others read the account again with each of its sessions.
void TeacherAccounts::announceSessionsOf(qint64 teacherId) {
    for (auto it = sessions_.cbegin(); it != sessions_.cend(); ++it)
        if (it->teacherId == teacherId)
            announce(it.key());
}

void TeacherAccounts::reloadSession(const QString& cookieHash) {
    const quint64 failedBefore = failedStatements;
    const auto stored = store_.loadTeacherSession(cookieHash);
    if (failedStatements != failedBefore)
        return;
    const auto restored = stored ? restore(*stored) : std::nullopt;
    if (restored)
        sessions_.insert(cookieHash, *restored);
    else
        sessions_.remove(cookieHash);
}

bool TeacherAccounts::resync() {
    const quint64 failedBefore = failedStatements;
    const QList<StoredTeacherSession> stored = store_.loadTeacherSessions();
    store_.deleteLoginFailuresBefore(now_() - limits::loginFailureWindowMs);
    QHash<QString, TeacherSession> sessions;
    for (const StoredTeacherSession& one : stored)
        if (const auto restored = restore(one))
            sessions.insert(one.cookieHash, *restored);
    if (failedStatements != failedBefore)
        return false;
    sessions_ = sessions;
    return true;
}

}  // namespace kt::service
