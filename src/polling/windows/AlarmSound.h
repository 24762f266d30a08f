#pragma once
// The console's alarm sound: the chosen file of Sound\ played in a loop until "Отключение звука" (or
// "Стоп" in the settings window). Where the machine has no audio output, or the file cannot be played, the
// program stays silent and says so once.
#include "common/Notifier.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>

class QSoundEffect;

namespace tarn::polling {

// Where the sound goes: Qt Multimedia in the program, a recorder in the tests.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    virtual bool deviceAvailable() const = 0;
    // Plays the file over and over until stop().
    virtual void playLoop(const QString& path) = 0;
    virtual void stop() = 0;
    virtual bool playing() const = 0;
    // Set by the output when a file turns out unplayable (after playLoop returned).
    std::function<void(const QString& path)> failed;
};

// A looped QSoundEffect on the default audio output.
class QtSoundOutput final : public QObject, public SoundOutput {
public:
    explicit QtSoundOutput(QObject* parent = nullptr);
    ~QtSoundOutput() override;
    bool deviceAvailable() const override;
    void playLoop(const QString& path) override;
    void stop() override;
    bool playing() const override;

private:
    QSoundEffect* effect_ = nullptr;
    QString path_;
};

class AlarmSound {
public:
    AlarmSound(std::unique_ptr<SoundOutput> output, Notifier& notifier);
    // Starts the file in a loop (a file already looping goes on); nothing when it cannot be heard.
    void play(const QString& path);
    void stop();
    bool playing() const { return output_->playing(); }
    SoundOutput& output() { return *output_; }

private:
    void tellOnce(const QString& key, const QString& text);

    std::unique_ptr<SoundOutput> output_;
    Notifier& notifier_;
    QSet<QString> told_;
    QString current_;
};

} // namespace tarn::polling
