#include "shell/Installation.h"

#include "common/LanguageFile.h"
#include "common/TextFile.h"
#include "database/Schema.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <cmath>

namespace tarn::shell {

namespace {
bool copyResource(const QString& resource, const QString& target) {
    QFile in(resource);
    if (!in.open(QIODevice::ReadOnly)) return false;
    return writeFileAtomically(target, in.readAll());
}
void appendLe(QByteArray& bytes, quint32 value, int size) {
    for (int i = 0; i < size; ++i)
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

} // namespace

QByteArray alarmToneWav(int number) {
    constexpr int kRate = 22050;
    constexpr int kSamples = kRate * 3 / 10; // 300 ms
    // Each file its own pitch; the even ones warble between two pitches so the ten are told apart.
    const double low = 440.0 * std::pow(2.0, (number - 1) / 6.0);
    const double high = low * 1.25;
    QByteArray pcm;
    pcm.reserve(kSamples * 2);
    double phase = 0.0;
    for (int i = 0; i < kSamples; ++i) {
        const bool upper = number % 2 == 0 && (i / (kRate / 20)) % 2 == 1;
        phase += 2.0 * M_PI * (upper ? high : low) / kRate;
        // 10 ms ramps at both ends keep the loop free of clicks.
        const double ramp = std::min({1.0, i / (kRate / 100.0), (kSamples - 1 - i) / (kRate / 100.0)});
        const auto sample = static_cast<qint16>(std::lround(12000.0 * ramp * std::sin(phase)));
        appendLe(pcm, static_cast<quint16>(sample), 2);
    }
    QByteArray wav("RIFF");
    appendLe(wav, static_cast<quint32>(36 + pcm.size()), 4);
    wav.append("WAVEfmt ");
    appendLe(wav, 16, 4);
    appendLe(wav, 1, 2); // PCM
    appendLe(wav, 1, 2); // mono
    appendLe(wav, kRate, 4);
    appendLe(wav, kRate * 2, 4);
    appendLe(wav, 2, 2);
    appendLe(wav, 16, 2);
    wav.append("data");
    appendLe(wav, static_cast<quint32>(pcm.size()), 4);
    return wav + pcm;
}

InitReport initInstallation(const DataRoot& root) {
    InitReport r;
    if (!root.createFolders()) {
        r.ok = false;
        r.error = QStringLiteral("cannot create the folders under ") + root.root();
        return r;
    }
    const QString lang = languageFilePath(root);
    if (!QFile::exists(lang)) {
        if (!saveLanguage(root, QStringLiteral("UA"))) r.ok = false;
        r.created.append(lang);
    }
    const QString manual = root.file(folder::Doc, QStringLiteral("Tarn.pdf"));
    if (!QFile::exists(manual) && QFile::exists(QStringLiteral(":/installation/Tarn.pdf"))) {
        if (!copyResource(QStringLiteral(":/installation/Tarn.pdf"), manual)) r.ok = false;
        r.created.append(manual);
    }
    // The alarm sounds the console's settings offer, when the installation brings none of its own.
    const QDir sounds(root.dir(folder::Sound));
    if (sounds.entryList({QStringLiteral("*.wav"), QStringLiteral("*.WAV")}, QDir::Files).isEmpty()) {
        for (int n = 1; n <= kAlarmSounds; ++n) {
            const QString path = root.file(folder::Sound, QStringLiteral("Alarm%1.wav").arg(n));
            if (!writeFileAtomically(path, alarmToneWav(n))) r.ok = false;
            r.created.append(path);
        }
    }
    // The database's schema files: a new installation gets them, one that has its own keeps them.
    if (!database::writeMissingSchemaFiles(root)) r.ok = false;
    if (!r.ok) r.error = QStringLiteral("cannot write the installation files under ") + root.root();
    return r;
}

} // namespace tarn::shell
