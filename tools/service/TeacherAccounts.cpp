#include "TeacherAccounts.h"

#include <QRegularExpression>

#include "Passwords.h"

namespace kt::service {

TeacherAccounts::TeacherAccounts(ServiceStore& store, Clock now)
    : store_(store),
      now_(std::move(now)),
      perAddress_(30, 15 * 60 * 1000),
      perAccount_(10, 15 * 60 * 1000) {}

bool TeacherAccounts::isValidName(const QString& name) {
    static const QRegularExpression plain(QStringLiteral(R"(^[A-Za-z0-9._@-]{1,64}$)"));
    return plain.match(name).hasMatch();
}

std::optional<QString> TeacherAccounts::add(ServiceStore& store, const QString& name) {
    if (!isValidName(name) || store.teacherByName(name))
        return std::nullopt;
    const QString password = oneTimePassword();
    Teacher teacher{0, name, hashPassword(password), true};
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

TeacherLogin TeacherAccounts::login(const QString& name, const QString& password,
                                    const QString& peer) {
    const qint64 now = now_();
    if (!perAddress_.allows(peer, now) || !perAccount_.allows(name, now))
        return {TeacherLogin::Outcome::TooManyAttempts, {}};
    const auto teacher = store_.teacherByName(name);
    // An unknown name costs as much time as a wrong password: no one learns which names exist.
    static const QByteArray standIn = hashPassword(randomHex(16));
    if (!passwordMatches(password, teacher ? teacher->passwordHash : standIn) || !teacher) {
        perAddress_.record(peer, now);
        perAccount_.record(name, now);
        return {TeacherLogin::Outcome::WrongPassword, {}};
    }
    TeacherSession session{randomHex(32),
                           randomHex(32),
                           teacher->id,
                           teacher->name,
                           teacher->mustChangePassword,
                           now + sessionLifetimeMs};
    if (session.cookie.isEmpty() || session.csrf.isEmpty())
        return {TeacherLogin::Outcome::Failed, {}};
    sessions_.insert(session.cookie, session);
    return {TeacherLogin::Outcome::LoggedIn, session};
}

std::optional<TeacherSession> TeacherAccounts::session(const QString& cookie) {
    const auto it = sessions_.find(cookie);
    if (it == sessions_.end())
        return std::nullopt;
    if (it->expiresAtMs <= now_()) {
        sessions_.erase(it);
        return std::nullopt;
    }
    return *it;
}

bool TeacherAccounts::changePassword(const QString& cookie, const QString& newPassword) {
    const auto current = session(cookie);
    if (!current || newPassword.size() < 10 || newPassword.size() > 200)
        return false;
    const QByteArray hash = hashPassword(newPassword);
    if (hash.isEmpty() || !store_.setPassword(current->teacherId, hash, false))
        return false;
    sessions_[cookie].mustChangePassword = false;
    return true;
}

void TeacherAccounts::logout(const QString& cookie) {
    sessions_.remove(cookie);
}

}  // namespace kt::service
