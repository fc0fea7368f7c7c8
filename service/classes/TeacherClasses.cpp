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

bool TeacherClasses::removeStudent(qint64 teacherId, const QString& code, const QString& id) {
    const auto record = classOf(teacherId, code);
    if (!record || id.size() != 16)
        return false;
    for (const StudentSession& session : classes_.studentsOf(record->code))
        if (studentId(session) == id)
            return classes_.endSessions({session.tokenHash});
    return false;
}

bool TeacherClasses::endLesson(qint64 teacherId, const QString& code) {
    auto record = classOf(teacherId, code);
    if (!record)
        return false;
    QStringList hashes;
    for (const StudentSession& session : classes_.studentsOf(record->code))
        hashes << session.tokenHash;
    record->isBlocked = false;
    return saveClassOf(teacherId, *record, QString()).outcome == ClassEntry::Outcome::Entered &&
           classes_.endSessions(hashes);
}

}  // namespace kt::service
