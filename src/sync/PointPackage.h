#pragma once
// A metering point's package: its parameter file and its per-point tables (all but the instantaneous
// measurements), with id.000 naming the point, gathered in the staging folder pack\ and written as one
// ".tbd" file; and the way back into an installation.
//
// Unpacking takes the package apart in pack\, checks every file there (the identifier, each table file
// against its table), and only then puts the files in place, each written beside its target and
// renamed over it, so that a package that fails leaves the installation as it was. A table of the point
// that the package lacks is removed: the receiving installation holds what the sending one held.
#include "common/DataRoot.h"
#include "common/Language.h"
#include "common/Notifier.h"
#include "database/Schema.h"
#include "link/LinkSettings.h"
#include "sync/Package.h"

#include <QString>
#include <functional>

namespace tarn::sync {

// The pack/unpack window's gauge.
inline constexpr int kPackSteps = 25;
// step of steps done; false stops the run (F10) where stopping still changes nothing.
using StepProgress = std::function<bool(int step, int steps)>;

// One file of a point's package: its name in the package and where it lies in the installation.
struct PointFile {
    QString name;
    QString path;
    bool table = false; // a table file (the parameter file is not)
    database::TableKind kind = database::TableKind::Hourly;
};
// The parameter file, then the table files of the hourly, daily, monthly, interference, alarm,
// operative, service, request-log and heat-energy tables: the order in which they are packed and put
// in place.
QList<PointFile> pointPackageFiles(const DataRoot& root, const QString& identifier);
// The file naming the point inside a package.
inline constexpr const char* kIdentifierFile = "id.000";

// pack\ under the data root, and emptying it (removed with everything in it). Empty when it went,
// else the message: the folder, "не удален, произошла ошибка : " and the system's error code.
QString stagingFolder(const DataRoot& root);
QString clearStagingFolder(const DataRoot& root);

// The chosen name up to its first dot, then ".tbd": "t12345.old.tbd" and "t12345" give "t12345.tbd".
QString packageFileName(const QString& chosenPath);
// "Файл "<path>"уже существует, перезаписать?" in the language.
QString packageOverwriteQuestion(const QString& path, int languageIndex);
// "ФАЙЛ  "<name>" ЗАПИСАН".
QString packageWrittenText(const QString& name);
// "ОШИБКА ПРИ ЗАПИСИ ФАЙЛА - "<name>"".
QString packageWriteFailedText(const QString& name);
// "в БД есть данные на корректор <model> №<serial> переписать?"
QString overwritePointQuestion(const QString& model, const QString& serial);
// "Ошибка! при копировании файла <file>- код ошибки:<code>" in the language (a blank before the file,
// as the other copy messages have it).
QString copyFailedText(int languageIndex, const QString& file, int code);
QString storedText();                       // "В БД ЗАПИСАНО"
QString unpackFailedText();                 // "Ошибка"
QString dataErrorText(const QString& file); // "Ошибка данных: " + file
QString normText();                         // "норма"

struct PackOutcome {
    bool ok = false;
    bool stopped = false;
    QString message; // the user's text: written, or the write error
    QString error;   // the cause, for the log
    // The cause's kind: Locked for a table another connection keeps from being read, Damaged for a table
    // file that cannot be read, Io for a package or staging file that cannot be written.
    ErrorKind kind = ErrorKind::None;
    QList<PackageEntryInfo> entries;
};
// Packs the registered point into packagePath (written whole or not at all). The table files are taken
// as consistent copies even while a table is open.
PackOutcome packPoint(const DataRoot& root, const database::Schemas& schemas, const QString& identifier,
                      const QString& packagePath, const StepProgress& progress = {});

struct UnpackOptions {
    int language = kRussian;
    // A package opened as one of a group: no question, the point's data are replaced.
    bool groupMode = false;
    // The question before a registered point's data are replaced; without it the answer is no.
    std::function<bool(const QString& question)> confirm;
    // The link defaults a point new to this installation is registered with.
    link::LinkSettings settings;
    PackageLimits limits;
    StepProgress progress;
};

struct UnpackOutcome {
    bool ok = false;
    bool declined = false; // the user kept the point's data: nothing changed, and no error
    bool added = false;    // the point is new to the registry
    bool stopped = false;
    QString identifier;
    QString message; // the user's text ("В БД ЗАПИСАНО", "норма", "Ошибка", "Ошибка данных: …")
    QString error;   // the cause, for the log
    // The cause's kind: Damaged for a package (or a table in it) that cannot be read, Invalid for one
    // refused as foreign (not one point's files, a table our schema refuses), Locked for a table of the
    // point held open elsewhere, Io for a file of the installation that cannot be written.
    ErrorKind kind = ErrorKind::None;
};
UnpackOutcome unpackPoint(const DataRoot& root, const database::Schemas& schemas, const QString& packagePath,
                          Notifier& notifier, const UnpackOptions& options);

} // namespace tarn::sync
