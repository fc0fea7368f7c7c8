#pragma once

#include <QObject>
#include <QQmlEngine>

#include "platform/Settings.h"

namespace kt {

// The persisted consent to the terms of use, read and written by the screens.
class TermsConsent : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool accepted READ accepted WRITE setAccepted NOTIFY acceptedChanged)

  public:
    static constexpr const char* settingsKey = "hasAcceptedTerms_v5";

    explicit TermsConsent(Settings& settings, QObject* parent = nullptr);

    // The consent installUi provided, for the engine that creates the singleton.
    static inline TermsConsent* provided = nullptr;
    static TermsConsent* create(QQmlEngine*, QJSEngine*);

    bool accepted() const;
    void setAccepted(bool accepted);

  signals:
    void acceptedChanged();

  private:
    Settings& settings_;
};

}  // namespace kt
