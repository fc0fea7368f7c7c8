#pragma once

#include <string>
#include <vector>

namespace kt {

// One line of the application's block in the hosts file: `name` sent
// nowhere, for one address family.
struct HostsEntry {
    std::string address;  // "0.0.0.0" (IPv4) or "::1" (IPv6)
    std::string name;     // a checked host name
    // The "www." form added for a blocked name: the hosts figure leaves it out.
    bool addedWww = false;

    bool operator==(const HostsEntry&) const = default;
};

// For each name, in list order: "0.0.0.0 N" and "::1 N", then the same two
// for "www.N" unless N starts with "www.".
std::vector<HostsEntry> hostsEntriesFor(const std::vector<std::string>& names);

// The displayed hosts figure: two per blocked name, duplicates counted.
int hostsCountOf(const std::vector<HostsEntry>& entries);
// The number of names a hosts figure stands for.
int namesCountFor(int hostsCount);

}  // namespace kt
