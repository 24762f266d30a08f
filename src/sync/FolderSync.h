#pragma once
// Folder synchronisation: a second workstation copies the chosen database files of a master
// installation (the synchronisation path of the link settings) into its own data root, as the rules of
// Work\SynDir.000 say, so that it shows the same data. An installation with "Синхронизация" ticked is
// such a synchronised copy: it reads, it does not poll or edit.
//
// A rule line: everything from the first "/" on is a comment, blanks are removed, the rest split at "*"
// into command, folder, name and suffix:
//   1  folder + name                      one file (Current\SynCor.000 sets the gauge to 10 × its lines)
//   2  folder + name + id + suffix        for each identifier of Current\SynCor.000
//   3  folder + name + ".val", ".db"      one table
//   4  folder + name + id + ".val", ".db" a table of each identifier
//   5  folder + group file                each group of Group\name_G.000
// Every path is taken relative to both folders; a rule that would reach outside them is refused.
#include "common/DataRoot.h"
#include "common/Error.h"
#include "database/Schema.h"
#include "link/LinkSettings.h"

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <optional>

namespace tarn::sync {

// The installation works as a synchronised copy of another one.
bool isSynchronisedCopy(const link::LinkSettings& settings);
// The master's folder, as the link settings name it; empty when none is set.
QString synchronisationFolder(const link::LinkSettings& settings);

struct SyncRule {
    int command = 0; // 1..5
    QString folder;
    QString name;
    QString suffix;
};
// Nothing for an empty line, a comment or a command outside 1..5.
std::optional<SyncRule> parseSyncRule(const QString& line);
// Work\SynDir.000, in order.
QList<SyncRule> loadSyncRules(const DataRoot& root);

// A path of a rule, relative to both folders, in the program's "\" form or with "/": the relative path
// with "/" when every part is a plain name, else nothing ("..", a drive, a leading separator).
std::optional<QString> relativeSyncPath(const QString& text);

// "Проверьте "путь синхронизации"!!! Загрузку без синхронизации продолжить?"
QString checkSyncPathQuestion();
// "Останов синхронизации. Загрузку программы продолжить?"
QString syncStoppedQuestion();

// The master's folder holds the program: the path points at an installation.
bool holdsProgram(const QString& folder);

// What a run would do, each file relative to both folders: copied in, or removed from the copy because
// the master has no such file.
struct SyncPlan {
    QStringList copy;
    QStringList remove;
    // The copy's folders that would lose more than half of their files: "Hour 12/20".
    QStringList massDeletes;
};

// "Путь синхронизации недоступен: <path>" (the master's folder went during the run).
QString sourceLostText(int languageIndex, const QString& path);
// "Синхронизация удалила бы больше половины файлов: <folders>".
QString massDeleteText(int languageIndex, const QStringList& folders);

class FolderSync {
public:
    FolderSync(const DataRoot& root, QString sourceFolder, int language);

    // Reads the rules and works out what the run would copy and remove, changing nothing; false when
    // the source is no installation.
    bool prepare();
    const SyncPlan& plan() const { return plan_; }
    // A run that would remove more than half of a folder's files goes ahead only when allowed: an
    // emptied or half-mounted master looks just like one whose data were deleted.
    void allowMassDelete(bool allow) { allowMassDelete_ = allow; }

    // Clears the stop flag and Current\ErrDS.000, then prepare(); false when the source is no
    // installation (nothing is copied then, and the caller asks checkSyncPathQuestion()). A run
    // refused for its deletions starts and ends at once with the reason in errors().
    bool start();
    // Copies the next file (a rule is expanded when it begins); false once every rule is done or the run
    // was stopped.
    bool step();
    void stop() { stopFlag_ = true; }
    bool stopped() const { return stopped_; }
    bool finished() const { return finished_; }
    // The master's folder went (or became another folder) during the run: the run stopped there and
    // the copy kept everything it had.
    bool sourceLost() const { return sourceLost_; }

    int copied() const { return copied_; }
    int missing() const { return missing_; }
    // Files done so far and the gauge's maximum.
    int done() const { return done_; }
    int gaugeMaximum() const { return gaugeMaximum_; }
    // The copy errors, each "Ошибка! при копировании файла … - код ошибки: …", and the rules refused.
    const QStringList& errors() const { return errors_; }
    // The same failures, each with its kind and errors()' text as its detail: Locked for a file another
    // program held through the run and its second try, NotFound for a master that went, Damaged for a
    // master's table that cannot be read, Invalid for a table or rule refused, Io for a file that could
    // not be written.
    const QList<Error>& failures() const { return failures_; }
    // The files (relative) that another program held both when their turn came and when they were tried
    // again at the end of the run: busy, not broken; the next run takes them.
    const QStringList& busy() const { return busy_; }
    const QString& sourceFolder() const { return source_; }

private:
    void expand(const SyncRule& rule);
    void copyOne(const QString& relative);
    QStringList identifiers() const;
    QStringList expandRule(const SyncRule& rule, const QStringList& ids);
    // The master's folder is still there and still the one the run began with.
    bool sourceStillThere() const;
    void noteMissing(const QString& sourcePath);
    void noteFailure(ErrorKind kind, const QString& text);

    DataRoot root_;
    QString source_;
    int language_;
    database::Schemas schemas_; // the tables copied in are made from these
    QList<SyncRule> rules_;
    qsizetype nextRule_ = 0;
    QStringList pending_; // the current rule's files, relative
    // A file another program held when its turn came is tried once more when every rule is done,
    // rather than failing the run for a moment's overlap.
    QStringList heldBack_;
    bool retrying_ = false;
    bool stopFlag_ = false;
    bool stopped_ = false;
    bool finished_ = false;
    int copied_ = 0;
    int missing_ = 0;
    int done_ = 0;
    int gaugeMaximum_ = 100;
    QStringList errors_;
    QList<Error> failures_;
    QStringList busy_;
    SyncPlan plan_;
    bool allowMassDelete_ = false;
    bool sourceLost_ = false;
    // The master's folder as the run found it at its start.
    QString sourceCanonical_;
    QDateTime sourceBirth_;
};

} // namespace tarn::sync
