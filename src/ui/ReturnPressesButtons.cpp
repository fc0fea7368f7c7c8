#include "ui/ReturnPressesButtons.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QQuickItem>

namespace kt {
namespace {

bool isReturnKey(const QKeyEvent& key) {
    const auto modifiers = key.modifiers() & ~Qt::KeypadModifier;
    return modifiers == Qt::NoModifier &&
           (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter);
}

// A push button of Qt Quick Controls that holds the keyboard focus.
bool isFocusedPushButton(QObject* object) {
    auto* item = qobject_cast<QQuickItem*>(object);
    return item && item->inherits("QQuickAbstractButton") && item->hasActiveFocus() &&
           item->isEnabled() && !item->property("checkable").toBool();
}

}  // namespace

void ReturnPressesButtons::install(QObject* owner) {
    if (auto* app = QCoreApplication::instance())
        app->installEventFilter(new ReturnPressesButtons(owner));
}

bool ReturnPressesButtons::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return false;
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (!isReturnKey(key) || !isFocusedPushButton(watched))
        return false;
    event->accept();
    if (type == QEvent::KeyPress && !key.isAutoRepeat())
        QMetaObject::invokeMethod(watched, "clicked");
    return true;
}

}  // namespace kt
