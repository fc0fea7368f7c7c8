#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/qt/QtSettings.h"

TEST(QtSettings, StoredFlagSurvivesANewSettingsObject) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("settings.ini");
    {
        kt::QtSettings settings(path);
        EXPECT_FALSE(settings.boolValue("hasAcceptedTerms_v5", false));
        EXPECT_TRUE(settings.boolValue("hasAcceptedTerms_v5", true))
            << "absent key gives the fallback";
        settings.setBoolValue("hasAcceptedTerms_v5", true);
    }
    kt::QtSettings reopened(path);
    EXPECT_TRUE(reopened.boolValue("hasAcceptedTerms_v5", false));
    EXPECT_FALSE(reopened.boolValue("hasAcceptedTerms_v4", false));
}
