#pragma once

#include <functional>
#include <string>
#include <vector>

#include "blocking/RefusedTargets.h"
#include "platform/ProcessRunner.h"
#include "platform/WorkerThreads.h"

namespace kt {

// The hosts of `aiHosts` (in list order) that a blocked name asks for: H is
// chosen when, with every "www." removed from both, H contains a blocked name
// or a blocked name contains H. Literal and case-sensitive.
std::vector<std::string> selectHostsToLookUp(const std::vector<std::string>& aiHosts,
                                             const std::vector<std::string>& blockedDomains);

// The lookup program and its five arguments for one host and record type.
ProcessRequest digRequest(const std::string& host, const std::string& recordType);

struct DigAnswer {
    std::vector<std::string> addresses;  // in answer order
    std::vector<std::string> rejected;   // lines that looked like addresses but may not be used
};

// Reads dig's short-form answer: alias names, empty lines, dig's remarks
// (lines starting with ";"), the addresses
// 0.0.0.0, 127.0.0.1 and ::1 and lines without "." or ":" are skipped; each
// other line that is a single address and not refused (RefusedTargets.h)
// is used.
DigAnswer parseDigAnswer(const std::string& text);

struct LookupResult {
    std::vector<std::string> addresses;  // in host order, A before AAAA; duplicates kept
    std::vector<std::string> rejectedAnswers;
};

// Moves the addresses that the protected targets refuse from `result` to its
// rejected answers.
void refuseProtectedAnswers(LookupResult& result, const ProtectedTargets& protectedTargets);

// Looks up the A and AAAA records of every host, all at once on worker
// threads, and calls `done` once with the answers put back in host order (so
// the result equals that of looking them up one after the other). `done` runs
// on the worker that finished last, or at once on the caller's thread when
// `hosts` is empty. Once `abandoned` (if given) says so, lookups that have
// not begun are skipped and `done` is never called.
void lookUpAddressRules(const std::vector<std::string>& hosts, ProcessRunner& processes,
                        WorkerThreads& workers, std::function<void(LookupResult)> done,
                        std::function<bool()> abandoned = {});

// The same, waiting for the result. Never call it on a worker of `workers`.
LookupResult lookUpAddressRulesAndWait(const std::vector<std::string>& hosts,
                                       ProcessRunner& processes, WorkerThreads& workers);

// "DNS lookup (dig): N IPs gevonden voor 30 domeinen".
std::string lookupSummaryLine(std::size_t addressCount, std::size_t aiHostCount);

}  // namespace kt
