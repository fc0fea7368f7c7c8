#pragma once

#include <cstddef>

namespace kt {

// Bounds on what the class service can make the computer do: beyond these a
// reply would only grow the scripts, the hosts file and the firewall table.
inline constexpr std::size_t maxBlockedNames = 2000;
inline constexpr std::size_t maxBlockedAddresses = 2000;

}  // namespace kt
