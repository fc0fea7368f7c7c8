#pragma once

#include <atomic>
#include <memory>

namespace kt {

// Set once when the application ends (quit, SIGTERM); read from any thread.
using EndingFlag = std::shared_ptr<std::atomic<bool>>;

// Decides, once and from any thread, the fate of one activation: either its
// privileged run starts, or it is called off before that (an undo, a quit or
// the end of the process came first). A called-off activation's lookups that
// still wait for a thread are skipped and its plan is never installed.
class ActivationTicket {
  public:
    explicit ActivationTicket(EndingFlag ending) : ending_(std::move(ending)) {}

    // False when the privileged run has started already: the activation
    // then runs its course.
    bool callOff() {
        State expected = State::Pending;
        return state_.compare_exchange_strong(expected, State::CalledOff);
    }

    // Just before the privileged run: true when it may start; from then on
    // callOff fails.
    bool startRun() {
        if (ending_ && ending_->load())
            return false;
        State expected = State::Pending;
        return state_.compare_exchange_strong(expected, State::Running);
    }

    bool isCalledOff() const { return state_.load() == State::CalledOff; }

    // Called off, or the application is ending: work not begun is not wanted.
    bool isAbandoned() const { return isCalledOff() || (ending_ && ending_->load()); }

  private:
    enum class State { Pending, Running, CalledOff };
    std::atomic<State> state_{State::Pending};
    EndingFlag ending_;
};

}  // namespace kt
