#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "blocking/RefusedTargets.h"

namespace kt {

// The hosts of `aiHosts` (in list order) that a blocked name asks for: H is
// chosen when, with every "www." removed from both, H contains a blocked name
// or a blocked name contains H. Literal and case-sensitive.
std::vector<std::string> selectHostsToLookUp(const std::vector<std::string>& aiHosts,
                                             const std::vector<std::string>& blockedDomains);

struct DigAnswer {
    std::vector<std::string> addresses;  // in answer order
    std::vector<std::string> rejected;   // lines that looked like addresses but may not be used
};

// Reads dig's short-form answer: alias names, empty lines, dig's remarks
// (lines starting with ";"), the addresses 0.0.0.0, 127.0.0.1 and ::1 and
// lines without "." or ":" are skipped; each other line that is a single
// address and not refused (RefusedTargets.h) is an address found, the rest
// is rejected.
DigAnswer parseDigAnswer(const std::string& text);

// What the lookups of several hosts found, and the answers they rejected.
struct LookupResult {
    std::vector<std::string> addresses;  // in host order, A before AAAA; duplicates kept
    std::vector<std::string> rejectedAnswers;
};

// Moves the addresses that the protected targets refuse from `result` to its
// rejected answers.
void refuseProtectedAnswers(LookupResult& result, const ProtectedTargets& protectedTargets);

// "DNS lookup (dig): N IPs gevonden voor 30 domeinen".
std::string lookupSummaryLine(std::size_t addressCount, std::size_t aiHostCount);

}  // namespace kt
