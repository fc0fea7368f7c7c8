#pragma once

#include <vector>

#include "ManualScheduler.h"
#include "platform/ModalAlert.h"

namespace kt::testing {

// Records every alert shown and when; the student answers with `answer`.
class FakeModalAlert final : public ModalAlert {
  public:
    struct Shown {
        AlertContent content;
        double at = 0;
    };

    explicit FakeModalAlert(const ManualScheduler& clock) : clock_(clock) {}

    int runModal(const AlertContent& content) override {
        shown.push_back({content, clock_.elapsed().count()});
        return answer;
    }

    std::vector<Shown> shown;
    int answer = 0;

  private:
    const ManualScheduler& clock_;
};

}  // namespace kt::testing
