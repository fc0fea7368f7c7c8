#pragma once

#include <string>
#include <vector>

#include "platform/Sound.h"

namespace kt {

// An audible beep on a desktop: a short tone, written once as a WAV file,
// played by the first sound player that works (PulseAudio, then ALSA), else
// the terminal bell. The player runs detached, so a beep given just before
// the application ends still sounds.
class ToneBeeper final : public Beeper {
  public:
    struct Options {
        std::string wavePath;                           // where the tone is kept
        std::vector<std::vector<std::string>> players;  // each is a command; the file is appended
        std::string bellDevice = "/dev/tty";            // the last resort
    };

    // The tone in the user's cache folder, paplay, then aplay, then the bell.
    ToneBeeper();
    explicit ToneBeeper(Options options);

    void beep() override;

    // The shell text that plays "$1" and rings "$2" when no player managed.
    std::string playScript() const;
    const Options& options() const { return options_; }

  private:
    Options options_;
    bool toneWritten_ = false;
};

}  // namespace kt
