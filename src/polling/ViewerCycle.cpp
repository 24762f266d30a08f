#include "polling/ViewerCycle.h"

#include "common/TextFile.h"

#include <QDir>
#include <QFile>

namespace tarn::polling {

namespace {

QString markerPath(const DataRoot& root, const char* name) {
    return root.file(folder::Synchr, QString::fromLatin1(name));
}

QString settingsPath(const DataRoot& root) {
    return root.file(folder::Synchr, QStringLiteral("Inst.000"));
}

} // namespace

ViewerCycleSettings loadViewerCycleSettings(const DataRoot& root) {
    ViewerCycleSettings s;
    const auto lines = readTextLines(settingsPath(root), 4096);
    if (!lines) return s;
    QStringList values;
    for (const QString& l : *lines)
        if (const QString v = removeSpaces(l); !v.isEmpty()) values.append(v);
    if (values.isEmpty()) return s;
    s.on = values.at(0) != QStringLiteral("0");
    bool ok = false;
    if (const int start = values.value(1).toInt(&ok); ok && start >= 0) s.startMinutes = start;
    if (const int wait = values.value(2).toInt(&ok); ok && wait >= 0) s.waitMinutes = wait;
    return s;
}

std::optional<QString> viewerCycleSettingsError(const ViewerCycleSettings& s) {
    if (s.waitMinutes >= s.startMinutes)
        return QStringLiteral(
            "Внимание!!! время до-\"Wait.000\" должно быть меньше времени до-\"Start.000\"");
    if (s.waitMinutes == 0 || s.startMinutes == 0)
        return QStringLiteral("Внимание!!! время до-\"Wait.000\" и время до-\"Start.000\" не должны быть =0");
    return std::nullopt;
}

bool saveViewerCycleSettings(const DataRoot& root, const ViewerCycleSettings& s) {
    QDir().mkpath(root.dir(folder::Synchr));
    return writeTextLines(settingsPath(root),
                          {s.on ? QStringLiteral("1") : QStringLiteral("0"), QString::number(s.startMinutes),
                           QString::number(s.waitMinutes)});
}

ViewerCycle::ViewerCycle(DataRoot root, Notifier& notifier) : root_(std::move(root)), notifier_(notifier) {}

void ViewerCycle::start(const ViewerCycleSettings& settings, std::optional<qint64> elapsedSeconds) {
    settings_ = settings;
    const qint64 e = qMax<qint64>(0, elapsedSeconds.value_or(0));
    const qint64 start = qint64(settings.startMinutes) * 60;
    const qint64 wait = qint64(settings.waitMinutes) * 60;
    start_ = static_cast<int>(e < start ? start - e : start);
    wait_ = static_cast<int>(e < wait ? wait - e : 0);
    for (const char* name : {"Wait.000", "Start.000"}) {
        const QString path = markerPath(root_, name);
        if (QFile::exists(path) && !QFile::remove(path))
            notifier_.message(MessageKind::Error, QStringLiteral("ошибка удаления файла ") + path);
    }
    running_ = true;
}

bool ViewerCycle::writeMarker(const char* name, const char* text) {
    QDir().mkpath(root_.dir(folder::Synchr));
    if (writeTextLines(markerPath(root_, name), {QString::fromUtf8(text)})) return true;
    if (consoleError)
        consoleError(QStringLiteral("Ошибка создания файла \"") + QString::fromLatin1(name) +
                     QLatin1Char('"'));
    return false;
}

ViewerCycle::Tick ViewerCycle::tick() {
    if (!settings_.on || !running_) {
        running_ = false;
        return Tick::Off;
    }
    const int waitBefore = wait_;
    wait_ = qMax(0, wait_ - 1);
    start_ = qMax(0, start_ - 1);
    if (start_ == 0) {
        // The master is told to let go of its tables; the synchronisation follows at once.
        running_ = false;
        lastMarkerWritten_ = writeMarker("Start.000", "СТАРТ");
        return Tick::StartReached;
    }
    if (waitBefore > 1 && wait_ == 1) {
        lastMarkerWritten_ = writeMarker("Wait.000", "ОЖИДАЙТЕ");
        return Tick::WaitWritten;
    }
    return Tick::Counting;
}

} // namespace tarn::polling
