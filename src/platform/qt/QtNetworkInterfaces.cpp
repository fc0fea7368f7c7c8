#include "platform/qt/QtNetworkInterfaces.h"

#include <QNetworkInterface>

namespace kt {

std::vector<NetworkInterfaceInfo> QtNetworkInterfaces::all() const {
    std::vector<NetworkInterfaceInfo> result;
    const auto interfaces = QNetworkInterface::allInterfaces();
    result.reserve(static_cast<std::size_t>(interfaces.size()));
    for (const QNetworkInterface& interface : interfaces) {
        NetworkInterfaceInfo info;
        info.name = interface.name().toStdString();
        info.hardwareAddress = interface.hardwareAddress().toStdString();
        info.isLoopback = interface.type() == QNetworkInterface::Loopback ||
                          interface.flags().testFlag(QNetworkInterface::IsLoopBack);
        result.push_back(std::move(info));
    }
    return result;
}

}  // namespace kt
