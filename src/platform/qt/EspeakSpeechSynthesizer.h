#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "platform/Sound.h"
#include "platform/qt/EspeakVoices.h"

namespace kt {

// Text to speech with espeak-ng, one process per utterance. The text goes in
// on standard input, so it is never read as an option. Main thread only.
class EspeakSpeechSynthesizer final : public SpeechSynthesizer {
  public:
    explicit EspeakSpeechSynthesizer(QString program = QStringLiteral("espeak-ng"));

    std::shared_ptr<Utterance> speak(const std::string& text, const std::string& voiceIdentifier,
                                     const std::string& languageFallback) override;

    // Writes what speak() would say into a WAV file and waits for it.
    // Returns why that failed, or nothing on success.
    std::optional<std::string> renderToFile(const std::string& text,
                                            const std::string& voiceIdentifier,
                                            const std::string& languageFallback,
                                            const std::string& wavePath);

    // The -v argument for that choice (nothing: the default voice). The
    // installed voices are listed once, at the first call.
    std::optional<std::string> voiceFor(const std::string& voiceIdentifier,
                                        const std::string& languageFallback);

  private:
    QStringList voiceArguments(const std::string& voiceIdentifier,
                               const std::string& languageFallback);

    QString program_;
    std::optional<std::vector<EspeakVoice>> voices_;
};

}  // namespace kt
