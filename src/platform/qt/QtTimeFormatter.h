#pragma once

#include <QLocale>

#include "platform/TimeFormatter.h"

namespace kt {

class QtTimeFormatter final : public TimeFormatter {
  public:
    explicit QtTimeFormatter(QLocale locale = QLocale::system());

    std::string mediumTime(TimePoint t) const override;
    std::string shortTime(TimePoint t) const override;

  private:
    QLocale locale_;
    QString shortFormat_;
    QString mediumFormat_;
};

// The locale's short time format with seconds added after the minutes, which
// is the medium style of the common locales ("HH:mm" -> "HH:mm:ss",
// "h:mm AP" -> "h:mm:ss AP").
QString mediumTimeFormat(const QLocale& locale);

}  // namespace kt
