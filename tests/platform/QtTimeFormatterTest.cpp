#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>

#include "platform/qt/QtTimeFormatter.h"

namespace {

kt::TimePoint localTime(int h, int m, int s) {
    const QDateTime local(QDate(2026, 3, 2), QTime(h, m, s));
    return kt::TimePoint{std::chrono::milliseconds{local.toMSecsSinceEpoch()}};
}

}  // namespace

TEST(QtTimeFormatter, DutchMediumAndShortTime) {
    const kt::QtTimeFormatter dutch(QLocale(QLocale::Dutch, QLocale::Netherlands));
    EXPECT_EQ(dutch.mediumTime(localTime(14, 3, 27)), "14:03:27");
    EXPECT_EQ(dutch.shortTime(localTime(14, 3, 27)), "14:03");
    EXPECT_EQ(dutch.mediumTime(localTime(9, 5, 1)), "09:05:01");
}

TEST(QtTimeFormatter, OtherLocalesKeepTheirOwnStyleWithSeconds) {
    const kt::QtTimeFormatter american(QLocale(QLocale::English, QLocale::UnitedStates));
    const std::string medium = american.mediumTime(localTime(14, 3, 27));
    EXPECT_NE(medium.find("2:03:27"), std::string::npos) << medium;
    EXPECT_NE(medium.find("PM"), std::string::npos) << medium;
    EXPECT_EQ(kt::mediumTimeFormat(QLocale(QLocale::German)), QStringLiteral("HH:mm:ss"));
}
