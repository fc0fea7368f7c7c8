#include <mutex>

#include "app/blocking/BlockingController.h"
#include "blocking/ActivationPlan.h"
#include "blocking/BlockLists.h"
#include "blocking/RefusedTargets.h"
#include "blocking/Validation.h"
#include "privilege/ActivationTicket.h"
#include "privilege/AddressLookups.h"
#include "session/ServiceUrls.h"

namespace kt {
namespace {

// The lookups of the AI hosts and of the class service's host run at once;
// the one that ends last hands both on.
struct Lookups {
    std::mutex mutex;
    int remaining = 2;
    LookupResult aiHosts;
    LookupResult service;
};

}  // namespace

void BlockingController::prepareActivation(std::shared_ptr<const ActivationTicket> ticket,
                                           std::function<void(const ActivationPlan&)> completion) {
    // What the block must leave reachable, so that the teacher can lift it.
    ProtectedTargets protectedTargets;
    if (ports_.files)
        protectedTargets.addresses = computerNameServers(*ports_.files);
    const std::string host = serviceHost(serviceURL).value_or("");
    std::vector<std::string> serviceHosts;  // looked up now: its addresses may have changed
    if (isSingleAddress(host)) {
        protectedTargets.addresses.push_back(host);
    } else if (!host.empty()) {
        protectedTargets.hostNames.push_back(host);
        serviceHosts.push_back(host);
    }

    // The lists as they are now: later status replies do not change this plan.
    // The names are checked now, the addresses once the class service's own
    // addresses are known.
    CheckedBlockData names = checkBlockedNames(followed_.domains, protectedTargets);
    const std::vector<std::string> ips = followed_.ips;
    const std::vector<std::string> hosts = selectHostsToLookUp(aiHostList(), names.domains);

    std::weak_ptr<BlockingController> weak = weak_from_this();
    Scheduler* scheduler = ports_.scheduler;
    auto deliver = [weak, scheduler, names = std::move(names), ips, protectedTargets,
                    completion = std::move(completion)](LookupResult found,
                                                        LookupResult service) mutable {
        scheduler->post([weak, data = std::move(names), ips, protectedTargets,
                         completion = std::move(completion), found = std::move(found),
                         service = std::move(service)]() mutable {
            auto self = weak.lock();
            if (!self)
                return;
            protectedTargets.addresses.insert(protectedTargets.addresses.end(),
                                              service.addresses.begin(), service.addresses.end());
            checkBlockedAddresses(data, ips, protectedTargets);
            refuseProtectedAnswers(found, protectedTargets);
            self->state_.addDebugLog(
                lookupSummaryLine(found.addresses.size(), aiHostList().size()));
            if (auto line = rejectedInputLogLine(data, found.rejectedAnswers))
                self->state_.addDebugLog(*line);
            if (auto line = overLimitLogLine(data))
                self->state_.addDebugLog(*line);
            ActivationPlan plan = makeActivationPlan(data, found.addresses);
            plan.helperRequest = {data.domains, data.ips, found.addresses,
                                  protectedTargets.addresses, protectedTargets.hostNames};
            completion(plan);
        });
    };
    if (!ports_.processes || !ports_.workers) {
        deliver({}, {});
        return;
    }
    auto lookups = std::make_shared<Lookups>();
    auto finish = [lookups, deliver = std::move(deliver)](bool ofService,
                                                          LookupResult result) mutable {
        std::unique_lock lock(lookups->mutex);
        (ofService ? lookups->service : lookups->aiHosts) = std::move(result);
        if (--lookups->remaining > 0)
            return;
        lock.unlock();
        deliver(std::move(lookups->aiHosts), std::move(lookups->service));
    };
    auto shared = std::make_shared<decltype(finish)>(std::move(finish));
    auto abandoned = [ticket] { return ticket && ticket->isAbandoned(); };
    lookUpAddresses(
        hosts, *ports_.processes, *ports_.workers,
        [shared](LookupResult r) { (*shared)(false, std::move(r)); }, abandoned);
    lookUpAddresses(
        serviceHosts, *ports_.processes, *ports_.workers,
        [shared](LookupResult r) { (*shared)(true, std::move(r)); }, abandoned);
}

}  // namespace kt
