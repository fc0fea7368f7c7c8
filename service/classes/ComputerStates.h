#pragma once

#include <QList>
#include <QString>

#include "limits/ServiceLimits.h"
#include "store/ServiceStore.h"

namespace kt::service {

// What the teacher's page shows for one student's computer.
enum class ComputerState {
    Blocked,    // the block is in force
    Free,       // nothing is blocked
    Failed,     // the last privileged run failed
    Departed,   // left while the class was blocked
    NoContact,  // no poll for a while, during a block
    NoReport,   // blocked class, and the computer has said nothing yet
};

struct ComputerView {
    StudentSession session;
    ComputerState state = ComputerState::Free;
    // When the state began: the report, the departure, the last poll for
    // NoContact, the login for a computer that reported nothing yet.
    qint64 sinceMs = 0;
    bool needsAttention = false;
};

ComputerView computerView(const StudentSession& session, bool classBlocked, qint64 nowMs);
// Those that need attention first, each group in the order given.
QList<ComputerView> computerViews(const QList<StudentSession>& sessions, bool classBlocked,
                                  qint64 nowMs);
// The name the page knows a state by: "blocked", "free", "failed", "departed"...
QString computerStateName(ComputerState state);

}  // namespace kt::service
