#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ProcessRunner.h"
#include "platform/WorkerThreads.h"
#include "privilege/NameResolution.h"

namespace kt {

// The lookup program and its five arguments for one host and record type.
ProcessRequest digRequest(const std::string& host, const std::string& recordType);

// Looks up the A and AAAA records of every host with dig, all at once on
// worker threads, and calls `done` once with the answers put back in host
// order (so the result equals that of looking them up one after the other).
// `done` runs on the worker that finished last, or at once on the caller's
// thread when `hosts` is empty. Once `abandoned` (if given) says so, lookups
// that have not begun are skipped and `done` is never called.
void lookUpAddresses(const std::vector<std::string>& hosts, ProcessRunner& processes,
                     WorkerThreads& workers, std::function<void(LookupResult)> done,
                     std::function<bool()> abandoned = {});

// The same, waiting for the result. Never call it on a worker of `workers`.
LookupResult lookUpAddressesAndWait(const std::vector<std::string>& hosts, ProcessRunner& processes,
                                    WorkerThreads& workers);

}  // namespace kt
