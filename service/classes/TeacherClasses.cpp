#include "classes/TeacherClasses.h"

#include <QRandomGenerator>
#include <algorithm>

#include "limits/ServiceLimits.h"

namespace kt::service {

QString TeacherClasses::newClassCode() {
    // No 0/O, 1/I/L, 2/Z, 5/S or 8/B: the code is read from the board.
    static const QString alphabet = QStringLiteral("ACDEFGHJKMNPQRTUVWXY34679");
    QString code;
    for (int i = 0; i < limits::madeCodeLength; ++i)
        code += alphabet.at(QRandomGenerator::system()->bounded(alphabet.size()));
    return code;
}

QStringList TeacherClasses::defaultDomains() {
    return {"chatgpt.com",   "openai.com",        "chat.openai.com", "claude.ai",
            "anthropic.com", "gemini.google.com", "bard.google.com", "copilot.microsoft.com",
            "perplexity.ai", "chat.mistral.ai",   "poe.com",         "character.ai",
            "you.com",       "chat.deepseek.com", "deepseek.com",    "grok.com",
            "meta.ai",       "huggingface.co"};
}

QList<ClassRecord> TeacherClasses::classesOf(qint64 teacherId) const {
    QList<ClassRecord> own;
    for (const ClassRecord& record : classes_.all())
        if (teacherId != 0 && record.teacherId == teacherId)
            own << record;
    std::sort(own.begin(), own.end(), [](const ClassRecord& a, const ClassRecord& b) {
        return a.createdAtMs > b.createdAtMs;
    });
    return own;
}

std::optional<ClassRecord> TeacherClasses::classOf(qint64 teacherId, const QString& code) const {
    const auto record = classes_.find(code);
    if (!record || teacherId == 0 || record->teacherId != teacherId)
        return std::nullopt;
    return record;
}

ClassEntry TeacherClasses::createClass(qint64 teacherId, const QString& className,
                                       const QString& schoolName, const QString& serviceHost) {
    ClassRecord record;
    do {
        record.code = newClassCode();
    } while (classes_.find(record.code));
    record.teacherId = teacherId;  // the students see the owner's display name
    record.className = className;
    record.schoolName = schoolName;
    record.domains = defaultDomains();
    return classes_.enter(record, serviceHost);
}

ClassEntry TeacherClasses::saveClassOf(qint64 teacherId, const ClassRecord& changed,
                                       const QString& serviceHost) {
    const auto record = classOf(teacherId, changed.code);
    if (!record)
        return {ClassEntry::Outcome::Refused, changed, {QStringLiteral("Klas niet gevonden")}};
    ClassRecord updated = changed;
    updated.teacherId = record->teacherId;  // ownership is not the caller's to change
    updated.teacherAccount.clear();
    updated.createdAtMs = record->createdAtMs;
    return classes_.enter(updated, serviceHost);
}

QString TeacherClasses::studentId(const StudentSession& session) {
    return session.tokenHash.left(16);
}

ClassEntry TeacherClasses::switchBlocking(qint64 teacherId, const QString& code, bool blocked,
                                          const QString& byWhom, const QString& serviceHost) {
    auto record = classOf(teacherId, code);
    if (!record)
        return {ClassEntry::Outcome::Refused, {}, {QStringLiteral("Klas niet gevonden")}};
    const bool wasBlocked = record->isBlocked;
    record->isBlocked = blocked;
    const ClassEntry entry = saveClassOf(teacherId, *record, serviceHost);
    if (entry.outcome == ClassEntry::Outcome::Entered && blocked != wasBlocked)
        classes_.logEvent(record->code, LessonEvent::Kind::Switched, {}, byWhom, blocked);
    return entry;
}

bool TeacherClasses::removeStudent(qint64 teacherId, const QString& code, const QString& id,
                                   const QString& byWhom) {
    const auto record = classOf(teacherId, code);
    if (!record || id.size() != 16)
        return false;
    for (const StudentSession& session : classes_.studentsOf(record->code)) {
        if (studentId(session) != id)
            continue;
        if (!classes_.endSessions({session.tokenHash}))
            return false;
        if (session.departedAtMs == 0)  // a departure's row only leaves the page
            classes_.logEvent(record->code, LessonEvent::Kind::Removed, session.studentName,
                              byWhom);
        return true;
    }
    return false;
}

bool TeacherClasses::endLesson(qint64 teacherId, const QString& code, const QString& byWhom) {
    auto record = classOf(teacherId, code);
    if (!record)
        return false;
    QStringList hashes;
    for (const StudentSession& session : classes_.studentsOf(record->code))
        hashes << session.tokenHash;
    const bool wasBlocked = record->isBlocked;
    record->isBlocked = false;
    if (saveClassOf(teacherId, *record, QString()).outcome != ClassEntry::Outcome::Entered ||
        !classes_.endSessions(hashes))
        return false;
    classes_.logEvent(record->code, LessonEvent::Kind::LessonEnded, {}, byWhom, wasBlocked);
    return true;
}

std::optional<QList<LessonEvent>> TeacherClasses::lessonLog(qint64 teacherId, const QString& code,
                                                            qint64 fromMs, qint64 toMs,
                                                            int limit) const {
    const auto record = classOf(teacherId, code);
    if (!record)
        return std::nullopt;
    return classes_.lessonLog(record->code, fromMs, toMs, limit);
}

}  // namespace kt::service
