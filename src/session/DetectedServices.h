#pragma once

#include <string>
#include <vector>

namespace kt {

// The display names of the AI services a list of host names covers, distinct
// and sorted; "AI Services" when none is recognised.
std::vector<std::string> detectedServiceNames(const std::vector<std::string>& domains);

}  // namespace kt
