#include "app/blocking/BlockingController.h"
#include "privilege/PrivilegedRunQueue.h"

namespace kt {

void BlockingController::executeWithAdminRights(const PrivilegedCommand& command,
                                                PrivilegedCompletion completion,
                                                std::function<bool()> mayStart) {
    if (!ports_.files || !ports_.processes || !ports_.workers || !ports_.privilege) {
        ports_.scheduler->post([completion = std::move(completion)] {
            completion(false, "Geen manier om als beheerder uit te voeren");
        });
        return;
    }
    if (!privilegedRuns)
        privilegedRuns = std::make_shared<PrivilegedRunQueue>(*ports_.scheduler, *ports_.files,
                                                              *ports_.processes, *ports_.workers,
                                                              *ports_.privilege);
    privilegedRuns->submit(command, std::move(completion), std::move(mayStart));
}

void BlockingController::executeWithAdminRights(const std::string& script,
                                                PrivilegedCompletion completion,
                                                std::function<bool()> mayStart) {
    executeWithAdminRights(PrivilegedCommand::shellScript(script), std::move(completion),
                           std::move(mayStart));
}

}  // namespace kt
