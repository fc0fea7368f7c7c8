#pragma once

#include <map>
#include <string>

#include "platform/ProcessRunner.h"

namespace kt::testing {

// Starts a stand-in in place of a fixed system program (/usr/bin/dig,
// /usr/bin/osascript), with the same arguments, through another runner.
class RedirectingProcessRunner final : public ProcessRunner {
  public:
    RedirectingProcessRunner(ProcessRunner& inner, std::map<std::string, std::string> standIns)
        : inner_(inner), standIns_(std::move(standIns)) {}

    ProcessResult run(const ProcessRequest& request) override {
        auto it = standIns_.find(request.program);
        if (it == standIns_.end())
            return inner_.run(request);
        ProcessRequest redirected = request;
        redirected.program = it->second;
        return inner_.run(redirected);
    }

  private:
    ProcessRunner& inner_;
    std::map<std::string, std::string> standIns_;
};

}  // namespace kt::testing
