#include "sync/PointPackage.h"

#include "common/Language.h"
#include "common/TextFile.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/StoreReading.h"
#include "database/Registry.h"
#include "database/TableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <vector>

namespace tarn::sync {

namespace {

using database::TableKind;

// The per-point tables a package carries, in the order the files are packed and put in place. The
// instantaneous measurements stay with the installation that took them.
constexpr TableKind kPackedTables[] = {TableKind::Hourly,       TableKind::Daily,      TableKind::Monthly,
                                       TableKind::Interference, TableKind::Alarm,      TableKind::Operative,
                                       TableKind::Service,      TableKind::RequestLog, TableKind::HeatDay,
                                       TableKind::HeatMonth};

// A parameter file is a few hundred lines of 200 bytes; anything far larger is no parameter file.
constexpr qint64 kMaxParameterFileBytes = 1024 * 1024;
constexpr qint64 kMaxIdentifierFileBytes = 1024;

bool keepGoing(const StepProgress& progress, int step, int steps) {
    return !progress || progress(qMin(step, steps), steps);
}

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

// Copies a file as the next step of a run: the target written whole beside itself and renamed into
// place. The system's error code, 0 when copied.
int copyWhole(const QString& source, const QString& target) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) return in.error() == QFileDevice::OpenError ? ENOENT : EIO;
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) return EACCES;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(64 * 1024);
        if (in.error() != QFileDevice::NoError) return EIO;
        if (out.write(chunk) != chunk.size()) return EIO;
    }
    return out.commit() ? 0 : EIO;
}

// The first entry that is not id.000 or a file of the one point the others name; empty when none.
QString unexpectedEntry(const QList<PackageEntryInfo>& entries) {
    QString identifier;
    for (const PackageEntryInfo& e : entries) {
        if (e.name == QLatin1String(kIdentifierFile)) continue;
        const qsizetype dot = e.name.lastIndexOf(QLatin1Char('.'));
        const QString base = e.name.left(dot);
        const QString suffix = dot < 0 ? QString() : e.name.mid(dot);
        const QChar kind = base.size() > 2 && base.at(1) == QLatin1Char('_') ? base.at(0) : QChar();
        const QString id = base.mid(2);
        bool known = database::isPointIdentifier(id) && (identifier.isEmpty() || id == identifier);
        if (known && kind == QLatin1Char('p')) {
            known = suffix == QLatin1String(".000");
        } else if (known) {
            known = suffix == QLatin1String(".db") || suffix == QLatin1String(".val");
            bool table = false;
            for (const TableKind k : kPackedTables)
                table =
                    table || QLatin1String(database::tableInfo(k).name) == QString(kind) + QLatin1Char('_');
            known = known && table;
        }
        if (!known) return e.name;
        identifier = id;
    }
    return {};
}

} // namespace

QList<PointFile> pointPackageFiles(const DataRoot& root, const QString& identifier) {
    QList<PointFile> files;
    if (!database::isPointIdentifier(identifier)) return files;
    const QString param = corrector::pointParameterFilePath(root, identifier);
    files.append({QFileInfo(param).fileName(), param, false, TableKind::Hourly});
    for (TableKind kind : kPackedTables) {
        const QString path = database::tablePath(root, kind, identifier);
        files.append({QFileInfo(path).fileName(), path, true, kind});
    }
    return files;
}

QString stagingFolder(const DataRoot& root) {
    return root.dir(folder::Pack);
}

QString clearStagingFolder(const DataRoot& root) {
    const QString folder = stagingFolder(root);
    std::error_code ec;
    std::filesystem::remove_all(fsPath(folder), ec);
    if (ec)
        return QDir::toNativeSeparators(folder) + QStringLiteral(" не удален, произошла ошибка : ") +
               QString::number(ec.value());
    return {};
}

QString packageFileName(const QString& chosenPath) {
    return corrector::finalFileName(chosenPath, QStringLiteral("tbd"));
}

QString packageOverwriteQuestion(const QString& path, int languageIndex) {
    return corrector::overwriteQuestion(path, languageIndex);
}

QString packageWrittenText(const QString& name) {
    return QStringLiteral("ФАЙЛ  \"") + name + QStringLiteral("\" ЗАПИСАН");
}

QString packageWriteFailedText(const QString& name) {
    return QStringLiteral("ОШИБКА ПРИ ЗАПИСИ ФАЙЛА - \"") + name + QLatin1Char('"');
}

QString overwritePointQuestion(const QString& model, const QString& serial) {
    return QStringLiteral("в БД есть данные на корректор ") + model + QStringLiteral(" №") + serial +
           QStringLiteral(" переписать?");
}

QString copyFailedText(int languageIndex, const QString& file, int code) {
    return uaRu(languageIndex, "Помилка! при копіюванні файлу ", "Ошибка! при копировании файла ") + file +
           uaRu(languageIndex, "- код помилки:", "- код ошибки:") + QString::number(code);
}

QString storedText() {
    return QStringLiteral("В БД ЗАПИСАНО");
}

QString unpackFailedText() {
    return QStringLiteral("Ошибка");
}

QString dataErrorText(const QString& file) {
    return QStringLiteral("Ошибка данных: ") + file;
}

QString normText() {
    return QStringLiteral("норма");
}

PackOutcome packPoint(const DataRoot& root, const database::Schemas& schemas, const QString& identifier,
                      const QString& packagePath, const StepProgress& progress) {
    PackOutcome out;
    const QString name = QFileInfo(packagePath).fileName();
    auto fail = [&](const Error& why) {
        out.ok = false;
        out.error = why.detail;
        out.kind = why.kind;
        out.message = packageWriteFailedText(name);
        clearStagingFolder(root);
        return out;
    };
    const QList<PointFile> files = pointPackageFiles(root, identifier);
    // Without the schema files no table can be told ours or not: the installation's own files are wrong.
    if (files.isEmpty() || !schemas.ok)
        return fail({files.isEmpty() ? ErrorKind::NotFound : ErrorKind::Damaged,
                     QStringLiteral("no point ") + identifier});
    const int steps = kPackSteps;
    int step = 0;
    if (const QString failure = clearStagingFolder(root); !failure.isEmpty())
        return fail({ErrorKind::Io, failure});
    if (!keepGoing(progress, ++step, steps)) {
        out.stopped = true;
        return out;
    }
    const QString staging = stagingFolder(root);
    if (!QDir().mkpath(staging)) return fail({ErrorKind::Io, QStringLiteral("cannot create ") + staging});
    if (!writeTextLines(QDir(staging).filePath(QLatin1String(kIdentifierFile)), {identifier}))
        return fail({ErrorKind::Io, QStringLiteral("cannot write ") + QLatin1String(kIdentifierFile)});
    QStringList names{QLatin1String(kIdentifierFile)};
    step += 2;
    for (const PointFile& f : files) {
        if (!keepGoing(progress, ++step, steps)) {
            clearStagingFolder(root);
            out.stopped = true;
            return out;
        }
        // A file the point does not have is simply not in the package.
        if (!QFileInfo(f.path).isFile()) continue;
        const QString staged = QDir(staging).filePath(f.name);
        if (f.table) {
            if (const Error why = database::snapshotTableFile(f.path, staged); why.failed())
                return fail(
                    {why.kind, why.detail.isEmpty() ? QStringLiteral("cannot copy ") + f.path : why.detail});
        } else if (const int code = copyWhole(f.path, staged); code != 0) {
            return fail({code == ENOENT ? ErrorKind::NotFound : ErrorKind::Io,
                         QStringLiteral("cannot copy ") + f.path});
        }
        names.append(f.name);
    }
    names.sort(Qt::CaseInsensitive);
    const PackageResult written = writePackage(packagePath, staging, names);
    if (!written.ok) return fail(written.failure());
    keepGoing(progress, steps - 1, steps);
    if (const QString failure = clearStagingFolder(root); !failure.isEmpty()) {
        // The package is whole; only the staging folder stayed behind.
        out.error = failure;
    }
    keepGoing(progress, steps, steps);
    out.ok = true;
    out.entries = written.entries;
    out.message = packageWrittenText(name);
    return out;
}

namespace {

// A point new to this installation, from its parameter file in the package, or failing that from what
// its tables say of it.
std::optional<database::Point> pointFromPackage(const QString& identifier, const QString& staging,
                                                const QList<PointFile>& files,
                                                const database::Schemas& schemas, Notifier& notifier,
                                                const UnpackOptions& options) {
    std::optional<database::Point> point;
    const QString param = QDir(staging).filePath(files.first().name);
    if (QFileInfo(param).isFile() && QFileInfo(param).size() <= kMaxParameterFileBytes) {
        // Only the point's registry fields are taken from it: no volume is shown.
        corrector::LoadedReading loaded =
            corrector::loadPointParameterFile(param, notifier, options.language);
        // The parameter file arrived in a package.
        loaded.reading.source = corrector::SourceKind::Package;
        if (loaded.outcome.ok) {
            const database::StoreContext c = corrector::storeContextFor(loaded.reading, options.language, {});
            point = corrector::newPointFor(loaded.reading, options.settings, 1, c);
        }
    }
    if (!point || point->serial.trimmed().isEmpty() || point->model.trimmed().isEmpty()) {
        for (const PointFile& f : files) {
            const QString staged = QDir(staging).filePath(f.name);
            if (!f.table || !QFileInfo(staged).isFile()) continue;
            auto table = database::TableFile::open(staged, f.kind, schemas.of(f.kind));
            const QList<QVariantList> rows = table ? table->select() : QList<QVariantList>();
            if (rows.isEmpty()) continue;
            if (!point) {
                point = database::Point{};
                point->config[database::config::LinkKind] = QStringLiteral("прямое соединение");
                point->config[database::config::Flags] = QString(11, QLatin1Char('0'));
            }
            // Fields 3 and 4 of every per-point table: the serial number and the model.
            point->serial = rows.first().value(2).toString().trimmed();
            point->model = rows.first().value(3).toString();
            break;
        }
    }
    if (point) point->identifier = identifier;
    return point;
}

} // namespace

UnpackOutcome unpackPoint(const DataRoot& root, const database::Schemas& schemas, const QString& packagePath,
                          Notifier& notifier, const UnpackOptions& options) {
    UnpackOutcome out;
    const QString shownName = QDir::toNativeSeparators(packagePath);
    auto fail = [&](const Error& why) {
        out.ok = false;
        out.error = why.detail;
        out.kind = why.kind;
        out.message = options.groupMode ? dataErrorText(shownName) : unpackFailedText();
        clearStagingFolder(root);
        return out;
    };
    auto stopped = [&] {
        out.stopped = true;
        clearStagingFolder(root);
        return out;
    };
    if (!schemas.ok) return fail({ErrorKind::Damaged, schemas.error});
    const int steps = kPackSteps;
    int step = 0;
    if (const QString failure = clearStagingFolder(root); !failure.isEmpty())
        return fail({ErrorKind::Io, failure});
    const QString staging = stagingFolder(root);
    if (!QDir().mkpath(staging)) return fail({ErrorKind::Io, QStringLiteral("cannot create ") + staging});
    if (!keepGoing(options.progress, ++step, steps)) return stopped();

    // Only the files of one point, named in the entries' headers, are inflated at all: anything else
    // is refused before a byte of it is unpacked.
    const PackageResult listed = listPackage(packagePath, options.limits);
    if (!listed.ok) return fail(listed.failure());
    if (const QString stranger = unexpectedEntry(listed.entries); !stranger.isEmpty())
        return fail({ErrorKind::Invalid, QStringLiteral("not a file of a point's package: ") + stranger});

    const PackageResult unpacked = unpackPackage(packagePath, staging, options.limits,
                                                 [&] { return keepGoing(options.progress, step, steps); });
    if (!unpacked.ok)
        return unpacked.error == QLatin1String("stopped") ? stopped() : fail(unpacked.failure());
    step += 4;
    if (!keepGoing(options.progress, step, steps)) return stopped();

    const auto idLines =
        readTextLines(QDir(staging).filePath(QLatin1String(kIdentifierFile)), kMaxIdentifierFileBytes);
    const QString identifier = idLines && !idLines->isEmpty() ? idLines->first().trimmed() : QString();
    if (!database::isPointIdentifier(identifier))
        return fail(
            {ErrorKind::Invalid, QStringLiteral("no point identifier in ") + QLatin1String(kIdentifierFile)});
    out.identifier = identifier;
    const QList<PointFile> files = pointPackageFiles(root, identifier);

    // Every table file of the package is looked at before any of them takes a table's place.
    for (const PointFile& f : files) {
        const QString staged = QDir(staging).filePath(f.name);
        if (!QFileInfo(staged).isFile()) continue;
        // Rebuilt from our own schema: what else the sender's file holds (triggers, views, indexes)
        // stays behind.
        if (f.table) {
            if (const Error why = database::copyRowsInto(staged, schemas.of(f.kind), staged); why.failed())
                return fail(why);
        }
        if (!f.table && QFileInfo(staged).size() > kMaxParameterFileBytes)
            return fail({ErrorKind::Invalid, QStringLiteral("parameter file too large")});
        if (!keepGoing(options.progress, ++step, steps)) return stopped();
    }

    database::Registry registry(root, schemas);
    if (!registry.ok()) return fail({ErrorKind::Io, registry.error()});
    const std::optional<database::Point> known = registry.find(identifier);
    std::optional<database::Point> fresh;
    if (known) {
        if (!options.groupMode) {
            const bool replace =
                options.confirm && options.confirm(overwritePointQuestion(known->model, known->serial));
            if (!replace) {
                clearStagingFolder(root);
                out.declined = true;
                return out;
            }
        }
    } else {
        fresh = pointFromPackage(identifier, staging, files, schemas, notifier, options);
        if (!fresh)
            return fail({ErrorKind::Invalid, QStringLiteral("the package says nothing of the corrector")});
    }

    // The targets must be free: a table still open elsewhere keeps its journal beside it, and a
    // replaced file under an open table would be read through the old journal.
    for (const PointFile& f : files)
        if (f.table) {
            if (const Error settled = database::trySettleTableFile(f.path); settled.failed())
                return fail({settled.kind, QStringLiteral("table in use: ") + f.path});
        }

    // Everything is written beside its target first; nothing is replaced until all of it is there.
    std::vector<std::unique_ptr<QSaveFile>> prepared(static_cast<std::size_t>(files.size()));
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString staged = QDir(staging).filePath(files.at(i).name);
        if (!QFileInfo(staged).isFile()) continue;
        const QString target = files.at(i).path;
        if (!QDir().mkpath(QFileInfo(target).absolutePath()))
            return fail({ErrorKind::Io, QStringLiteral("cannot create ") + QFileInfo(target).absolutePath()});
        QFile in(staged);
        auto file = std::make_unique<QSaveFile>(target);
        if (!in.open(QIODevice::ReadOnly) || !file->open(QIODevice::WriteOnly))
            return fail({ErrorKind::Io, QStringLiteral("cannot write ") + target});
        while (!in.atEnd()) {
            const QByteArray chunk = in.read(64 * 1024);
            if (in.error() != QFileDevice::NoError || file->write(chunk) != chunk.size())
                return fail({ErrorKind::Io, QStringLiteral("cannot write ") + target});
        }
        prepared[static_cast<std::size_t>(i)] = std::move(file);
    }
    if (!keepGoing(options.progress, ++step, steps)) return stopped();

    // Into place, in order; a table the package lacks goes.
    for (qsizetype i = 0; i < files.size(); ++i) {
        const PointFile& f = files.at(i);
        auto& file = prepared[static_cast<std::size_t>(i)];
        if (file) {
            if (!file->commit()) return fail({ErrorKind::Io, QStringLiteral("cannot replace ") + f.path});
        } else if (QFileInfo::exists(f.path) && !QFile::remove(f.path)) {
            return fail({ErrorKind::Io, QStringLiteral("cannot remove ") + f.path});
        }
        keepGoing({}, ++step, steps);
    }
    clearStagingFolder(root);

    if (fresh) {
        // A point new here: registered with the link defaults, its missing tables made empty.
        if (!registry.add(*fresh)) return fail({ErrorKind::Io, registry.error()});
        out.added = true;
        out.message = options.groupMode ? normText() : QString();
    } else {
        out.message = options.groupMode ? normText() : storedText();
    }
    keepGoing(options.progress, steps, steps);
    out.ok = true;
    return out;
}

} // namespace tarn::sync
