#include "sync/GroupPackages.h"

#include "common/Language.h"
#include "common/TextFile.h"
#include "database/Registry.h"
#include "polling/GroupMembers.h"

#include <QDir>
#include <QFileInfo>

namespace tarn::sync {

namespace {

QString quotedText(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// The closing line of a run in which some points failed: the run did not do what it was asked.
QString notAllDoneText(int language, int failures, int total) {
    return uaRu(language, "ПОМИЛКА!!! не виконано: %1 з %2", "ОШИБКА!!! не выполнено: %1 из %2")
        .arg(failures)
        .arg(total);
}

} // namespace

QString emergencyStopText() {
    return QStringLiteral("АВАРИЙНЫЙ ОСТАНОВ!!!");
}

QString noPackagesText() {
    return QStringLiteral("ОШИБКА!!! нет данных");
}

QString groupPackageFolder(const DataRoot& root, const QString& groupName) {
    const QString name = groupName.trimmed();
    // The name becomes a folder: it may not lead anywhere else.
    if (!isPackageEntryName(name)) return {};
    return root.file(folder::MailBD, name);
}

GroupSaveRun::GroupSaveRun(const DataRoot& root, database::Storage& storage, const QString& groupName,
                           int language, GroupLog log, Clock clock)
    : root_(root), storage_(storage), groupName_(groupName.trimmed()), language_(language),
      log_(std::move(log)), clock_(std::move(clock)) {}

QString GroupSaveRun::now() const {
    return (clock_ ? clock_() : QTime::currentTime()).toString(QStringLiteral("HH:mm:ss"));
}

bool GroupSaveRun::start() {
    folder_ = groupPackageFolder(root_, groupName_);
    log_(QStringLiteral("СОХРАНИТЬ ДАННЫЕ ГРУППЫ ПРИБОРОВ: ") + quotedText(groupName_), LogColour::Maroon);
    const QString shown =
        QDir::toNativeSeparators(folder_.isEmpty() ? root_.dir(folder::MailBD) + QLatin1Char('/') + groupName_
                                                   : folder_) +
        QDir::separator();
    log_(QStringLiteral("ДИРЕКТОРИЯ: ") + quotedText(shown), LogColour::Maroon);
    if (folder_.isEmpty() || !QDir().mkpath(folder_)) {
        log_(QStringLiteral("ОШИБКА!!! При создании директории: ") + quotedText(shown) +
                 QStringLiteral(" - произошла ошибка"),
             LogColour::Red);
        finished_ = true;
        return false;
    }
    database::Registry registry(root_, storage_);
    const auto entry = polling::findGroupByName(root_, groupName_);
    if (!entry || !registry.ok()) {
        log_(uaRu(language_, "Не вибрана група!!!", "Не выбрана группа!!!"), LogColour::Red);
        finished_ = true;
        return false;
    }
    const polling::Group group = polling::loadGroup(root_, entry->file);
    for (const polling::NumberedMember& m : polling::registeredMembers(group, registry)) {
        const database::Point& p = m.point;
        const QString title = p.model.trimmed().leftJustified(12) + QStringLiteral(" N") +
                              p.serial.trimmed().leftJustified(9) + QLatin1Char(' ') +
                              p.config[database::config::Owner].left(32).leftJustified(32);
        members_.append({m.number, p.identifier, title});
    }
    started_ = true;
    return true;
}

bool GroupSaveRun::step() {
    if (finished_) return false;
    if (stopFlag_) {
        stopped_ = true;
        log_(emergencyStopText(), LogColour::Red);
        finished_ = true;
        return false;
    }
    if (next_ >= members_.size()) {
        finish();
        return false;
    }
    const Member& m = members_.at(next_++);
    const QString prefix = now() + QLatin1Char('*') + QString::number(m.number);
    log_(prefix + QStringLiteral("* старт: ") + quotedText(m.title), LogColour::Blue);
    const QString package = QDir(folder_).filePath(m.identifier + QStringLiteral(".tbd"));
    const PackOutcome outcome = packPoint(root_, storage_.schemas(), m.identifier, package);
    if (outcome.ok) {
        ++packed_;
        packages_.append(package);
        log_(now() + QLatin1Char('*') + QString::number(m.number) + QStringLiteral("* ") + normText() +
                 QStringLiteral(": ") + quotedText(QDir::toNativeSeparators(package)),
             LogColour::Green);
    } else {
        ++failures_;
        causes_.append({outcome.kind, outcome.error});
        log_(outcome.message, LogColour::Red);
    }
    return true;
}

void GroupSaveRun::finish() {
    finished_ = true;
    if (failures_ == 0)
        log_(QStringLiteral("ДАННЫЕ ПРИБОРОВ ГРУППЫ СОХРАНЕНЫ!!!"), LogColour::Maroon);
    else
        log_(notAllDoneText(language_, failures_, static_cast<int>(members_.size())), LogColour::Red);
}

QStringList packagesInFolder(const QString& folder) {
    if (folder.isEmpty()) return {};
    return QDir(folder).entryList({QStringLiteral("*.tbd")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
}

QString lastGroupFolder(const DataRoot& root) {
    const auto lines = readTextLines(root.file(folder::Work, QStringLiteral("Dir_RdGr.000")));
    if (!lines || lines->isEmpty()) return {};
    const QString folder = lines->first().trimmed();
    return QFileInfo(folder).isDir() ? folder : QString();
}

bool keepLastGroupFolder(const DataRoot& root, const QString& folder) {
    return writeTextLines(root.file(folder::Work, QStringLiteral("Dir_RdGr.000")),
                          {QDir::toNativeSeparators(folder)});
}

GroupOpenRun::GroupOpenRun(const DataRoot& root, const database::Schemas& schemas, Notifier& notifier,
                           const link::LinkSettings& settings, const QString& folder,
                           const QStringList& files, int language, GroupLog log, Clock clock)
    : root_(root), schemas_(schemas), notifier_(notifier), settings_(settings), folder_(folder),
      files_(files), language_(language), log_(std::move(log)), clock_(std::move(clock)) {}

QString GroupOpenRun::now() const {
    return (clock_ ? clock_() : QTime::currentTime()).toString(QStringLiteral("HH:mm:ss"));
}

bool GroupOpenRun::start() {
    if (files_.isEmpty()) {
        notifier_.message(MessageKind::Error, noPackagesText());
        finished_ = true;
        return false;
    }
    log_(QStringLiteral("ОТКРЫТЬ ДАННЫЕ ГРУППЫ ПРИБОРОВ ИЗ:"), LogColour::Maroon);
    log_(QDir::toNativeSeparators(folder_), LogColour::Maroon);
    started_ = true;
    return true;
}

bool GroupOpenRun::step() {
    if (finished_) return false;
    if (stopFlag_) {
        stopped_ = true;
        log_(emergencyStopText(), LogColour::Red);
        finished_ = true;
        return false;
    }
    if (next_ >= files_.size()) {
        finish();
        return false;
    }
    const int number = static_cast<int>(++next_);
    const QString name = files_.at(number - 1);
    const QString prefix = now() + QLatin1Char('*') + QString::number(number);
    log_(prefix + QStringLiteral("* старт: ") + quotedText(name), LogColour::Blue);
    UnpackOptions options;
    options.language = language_;
    options.groupMode = true;
    options.settings = settings_;
    options.limits = limits;
    // A name from the list stays inside the folder.
    const UnpackOutcome outcome =
        isPackageEntryName(name)
            ? unpackPoint(root_, schemas_, QDir(folder_).filePath(name), notifier_, options)
            : UnpackOutcome{};
    if (outcome.ok) {
        ++opened_;
        identifiers_.append(outcome.identifier);
        log_(now() + QLatin1Char('*') + QString::number(number) + QStringLiteral("* ") + normText() +
                 QStringLiteral(": ") + quotedText(name),
             LogColour::Green);
    } else {
        ++failures_;
        // A name that could name no file inside the folder was never opened: refused as it stands.
        causes_.append(isPackageEntryName(name)
                           ? Error{outcome.kind, outcome.error}
                           : Error{ErrorKind::Invalid, QStringLiteral("not a package name: ") + name});
        log_(dataErrorText(name), LogColour::Red);
    }
    return true;
}

void GroupOpenRun::finish() {
    finished_ = true;
    keepLastGroupFolder(root_, folder_);
    if (failures_ == 0)
        log_(QStringLiteral("ДАННЫЕ ПРИБОРОВ ГРУППЫ ОТКРЫТЫ!!!"), LogColour::Maroon);
    else
        log_(notAllDoneText(language_, failures_, static_cast<int>(files_.size())), LogColour::Red);
}

} // namespace tarn::sync
