#pragma once

#include <QString>
#include <QStringView>

namespace kt::service {

// `text` made safe for one line of the request log, whatever a client put in
// it: ASCII control characters and the backslash become \xHH, every other
// character that is not printable (C1 controls, format and bidi characters,
// line and paragraph separators, unassigned code points, lone surrogates)
// becomes \u{HHHH}. Bytes that were not valid UTF-8 arrive here as U+FFFD.
QString escapedForLog(QStringView text);

// Now in UTC as the log's lines begin (ISO 8601, to the second).
QString logTime();

}  // namespace kt::service
