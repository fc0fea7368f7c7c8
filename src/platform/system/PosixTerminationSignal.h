#pragma once

#include "platform/TerminationSignal.h"

namespace kt {

// SIGTERM through a self-pipe: the handler only writes one byte, a dedicated
// thread waiting on the pipe runs the response and ends the process with
// status 0. Running processes and waiting is not safe in signal context.
// There is one handler per process, so only the first instance installs it.
class PosixTerminationSignal final : public TerminationSignal {
  public:
    void onTerminationSignal(std::function<void()> respond) override;
};

}  // namespace kt
