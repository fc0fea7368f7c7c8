#include "classes/ComputerStates.h"

#include <algorithm>

namespace kt::service {

ComputerView computerView(const StudentSession& session, bool classBlocked, qint64 nowMs) {
    const auto view = [&](ComputerState state, qint64 sinceMs, bool attention) {
        return ComputerView{session, state, sinceMs, attention};
    };
    if (session.departedAtMs != 0)
        return view(ComputerState::Departed, session.departedAtMs, true);
    if (classBlocked && nowMs - session.lastSeenMs > limits::contactWithinMs)
        return view(ComputerState::NoContact, session.lastSeenMs, true);
    const StudentReport& report = session.report;
    switch (report.state) {
        case ReportedState::Failed:  // a failed undo may leave the computer half blocked
            return view(ComputerState::Failed, report.atMs, true);
        case ReportedState::Blocked:
            return view(ComputerState::Blocked, report.atMs, !classBlocked);
        case ReportedState::Free:
            return view(ComputerState::Free, report.atMs, classBlocked);
        case ReportedState::None:
            break;
    }
    // A computer that joined a free class runs nothing, and so reports nothing.
    return classBlocked ? view(ComputerState::NoReport, session.joinedAtMs, true)
                        : view(ComputerState::Free, session.joinedAtMs, false);
}

QList<ComputerView> computerViews(const QList<StudentSession>& sessions, bool classBlocked,
                                  qint64 nowMs) {
    QList<ComputerView> views;
    for (const StudentSession& session : sessions)
        views.append(computerView(session, classBlocked, nowMs));
    std::stable_partition(views.begin(), views.end(),
                          [](const ComputerView& view) { return view.needsAttention; });
    return views;
}

QString computerStateName(ComputerState state) {
    switch (state) {
        case ComputerState::Blocked:
            return QStringLiteral("blocked");
        case ComputerState::Free:
            return QStringLiteral("free");
        case ComputerState::Failed:
            return QStringLiteral("failed");
        case ComputerState::Departed:
            return QStringLiteral("departed");
        case ComputerState::NoContact:
            return QStringLiteral("no_contact");
        case ComputerState::NoReport:
            return QStringLiteral("no_report");
    }
    return {};
}

}  // namespace kt::service
