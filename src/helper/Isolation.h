#pragma once

namespace kt::helper {

// What the caller could hand this process to stop it half-way: terminal
// signals and resource limits. Signals of the terminal (interrupt, quit,
// stop, hang-up, background reads and writes) and the file-size signal are
// ignored, here and in everything the helper starts; the limits are reset to
// values root works with (no file-size or CPU limit, enough descriptors).
void ignoreTerminalSignals();
void resetResourceLimits();

// Runs the rest of the helper in a session of its own, away from the
// caller's terminal and process group: the process forks, the child starts
// a new session and returns, the parent waits for it and ends with its
// status. A caller that kills the parent leaves the child to finish.
void continueInOwnSession();

}  // namespace kt::helper
