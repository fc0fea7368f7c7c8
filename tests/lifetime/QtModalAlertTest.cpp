#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "platform/qt/QtModalAlert.h"

TEST(QtModalAlert, ShowsTheTextsAndWaitsForTheButton) {
    kt::AlertContent content;
    content.style = kt::AlertContent::Style::Informational;
    content.messageText = "Internetinstellingen hersteld";
    content.informativeText = "Eerste regel.\n\nAlles werkt nu weer normaal.";
    content.buttons = {"OK"};

    QString shownText, shownInformative;
    QStringList shownButtons;
    QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
    bool sawBox = false;
    // The alert holds the thread in its own event loop; answer it from there.
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        sawBox = true;
        shownText = box->text();
        shownInformative = box->informativeText();
        shownIcon = box->icon();
        for (QAbstractButton* button : box->buttons()) shownButtons << button->text();
        box->buttons().front()->click();
    });

    kt::QtModalAlert alert;
    EXPECT_EQ(alert.runModal(content), 0);
    ASSERT_TRUE(sawBox) << "no modal message box was shown";
    EXPECT_EQ(shownText, QStringLiteral("Internetinstellingen hersteld"));
    EXPECT_EQ(shownInformative, QStringLiteral("Eerste regel.\n\nAlles werkt nu weer normaal."));
    EXPECT_EQ(shownIcon, QMessageBox::Information);
    EXPECT_EQ(shownButtons, QStringList{QStringLiteral("OK")});
}
