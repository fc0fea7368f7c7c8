#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/FileSystem.h"
#include "platform/PrivilegeStrategy.h"
#include "platform/ProcessRunner.h"
#include "platform/Scheduler.h"
#include "platform/WorkerThreads.h"
#include "privilege/PrivilegedCommand.h"

namespace kt {

// Why a privileged run failed, as far as it says: the start error, or its
// error output when that is readable text. Nothing when it said nothing.
std::optional<std::string> privilegedErrorText(const ProcessResult& result);

// Runs blocking steps as the administrator, one after the other in the order
// they were given, so an activation and a deactivation never overlap. A
// shell script is written into a fresh private folder (mode 700), which is
// removed after its run; a helper verb gets its request on standard input.
// Completions run on the main queue, exactly once per command.
class PrivilegedRunQueue : public std::enable_shared_from_this<PrivilegedRunQueue> {
  public:
    using Completion = std::function<void(bool success, std::optional<std::string> error)>;

    // The ports must outlive the queue and every run in it.
    PrivilegedRunQueue(Scheduler& scheduler, FileSystem& files, ProcessRunner& processes,
                       WorkerThreads& workers, const PrivilegeStrategy& strategy);

    // Writes the script now (if any) and queues the run. Main thread. When
    // its turn comes, `mayStart` (if given) is asked first; on false the run
    // is left out and completes with failure and no error text.
    void submit(const PrivilegedCommand& command, Completion completion,
                std::function<bool()> mayStart = {});
    void submit(const std::string& script, Completion completion,
                std::function<bool()> mayStart = {}) {
        submit(PrivilegedCommand::shellScript(script), std::move(completion), std::move(mayStart));
    }

    static constexpr const char* scriptFileName = "ka_tesmar_activate.sh";

  private:
    struct Job {
        std::string directory;  // empty for a helper verb
        ProcessRequest request;
        Completion completion;
        std::function<bool()> mayStart;
    };

    void drain();
    void runOne(Job& job);
    void complete(Completion completion, bool success, std::optional<std::string> error);

    Scheduler& scheduler_;
    FileSystem& files_;
    ProcessRunner& processes_;
    WorkerThreads& workers_;
    const PrivilegeStrategy& strategy_;

    std::mutex mutex_;
    std::deque<Job> jobs_;
    bool draining_ = false;
};

}  // namespace kt
