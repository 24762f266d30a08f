#pragma once
// What the corrector window holds, kept on disk and brought back without a corrector: the "*.prt"
// snapshot (everything, with the archive tables), the point's parameter file written after every
// stored reading (header, parameter words and coefficient table), and the tab-separated text export.
// A loaded file leaves the window as a full parameter read does; the access level is not touched.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/VolumePrecision.h"

#include <QDate>
#include <QString>
#include <functional>
#include <memory>

namespace tarn::corrector {

// done: lines written or records read so far; total: the gauge's maximum.
using FileProgress = std::function<void(int done, int total)>;

struct FileOutcome {
    bool ok = false;
    QString message; // what the user is told, in the language; empty when nothing is to be said
};

// The window holds a corrector's data: a serial number that is neither empty nor "X…".
bool hasDataToSave(const CorrectorWindowModel& model);
// "Нет данных" / "Немає даних".
QString noDataText(int languageIndex);
// Model code + the first 5 characters of the serial field (or "00000") + "_" + yyMMdd of today.
QString proposedFileName(const CorrectorWindowModel& model, const QDate& today);
// The chosen path with everything from the first "." of its file name on replaced by the extension
// ("prt" or "txt"): abc, abc.prt and abc.old.prt all become abc.prt in the chosen folder.
QString finalFileName(const QString& chosenPath, const QString& extension);
// "Файл "<name>"уже существует, перезаписать?" in the language.
QString overwriteQuestion(const QString& finalPath, int languageIndex);

// The snapshot, written whole or not at all (an existing file stays as it was when writing fails).
FileOutcome saveSnapshot(const CorrectorWindowModel& model, const QString& path, int languageIndex,
                         const FileProgress& progress = {});
// Clears the window and loads a snapshot into it; messages go to the notifier as they arise (the
// line-length message is the only one after which loading goes on). ok is false when loading stopped;
// a file that never names the corrector (no identification line) stops with "Ошибка! Версия не
// определена!!!" and leaves the window cleared.
FileOutcome loadParameterFile(CorrectorWindowModel& model, const QString& path, Notifier& notifier,
                              const FileProgress& progress = {});

// Param\p_<identifier>.000; empty for an identifier that cannot name a file.
QString pointParameterFilePath(const DataRoot& root, const QString& identifier);
bool writePointParameterFile(const CorrectorWindowModel& model, const QString& path);
// Clears the window and loads the point's parameter file (header, battery and parameter words only).
// A file that cannot be opened loads nothing and says nothing; a damaged one (no identification line
// among them) is told through the notifier. Returns true when a file was loaded.
bool loadPointParameterFile(CorrectorWindowModel& model, const QString& path, Notifier& notifier);

// "СОХРАНИТЬ КАК *.txt": the header, the named parameter words and the archive tables, tab-separated.
FileOutcome exportText(const CorrectorWindowModel& model, const QString& path, int languageIndex);

// A window model with no corrector behind it, for files and reports built without a link.
class DetachedCorrector {
public:
    // Volumes decoded or shown through it take the installation's decimals (loadVolumePrecision).
    DetachedCorrector(Notifier& notifier, int languageIndex, int volumeDecimals = kDefaultVolumeDecimals);
    ~DetachedCorrector();
    CorrectorWindowModel& model() { return *model_; }

private:
    class NoLink;
    std::unique_ptr<NoLink> link_;
    link::LinkSettings settings_;
    std::unique_ptr<CorrectorWindowModel> model_;
};

} // namespace tarn::corrector
