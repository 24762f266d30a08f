#pragma once
// The packages of a whole polling group: every member packed into Mail_BD\<group>\<id>.tbd, or the
// ticked packages of a folder opened one after the other. Each run is a step machine: start(), then one
// point per step() (the window ticks every 50 ms, tarn-cli loops), with a log of coloured lines and a
// stop flag that ends the run before the next point.
#include "common/DataRoot.h"
#include "common/Error.h"
#include "common/LineColour.h"
#include "common/Notifier.h"
#include "database/Storage.h"
#include "link/LinkSettings.h"
#include "sync/PointPackage.h"

#include <QStringList>
#include <QTime>
#include <functional>

namespace tarn::sync {

// The log takes the colours every other log of the program takes.
using LogColour = LineColour;
using GroupLog = std::function<void(const QString& line, LogColour colour)>;
// The time a log line starts with; tests fix it.
using Clock = std::function<QTime()>;

// "АВАРИЙНЫЙ ОСТАНОВ!!!"
QString emergencyStopText();
// "ОШИБКА!!! нет данных": no package ticked.
QString noPackagesText();

// The folder a group's packages go to: Mail_BD\<group name>\; empty for a name that cannot name a
// folder.
QString groupPackageFolder(const DataRoot& root, const QString& groupName);

class GroupSaveRun {
public:
    // The members come from the registry through storage (which must outlive the run); each member's
    // package is made from its table files under root, with storage's layouts.
    GroupSaveRun(const DataRoot& root, database::Storage& storage, const QString& groupName, int language,
                 GroupLog log, Clock clock = {});
    // The heading, the folder made; false (and the reason logged) when there is nothing to run.
    bool start();
    // Packs the next member; false once the run is over.
    bool step();
    void stop() { stopFlag_ = true; }
    bool finished() const { return finished_; }
    // Every member packed and nothing stopped the run.
    bool succeeded() const { return finished_ && !stopped_ && failures_ == 0 && started_; }
    int packed() const { return packed_; }
    int failures() const { return failures_; }
    // Why each member that failed did, in order, with its kind: the log shows the user's text only,
    // and a caller deciding whether to try again needs "held elsewhere" told from "damaged".
    const QList<Error>& causes() const { return causes_; }
    const QString& folder() const { return folder_; }
    const QStringList& packages() const { return packages_; }

private:
    QString now() const;
    void finish();

    DataRoot root_;
    database::Storage& storage_;
    QString groupName_;
    int language_;
    GroupLog log_;
    Clock clock_;
    QString folder_;
    struct Member {
        int number;
        QString identifier;
        QString title; // model, serial and owner as the start line shows them
    };
    QList<Member> members_;
    qsizetype next_ = 0;
    QStringList packages_;
    int packed_ = 0;
    int failures_ = 0;
    QList<Error> causes_;
    bool started_ = false;
    bool stopFlag_ = false;
    bool stopped_ = false;
    bool finished_ = false;
};

// The "*.tbd" files of a folder, by name.
QStringList packagesInFolder(const QString& folder);
// Work\Dir_RdGr.000: the folder group packages were last opened from (empty when none is kept).
QString lastGroupFolder(const DataRoot& root);
bool keepLastGroupFolder(const DataRoot& root, const QString& folder);

class GroupOpenRun {
public:
    // files: the ticked packages of folder, in list order.
    GroupOpenRun(const DataRoot& root, const database::Schemas& schemas, Notifier& notifier,
                 const link::LinkSettings& settings, const QString& folder, const QStringList& files,
                 int language, GroupLog log, Clock clock = {});
    bool start();
    bool step();
    void stop() { stopFlag_ = true; }
    bool finished() const { return finished_; }
    bool succeeded() const { return finished_ && !stopped_ && failures_ == 0 && started_; }
    int opened() const { return opened_; }
    int failures() const { return failures_; }
    // Why each package that failed did, in order, with its kind (see GroupSaveRun::causes).
    const QList<Error>& causes() const { return causes_; }
    // The points whose data arrived, in order (for the windows to refresh).
    const QStringList& identifiers() const { return identifiers_; }
    PackageLimits limits;

private:
    QString now() const;
    void finish();

    DataRoot root_;
    const database::Schemas& schemas_;
    Notifier& notifier_;
    link::LinkSettings settings_;
    QString folder_;
    QStringList files_;
    int language_;
    GroupLog log_;
    Clock clock_;
    qsizetype next_ = 0;
    QStringList identifiers_;
    int opened_ = 0;
    int failures_ = 0;
    QList<Error> causes_;
    bool started_ = false;
    bool stopFlag_ = false;
    bool stopped_ = false;
    bool finished_ = false;
};

} // namespace tarn::sync
