#include "platform/qt/ToneWave.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kt {
namespace {

void putLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint32_t getLittleEndian(const std::string& in, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
    return value;
}

}  // namespace

std::string makeToneWave(double frequencyHz, double seconds, int sampleRate, double amplitude) {
    const auto frames = static_cast<std::uint32_t>(std::lround(seconds * sampleRate));
    const std::uint32_t dataBytes = frames * 2;
    const double fadeFrames = std::max(1.0, 0.005 * sampleRate);

    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    putLittleEndian(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    putLittleEndian(out, 16, 4);  // fmt chunk size
    putLittleEndian(out, 1, 2);   // PCM
    putLittleEndian(out, 1, 2);   // mono
    putLittleEndian(out, static_cast<std::uint32_t>(sampleRate), 4);
    putLittleEndian(out, static_cast<std::uint32_t>(sampleRate) * 2, 4);  // bytes per second
    putLittleEndian(out, 2, 2);                                           // bytes per frame
    putLittleEndian(out, 16, 2);                                          // bits per sample
    out += "data";
    putLittleEndian(out, dataBytes, 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double envelope = std::min({1.0, i / fadeFrames, (frames - 1 - i) / fadeFrames});
        const double sample =
            amplitude * envelope * std::sin(2 * std::numbers::pi * frequencyHz * i / sampleRate);
        const auto value = static_cast<std::int16_t>(std::lround(sample * 32767));
        putLittleEndian(out, static_cast<std::uint16_t>(value), 2);
    }
    return out;
}

double WaveInfo::seconds() const {
    const double bytesPerSecond = double(sampleRate) * channels * (bitsPerSample / 8);
    return bytesPerSecond > 0 ? dataBytes / bytesPerSecond : 0.0;
}

std::optional<WaveInfo> readWaveInfo(const std::string& bytes) {
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return std::nullopt;
    WaveInfo info;
    bool haveFormat = false;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::string id = bytes.substr(at, 4);
        const std::uint32_t size = getLittleEndian(bytes, at + 4, 4);
        const std::size_t body = at + 8;
        if (id == "fmt ") {
            if (size < 16 || body + 16 > bytes.size())
                return std::nullopt;
            if (getLittleEndian(bytes, body, 2) != 1)
                return std::nullopt;  // not PCM
            info.channels = static_cast<int>(getLittleEndian(bytes, body + 2, 2));
            info.sampleRate = static_cast<int>(getLittleEndian(bytes, body + 4, 4));
            info.bitsPerSample = static_cast<int>(getLittleEndian(bytes, body + 14, 2));
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat)
                return std::nullopt;
            const std::size_t available = bytes.size() - body;
            info.dataBytes = static_cast<std::uint32_t>(std::min<std::size_t>(size, available));
            return info;
        }
        at = body + size + (size & 1);  // chunks are padded to an even size
    }
    return std::nullopt;
}

}  // namespace kt
