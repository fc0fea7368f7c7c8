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
    // The alert holds the thread in its own event loop; answer it from there.
    QStringList shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown << box->text() << box->informativeText()
              << (box->icon() == QMessageBox::Information ? "information" : "other icon");
        for (QAbstractButton* button : box->buttons()) shown << button->text();
        box->buttons().front()->click();
    });
    EXPECT_EQ(kt::QtModalAlert().runModal(content), 0);
    EXPECT_EQ(shown,
              (QStringList{"Internetinstellingen hersteld",
                           "Eerste regel.\n\nAlles werkt nu weer normaal.", "information", "OK"}));
}
