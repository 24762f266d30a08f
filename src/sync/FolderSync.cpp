#include "sync/FolderSync.h"

#include "common/Language.h"
#include "common/TextFile.h"
#include "database/Registry.h"
#include "database/TableFile.h"
#include "polling/Groups.h"
#include "sync/PointPackage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QUuid>

#include <cerrno>
#include <filesystem>
#include <utility>

namespace tarn::sync {

namespace {

const QString kPointList = QStringLiteral("Current/SynCor.000");
// A synchronised copy is refreshed while the program waits: no rule expands into more files than this.
constexpr int kMaxIdentifiers = 10000;

// The companion files of an older engine's tables: ours makes none, so a master without one is no
// news, and nothing to remove.
bool isCompanionName(const QString& relative) {
    return relative.endsWith(QLatin1String(".val"), Qt::CaseInsensitive);
}

bool isTableName(const QString& relative) {
    return relative.endsWith(QLatin1String(".db"), Qt::CaseInsensitive);
}

QString errorListPath(const DataRoot& root) {
    return root.file(folder::Current, QStringLiteral("ErrDS.000"));
}

} // namespace

bool isSynchronisedCopy(const link::LinkSettings& settings) {
    return settings.syncOn;
}

QString synchronisationFolder(const link::LinkSettings& settings) {
    return settings.syncPath.trimmed();
}

std::optional<SyncRule> parseSyncRule(const QString& line) {
    QString text = line;
    const qsizetype comment = text.indexOf(QLatin1Char('/'));
    if (comment >= 0) text.truncate(comment);
    text = removeSpaces(text).remove(QLatin1Char('\t'));
    if (text.isEmpty()) return std::nullopt;
    const QStringList fields = text.split(QLatin1Char('*'));
    bool ok = false;
    const int command = fields.value(0).toInt(&ok);
    if (!ok || command < 1 || command > 5) return std::nullopt;
    return SyncRule{command, fields.value(1), fields.value(2), fields.value(3)};
}

QList<SyncRule> loadSyncRules(const DataRoot& root) {
    QList<SyncRule> rules;
    const auto lines = readTextLines(root.file(folder::Work, QStringLiteral("SynDir.000")));
    if (!lines) return rules;
    for (const QString& line : *lines)
        if (const auto rule = parseSyncRule(line)) rules.append(*rule);
    return rules;
}

std::optional<QString> relativeSyncPath(const QString& text) {
    QString path = text;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.isEmpty() || path.startsWith(QLatin1Char('/'))) return std::nullopt;
    const QStringList parts = path.split(QLatin1Char('/'));
    for (const QString& part : parts)
        if (!isPackageEntryName(part)) return std::nullopt;
    return path;
}

QString checkSyncPathQuestion() {
    return QStringLiteral("Проверьте \"путь синхронизации\"!!! Загрузку без синхронизации продолжить?");
}

QString syncStoppedQuestion() {
    return QStringLiteral("Останов синхронизации. Загрузку программы продолжить?");
}

QString sourceLostText(int languageIndex, const QString& path) {
    return uaRu(languageIndex, "Шлях синхронізації недоступний: ", "Путь синхронизации недоступен: ") +
           QDir::toNativeSeparators(path);
}

QString massDeleteText(int languageIndex, const QStringList& folders) {
    return uaRu(languageIndex, "Синхронізація видалила б більше половини файлів: ",
                "Синхронизация удалила бы больше половины файлов: ") +
           folders.join(QStringLiteral(", "));
}

bool holdsProgram(const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) return false;
    const QDir dir(folder);
    if (!dir.entryList({QStringLiteral("Tarn*.exe")}, QDir::Files).isEmpty()) return true;
    // Where programs carry no extension, the program file is known by being one.
    for (const QFileInfo& f : dir.entryInfoList({QStringLiteral("Tarn*")}, QDir::Files))
        if (f.isExecutable()) return true;
    return false;
}

FolderSync::FolderSync(const DataRoot& root, QString sourceFolder, int language)
    : root_(root), source_(std::move(sourceFolder)), language_(language) {}

namespace {

QStringList identifiersIn(const QString& path) {
    QStringList ids;
    const auto lines = readTextLines(path);
    if (!lines) return ids;
    for (const QString& line : *lines) {
        const QString id = line.trimmed();
        // The list names files: an identifier is all it may hold.
        if (database::isPointIdentifier(id) && ids.size() < kMaxIdentifiers) ids.append(id);
    }
    return ids;
}

// The rules were written for file systems that ignore case (Data\Bd_Quon.DB, data\bd_quon.db): the file
// of that name in any case, when the exact one is not there.
QString fileIgnoringCase(const QString& base, const QString& relative) {
    const QString exact = QDir(base).filePath(relative);
    if (QFileInfo::exists(exact)) return exact;
    const QFileInfo info(exact);
    const QStringList found =
        QDir(info.absolutePath()).entryList({info.fileName()}, QDir::Files | QDir::Hidden);
    return found.size() == 1 ? QDir(info.absolutePath()).filePath(found.first()) : QString();
}

QString folderOf(const QString& relative) {
    const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : relative.left(slash);
}

} // namespace

QStringList FolderSync::identifiers() const {
    return identifiersIn(root_.file(folder::Current, QStringLiteral("SynCor.000")));
}

bool FolderSync::prepare() {
    plan_ = {};
    if (!holdsProgram(source_) || QDir(source_).canonicalPath() == QDir(root_.root()).canonicalPath())
        return false;
    const QFileInfo sourceInfo(source_);
    sourceCanonical_ = sourceInfo.canonicalFilePath();
    sourceBirth_ = sourceInfo.birthTime();
    rules_ = loadSyncRules(root_);
    schemas_ = database::loadSchemas(root_);

    // The run in advance: the point list is the master's once a rule has copied it in.
    QStringList ids = identifiers();
    QHash<QString, QSet<QString>> incoming; // folder (lower case): names copied in
    QHash<QString, int> removals;
    QHash<QString, QString> shown; // folder (lower case): as the rules name it
    QSet<QString> planned;
    for (const SyncRule& rule : rules_) {
        for (const QString& text : expandRule(rule, ids)) {
            const auto relative = relativeSyncPath(text);
            if (!relative || planned.contains(relative->toLower())) continue;
            planned.insert(relative->toLower());
            const QString source = fileIgnoringCase(source_, *relative);
            const QString folder = folderOf(*relative).toLower();
            shown.insert(folder, folderOf(*relative));
            if (!source.isEmpty() && QFileInfo(source).isFile()) {
                plan_.copy.append(*relative);
                incoming[folder].insert(QFileInfo(*relative).fileName().toLower());
                if (relative->compare(kPointList, Qt::CaseInsensitive) == 0) ids = identifiersIn(source);
            } else if (!isCompanionName(*relative) && !fileIgnoringCase(root_.root(), *relative).isEmpty()) {
                plan_.remove.append(*relative);
                ++removals[folder];
            }
        }
    }
    for (auto it = removals.constBegin(); it != removals.constEnd(); ++it) {
        QSet<QString> files = incoming.value(it.key());
        const QString name = shown.value(it.key());
        const QString localFolder = fileIgnoringCase(root_.root(), name);
        const QDir local(localFolder.isEmpty() ? QDir(root_.root()).filePath(name) : localFolder);
        for (const QString& name : local.entryList(QDir::Files | QDir::Hidden))
            files.insert(name.toLower());
        if (2 * it.value() > files.size())
            plan_.massDeletes.append(
                QStringLiteral("%1 %2/%3")
                    .arg(QDir::toNativeSeparators(name.isEmpty() ? QStringLiteral(".") : name))
                    .arg(it.value())
                    .arg(files.size()));
    }
    plan_.massDeletes.sort();
    return true;
}

bool FolderSync::start() {
    stopFlag_ = false;
    stopped_ = false;
    finished_ = false;
    sourceLost_ = false;
    copied_ = missing_ = done_ = 0;
    errors_.clear();
    failures_.clear();
    busy_.clear();
    heldBack_.clear();
    retrying_ = false;
    pending_.clear();
    nextRule_ = 0;
    writeTextLines(errorListPath(root_), {});
    if (!prepare()) {
        finished_ = true;
        return false;
    }
    if (!plan_.massDeletes.isEmpty() && !allowMassDelete_) {
        noteFailure(ErrorKind::Invalid, massDeleteText(language_, plan_.massDeletes));
        finished_ = true;
    }
    return true;
}

bool FolderSync::sourceStillThere() const {
    const QFileInfo info(source_);
    if (!info.isDir() || info.canonicalFilePath() != sourceCanonical_) return false;
    if (sourceBirth_.isValid() && info.birthTime() != sourceBirth_) return false;
    return holdsProgram(source_);
}

QStringList FolderSync::expandRule(const SyncRule& rule, const QStringList& ids) {
    QStringList texts;
    switch (rule.command) {
    case 1:
        texts.append(rule.folder + rule.name);
        break;
    case 2:
        for (const QString& id : ids)
            texts.append(rule.folder + rule.name + id + rule.suffix);
        break;
    case 3:
        texts.append(rule.folder + rule.name + QStringLiteral(".val"));
        texts.append(rule.folder + rule.name + QStringLiteral(".db"));
        break;
    case 4:
        for (const QString& id : ids) {
            texts.append(rule.folder + rule.name + id + QStringLiteral(".val"));
            texts.append(rule.folder + rule.name + id + QStringLiteral(".db"));
        }
        break;
    case 5:
        for (const polling::GroupEntry& g : polling::loadGroupList(root_))
            texts.append(rule.folder + g.file.trimmed().left(20));
        break;
    default:
        break;
    }
    return texts;
}

void FolderSync::expand(const SyncRule& rule) {
    pending_.clear();
    for (const QString& text : expandRule(rule, identifiers())) {
        if (const auto relative = relativeSyncPath(text))
            pending_.append(*relative);
        else
            noteFailure(ErrorKind::Invalid, QStringLiteral("rule refused: ") + text);
    }
}

void FolderSync::noteMissing(const QString& sourcePath) {
    ++missing_;
    QStringList lines = readTextLines(errorListPath(root_)).value_or(QStringList());
    lines.append(QDir::toNativeSeparators(sourcePath));
    writeTextLines(errorListPath(root_), lines);
}

void FolderSync::noteFailure(ErrorKind kind, const QString& text) {
    errors_.append(text);
    failures_.append({kind, text});
}

void FolderSync::copyOne(const QString& relative) {
    if (!retrying_) ++done_; // the gauge counts a file once, however often it is tried
    QString source = fileIgnoringCase(source_, relative);
    if (source.isEmpty()) source = QDir(source_).filePath(relative);
    QString target = fileIgnoringCase(root_.root(), relative);
    if (target.isEmpty())
        target = QDir(root_.root())
                     .filePath(QFileInfo(relative).path() + QLatin1Char('/') + QFileInfo(source).fileName());
    const bool table = isTableName(relative);
    // A file another program holds is busy, not broken: held back for a second try at the end of the
    // run, and only a file still held then is reported, as busy. Either way the rest of the rule goes
    // on, as nothing is wrong with it.
    auto holdBack = [&](const QString& text) {
        if (!retrying_) {
            heldBack_.append(relative);
            return;
        }
        noteFailure(ErrorKind::Locked, text);
        busy_.append(relative);
    };
    auto fail = [&](const QString& file, int code) {
        const QString text = copyFailedText(language_, QDir::toNativeSeparators(file), code);
        if (code == EBUSY) return holdBack(text);
        noteFailure(ErrorKind::Io, text);
        if (!retrying_) pending_.clear(); // the rest of this rule is not done
    };
    // A table that cannot be taken in as ours: the copy keeps what it had.
    auto refuse = [&](const QString& file, const Error& why) {
        const QString text = copyFailedText(language_, QDir::toNativeSeparators(file), EINVAL) +
                             QStringLiteral(" (") + why.detail + QLatin1Char(')');
        if (why.is(ErrorKind::Locked)) return holdBack(text);
        noteFailure(why.kind, text);
        if (!retrying_) pending_.clear();
    };
    // A table's journal goes with the table; it must not outlive the file it belongs to.
    if (table && !database::settleTableFile(target)) return fail(target, EBUSY);
    if (!QFileInfo(source).isFile()) {
        if (isCompanionName(relative)) return;
        // A missing file is news only from a master that is still there: a dropped share makes every
        // file look missing, and the copy must not follow it into nothing.
        if (!sourceStillThere()) {
            sourceLost_ = true;
            finished_ = true;
            pending_.clear();
            heldBack_.clear(); // nothing more is taken from a master that went
            noteFailure(ErrorKind::NotFound, sourceLostText(language_, source_));
            return;
        }
        // The master has no such file: neither has the copy.
        if (QFileInfo::exists(target) && !QFile::remove(target)) return fail(target, EACCES);
        noteMissing(source);
        return;
    }
    if (!QDir().mkpath(QFileInfo(target).absolutePath())) return fail(target, EACCES);
    if (table) {
        // The master may be writing: its table is read through the engine, as one consistent copy,
        // and only its rows come in, into a file made from our own schema.
        const auto kind = database::tableKindOfFile(relative);
        if (!kind || !schemas_.ok)
            return refuse(source, {ErrorKind::Invalid, QStringLiteral("no table of ours")});
        const QString temporary = target + QStringLiteral(".") + QUuid::createUuid().toString(QUuid::Id128) +
                                  QStringLiteral(".tmp");
        Error why = database::snapshotTableFile(source, temporary);
        if (why.ok()) why = database::copyRowsInto(temporary, schemas_.of(*kind), target);
        QFile::remove(temporary);
        for (const QString& companion : database::tableCompanionFiles(temporary))
            QFile::remove(companion);
        if (why.failed()) return refuse(source, why);
        ++copied_;
        return;
    }
    // Written whole beside the target, then renamed over it: the old file stays until the new is there.
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) return fail(source, EACCES);
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) return fail(target, EACCES);
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(64 * 1024);
        if (in.error() != QFileDevice::NoError) return fail(source, EIO);
        if (out.write(chunk) != chunk.size()) return fail(target, EIO);
    }
    if (!out.commit()) return fail(target, EIO);
    ++copied_;
    if (relative.compare(kPointList, Qt::CaseInsensitive) == 0)
        gaugeMaximum_ = qMax(1, 10 * static_cast<int>(identifiers().size()));
}

bool FolderSync::step() {
    if (finished_) return false;
    if (stopFlag_) {
        stopped_ = true;
        finished_ = true;
        return false;
    }
    while (pending_.isEmpty()) {
        if (nextRule_ >= rules_.size()) {
            if (!retrying_ && !heldBack_.isEmpty()) {
                retrying_ = true;
                pending_ = std::exchange(heldBack_, {});
                continue;
            }
            finished_ = true;
            return false;
        }
        expand(rules_.at(nextRule_++));
    }
    copyOne(pending_.takeFirst());
    return true;
}

} // namespace tarn::sync
