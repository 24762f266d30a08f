#include "database/DatabaseCheck.h"

#include "common/Language.h"
#include "database/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUuid>

#include <filesystem>

namespace tarn::database {

namespace {

const char* const kKindNames[] = {"not-a-table-file", "damaged",       "no-table",    "extra-object",
                                  "missing-field",    "extra-field",   "field-type",  "field-order",
                                  "duplicate-rows",   "missing-table", "orphan-table"};

const char* const kKindTexts[] = {
    "не файл бази даних або обрізаний",
    "не файл базы данных или обрезан",
    "файл пошкоджено",
    "файл поврежден",
    "у файлі немає таблиці",
    "в файле нет таблицы",
    "зайвий об'єкт у файлі",
    "лишний объект в файле",
    "немає поля",
    "нет поля",
    "зайве поле",
    "лишнее поле",
    "поле іншого типу",
    "поле другого типа",
    "поля в іншому порядку",
    "поля в другом порядке",
    "записи повторюються (номер і час запису)",
    "записи повторяются (номер и время записи)",
    "немає таблиці",
    "нет таблицы",
    "таблиця без рядка реєстру",
    "таблица без строки реестра",
};
constexpr TextPairs kKindTable = makeTextPairs(kKindTexts);

Finding makeFinding(const QString& file, const QString& table, FindingKind kind, const QString& detail) {
    Finding f;
    f.file = file;
    f.table = table;
    f.kind = kind;
    f.detail = detail;
    return f;
}

class Checker {
public:
    Checker(const DataRoot& root, const Schemas& schemas, const CheckOptions& options)
        : root_(root), schemas_(schemas), options_(options) {}

    CheckReport run();

private:
    struct Planned {
        QString path;
        TableKind kind;
        QString identifier; // per-point tables
    };
    QString relative(const QString& path) const { return QDir(root_.root()).relativeFilePath(path); }
    bool step();
    void checkFile(const QString& path, TableKind kind);
    void missing(const QString& path, TableKind kind, const QString& detail);
    void rebuild(const QString& path, TableKind kind, QList<Finding>& found);
    std::optional<QSet<QString>> registeredPoints();
    QString asideName(const QString& path) const;

    const DataRoot& root_;
    const Schemas& schemas_;
    const CheckOptions& options_;
    CheckReport report_;
    int done_ = 0;
    int total_ = 0;
};

bool Checker::step() {
    ++done_;
    if (options_.progress && !options_.progress(done_, qMax(total_, done_))) {
        report_.stopped = true;
        return false;
    }
    return true;
}

QString Checker::asideName(const QString& path) const {
    const QDateTime now = options_.now.isValid() ? options_.now : QDateTime::currentDateTime();
    const QString base = path + QStringLiteral(".damaged-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = base;
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = base + QLatin1Char('-') + QString::number(n);
    return name;
}

void Checker::missing(const QString& path, TableKind kind, const QString& detail) {
    Finding f =
        makeFinding(relative(path), QFileInfo(path).completeBaseName(), FindingKind::MissingTable, detail);
    if (options_.repair) {
        // A table a point is registered with: made as the registry makes it for a new point.
        QString why;
        f.repaired =
            TableFile::open(path, kind, schemas_.of(kind), &why,
                            options_.now.isValid() ? options_.now : QDateTime::currentDateTime()) != nullptr;
        f.repairError = why;
    }
    report_.findings.append(f);
}

void Checker::checkFile(const QString& path, TableKind kind) {
    ++report_.tables;
    const QList<TableFinding> faults = checkTableFile(path, schemas_.of(kind));
    if (faults.isEmpty()) return;
    QList<Finding> found;
    for (const TableFinding& t : faults)
        found.append(makeFinding(relative(path), QFileInfo(path).completeBaseName(),
                                 static_cast<FindingKind>(t.fault), t.detail));
    if (options_.repair) rebuild(path, kind, found);
    report_.findings.append(found);
}

void Checker::rebuild(const QString& path, TableKind kind, QList<Finding>& found) {
    auto failed = [&](const QString& why) {
        for (Finding& f : found)
            f.repairError = why;
    };
    // The journal folded in first, so the original kept aside is the whole table; a table still open
    // elsewhere is left alone, and a settling that failed otherwise says why.
    if (const Error settled = trySettleTableFile(path); settled.failed())
        return failed(settled.is(ErrorKind::Locked) ? QStringLiteral("in use") : settled.detail);
    const QString aside = asideName(path);
    if (!QFile::copy(path, aside)) return failed(QStringLiteral("cannot copy to ") + relative(aside));
    SalvageCount count;
    const Error salvaged = salvageRowsInto(aside, schemas_.of(kind), path, &count);
    QString why = salvaged.detail;
    bool rebuilt = salvaged.ok();
    if (!rebuilt) {
        // Nothing could be read: an empty table from our schema, with its seed record, takes the place,
        // so the point can be read into again. It is made in a folder of its own under the same name
        // (the table inside a file is named after the file), then renamed over.
        const QString folder = QFileInfo(path).absolutePath() + QStringLiteral("/.rebuild-") +
                               QUuid::createUuid().toString(QUuid::Id128);
        const QString fresh = folder + QLatin1Char('/') + QFileInfo(path).fileName();
        {
            const auto table =
                TableFile::open(fresh, kind, schemas_.of(kind), &why,
                                options_.now.isValid() ? options_.now : QDateTime::currentDateTime());
            rebuilt = table != nullptr;
        }
        if (rebuilt && settleTableFile(fresh)) {
            for (const QString& companion : tableCompanionFiles(path))
                QFile::remove(companion);
            std::error_code ec;
            std::filesystem::rename(std::filesystem::path(fresh.toStdU16String()),
                                    std::filesystem::path(path.toStdU16String()), ec);
            rebuilt = !ec;
            if (ec) why = QStringLiteral("cannot replace ") + relative(path);
        } else {
            rebuilt = false;
        }
        QDir(folder).removeRecursively();
        count = {};
    }
    if (!rebuilt) {
        // The original never left its place: the copy is ours to take back.
        QFile::remove(aside);
        return failed(why);
    }
    const bool clean = checkTableFile(path, schemas_.of(kind)).isEmpty();
    for (Finding& f : found) {
        f.repaired = clean;
        f.keptAs = relative(aside);
        f.rows = count;
    }
}

std::optional<QSet<QString>> Checker::registeredPoints() {
    const QString path = tablePath(root_, TableKind::Registry);
    if (!QFileInfo(path).isFile()) return std::nullopt;
    QString why;
    const auto table = TableFile::open(path, TableKind::Registry, schemas_.of(TableKind::Registry), &why);
    if (!table) return std::nullopt;
    const int id = table->position(QStringLiteral("kIdentif"));
    const auto rows = table->trySelect();
    if (!rows || id < 0) return std::nullopt;
    QSet<QString> points;
    for (const QVariantList& row : *rows)
        points.insert(row.at(id).toString());
    return points;
}

CheckReport Checker::run() {
    if (!schemas_.ok) {
        report_.error = schemas_.error;
        return report_;
    }
    const bool onePoint = !options_.point.isEmpty();
    const QDate today = options_.today.isValid() ? options_.today : QDate::currentDate();

    // The per-point table files that lie in the folders, by point.
    QHash<QString, QList<Planned>> onDisk;
    for (const TableKind kind : kPointTables) {
        const TableInfo& t = tableInfo(kind);
        const QString prefix = QString::fromLatin1(t.name);
        const QDir dir(root_.dir(t.folder));
        for (const QString& name : dir.entryList({prefix + QStringLiteral("*")}, QDir::Files)) {
            if (!name.endsWith(QLatin1String(".db"), Qt::CaseInsensitive)) continue;
            const QString id = name.mid(prefix.size(), name.size() - prefix.size() - 3);
            if (!isPointIdentifier(id) || (onePoint && id.compare(options_.point, Qt::CaseInsensitive) != 0))
                continue;
            onDisk[id].append({dir.filePath(name), kind, id});
        }
    }
    QStringList joins;
    if (!onePoint) {
        const QDir month = QFileInfo(tablePath(root_, TableKind::Join, {}, today)).absoluteDir();
        for (const QString& name : month.entryList({QStringLiteral("*.db")}, QDir::Files))
            joins.append(month.filePath(name));
    }
    total_ = 2 + static_cast<int>(joins.size());
    for (const auto& files : std::as_const(onDisk))
        total_ += static_cast<int>(files.size());

    // The registry first: whose tables the others are is read from it.
    for (const TableKind kind : {TableKind::Registry, TableKind::Gas}) {
        if (onePoint && kind == TableKind::Gas) continue;
        const QString path = tablePath(root_, kind);
        if (QFileInfo(path).isFile())
            checkFile(path, kind);
        else
            missing(path, kind, {});
        if (!step()) return report_;
    }
    const auto registered = registeredPoints();
    QStringList points;
    if (registered)
        points = onePoint ? QStringList{options_.point} : QStringList(registered->begin(), registered->end());
    points.sort();
    for (const QString& id : std::as_const(points)) {
        if (!registered->contains(id)) continue;
        QSet<TableKind> present;
        for (const Planned& p : onDisk.value(id))
            present.insert(p.kind);
        for (const TableKind kind : kPointTables)
            if (!present.contains(kind)) missing(tablePath(root_, kind, id), kind, id);
    }
    QStringList ids = onDisk.keys();
    ids.sort();
    for (const QString& id : std::as_const(ids)) {
        for (const Planned& p : onDisk.value(id)) {
            // Without a readable registry nothing can be called an orphan.
            if (registered && !registered->contains(id)) {
                ++report_.tables;
                report_.findings.append(makeFinding(relative(p.path), QFileInfo(p.path).completeBaseName(),
                                                    FindingKind::OrphanTable, id));
            } else {
                checkFile(p.path, p.kind);
            }
            if (!step()) return report_;
        }
    }
    for (const QString& path : std::as_const(joins)) {
        checkFile(path, TableKind::Join);
        if (!step()) return report_;
    }
    return report_;
}

} // namespace

QString findingKindName(FindingKind kind) {
    return QString::fromLatin1(kKindNames[static_cast<int>(kind)]);
}

QString findingKindText(FindingKind kind, int languageIndex) {
    return Text(kKindTable, static_cast<int>(kind), languageIndex);
}

int CheckReport::left() const {
    int n = 0;
    for (const Finding& f : findings)
        if (!f.repaired) ++n;
    return n;
}

CheckReport checkDatabase(const DataRoot& root, const Schemas& schemas, const CheckOptions& options) {
    return Checker(root, schemas, options).run();
}

QString findingLine(const Finding& f, int lang) {
    QString line = QDir::toNativeSeparators(f.file) + QStringLiteral(": ") + findingKindText(f.kind, lang);
    if (!f.detail.isEmpty()) line += QStringLiteral(" (") + f.detail + QLatin1Char(')');
    if (f.repaired) {
        line += uaRu(lang, " - виправлено", " - исправлено");
        if (!f.keptAs.isEmpty())
            line += uaRu(lang, ", записів збережено: %1, відкинуто: %2, оригінал: %3",
                         ", записей сохранено: %1, отброшено: %2, оригинал: %3")
                        .arg(f.rows.kept)
                        .arg(f.rows.leftOut + f.rows.repeats)
                        .arg(QDir::toNativeSeparators(f.keptAs));
    } else if (!f.repairError.isEmpty()) {
        line += uaRu(lang, " - не виправлено: ", " - не исправлено: ") + f.repairError;
    }
    return line;
}

QString checkSummaryText(const CheckReport& r, int lang) {
    return uaRu(lang, "Перевірено таблиць: %1, зауважень: %2, не виправлено: %3",
                "Проверено таблиц: %1, замечаний: %2, не исправлено: %3")
        .arg(r.tables)
        .arg(r.findings.size())
        .arg(r.left());
}

} // namespace tarn::database
