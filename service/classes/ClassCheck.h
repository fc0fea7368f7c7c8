#pragma once

#include <QString>
#include <optional>

#include "store/ClassRecord.h"

namespace kt::service {

// Why a class may not come in, in Dutch for whoever sent it, naming the item.
struct ClassRefusal {
    QString text;
    bool duplicate = false;  // a name or address the list holds already
};

// The one check of a class on its way in, whichever way it comes (the class
// file, the administrator's PUT, the teacher's page): its code; its names,
// at most limits::classNameLength and valid Unicode; the names it blocks,
// refused as the students' application refuses them (the service's own
// `serviceHost` included), its addresses (valid, not the computer's own nor
// wider than the application blocks), its ranges (of single addresses), no
// item twice and the lists within their limits. Only what differs from
// `before` (the class as it is, or an empty record for a new one) is
// checked, so that a switch or an ended lesson never waits on what an older
// version let in.
std::optional<ClassRefusal> checkClass(const ClassRecord& record, const ClassRecord& before,
                                       const QString& serviceHost);

// A class code: 1 to limits::classCodeLength ASCII letters and digits.
// Returns it in upper case, or an empty text when it is not a valid code.
QString normalisedClassCode(const QString& code);

}  // namespace kt::service
