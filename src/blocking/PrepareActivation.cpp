#include "app/AppState.h"
#include "blocking/ActivationPlan.h"
#include "blocking/ActivationTicket.h"
#include "blocking/BlockLists.h"
#include "blocking/NameResolution.h"
#include "blocking/Validation.h"

namespace kt {

void AppState::prepareActivation(std::shared_ptr<const ActivationTicket> ticket,
                                 std::function<void(const ActivationPlan&)> completion) {
    // A copy of the lists as they are now: later status replies do not change this plan.
    auto data = std::make_shared<CheckedBlockData>(checkBlockData(blockedDomains.get(), blockIPs));
    std::vector<std::string> hosts = selectHostsToLookUp(aiHostList(), data->domains);

    std::weak_ptr<AppState> weak = weak_from_this();
    Scheduler* scheduler = ports_.scheduler;
    auto deliver = [weak, scheduler, data,
                    completion = std::move(completion)](LookupResult found) mutable {
        scheduler->post([weak, data, completion = std::move(completion), found = std::move(found)] {
            auto self = weak.lock();
            if (!self)
                return;
            self->addDebugLog(lookupSummaryLine(found.rules.size(), aiHostList().size()));
            if (auto line = rejectedInputLogLine(*data, found.rejectedAnswers))
                self->addDebugLog(*line);
            completion(makeActivationPlan(*data, found.rules));
        });
    };
    if (hosts.empty() || !ports_.processes || !ports_.workers) {
        deliver({});
        return;
    }
    lookUpAddressRules(hosts, *ports_.processes, *ports_.workers, std::move(deliver),
                       [ticket] { return ticket && ticket->isAbandoned(); });
}

}  // namespace kt
