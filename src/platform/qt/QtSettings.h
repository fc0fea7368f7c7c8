#pragma once

#include <QSettings>
#include <QString>
#include <memory>

#include "platform/Settings.h"

namespace kt {

// The user's settings through QSettings: the platform's native store, or an
// INI file when a path is given (tests).
class QtSettings final : public Settings {
  public:
    QtSettings();
    explicit QtSettings(const QString& iniPath);

    bool boolValue(const std::string& key, bool fallback) const override;
    void setBoolValue(const std::string& key, bool value) override;

  private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace kt
