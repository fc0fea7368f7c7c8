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

namespace kt {

// Runs shell commands as the administrator, one after the other in the order
// they were given, so an activation and a deactivation never overlap. Each
// command is written into a script in a fresh private folder (mode 700),
// which is removed after its run. Completions run on the main queue, exactly
// once per command.
class PrivilegedRunQueue : public std::enable_shared_from_this<PrivilegedRunQueue> {
  public:
    using Completion = std::function<void(bool success, std::optional<std::string> error)>;

    // The ports must outlive the queue and every run in it.
    PrivilegedRunQueue(Scheduler& scheduler, FileSystem& files, ProcessRunner& processes,
                       WorkerThreads& workers, const PrivilegeStrategy& strategy);

    // Writes the script now and queues its run. Main thread. When its turn
    // comes, `mayStart` (if given) is asked first; on false the run is left
    // out and completes with failure and no error text.
    void submit(const std::string& command, Completion completion,
                std::function<bool()> mayStart = {});

    static constexpr const char* scriptFileName = "ka_tesmar_activate.sh";

  private:
    struct Job {
        std::string directory;
        std::string scriptPath;
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
