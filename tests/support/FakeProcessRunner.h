#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "platform/ProcessRunner.h"

namespace kt::testing {

// Records every program started and answers with what the test's handler
// returns (by default: started, exit status 0, no output). Thread-safe.
class FakeProcessRunner final : public ProcessRunner {
  public:
    using Handler = std::function<ProcessResult(const ProcessRequest&)>;

    void setHandler(Handler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }

    ProcessResult run(const ProcessRequest& request) override {
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            handler = handler_;
        }
        if (handler)
            return handler(request);
        ProcessResult result;
        result.started = true;
        result.exitStatus = 0;
        return result;
    }

    std::vector<ProcessRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    static ProcessResult exited(int status, std::string out = {}, std::string err = {}) {
        ProcessResult result;
        result.started = true;
        result.exitStatus = status;
        result.standardOutput = std::move(out);
        result.standardError = std::move(err);
        return result;
    }
    static ProcessResult notStarted(std::string error) {
        ProcessResult result;
        result.startError = std::move(error);
        return result;
    }

  private:
    mutable std::mutex mutex_;
    Handler handler_;
    std::vector<ProcessRequest> requests_;
};

}  // namespace kt::testing
