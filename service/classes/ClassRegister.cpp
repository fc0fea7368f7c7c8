#include "classes/ClassRegister.h"

#include <QDateTime>
#include <QJsonDocument>

#include "limits/ServiceLimits.h"

namespace kt::service {

ClassRegister::ClassRegister(ServiceStore& store, Clock now) : store_(store), now_(std::move(now)) {
    for (const ClassRecord& record : store_.loadClasses()) {
        classes_.insert(record.code, record);
        if (!displayNames_.contains(record.teacherId))
            refreshDisplayName(record.teacherId);
    }
    for (const StudentSession& session : store_.loadSessions()) addSession(session);
}

ClassRegister::~ClassRegister() {
    flushLastSeen();
}

qint64 ClassRegister::systemNow() {
    return QDateTime::currentMSecsSinceEpoch();
}

std::optional<ClassRecord> ClassRegister::find(const QString& code) const {
    const auto it = classes_.constFind(code.toUpper());
    if (it == classes_.constEnd())
        return std::nullopt;
    return *it;
}

ClassEntry ClassRegister::enter(ClassRecord record, const QString& serviceHost) {
    if (!record.teacherAccount.isEmpty()) {
        const auto owner = store_.teacherByName(record.teacherAccount);
        if (!owner)
            return {
                ClassEntry::Outcome::Refused,
                record,
                {QStringLiteral("Er is geen leerkrachtaccount '%1'").arg(record.teacherAccount)}};
        record.teacherId = owner->id;
    }
    if (const auto refusal = checkClass(record, classes_.value(record.code), serviceHost))
        return {ClassEntry::Outcome::Refused, record, *refusal};
    if (record.createdAtMs == 0)
        record.createdAtMs = now_();
    if (!store_.saveClass(record))
        return {ClassEntry::Outcome::NotStored, record, {}};
    classes_.insert(record.code, record);
    refreshDisplayName(record.teacherId);
    return {ClassEntry::Outcome::Entered, record, {}};
}

QString ClassRegister::importClasses(const QList<ClassRecord>& classes) {
    for (qsizetype index = 0; index < classes.size(); ++index) {
        if (find(classes.at(index).code))
            continue;
        const ClassEntry entry = enter(classes.at(index), QString());
        if (entry.outcome == ClassEntry::Outcome::Refused)
            return QStringLiteral("class %1: %2").arg(index).arg(entry.refusal.text);
        if (entry.outcome == ClassEntry::Outcome::NotStored)
            return QStringLiteral("class %1 could not be stored").arg(index);
    }
    return {};
}

ApiReply ClassRegister::updateClass(const QString& code, const QByteArray& jsonBody,
                                    const QString& serviceHost) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(jsonBody, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return failure(400, QStringLiteral("Ongeldig verzoek: verwacht een JSON-object met "
                                           "klasvelden"));
    const QString key = normalisedClassCode(code).isEmpty() ? code : normalisedClassCode(code);
    ClassRecord record = classes_.value(key);
    record.code = key;
    if (const QString error = applyClassFields(document.object(), record); !error.isEmpty())
        return failure(400, QStringLiteral("Ongeldig verzoek: %1").arg(error));
    const ClassEntry entry = enter(record, serviceHost);
    switch (entry.outcome) {
        case ClassEntry::Outcome::Entered:
            return {200, QJsonObject{{"success", true}, {"class", entry.record.toJson()}}};
        case ClassEntry::Outcome::Refused:
            return failure(entry.refusal.duplicate ? 409 : 400, entry.refusal.text);
        case ClassEntry::Outcome::NotStored:
            break;
    }
    return failure(503, QStringLiteral("the class could not be stored"));
}

void ClassRegister::refreshDisplayName(qint64 teacherId) {
    if (teacherId == 0)
        return;
    if (const auto teacher = store_.teacherById(teacherId))
        displayNames_.insert(teacherId, teacher->displayName);
}

void ClassRegister::setDisplayName(qint64 teacherId, const QString& displayName) {
    displayNames_.insert(teacherId, displayName);
}

// A class its teacher made on the page has no teacher name of its own: the
// students see the owner's display name, and without one an empty text,
// never the login name.
QJsonObject ClassRegister::classInfo(const ClassRecord& record) const {
    const QString shown = displayNames_.value(record.teacherId);
    return QJsonObject{{"class_name", record.className},
                       {"teacher_name", shown.isEmpty() ? record.teacherName : shown},
                       {"school_name", record.schoolName}};
}

void ClassRegister::addSession(const StudentSession& session) {
    if (!sessions_.contains(session.tokenHash))
        ++classSizes_[session.classCode];
    sessions_.insert(session.tokenHash, session);
}

bool ClassRegister::join(const StudentSession& session) {
    if (!store_.saveSession(session))
        return false;
    addSession(session);
    if (const auto record = find(session.classCode))
        refreshDisplayName(record->teacherId);
    return true;
}

std::optional<StudentSession> ClassRegister::poll(const QString& tokenHash) {
    const auto session = sessions_.find(tokenHash);
    if (session == sessions_.end())
        return std::nullopt;
    const qint64 now = now_();
    if (now - session->lastSeenMs > limits::studentSessionMs) {
        endSessions({tokenHash});
        return std::nullopt;
    }
    session->lastSeenMs = now;
    polledSinceFlush_.insert(tokenHash);
    return *session;
}

bool ClassRegister::endSessions(const QStringList& tokenHashes) {
    if (tokenHashes.isEmpty())
        return true;
    if (!store_.deleteSessions(tokenHashes))
        return false;
    for (const QString& hash : tokenHashes) {
        const auto session = sessions_.constFind(hash);
        if (session == sessions_.cend())
            continue;
        if (--classSizes_[session->classCode] <= 0)
            classSizes_.remove(session->classCode);
        sessions_.erase(session);
        polledSinceFlush_.remove(hash);
    }
    return true;
}

QList<StudentSession> ClassRegister::studentsOf(const QString& code) const {
    QList<StudentSession> students;
    for (const StudentSession& session : sessions_)
        if (session.classCode == code)
            students << session;
    std::sort(students.begin(), students.end(),
              [](const StudentSession& a, const StudentSession& b) {
                  return a.joinedAtMs < b.joinedAtMs;
              });
    return students;
}

int ClassRegister::flushLastSeen() {
    const qint64 now = now_();
    QStringList stale;
    for (auto it = sessions_.cbegin(); it != sessions_.cend(); ++it)
        if (now - it->lastSeenMs > limits::studentSessionMs)
            stale << it.key();
    endSessions(stale);

    QList<QPair<QString, qint64>> lastSeen;
    for (const QString& hash : std::as_const(polledSinceFlush_))
        if (const auto it = sessions_.constFind(hash); it != sessions_.cend())
            lastSeen.append({hash, it->lastSeenMs});
    if (lastSeen.isEmpty() || !store_.saveLastSeen(lastSeen))
        return 0;
    polledSinceFlush_.clear();
    return static_cast<int>(lastSeen.size());
}

}  // namespace kt::service
