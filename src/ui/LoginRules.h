#pragma once

#include <QObject>
#include <QQmlEngine>
#include <QString>

namespace kt {

// The text rules of the login screen, as the QML singleton `LoginRules`.
class LoginRules : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

  public:
    using QObject::QObject;

    // At most 6 characters, then upper case (which may make it longer: "ß"
    // becomes "SS"); run again on its own result until it changes nothing.
    Q_INVOKABLE static QString correctedClassCode(const QString& text);
    Q_INVOKABLE static bool canLogin(bool isLoading, const QString& studentName,
                                     const QString& classCode);
};

}  // namespace kt
