#include "privilege/PrivilegeSelection.h"

#include <filesystem>

#include "privilege/PrivilegeStrategies.h"

namespace kt {
namespace {

// An application that runs as root straight from its build folder uses the
// helper built beside it when none is installed.
std::string helperForRoot() {
    const std::string installed = PkexecStrategy::defaultHelperPath();
    std::error_code error;
    if (std::filesystem::exists(installed, error))
        return installed;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return installed;
    const auto beside = self.parent_path() / "ka-tesmar-helper";
    return std::filesystem::exists(beside, error) ? beside.string() : installed;
}

}  // namespace

std::unique_ptr<PrivilegeStrategy> selectPrivilegeStrategy(std::string_view profileName,
                                                           bool runsAsRoot) {
    if (runsAsRoot)
        return std::make_unique<DirectRootStrategy>(helperForRoot());
    if (profileName == "macos")
        return std::make_unique<OsascriptStrategy>();
    return std::make_unique<PkexecStrategy>();
}

}  // namespace kt
