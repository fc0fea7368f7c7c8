#pragma once

#include <memory>
#include <string>

namespace kt {

// The system's short warning sound.
class Beeper {
  public:
    virtual ~Beeper() = default;
    // Plays one beep and returns at once.
    virtual void beep() = 0;
};

// One utterance being spoken; speech stops when it is destroyed.
class Utterance {
  public:
    virtual ~Utterance() = default;
};

// Text to speech.
class SpeechSynthesizer {
  public:
    virtual ~SpeechSynthesizer() = default;
    // Starts speaking `text` with the voice `voiceIdentifier` when it is
    // installed, else with a voice for `languageFallback` ("nl-BE"), else with
    // the default voice. Returns at once; the speech lasts as long as the
    // returned utterance lives (or until it has been spoken).
    virtual std::shared_ptr<Utterance> speak(const std::string& text,
                                             const std::string& voiceIdentifier,
                                             const std::string& languageFallback) = 0;
};

}  // namespace kt
