#include "blocking/PrivilegedRunQueue.h"

#include "app/TextUtil.h"
#include "blocking/Validation.h"

namespace kt {

PrivilegedRunQueue::PrivilegedRunQueue(Scheduler& scheduler, FileSystem& files,
                                       ProcessRunner& processes, WorkerThreads& workers,
                                       const PrivilegeStrategy& strategy)
    : scheduler_(scheduler),
      files_(files),
      processes_(processes),
      workers_(workers),
      strategy_(strategy) {}

void PrivilegedRunQueue::submit(const std::string& command, Completion completion,
                                std::function<bool()> mayStart) {
    PathResult directory = files_.createPrivateDirectory();
    if (!directory.ok()) {
        complete(std::move(completion), false, "Kon script niet schrijven: " + directory.error);
        return;
    }
    Job job{directory.path, directory.path + "/" + scriptFileName, std::move(completion),
            std::move(mayStart)};
    if (auto error = files_.writeFile(job.scriptPath, command, 0755)) {
        files_.removeTree(job.directory);
        complete(std::move(job.completion), false, "Kon script niet schrijven: " + *error);
        return;
    }

    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    if (draining_)
        return;  // the running drain takes it when its turn comes
    draining_ = true;
    workers_.run([self = shared_from_this()] { self->drain(); });
}

// On a worker: runs the queued jobs one by one until none is left.
void PrivilegedRunQueue::drain() {
    for (;;) {
        Job job;
        {
            std::lock_guard lock(mutex_);
            if (jobs_.empty()) {
                draining_ = false;
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        runOne(job);
    }
}

void PrivilegedRunQueue::runOne(Job& job) {
    if (job.mayStart && !job.mayStart()) {
        files_.removeTree(job.directory);
        complete(std::move(job.completion), false, std::nullopt);
        return;
    }
    ProcessResult result = processes_.run(strategy_.requestFor(job.scriptPath));
    files_.removeTree(job.directory);
    if (!result.started) {
        complete(std::move(job.completion), false, result.startError);
        return;
    }
    if (result.exitStatus == 0) {
        complete(std::move(job.completion), true, std::nullopt);
        return;
    }
    std::optional<std::string> error;
    if (isValidUtf8(result.standardError))
        error = text::trimmed(result.standardError);
    complete(std::move(job.completion), false, std::move(error));
}

void PrivilegedRunQueue::complete(Completion completion, bool success,
                                  std::optional<std::string> error) {
    scheduler_.post([completion = std::move(completion), success, error = std::move(error)] {
        if (completion)
            completion(success, error);
    });
}

}  // namespace kt
