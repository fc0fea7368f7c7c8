#include "platform/qt/EspeakSpeechSynthesizer.h"

#include <QDebug>
#include <QProcess>
#include <memory>

namespace kt {
namespace {

constexpr int voiceListTimeoutMs = 5000;
constexpr int renderTimeoutMs = 30000;

// Speech stops when the utterance goes: the process is ended with it.
class EspeakUtterance final : public Utterance {
  public:
    explicit EspeakUtterance(std::unique_ptr<QProcess> process) : process_(std::move(process)) {}
    ~EspeakUtterance() override {
        if (process_->state() != QProcess::NotRunning) {
            process_->kill();
            process_->waitForFinished(1000);
        }
    }

  private:
    std::unique_ptr<QProcess> process_;
};

void feedText(QProcess& process, const std::string& text) {
    process.write(text.data(), static_cast<qint64>(text.size()));
    process.closeWriteChannel();
}

}  // namespace

EspeakSpeechSynthesizer::EspeakSpeechSynthesizer(QString program) : program_(std::move(program)) {}

std::optional<std::string> EspeakSpeechSynthesizer::voiceFor(const std::string& voiceIdentifier,
                                                             const std::string& languageFallback) {
    if (!voices_) {
        QProcess list;
        list.start(program_, {QStringLiteral("--voices")});
        const bool listed = list.waitForFinished(voiceListTimeoutMs) &&
                            list.exitStatus() == QProcess::NormalExit && list.exitCode() == 0;
        voices_ = listed ? parseEspeakVoices(list.readAllStandardOutput().toStdString())
                         : std::vector<EspeakVoice>{};
    }
    return chooseEspeakVoice(*voices_, voiceIdentifier, languageFallback);
}

QStringList EspeakSpeechSynthesizer::voiceArguments(const std::string& voiceIdentifier,
                                                    const std::string& languageFallback) {
    if (auto voice = voiceFor(voiceIdentifier, languageFallback))
        return {QStringLiteral("-v"), QString::fromStdString(*voice)};
    return {};
}

std::shared_ptr<Utterance> EspeakSpeechSynthesizer::speak(const std::string& text,
                                                          const std::string& voiceIdentifier,
                                                          const std::string& languageFallback) {
    auto process = std::make_unique<QProcess>();
    // Without a sound device the audio library complains on every utterance.
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(program_, voiceArguments(voiceIdentifier, languageFallback));
    if (process->waitForStarted(voiceListTimeoutMs))
        feedText(*process, text);
    else
        qWarning() << "Ka Tesmar: no speech:" << process->errorString();
    return std::make_shared<EspeakUtterance>(std::move(process));
}

std::optional<std::string> EspeakSpeechSynthesizer::renderToFile(
    const std::string& text, const std::string& voiceIdentifier,
    const std::string& languageFallback, const std::string& wavePath) {
    QProcess process;
    QStringList arguments = voiceArguments(voiceIdentifier, languageFallback);
    arguments << QStringLiteral("-w") << QString::fromStdString(wavePath);
    process.start(program_, arguments);
    if (!process.waitForStarted(voiceListTimeoutMs))
        return process.errorString().toStdString();
    feedText(process, text);
    if (!process.waitForFinished(renderTimeoutMs))
        return "espeak-ng did not finish";
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return "espeak-ng failed: " + process.readAllStandardError().toStdString();
    return std::nullopt;
}

}  // namespace kt
