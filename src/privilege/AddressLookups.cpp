#include "privilege/AddressLookups.h"

#include <atomic>
#include <future>
#include <memory>

#include "blocking/Validation.h"

namespace kt {
namespace {

const char* const recordTypes[] = {"A", "AAAA"};
constexpr std::size_t recordTypeCount = 2;

DigAnswer lookUp(ProcessRunner& processes, const std::string& host, const char* recordType) {
    ProcessResult result = processes.run(digRequest(host, recordType));
    // A program that cannot be started or an answer that is not UTF-8 gives nothing.
    if (!result.started || !isValidUtf8(result.standardOutput))
        return {};
    return parseDigAnswer(result.standardOutput);
}

// Collects the answers of one batch; the last one in puts them in order.
struct Batch {
    std::vector<DigAnswer> answers;
    std::atomic<std::size_t> remaining;
    std::function<void(LookupResult)> done;
    std::function<bool()> abandoned;

    Batch(std::size_t count, std::function<void(LookupResult)> done,
          std::function<bool()> abandoned)
        : answers(count),
          remaining(count),
          done(std::move(done)),
          abandoned(std::move(abandoned)) {}

    bool isAbandoned() const { return abandoned && abandoned(); }

    void finish() {
        if (isAbandoned())
            return;
        LookupResult result;
        for (auto& answer : answers) {
            result.addresses.insert(result.addresses.end(), answer.addresses.begin(),
                                    answer.addresses.end());
            result.rejectedAnswers.insert(result.rejectedAnswers.end(), answer.rejected.begin(),
                                          answer.rejected.end());
        }
        done(std::move(result));
    }
};

}  // namespace

ProcessRequest digRequest(const std::string& host, const std::string& recordType) {
    ProcessRequest request;
    request.program = "/usr/bin/dig";
    request.arguments = {"+short", "+time=2", "+tries=1", host, recordType};
    request.standardOutput = ProcessOutput::Capture;
    request.standardError = ProcessOutput::Discard;
    return request;
}

void lookUpAddresses(const std::vector<std::string>& hosts, ProcessRunner& processes,
                     WorkerThreads& workers, std::function<void(LookupResult)> done,
                     std::function<bool()> abandoned) {
    if (hosts.empty()) {
        done({});
        return;
    }
    auto batch = std::make_shared<Batch>(hosts.size() * recordTypeCount, std::move(done),
                                         std::move(abandoned));
    for (std::size_t h = 0; h < hosts.size(); ++h) {
        for (std::size_t t = 0; t < recordTypeCount; ++t) {
            std::size_t slot = h * recordTypeCount + t;
            workers.run([batch, slot, host = hosts[h], type = recordTypes[t], &processes] {
                if (!batch->isAbandoned())
                    batch->answers[slot] = lookUp(processes, host, type);
                // acq_rel: the last one sees every slot written by the others.
                if (batch->remaining.fetch_sub(1, std::memory_order_acq_rel) == 1)
                    batch->finish();
            });
        }
    }
}

LookupResult lookUpAddressesAndWait(const std::vector<std::string>& hosts, ProcessRunner& processes,
                                    WorkerThreads& workers) {
    auto promise = std::make_shared<std::promise<LookupResult>>();
    std::future<LookupResult> future = promise->get_future();
    lookUpAddresses(hosts, processes, workers,
                    [promise](LookupResult result) { promise->set_value(std::move(result)); });
    return future.get();
}

}  // namespace kt
