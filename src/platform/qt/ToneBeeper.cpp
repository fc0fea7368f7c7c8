#include "platform/qt/ToneBeeper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include "platform/qt/ToneWave.h"

namespace kt {
namespace {

constexpr double toneFrequencyHz = 880.0;
constexpr double toneSeconds = 0.15;

std::string shellQuoted(const std::string& word) {
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

ToneBeeper::Options defaultOptions() {
    ToneBeeper::Options options;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    options.wavePath = QDir(cache).filePath(QStringLiteral("beep.wav")).toStdString();
    options.players = {{"paplay"}, {"aplay", "-q"}};
    return options;
}

// Keeps the tone file as it should be; rewrites it only when it differs.
bool writeTone(const std::string& path, const std::string& tone) {
    const QString file = QString::fromStdString(path);
    QFile existing(file);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll().toStdString() == tone)
        return true;
    existing.close();
    if (!QDir().mkpath(QFileInfo(file).absolutePath()))
        return false;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(tone.data(), static_cast<qint64>(tone.size()));
    return out.commit();
}

}  // namespace

ToneBeeper::ToneBeeper() : ToneBeeper(defaultOptions()) {}

ToneBeeper::ToneBeeper(Options options) : options_(std::move(options)) {
    toneWritten_ = writeTone(options_.wavePath, makeToneWave(toneFrequencyHz, toneSeconds));
}

std::string ToneBeeper::playScript() const {
    std::string script;
    if (toneWritten_) {
        for (const auto& player : options_.players) {
            for (const auto& word : player) script += shellQuoted(word) + " ";
            script += "\"$1\" >/dev/null 2>&1 || ";
        }
    }
    script += "{ printf '\\a' > \"$2\"; } 2>/dev/null";
    return script;
}

void ToneBeeper::beep() {
    const QStringList arguments = {QStringLiteral("-c"), QString::fromStdString(playScript()),
                                   QStringLiteral("ka-tesmar-beep"),
                                   QString::fromStdString(options_.wavePath),
                                   QString::fromStdString(options_.bellDevice)};
    QProcess::startDetached(QStringLiteral("/bin/sh"), arguments);
}

}  // namespace kt
