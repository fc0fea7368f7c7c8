#pragma once

#include <string>

#include "platform/PrivilegeStrategy.h"

namespace kt {

// macOS: osascript's "do shell script ... with administrator privileges",
// which asks for an administrator password and runs `bash "path"` as root.
class OsascriptStrategy final : public PrivilegeStrategy {
  public:
    std::string name() const override { return "osascript"; }
    ProcessRequest requestFor(const std::string& scriptPath) const override;
    ProcessRequest helperRequestFor(const std::string& verb) const override;

    // The one-line AppleScript source for a script path.
    static std::string sourceFor(const std::string& scriptPath);
};

// Linux: pkexec runs the root helper with one verb. Its polkit action lets
// the active local session do so without a password. Scripts are never
// handed to it.
class PkexecStrategy final : public PrivilegeStrategy {
  public:
    explicit PkexecStrategy(std::string helperPath = defaultHelperPath());

    std::string name() const override { return "pkexec"; }
    ProcessRequest requestFor(const std::string& scriptPath) const override;
    ProcessRequest helperRequestFor(const std::string& verb) const override;

    // Where the helper is installed.
    static std::string defaultHelperPath();

  private:
    std::string helperPath_;
};

// A process that already runs as root runs scripts with bash and the helper
// itself.
class DirectRootStrategy final : public PrivilegeStrategy {
  public:
    explicit DirectRootStrategy(std::string helperPath = PkexecStrategy::defaultHelperPath());

    std::string name() const override { return "root"; }
    ProcessRequest requestFor(const std::string& scriptPath) const override;
    ProcessRequest helperRequestFor(const std::string& verb) const override;

  private:
    std::string helperPath_;
};

}  // namespace kt
