#include "classes/ClassRegister.h"

#include <QDateTime>
#include <QJsonDocument>

#include "limits/ServiceLimits.h"

namespace kt::service {

ClassRegister::ClassRegister(ServiceStore& store, Clock now)
    : store_(store), now_(std::move(now)), watchContactFromMs_(now_() + limits::contactWithinMs) {
    for (const ClassRecord& record : store_.loadClasses()) {
        keepClass(record);
        if (!displayNames_.contains(record.teacherId))
            refreshDisplayName(record.teacherId);
    }
    for (const StudentSession& session : store_.loadSessions()) addSession(session);
}

ClassRegister::~ClassRegister() {
    flushLastSeen();
    writeLessonEvents();
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
    keepClass(record);
    announceClass(record.code);
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
    const bool wasBlocked = record.isBlocked;
    record.code = key;
    if (const QString error = applyClassFields(document.object(), record); !error.isEmpty())
        return failure(400, QStringLiteral("Ongeldig verzoek: %1").arg(error));
    const ClassEntry entry = enter(record, serviceHost);
    switch (entry.outcome) {
        case ClassEntry::Outcome::Entered:
            if (entry.record.isBlocked != wasBlocked)  // by the administrator: no teacher's name
                logEvent(key, LessonEvent::Kind::Switched, {}, {}, entry.record.isBlocked);
            return {200, QJsonObject{{"success", true}, {"class", entry.record.toJson()}}};
        case ClassEntry::Outcome::Refused:
            return failure(entry.refusal.duplicate ? 409 : 400, entry.refusal.text);
        case ClassEntry::Outcome::NotStored:
            break;
    }
    return failure(503, QStringLiteral("the class could not be stored"));
}

void ClassRegister::keepClass(const ClassRecord& record) {
    classes_.insert(record.code, record);
    ++revision_;
}

void ClassRegister::keepDisplayName(qint64 teacherId, const QString& displayName) {
    const auto known = displayNames_.constFind(teacherId);
    if (known != displayNames_.cend() && *known == displayName)
        return;  // a join reads it again, mostly unchanged
    displayNames_.insert(teacherId, displayName);
    ++revision_;
}

void ClassRegister::refreshDisplayName(qint64 teacherId) {
    if (teacherId == 0)
        return;
    if (const auto teacher = store_.teacherById(teacherId))
        keepDisplayName(teacherId, teacher->displayName);
}

void ClassRegister::setDisplayName(qint64 teacherId, const QString& displayName) {
    keepDisplayName(teacherId, displayName);
    // The other instances read the teacher's classes again, and so the name.
    if (store_.shared())
        for (const ClassRecord& record : std::as_const(classes_))
            if (record.teacherId == teacherId)
                announceClass(record.code);
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
    if (session.departedAtMs != 0) {
        departed_.insert(session.tokenHash, session);
        return;
    }
    if (!sessions_.contains(session.tokenHash))
        ++classSizes_[session.classCode];
    sessions_.insert(session.tokenHash, session);
}

bool ClassRegister::join(const StudentSession& session) {
    if (!store_.saveSession(session))
        return false;
    addSession(session);
    announceClass(session.classCode);
    logEvent(session.classCode, LessonEvent::Kind::Joined, session.studentName);
    QStringList returned;
    for (const StudentSession& left : std::as_const(departed_))
        if (!session.deviceId.isEmpty() && left.deviceId == session.deviceId &&
            left.classCode == session.classCode)
            returned << left.tokenHash;
    endSessions(returned);
    if (const auto record = find(session.classCode))
        refreshDisplayName(record->teacherId);
    return true;
}

std::optional<StudentSession> ClassRegister::poll(const QString& tokenHash) {
    // One lookup for a session held here, as nearly every poll's is.
    auto session = sessions_.find(tokenHash);
    if (session == sessions_.end()) {
        if (holds(tokenHash) != Holding::Yes)
            return std::nullopt;
        session = sessions_.find(tokenHash);
    }
    const qint64 now = now_();
    const qint64 lastSeen = session->lastSeenMs;
    if (now - lastSeen > limits::studentSessionMs) {
        endSessions({tokenHash});
        return std::nullopt;
    }
    session->lastSeenMs = now;
    polledSinceFlush_.insert(tokenHash);
    if (!polledElsewhere_.isEmpty())
        polledElsewhere_.remove(tokenHash);
    if (!lostContact_.isEmpty() && lostContact_.remove(tokenHash)) {
        if (lostLoggedHere_.remove(tokenHash))
            logEvent(session->classCode, LessonEvent::Kind::ContactBack, session->studentName);
        else  // the instance that logged the loss logs the return, if it still runs
            leaveContactEvent(*session, LessonEvent::Kind::ContactBack, lastSeen);
    }
    return *session;
}

bool ClassRegister::endSessions(const QStringList& tokenHashes) {
    if (tokenHashes.isEmpty())
        return true;
    if (!store_.deleteSessions(tokenHashes))
        return false;
    QSet<QString> classes;
    for (const QString& hash : tokenHashes) {
        for (const auto* group : {&sessions_, &departed_})
            if (const auto it = group->constFind(hash); it != group->cend())
                classes.insert(it->classCode);
        forget(hash);
    }
    for (const QString& code : std::as_const(classes)) announceClass(code);
    return true;
}

void ClassRegister::forget(const QString& tokenHash) {
    if (const auto session = sessions_.constFind(tokenHash); session != sessions_.cend()) {
        if (--classSizes_[session->classCode] <= 0)
            classSizes_.remove(session->classCode);
        sessions_.erase(session);
    }
    departed_.remove(tokenHash);
    polledSinceFlush_.remove(tokenHash);
    for (QSet<QString>* set : {&lostContact_, &polledElsewhere_, &lostLoggedHere_})
        set->remove(tokenHash);
    if (!contactChecks_.isEmpty())
        contactChecks_.removeIf([&](const auto& check) { return check.tokenHash == tokenHash; });
}

QList<StudentSession> ClassRegister::studentsOf(const QString& code) const {
    QList<StudentSession> students;
    for (const auto* group : {&sessions_, &departed_})
        for (const StudentSession& session : *group)
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
    for (auto it = departed_.cbegin(); it != departed_.cend(); ++it)
        if (now - it->departedAtMs > limits::studentSessionMs)
            stale << it.key();
    endSessions(stale);

    QList<QPair<QString, qint64>> lastSeen;
    for (const QString& hash : std::as_const(polledSinceFlush_))
        if (const auto it = sessions_.constFind(hash); it != sessions_.cend())
            lastSeen.append({hash, it->lastSeenMs});
    if (lastSeen.isEmpty())
        return 0;
    if (!store_.saveLastSeen(lastSeen)) {
        qWarning("ka-tesmar-service: %d last polls are kept until the database takes them",
                 static_cast<int>(lastSeen.size()));
        return 0;
    }
    polledSinceFlush_.clear();
    return static_cast<int>(lastSeen.size());
}

}  // namespace kt::service
