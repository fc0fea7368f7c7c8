#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "classes/ClassRegister.h"

namespace kt::service {

// The teacher's side: a teacher reaches only the classes they own (those of
// teacher 0, the administrator's, belong to no teacher).
class TeacherClasses {
  public:
    explicit TeacherClasses(ClassRegister& classes) : classes_(classes) {}

    QList<ClassRecord> classesOf(qint64 teacherId) const;  // the newest first
    std::optional<ClassRecord> classOf(qint64 teacherId, const QString& code) const;
    // A new class with a new code and the usual names to block.
    ClassEntry createClass(qint64 teacherId, const QString& className, const QString& schoolName,
                           const QString& serviceHost);
    // Enters `changed`, a class the teacher owns; its owner and age stay.
    ClassEntry saveClassOf(qint64 teacherId, const ClassRecord& changed,
                           const QString& serviceHost);
    // The teacher's switch; the lesson log names the teacher by `byWhom`, their login name.
    ClassEntry switchBlocking(qint64 teacherId, const QString& code, bool blocked,
                              const QString& byWhom, const QString& serviceHost);
    bool removeStudent(qint64 teacherId, const QString& code, const QString& studentId,
                       const QString& byWhom);
    // Switches the block off and ends every session of the class.
    bool endLesson(qint64 teacherId, const QString& code, const QString& byWhom);
    // The newest `limit` events of the class's lesson log from `fromMs` up to
    // `toMs`, oldest first; nothing when the class is not the teacher's.
    std::optional<QList<LessonEvent>> lessonLog(qint64 teacherId, const QString& code,
                                                qint64 fromMs, qint64 toMs, int limit) const;

    // A short public name of a session for the teacher's page.
    static QString studentId(const StudentSession& session);
    static QString newClassCode();
    static QStringList defaultDomains();

  private:
    ClassRegister& classes_;
};

}  // namespace kt::service
