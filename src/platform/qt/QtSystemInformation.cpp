#include "platform/qt/QtSystemInformation.h"

#include <QString>
#include <QSysInfo>

namespace kt {

std::string QtSystemInformation::operatingSystemVersion() const {
    return QSysInfo::prettyProductName().toStdString();
}

}  // namespace kt
