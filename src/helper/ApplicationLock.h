#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace kt::helper {

// The account the helper works for: pkexec's caller (PKEXEC_UID, read
// before the environment is cleared), or the real user when the helper is
// run directly (root).
uid_t callerAccount(const char* pkexecUid);

// Makes `path` the lock file that only `owner` (and root) can hold: the
// owner's regular file, mode 0600, with one link. Anything else there is
// replaced by a new file renamed over it, so a descriptor that another
// account opened earlier locks a file nobody looks at any more. Returns why
// it failed, or nothing.
std::optional<std::string> provideApplicationLock(const std::string& path, uid_t owner);

}  // namespace kt::helper
