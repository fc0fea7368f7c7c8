// ClassRegister on a database that several instances share: what the others
// changed, read again; the sessions they made, looked up; their polls.
#include <QSet>
#include <algorithm>

#include "classes/ClassRegister.h"
#include "store/ChangeNotice.h"

namespace kt::service {

void ClassRegister::announceClass(const QString& code) {
    store_.announce(ChangeNotice{ChangeNotice::Kind::Class, code}.text());
}

ClassRegister::Holding ClassRegister::holds(const QString& tokenHash, bool mayLookUp) {
    if (sessions_.contains(tokenHash))
        return Holding::Yes;
    if (!store_.shared())
        return Holding::No;
    return mayLookUp ? lookUp(tokenHash) : Holding::NotLookedUp;
}

ClassRegister::Holding ClassRegister::lookUp(const QString& tokenHash) {
    const quint64 failedBefore = failedStatements;
    const auto stored = store_.loadSession(tokenHash);
    if (failedStatements != failedBefore)
        return Holding::Unsure;
    if (!stored || stored->departedAtMs != 0)
        return Holding::No;
    if (!classes_.contains(stored->classCode))
        reloadClass(stored->classCode);  // made on another instance a moment ago
    else
        mergeSession(*stored);
    return sessions_.contains(tokenHash) ? Holding::Yes : Holding::No;
}

void ClassRegister::mergeSession(StudentSession stored) {
    if (const auto held = sessions_.constFind(stored.tokenHash); held != sessions_.cend()) {
        if (stored.departedAtMs != 0)
            forget(stored.tokenHash);
        else
            stored.lastSeenMs = std::max(stored.lastSeenMs, held->lastSeenMs);
    }
    addSession(stored);
}

void ClassRegister::replaceSessions(const QList<StudentSession>& stored,
                                    const std::function<bool(const StudentSession&)>& belongs) {
    QSet<QString> kept;
    for (const StudentSession& session : stored) kept.insert(session.tokenHash);
    QStringList gone;
    for (const auto* group : {&sessions_, &departed_})
        for (auto it = group->cbegin(); it != group->cend(); ++it)
            if (belongs(*it) && !kept.contains(it.key()))
                gone << it.key();
    for (const QString& hash : gone) forget(hash);
    for (const StudentSession& session : stored) mergeSession(session);
}

// A failed read is told apart from an empty answer by the count of failed
// statements: what is in memory stays until the store answers again.
void ClassRegister::reloadClass(const QString& code) {
    const quint64 failedBefore = failedStatements;
    const auto record = store_.loadClass(code);
    const QList<StudentSession> stored = store_.loadSessionsOf(code);
    if (failedStatements != failedBefore)
        return;
    if (record) {
        keepClass(*record);
        refreshDisplayName(record->teacherId);
    } else {
        classes_.remove(code);
        ++revision_;
    }
    replaceSessions(stored,
                    [&](const StudentSession& session) { return session.classCode == code; });
}

bool ClassRegister::resync() {
    const quint64 failedBefore = failedStatements;
    const QList<ClassRecord> records = store_.loadClasses();
    const QList<StudentSession> stored = store_.loadSessions();
    if (failedStatements != failedBefore)
        return false;
    classes_.clear();
    ++revision_;
    for (const ClassRecord& record : records) {
        keepClass(record);
        refreshDisplayName(record.teacherId);
    }
    replaceSessions(stored, [](const StudentSession&) { return true; });
    return true;
}

void ClassRegister::readOthersPolls() {
    if (!store_.shared())
        return;
    const qint64 now = now_();
    const quint64 failedBefore = failedStatements;
    // Each instance writes its polls every flush: from a little before the last read on.
    const auto polls = store_.lastSeenSince(othersPollsReadMs_ - 2 * limits::lastSeenFlushMs);
    if (failedStatements != failedBefore)
        return;
    othersPollsReadMs_ = now;
    for (const auto& [hash, when] : polls) {
        const auto it = sessions_.find(hash);
        if (it == sessions_.end() || when <= it->lastSeenMs)
            continue;
        it->lastSeenMs = when;
        polledElsewhere_.insert(hash);
        if (now - when <= limits::contactWithinMs && lostContact_.remove(hash) &&
            lostLoggedHere_.remove(hash))
            logEvent(it->classCode, LessonEvent::Kind::ContactBack, it->studentName);
    }
}

}  // namespace kt::service
