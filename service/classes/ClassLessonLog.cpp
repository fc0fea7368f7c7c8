// The lesson log of ClassRegister: what happened in each class, written in
// batches, kept for a number of days.
#include "classes/ClassRegister.h"

namespace kt::service {
namespace {

constexpr qint64 dayMs = 24LL * 3600 * 1000;

}  // namespace

LessonEvent ClassRegister::eventNow(const QString& code, LessonEvent::Kind kind,
                                    const QString& student) const {
    LessonEvent event;
    event.classCode = code;
    event.atMs = now_();
    event.kind = kind;
    event.student = student;
    return event;
}

void ClassRegister::logEvent(const QString& code, LessonEvent::Kind kind, const QString& student,
                             const QString& detail, bool classBlocked) {
    LessonEvent event = eventNow(code, kind, student);
    event.detail = detail;
    event.classBlocked = classBlocked;
    appendEvent(event);
}

void ClassRegister::appendEvent(const LessonEvent& event) {
    if (unwrittenEvents_.size() >= limits::unwrittenEvents) {
        qWarning("ka-tesmar-service: the lesson log cannot be written; its oldest events are lost");
        unwrittenEvents_.removeFirst();
    }
    unwrittenEvents_.append(event);
}

void ClassRegister::tick() {
    flushLastSeen();
    readOthersPolls();
    noteLostContact();
    checkContactLoggedElsewhere();
    writeLessonEvents();
    pruneLessonLog();
}

void ClassRegister::noteLostContact() {
    const qint64 now = now_();
    if (now < watchContactFromMs_)
        return;
    // Another instance's polls come in here up to two flushes late.
    const qint64 within =
        limits::contactWithinMs + (store_.shared() ? 2 * limits::lastSeenFlushMs : 0);
    for (auto it = sessions_.cbegin(); it != sessions_.cend(); ++it) {
        if (now - it->lastSeenMs <= within || lostContact_.contains(it.key()))
            continue;
        const auto record = find(it->classCode);
        if (!record || !record->isBlocked)
            continue;
        lostContact_.insert(it.key());
        if (polledElsewhere_.contains(it.key())) {
            leaveContactEvent(*it, LessonEvent::Kind::ContactLost, it->lastSeenMs);
            continue;  // that instance logs it
        }
        lostLoggedHere_.insert(it.key());
        logEvent(it->classCode, LessonEvent::Kind::ContactLost, it->studentName);
    }
}

void ClassRegister::leaveContactEvent(const StudentSession& session, LessonEvent::Kind kind,
                                      qint64 sinceMs) {
    const LessonEvent event = eventNow(session.classCode, kind, session.studentName);
    contactChecks_.append(
        {session.tokenHash, event, sinceMs, event.atMs + limits::contactCheckAfterMs});
}

void ClassRegister::checkContactLoggedElsewhere() {
    const qint64 now = now_();
    for (auto check = contactChecks_.begin(); check != contactChecks_.end();) {
        const bool lost = check->event.kind == LessonEvent::Kind::ContactLost;
        if (now < check->dueMs) {
            ++check;
            continue;
        }
        if (lost && !lostContact_.contains(check->tokenHash)) {
            check = contactChecks_.erase(check);  // back before anyone had to say it was gone
            continue;
        }
        const quint64 failedBefore = failedStatements;
        const QList<LessonEvent> events =
            lessonLog(check->event.classCode, check->sinceMs, now + 1, limits::contactCheckEvents);
        if (failedStatements != failedBefore) {
            ++check;  // asked again at the next round
            continue;
        }
        std::optional<LessonEvent::Kind> latest;  // of this student's contact events since
        for (const LessonEvent& event : events)
            if (event.student == check->event.student &&
                (event.kind == LessonEvent::Kind::ContactLost ||
                 event.kind == LessonEvent::Kind::ContactBack))
                latest = event.kind;
        // A loss nobody logged, or a logged loss whose return nobody logged:
        // the instance it was left to stopped.
        if (lost ? !latest : latest == LessonEvent::Kind::ContactLost) {
            appendEvent(check->event);
            if (lost)
                lostLoggedHere_.insert(check->tokenHash);
        }
        check = contactChecks_.erase(check);
    }
}

void ClassRegister::writeLessonEvents() {
    if (!unwrittenEvents_.isEmpty() && store_.addLessonEvents(unwrittenEvents_))
        unwrittenEvents_.clear();
}

void ClassRegister::pruneLessonLog() {
    const qint64 now = now_();
    if (now >= nextPruneMs_ && store_.deleteLessonEventsBefore(now - lessonLogDays_ * dayMs))
        nextPruneMs_ = now + limits::lessonLogPruneEveryMs;
}

QList<LessonEvent> ClassRegister::lessonLog(const QString& code, qint64 fromMs, qint64 toMs,
                                            int limit) const {
    QList<LessonEvent> events = store_.lessonEvents(code, fromMs, toMs, limit);
    for (const LessonEvent& event : unwrittenEvents_)
        if (event.classCode == code && event.atMs >= fromMs && event.atMs < toMs)
            events.append(event);
    std::stable_sort(events.begin(), events.end(),
                     [](const auto& a, const auto& b) { return a.atMs < b.atMs; });
    if (events.size() > limit)
        events.remove(0, events.size() - limit);
    return events;
}

}  // namespace kt::service
