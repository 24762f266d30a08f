#include "polling/windows/AlarmSound.h"

#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace tarn::polling {

QtSoundOutput::QtSoundOutput(QObject* parent) : QObject(parent) {}

QtSoundOutput::~QtSoundOutput() = default;

bool QtSoundOutput::deviceAvailable() const {
    return !QMediaDevices::audioOutputs().isEmpty();
}

void QtSoundOutput::playLoop(const QString& path) {
    // Made on first use: a console that never sounds an alarm never opens the audio system.
    if (!effect_) {
        effect_ = new QSoundEffect(this);
        connect(effect_, &QSoundEffect::statusChanged, this, [this] {
            if (effect_->status() == QSoundEffect::Error && failed) failed(path_);
        });
    }
    path_ = path;
    effect_->setSource(QUrl::fromLocalFile(path));
    effect_->setLoopCount(QSoundEffect::Infinite);
    effect_->play();
}

void QtSoundOutput::stop() {
    if (effect_) effect_->stop();
}

bool QtSoundOutput::playing() const {
    return effect_ && effect_->isPlaying();
}

AlarmSound::AlarmSound(std::unique_ptr<SoundOutput> output, Notifier& notifier)
    : output_(std::move(output)), notifier_(notifier) {
    output_->failed = [this](const QString& path) {
        current_.clear();
        tellOnce(QStringLiteral("bad:") + path, QStringLiteral("Файл звука не воспроизводится: ") + path);
    };
}

void AlarmSound::tellOnce(const QString& key, const QString& text) {
    if (told_.contains(key)) return;
    told_.insert(key);
    notifier_.message(MessageKind::Warning, text);
}

void AlarmSound::play(const QString& path) {
    if (!output_->deviceAvailable()) {
        tellOnce(QStringLiteral("device"), QStringLiteral("Нет устройства вывода звука: аварийный сигнал без звука"));
        return;
    }
    if (!QFileInfo(path).isFile()) {
        tellOnce(QStringLiteral("missing:") + path, QStringLiteral("Нет файла звука ") + path);
        return;
    }
    if (current_ == path && output_->playing()) return;
    current_ = path;
    output_->playLoop(path);
}

void AlarmSound::stop() {
    current_.clear();
    output_->stop();
}

} // namespace tarn::polling
