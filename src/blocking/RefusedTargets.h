#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

namespace kt {

// What a block must never cut off: the name servers the computer asks and
// the class service (its addresses and its host name). Without them the
// teacher could not switch the block off again.
struct ProtectedTargets {
    std::vector<std::string> addresses;  // single addresses; others are ignored
    std::vector<std::string> hostNames;
};

// The addresses of the "nameserver" lines of a resolv.conf text, in file
// order. Comments are skipped, a zone index ("%eth0") is dropped, and what is
// not a single address is left out.
std::vector<std::string> nameServersIn(std::string_view resolvConfText);

// The name servers this computer asks, also those behind a local stub
// resolver (systemd-resolved's own resolv.conf).
std::vector<std::string> computerNameServers(const FileSystem& files);

// A valid address or network is refused as a block target when it is, or
// overlaps, a loopback, link-local, multicast or unspecified address (IPv4,
// IPv6 and IPv4-mapped IPv6 alike), or when it contains a protected address.
bool isRefusedAddress(std::string_view target, const ProtectedTargets& protectedTargets);

// A blocked name is refused when one of its hosts entries (the name itself
// and "www." plus the name) would send a protected host name nowhere.
// Compared without regard to case or a trailing dot.
bool isRefusedName(std::string_view name, const ProtectedTargets& protectedTargets);

// Why a name may not be blocked, checked in this order; None when it may.
enum class NameRefusal {
    None,
    NotAHostName,  // not the syntax of a host name (see isValidHostName)
    Address,       // an address, not a name: "127.0.0.1", "10.1.2", "::1"
    ThisComputer,  // "localhost" and the names under it
    SingleLabel,   // one label, such as "x": a name of the local network or none
    LocalName,     // under a suffix that only local networks use (".local", ".lan", ...)
    Protected,     // see isRefusedName
};
// What the application refuses to block, and the teacher's page with it.
NameRefusal nameRefusal(std::string_view name, const ProtectedTargets& protectedTargets);

// Looked-up addresses split into what may be blocked and what not: only
// single addresses (never a network) that are not refused.
struct FilteredAddresses {
    std::vector<std::string> used;
    std::vector<std::string> rejected;
};
FilteredAddresses filterLookedUpAddresses(const std::vector<std::string>& addresses,
                                          const ProtectedTargets& protectedTargets);

}  // namespace kt
