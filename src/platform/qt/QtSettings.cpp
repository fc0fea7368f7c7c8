#include "platform/qt/QtSettings.h"

namespace kt {

QtSettings::QtSettings() : settings_(std::make_unique<QSettings>()) {}

QtSettings::QtSettings(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

bool QtSettings::boolValue(const std::string& key, bool fallback) const {
    return settings_->value(QString::fromStdString(key), fallback).toBool();
}

void QtSettings::setBoolValue(const std::string& key, bool value) {
    settings_->setValue(QString::fromStdString(key), value);
    settings_->sync();
}

}  // namespace kt
