#pragma once

#include "platform/ProcessRunner.h"

namespace kt {

// Runs programs with posix_spawn. Pipes are opened close-on-exec, so a
// child started on another thread at the same moment never holds them open.
class PosixProcessRunner final : public ProcessRunner {
  public:
    ProcessResult run(const ProcessRequest& request) override;
};

}  // namespace kt
