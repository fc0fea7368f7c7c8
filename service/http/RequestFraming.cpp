#include "http/RequestFraming.h"

#include <algorithm>

namespace kt::service {
namespace {
constexpr qsizetype startBytes = 64;
}  // namespace

RequestFraming::Verdict RequestFraming::feed(const QByteArray& bytes) {
    qsizetype at = 0;
    while (verdict_ == Verdict::Fine && at < bytes.size()) {
        if (bodyLeft_ > 0) {
            const qsizetype skipped = qMin<qint64>(bodyLeft_, bytes.size() - at);
            bodyLeft_ -= skipped;
            at += skipped;
            complete_ += bodyLeft_ == 0 ? 1 : 0;
            continue;
        }
        const qsizetype take =
            qMin<qsizetype>(bytes.size() - at, limits::maxHeadBytes - head_.size());
        const bool begins = head_.isEmpty();
        if (begins) {
            // A whole head in these bytes (a poll's, nearly always) is read where it is.
            const QByteArrayView taken = QByteArrayView(bytes).sliced(at, take);
            if (const qsizetype end = taken.indexOf("\r\n\r\n"); end >= 0) {
                start_ = taken.first(qMin(take, startBytes)).toByteArray();
                at += end + 4;
                verdict_ = headComplete(taken.first(end + 4));
                complete_ += verdict_ == Verdict::Fine && bodyLeft_ == 0 ? 1 : 0;
                continue;
            }
        }
        // Only the new bytes are searched, with three of the old in front for a split "\r\n\r\n".
        const qsizetype searchFrom = qMax<qsizetype>(0, head_.size() - 3);
        head_.append(bytes.constData() + at, take);
        if (begins || start_.size() < startBytes)
            start_ = head_.left(startBytes);
        const qsizetype end = head_.indexOf("\r\n\r\n", searchFrom);
        if (end < 0) {
            at += take;
            if (head_.size() >= limits::maxHeadBytes)  // full, and its blank line not in it
                verdict_ = Verdict::HeadTooLarge;
            continue;
        }
        at += take - (head_.size() - (end + 4));  // bytes after the head belong to the body
        head_.truncate(end + 4);
        verdict_ = headComplete(head_);
        head_.clear();
        complete_ += verdict_ == Verdict::Fine && bodyLeft_ == 0 ? 1 : 0;
    }
    return verdict_;
}

RequestFraming::Verdict RequestFraming::headComplete(QByteArrayView head) {
    // Views into the head, line by line: no copies, as every poll passes here.
    for (qsizetype at = head.indexOf('\n') + 1; at > 0 && at < head.size();) {
        const qsizetype end = head.indexOf('\n', at);
        const QByteArrayView line = head.sliced(at, (end < 0 ? head.size() : end) - at).trimmed();
        at = end + 1;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArrayView name = line.first(colon).trimmed();
        const QByteArrayView value = line.sliced(colon + 1).trimmed();
        if (name.compare("transfer-encoding", Qt::CaseInsensitive) == 0)
            return Verdict::TooLarge;  // a body of unknown length: refused like an oversized one
        if (name.compare("content-length", Qt::CaseInsensitive) == 0) {
            // Digits only: toLongLong also takes a sign, and stops at a NUL byte.
            bool ok = !value.isEmpty() && std::all_of(value.cbegin(), value.cend(),
                                                      [](char c) { return c >= '0' && c <= '9'; });
            const qint64 length = ok ? value.toLongLong(&ok) : 0;
            if (!ok || length > limits::maxBodyBytes)
                return Verdict::TooLarge;
            bodyLeft_ = length;
        }
    }
    return Verdict::Fine;
}

}  // namespace kt::service
