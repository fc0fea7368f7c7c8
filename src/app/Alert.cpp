#include "app/AppState.h"

namespace kt {
namespace {

constexpr const char* alertSentence =
    "Waarschuwing: Leerling heeft Ridudiziv Ka Tesmar uitgeschakeld";
constexpr const char* preferredVoice = "com.apple.speech.synthesis.voice.ellen";
constexpr const char* fallbackLanguage = "nl-BE";

}  // namespace

void AppState::playAlertSound() {
    std::weak_ptr<AppState> weak = weak_from_this();
    Scheduler* scheduler = ports_.scheduler;
    Beeper* beeper = ports_.beeper;
    SpeechSynthesizer* speech = ports_.speech;
    scheduler->post([weak, scheduler, beeper, speech] {
        if (weak.expired())
            return;
        for (int i = 0; i < 3; ++i)
            scheduler->postAfter(Seconds{i * 0.3}, [beeper] { beeper->beep(); });
        scheduler->postAfter(Seconds{1.0}, [weak, speech] {
            auto utterance = speech->speak(alertSentence, preferredVoice, fallbackLanguage);
            if (auto self = weak.lock())
                self->speechSynthesizer = std::move(utterance);
        });
    });
}

}  // namespace kt
