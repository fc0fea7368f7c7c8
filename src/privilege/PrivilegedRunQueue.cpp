#include "privilege/PrivilegedRunQueue.h"

#include "blocking/Validation.h"
#include "text/TextUtil.h"

namespace kt {

std::optional<std::string> privilegedErrorText(const ProcessResult& result) {
    if (!result.started)
        return result.startError;
    if (!isValidUtf8(result.standardError))
        return std::nullopt;
    std::string text = text::trimmed(result.standardError);
    if (text.empty())
        return std::nullopt;
    return text;
}

PrivilegedRunQueue::PrivilegedRunQueue(Scheduler& scheduler, FileSystem& files,
                                       ProcessRunner& processes, WorkerThreads& workers,
                                       const PrivilegeStrategy& strategy)
    : scheduler_(scheduler),
      files_(files),
      processes_(processes),
      workers_(workers),
      strategy_(strategy) {}

void PrivilegedRunQueue::submit(const PrivilegedCommand& command, Completion completion,
                                std::function<bool()> mayStart) {
    Job job;
    job.completion = std::move(completion);
    job.mayStart = std::move(mayStart);
    if (command.usesHelper()) {
        job.request = strategy_.helperRequestFor(command.helperVerb);
        job.request.standardInput = command.helperInput;
    } else {
        PathResult directory = files_.createPrivateDirectory();
        if (!directory.ok()) {
            complete(std::move(job.completion), false,
                     "Kon script niet schrijven: " + directory.error);
            return;
        }
        job.directory = directory.path;
        const std::string scriptPath = directory.path + "/" + scriptFileName;
        if (auto error = files_.writeFile(scriptPath, command.script, 0755)) {
            files_.removeTree(job.directory);
            complete(std::move(job.completion), false, "Kon script niet schrijven: " + *error);
            return;
        }
        job.request = strategy_.requestFor(scriptPath);
    }
    if (job.request.program.empty()) {
        if (!job.directory.empty())
            files_.removeTree(job.directory);
        complete(std::move(job.completion), false,
                 "Geen manier om dit als beheerder uit te voeren (" + strategy_.name() + ")");
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
        if (!job.directory.empty())
            files_.removeTree(job.directory);
        complete(std::move(job.completion), false, std::nullopt);
        return;
    }
    ProcessResult result = processes_.run(job.request);
    if (!job.directory.empty())
        files_.removeTree(job.directory);
    const bool success = result.started && result.exitStatus == 0;
    complete(std::move(job.completion), success,
             success ? std::nullopt : privilegedErrorText(result));
}

void PrivilegedRunQueue::complete(Completion completion, bool success,
                                  std::optional<std::string> error) {
    scheduler_.post([completion = std::move(completion), success, error = std::move(error)] {
        if (completion)
            completion(success, error);
    });
}

}  // namespace kt
