#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ManualScheduler.h"
#include "platform/Sound.h"

namespace kt::testing {

// Records the virtual time of every beep.
class FakeBeeper final : public Beeper {
  public:
    explicit FakeBeeper(const ManualScheduler& clock) : clock_(clock) {}
    void beep() override { times.push_back(clock_.elapsed().count()); }
    std::vector<double> times;

  private:
    const ManualScheduler& clock_;
};

// Records every utterance: its text, voice choice and virtual time.
class FakeSpeechSynthesizer final : public SpeechSynthesizer {
  public:
    struct Spoken {
        std::string text;
        std::string voiceIdentifier;
        std::string languageFallback;
        double at = 0;
        std::weak_ptr<Utterance> utterance;
    };

    explicit FakeSpeechSynthesizer(const ManualScheduler& clock) : clock_(clock) {}

    std::shared_ptr<Utterance> speak(const std::string& text, const std::string& voiceIdentifier,
                                     const std::string& languageFallback) override {
        auto utterance = std::make_shared<Utterance>();
        spoken.push_back(
            {text, voiceIdentifier, languageFallback, clock_.elapsed().count(), utterance});
        return utterance;
    }
    std::vector<Spoken> spoken;

  private:
    const ManualScheduler& clock_;
};

}  // namespace kt::testing
