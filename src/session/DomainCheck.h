#pragma once

#include <string>
#include <vector>

namespace kt {

// The verdict of the debug panel's domain check: whether `searchDomain`
// (normalised to lower case without surrounding blanks) is on `blockedDomains`,
// and which entries of the list are similar when it is not.
std::string checkDomain(const std::string& searchDomain,
                        const std::vector<std::string>& blockedDomains);

}  // namespace kt
