#include "platform/system/PrivilegeSelection.h"

#include <unistd.h>

#include "blocking/PrivilegeStrategies.h"

namespace kt {

std::unique_ptr<PrivilegeStrategy> selectPrivilegeStrategy(std::string_view profileName) {
    if (::geteuid() == 0)
        return std::make_unique<DirectRootStrategy>();
    if (profileName == "macos")
        return std::make_unique<OsascriptStrategy>();
    return std::make_unique<PkexecStrategy>();
}

}  // namespace kt
