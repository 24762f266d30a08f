#pragma once
// A reading kept on disk and brought back without a corrector: the "*.prt" snapshot (everything, with
// the archive tables), the point's parameter file written after every stored reading (header,
// parameter words and coefficient table), and the tab-separated text export. A file loaded is a
// reading as a full parameter read leaves one.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "corrector/Reading.h"
#include "corrector/VolumePrecision.h"

#include <QDate>
#include <QString>
#include <functional>

namespace tarn::corrector {

// done: lines written or records read so far; total: the gauge's maximum.
using FileProgress = std::function<void(int done, int total)>;

struct FileOutcome {
    bool ok = false;
    QString message; // what the user is told, in the language; empty when nothing is to be said
};

// A file loaded: the reading it holds, or the cleared reading where loading stopped.
struct LoadedReading {
    FileOutcome outcome;
    Reading reading;
    bool opened = false; // false: the file could not be opened and nothing was taken from it
};

// The reading holds a corrector's data: a serial number that is neither empty nor "X…".
bool hasDataToSave(const Reading& reading);
// "Нет данных" / "Немає даних".
QString noDataText(int languageIndex);
// Model code + the first 5 characters of the serial field (or "00000") + "_" + yyMMdd of today.
QString proposedFileName(const Reading& reading, const QDate& today);
// The chosen path with everything from the first "." of its file name on replaced by the extension
// ("prt" or "txt"): abc, abc.prt and abc.old.prt all become abc.prt in the chosen folder.
QString finalFileName(const QString& chosenPath, const QString& extension);
// "Файл "<name>"уже существует, перезаписать?" in the language.
QString overwriteQuestion(const QString& finalPath, int languageIndex);

// The snapshot, written whole or not at all (an existing file stays as it was when writing fails).
FileOutcome saveSnapshot(const Reading& reading, const QString& path, int languageIndex,
                         const FileProgress& progress = {});
// A snapshot loaded, its texts in the language; messages go to the notifier as they arise (the
// line-length message is the only one after which loading goes on). ok is false when loading stopped;
// a file that never names the corrector (no identification line) stops with "Ошибка! Версия не
// определена!!!" and leaves the reading cleared.
LoadedReading loadParameterFile(const QString& path, Notifier& notifier, int languageIndex,
                                int volumeDecimals = kDefaultVolumeDecimals,
                                const FileProgress& progress = {});

// Param\p_<identifier>.000; empty for an identifier that cannot name a file.
QString pointParameterFilePath(const DataRoot& root, const QString& identifier);
bool writePointParameterFile(const Reading& reading, const QString& path);
// The point's parameter file loaded (header, battery and parameter words only). A file that cannot be
// opened loads nothing and says nothing; a damaged one (no identification line among them) is told
// through the notifier. outcome.ok when a file was loaded.
LoadedReading loadPointParameterFile(const QString& path, Notifier& notifier, int languageIndex,
                                     int volumeDecimals = kDefaultVolumeDecimals);

// "СОХРАНИТЬ КАК *.txt": the header, the named parameter words and the archive tables, tab-separated.
FileOutcome exportText(const Reading& reading, const QString& path, int languageIndex);

} // namespace tarn::corrector
