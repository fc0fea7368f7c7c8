#include "app/blocking/BlockingController.h"
#include "blocking/ActivationPlan.h"
#include "blocking/SystemProfile.h"

namespace kt {

const SystemProfile& BlockingController::systemProfile() const {
    if (const SystemProfile* profile = profileNamed(ports_.systemProfileName))
        return *profile;
    return *profileNamed("macos");
}

std::string BlockingController::buildActivateCommand(const ActivationPlan& plan) const {
    std::string home = ports_.files ? ports_.files->homeDirectory() : std::string();
    return systemProfile().activationScript(plan, home);
}

PrivilegedCommand BlockingController::activationCommand(const ActivationPlan& plan) const {
    if (systemProfile().usesRootHelper())
        return PrivilegedCommand::helper("activate", encodeHelperRequest(plan.helperRequest));
    return PrivilegedCommand::shellScript(buildActivateCommand(plan));
}

PrivilegedCommand BlockingController::undoCommand() const {
    if (systemProfile().usesRootHelper())
        return PrivilegedCommand::helper("deactivate");
    return PrivilegedCommand::shellScript(systemProfile().undoCommand());
}

PrivilegedCommand BlockingController::restoreCommand(RestoreVariant variant,
                                                     bool backupPresent) const {
    if (systemProfile().usesRootHelper())
        return PrivilegedCommand::helper("restore");
    return PrivilegedCommand::shellScript(systemProfile().restoreCommand(variant, backupPresent));
}

}  // namespace kt
