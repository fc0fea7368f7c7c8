#include "platform/qt/EspeakVoices.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace kt {
namespace {

// "nl_BE" and "NL-be" both become "nl-be".
std::string normalisedTag(std::string tag) {
    for (char& c : tag)
        c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tag;
}

std::string primaryLanguage(const std::string& tag) {
    return tag.substr(0, tag.find('-'));
}

bool needsMbrola(const EspeakVoice& voice) {
    return voice.file.rfind("mb/", 0) == 0;
}

}  // namespace

std::vector<EspeakVoice> parseEspeakVoices(const std::string& listing) {
    std::vector<EspeakVoice> voices;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string priority, language, ageGender, name, file;
        if (!(words >> priority >> language >> ageGender >> name >> file))
            continue;
        if (!std::all_of(priority.begin(), priority.end(),
                         [](unsigned char c) { return std::isdigit(c); }))
            continue;  // the heading "Pty Language ..."
        voices.push_back({language, name, file});
    }
    return voices;
}

std::optional<std::string> chooseEspeakVoice(const std::vector<EspeakVoice>& voices,
                                             const std::string& identifier,
                                             const std::string& language) {
    std::vector<EspeakVoice> usable;
    std::copy_if(voices.begin(), voices.end(), std::back_inserter(usable),
                 [](const EspeakVoice& v) { return !needsMbrola(v); });

    for (const auto& voice : usable)
        if (!identifier.empty() && (voice.name == identifier || voice.file == identifier))
            return voice.file;
    const std::string wanted = normalisedTag(language);
    if (wanted.empty())
        return std::nullopt;
    for (const auto& voice : usable)
        if (normalisedTag(voice.language) == wanted)
            return voice.file;
    for (const auto& voice : usable)
        if (primaryLanguage(normalisedTag(voice.language)) == primaryLanguage(wanted))
            return voice.file;
    return std::nullopt;
}

}  // namespace kt
