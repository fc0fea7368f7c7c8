#include "platform/qt/QtModalAlert.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <vector>

namespace kt {
namespace {

QMessageBox::Icon iconFor(AlertContent::Style style) {
    switch (style) {
        case AlertContent::Style::Informational:
            return QMessageBox::Information;
        case AlertContent::Style::Warning:
            return QMessageBox::Warning;
        case AlertContent::Style::Critical:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

int QtModalAlert::runModal(const AlertContent& content) {
    QMessageBox box;
    box.setIcon(iconFor(content.style));
    box.setWindowTitle(QStringLiteral("Ka Tesmar"));
    box.setText(QString::fromStdString(content.messageText));
    box.setInformativeText(QString::fromStdString(content.informativeText));
    std::vector<QAbstractButton*> buttons;
    for (const auto& title : content.buttons)
        buttons.push_back(box.addButton(QString::fromStdString(title), QMessageBox::AcceptRole));
    if (buttons.empty())
        buttons.push_back(box.addButton(QMessageBox::Ok));
    box.setDefaultButton(qobject_cast<QPushButton*>(buttons.front()));
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i])
            return static_cast<int>(i);
    return 0;
}

}  // namespace kt
