// The lesson log of ClassService: what happened in each class, written in
// batches, kept for a number of days.
#include "classes/ClassService.h"
#include "classes/ComputerStates.h"

namespace kt::service {
namespace {

constexpr qint64 dayMs = 24LL * 3600 * 1000;
constexpr qint64 pruneEveryMs = 3600 * 1000;
// Events the store would not take wait for the next try, up to this many.
constexpr qsizetype maxUnwrittenEvents = 100000;

}  // namespace

void ClassService::logEvent(const LessonEvent& event) {
    if (unwrittenEvents_.size() >= maxUnwrittenEvents) {
        qWarning("ka-tesmar-service: the lesson log cannot be written; its oldest events are lost");
        unwrittenEvents_.removeFirst();
    }
    unwrittenEvents_.append(event);
}

LessonEvent ClassService::eventNow(const QString& code, LessonEvent::Kind kind,
                                   const QString& student) const {
    LessonEvent event;
    event.classCode = code;
    event.atMs = now_();
    event.kind = kind;
    event.student = student;
    return event;
}

void ClassService::logSwitch(const QString& code, bool blocked, const QString& byWhom) {
    LessonEvent switched = eventNow(code, LessonEvent::Kind::Switched);
    switched.detail = byWhom;
    switched.classBlocked = blocked;
    logEvent(switched);
}

void ClassService::tick() {
    flushLastSeen();
    noteLostContact();
    writeLessonEvents();
    pruneLessonLog();
}

void ClassService::noteLostContact() {
    const qint64 now = now_();
    if (now < watchContactFromMs_)
        return;
    for (auto it = sessions_.cbegin(); it != sessions_.cend(); ++it) {
        if (now - it->lastSeenMs <= contactWithinMs || lostContact_.contains(it.key()))
            continue;
        const auto record = classes_.find(it->classCode);
        if (!record || !record->isBlocked)
            continue;
        lostContact_.insert(it.key());
        logEvent(eventNow(it->classCode, LessonEvent::Kind::ContactLost, it->studentName));
    }
}

void ClassService::writeLessonEvents() {
    if (!unwrittenEvents_.isEmpty() && store_.addLessonEvents(unwrittenEvents_))
        unwrittenEvents_.clear();
}

void ClassService::pruneLessonLog() {
    const qint64 now = now_();
    if (now >= nextPruneMs_ && store_.deleteLessonEventsBefore(now - lessonLogDays_ * dayMs))
        nextPruneMs_ = now + pruneEveryMs;
}

std::optional<QList<LessonEvent>> ClassService::lessonLog(qint64 teacherId, const QString& code,
                                                          qint64 fromMs, qint64 toMs,
                                                          int limit) const {
    if (!classOf(teacherId, code))
        return std::nullopt;
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
