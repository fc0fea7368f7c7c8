#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kt {

// One line of `espeak-ng --voices`.
struct EspeakVoice {
    std::string language;  // "nl", "en-gb"
    std::string name;      // "Dutch"
    std::string file;      // "gmw/nl": what -v takes
};

// The voices listed by `espeak-ng --voices`; the heading line and lines that
// do not have the columns are skipped.
std::vector<EspeakVoice> parseEspeakVoices(const std::string& listing);

// The -v argument for a voice: the one whose name or file is `identifier`;
// else one for `language` ("nl-BE"); else one for its main language ("nl");
// else nothing, and espeak-ng speaks with its default voice. Voices that need
// MBROLA are passed over: Debian's espeak-ng comes without it.
std::optional<std::string> chooseEspeakVoice(const std::vector<EspeakVoice>& voices,
                                             const std::string& identifier,
                                             const std::string& language);

}  // namespace kt
