// The teacher's side of ClassService: only the classes a teacher owns.
#include "classes/ClassService.h"

namespace kt::service {

QList<ClassRecord> ClassService::classesOf(qint64 teacherId) const {
    QList<ClassRecord> own;
    for (const ClassRecord& record : classes_.all())
        if (teacherId != 0 && record.teacherId == teacherId)
            own << record;
    std::sort(own.begin(), own.end(), [](const ClassRecord& a, const ClassRecord& b) {
        return a.createdAtMs > b.createdAtMs;
    });
    return own;
}

std::optional<ClassRecord> ClassService::classOf(qint64 teacherId, const QString& code) const {
    const auto record = classes_.find(code);
    if (!record || teacherId == 0 || record->teacherId != teacherId)
        return std::nullopt;
    return record;
}

std::optional<ClassRecord> ClassService::createClass(qint64 teacherId, const QString& className,
                                                     const QString& schoolName) {
    ClassRecord record;
    do {
        record.code = newClassCode();
    } while (classes_.find(record.code));
    record.teacherId = teacherId;  // the students see the owner's display name
    record.className = className;
    record.schoolName = schoolName;
    record.domains = defaultDomains();
    record.createdAtMs = now_();
    if (!store_.saveClass(record))
        return std::nullopt;
    classes_.put(record);
    return record;
}

bool ClassService::saveClassOf(qint64 teacherId, const ClassRecord& changed) {
    const auto record = classOf(teacherId, changed.code);
    if (!record)
        return false;
    ClassRecord updated = changed;
    updated.teacherId = record->teacherId;  // ownership is not the caller's to change
    updated.createdAtMs = record->createdAtMs;
    if (!store_.saveClass(updated))
        return false;
    classes_.put(updated);
    return true;
}

bool ClassService::switchBlocking(qint64 teacherId, const QString& code, bool blocked,
                                  const QString& byWhom) {
    auto record = classOf(teacherId, code);
    if (!record)
        return false;
    if (record->isBlocked == blocked)
        return true;
    record->isBlocked = blocked;
    if (!saveClassOf(teacherId, *record))
        return false;
    logSwitch(record->code, blocked, byWhom);
    return true;
}

QString ClassService::studentId(const StudentSession& session) {
    return session.tokenHash.left(16);
}

QList<StudentSession> ClassService::studentsOf(const QString& code) const {
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

bool ClassService::removeStudent(qint64 teacherId, const QString& code, const QString& id,
                                 const QString& byWhom) {
    if (!classOf(teacherId, code) || id.size() != 16)
        return false;
    for (const StudentSession& session : studentsOf(code)) {
        if (studentId(session) != id)
            continue;
        if (!endSessions({session.tokenHash}))
            return false;
        if (session.departedAtMs == 0) {  // a departure's row only leaves the page
            LessonEvent removed =
                eventNow(session.classCode, LessonEvent::Kind::Removed, session.studentName);
            removed.detail = byWhom;
            logEvent(removed);
        }
        return true;
    }
    return false;
}

bool ClassService::endLesson(qint64 teacherId, const QString& code, const QString& byWhom) {
    auto record = classOf(teacherId, code);
    if (!record)
        return false;
    QStringList hashes;
    for (const StudentSession& session : studentsOf(code)) hashes << session.tokenHash;
    const bool wasBlocked = record->isBlocked;
    record->isBlocked = false;
    if (!saveClassOf(teacherId, *record) || !endSessions(hashes))
        return false;
    LessonEvent ended = eventNow(record->code, LessonEvent::Kind::LessonEnded);
    ended.detail = byWhom;
    ended.classBlocked = wasBlocked;
    logEvent(ended);
    return true;
}

}  // namespace kt::service
