#include "blocking/HostsEntry.h"

#include <algorithm>

namespace kt {

std::vector<HostsEntry> hostsEntriesFor(const std::vector<std::string>& names) {
    std::vector<HostsEntry> entries;
    for (const std::string& name : names) {
        entries.push_back({"0.0.0.0", name});
        entries.push_back({"::1", name});
        if (!name.starts_with("www.")) {
            entries.push_back({"0.0.0.0", "www." + name, true});
            entries.push_back({"::1", "www." + name, true});
        }
    }
    return entries;
}

int hostsCountOf(const std::vector<HostsEntry>& entries) {
    return static_cast<int>(std::count_if(entries.begin(), entries.end(),
                                          [](const HostsEntry& entry) { return !entry.addedWww; }));
}

int namesCountFor(int hostsCount) {
    return hostsCount / 2;
}

}  // namespace kt
