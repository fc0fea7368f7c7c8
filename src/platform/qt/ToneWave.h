#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kt {

// A short sine tone as a complete WAV file (16-bit PCM, mono), with short
// fades so that it starts and ends without a click.
std::string makeToneWave(double frequencyHz, double seconds, int sampleRate = 44100,
                         double amplitude = 0.5);

// What the header of a PCM WAV file says about its sound.
struct WaveInfo {
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    std::uint32_t dataBytes = 0;
    double seconds() const;
};

// Reads the "fmt " and "data" chunks of a RIFF/WAVE file; nothing when it is
// not one. A data size larger than the file (as streaming writers leave it)
// is cut to what the file holds.
std::optional<WaveInfo> readWaveInfo(const std::string& bytes);

}  // namespace kt
