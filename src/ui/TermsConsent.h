#pragma once

#include <QObject>

#include "platform/Settings.h"

namespace kt {

// The persisted consent to the terms of use, read and written by the screens.
class TermsConsent : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool accepted READ accepted WRITE setAccepted NOTIFY acceptedChanged)

  public:
    static constexpr const char* settingsKey = "hasAcceptedTerms_v5";

    explicit TermsConsent(Settings& settings, QObject* parent = nullptr);

    bool accepted() const;
    void setAccepted(bool accepted);

  signals:
    void acceptedChanged();

  private:
    Settings& settings_;
};

}  // namespace kt
