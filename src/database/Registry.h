#pragma once
// The registry of metering points: one row of Bd_Quon per corrector whose data reach the database, with
// its identity, how to reach it and what to poll. A point is known by its identifier: a letter for the
// corrector's family and the first five characters of its serial number.
#include "common/Language.h"
#include "common/Notifier.h"
#include "common/PhoneNumber.h"
#include "database/GroupFiles.h"
#include "database/TableFile.h"

#include <QStringList>
#include <array>
#include <functional>
#include <optional>

namespace tarn::database {

// The identifier of a corrector: the family letter chosen by the rules below (the later wins), then the
// first five characters of the serial number, or "00000" for a serial number shorter than five. No rule
// for the family (for example "V"): the five characters alone.
QString pointIdentifier(QChar family, const QString& versionString, bool olderFirmware,
                        const QString& serial);
// A letter (or none) and five characters of a serial number; an identifier also names files, so anything
// else (separators, "..") is refused.
bool isPointIdentifier(const QString& text);

// The sixteen values of the configurator, registry fields 9 to 24 in this order.
inline constexpr int kConfigValues = 16;
inline constexpr int kFirstConfigPosition = 9; // 1-based, as the registry's field list counts
using PointConfig = std::array<QString, kConfigValues>;
namespace config {
inline constexpr int Owner = 0;
inline constexpr int OrgPhone = 1;
inline constexpr int LinkKind = 2;
inline constexpr int Port = 3;
inline constexpr int Password = 4;
inline constexpr int Phone = 5;
inline constexpr int Speed = 6;
inline constexpr int TimeoutMs = 7;
inline constexpr int BreakS = 8;
inline constexpr int Repeats = 9;
inline constexpr int WaitS = 10;
inline constexpr int PauseS = 11;
inline constexpr int ModemRepeats = 12;
inline constexpr int InitString = 13;
inline constexpr int Gas = 14;
inline constexpr int Flags = 15;
} // namespace config
// The owner is kept to 32 characters.
inline constexpr int kOwnerWidth = 32;
// The configurator's ranges and lists: empty when the values fit, else what does not. The window and the
// command line both check with it. The corrector's telephone is needed for the link kind "телефон" and
// holds only what a modem dials (digits, + * # , W P T, blanks and "-").
QString checkConfig(const PointConfig& config);
// How a refused telephone number reads wherever one is refused (the configurator, the modem's dial, the
// phone book, polling, the command line): one wording for all of them. Empty when nothing is refused.
QString phoneRefusalText(const PhoneRefusal& refusal, int languageIndex = kRussian);
// The number field's check with the message shown; false when refused.
bool acceptPhoneField(const QString& number, Notifier& notifier, int languageIndex = kRussian);

struct Point {
    QString identifier;
    QString serial;
    QString model; // the model name as the detection gives it
    QDateTime created;
    QString organisation; // as programmed in the corrector
    QString pipeline;
    int address = 1;
    PointConfig config;

    // Polling flag n (1..11); a missing character counts as not set.
    bool flag(int n) const;
};

// What the reports search by; an empty criterion is not used. The model matches the stored name without
// its padding; organisation, telephones and owner match inside the field in any letter case.
struct RegistrySearch {
    QString model;
    QString serial; // five characters exactly, or a beginning without its leading zeros
    QString organisation;
    QString orgPhone;
    QString owner;
    QString phone;
};

// What looking a point up gave: the point, no such point, or a registry that could not be read. Only "not
// found" may lead to adding a point: a locked or damaged file is an error all the way up.
class PointLookup {
public:
    enum class Outcome { Found, NotFound, Failed };
    static PointLookup found(Point point) { return PointLookup(Outcome::Found, std::move(point), {}); }
    static PointLookup notFound() { return PointLookup(Outcome::NotFound, std::nullopt, {}); }
    static PointLookup failed(QString error) {
        return PointLookup(Outcome::Failed, std::nullopt, std::move(error));
    }

    Outcome outcome() const { return outcome_; }
    bool failed() const { return outcome_ == Outcome::Failed; }
    const QString& error() const { return error_; }
    explicit operator bool() const { return point_.has_value(); }
    const Point& operator*() const { return *point_; }
    const Point* operator->() const { return &*point_; }
    // For the readers that only show a point: a failure shows as none.
    operator std::optional<Point>() const { return point_; }

private:
    PointLookup(Outcome outcome, std::optional<Point> point, QString error)
        : outcome_(outcome), point_(std::move(point)), error_(std::move(error)) {}
    Outcome outcome_;
    std::optional<Point> point_;
    QString error_;
};

class Registry {
public:
    // The registry's table, created with its seed record when missing. root holds the files that go with
    // the points (the parameter files, the polling groups, the point list); storage must outlive the
    // registry.
    Registry(const DataRoot& root, Storage& storage);
    // The same over the table files under root.
    Registry(const DataRoot& root, const Schemas& schemas);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;
    bool ok() const { return table_ != nullptr; }
    const QString& error() const { return error_; }

    PointLookup find(const QString& identifier) const;
    QList<Point> all() const;
    QList<Point> search(const RegistrySearch& criteria) const;
    // The programming window's filter: the points of exactly this model and this serial number, each
    // left out when empty. Stored model names count without the blanks the detection pads them with.
    QList<Point> matching(const QString& model, const QString& serial) const;
    // A new row, then the point's tables with their seed records and the point list file.
    bool add(const Point& point, const QDateTime& now = QDateTime::currentDateTime());
    // One field (1-based position, as the registry's field list counts) of the point's row.
    bool updateField(const QString& identifier, int position, const QString& text);
    // Several fields of the point's row in one transaction: all of them or, when one cannot be written
    // (or the program ends half way), none.
    bool updateFields(const QString& identifier, const QList<std::pair<int, QString>>& fields);
    // The configurator's save of a known point: only the values that differ from the stored ones. The
    // number of fields changed; -1 when the registry could not be read or a field not written (error()).
    int updateConfig(const QString& identifier, const PointConfig& config);

    // The polling console's lines: model padded to 11, " №", serial, two blanks, owner padded to 32,
    // identifier right-aligned in 15.
    QStringList pollingList() const;
    // Current\SynCor.000: one identifier a line, in registry order.
    bool writePointList() const;

    // Erases a point: its tables' files first (a file already missing counts as erased), its parameter
    // file, its lines in the polling groups, and only then its registry row, so that a failure leaves the
    // point visible and the erase can be tried again. Empty on success, else the message.
    // progress(step, steps) follows each step.
    // groups: the run's polling groups; without them root's Group folder.
    QString erase(const QString& identifier, GroupFiles& groups,
                  const std::function<void(int step, int steps)>& progress = {});
    QString erase(const QString& identifier, const std::function<void(int step, int steps)>& progress = {});

private:
    Point pointOf(const QVariantList& row) const;
    void openTable();

    DataRoot root_;
    std::unique_ptr<SqliteStorage> ownStorage_; // only when made over the table files
    Storage& storage_;
    std::unique_ptr<Table> table_;
    QString error_;
};

// The database at start: the registry, the gas table and the day's join table opened (each created with
// its seed record when missing), and Current\SynCor.000 written when missing. Empty when all went well,
// else what failed.
QString openDatabaseAtStart(const DataRoot& root, Storage& storage, const QDate& today);
QString openDatabaseAtStart(const DataRoot& root, const Schemas& schemas, const QDate& today);

// What the point's tables last received, by kind: the identifier (empty: the kind has no stored rows),
// the corrector's record number as five digits, the record's date (dd.MM.yyyy) and time (HH:mm). The
// measurement table has no record number ("00000") and gives the time it was taken.
struct LastStored {
    QString identifier;
    QString number;
    QString date;
    QString time;
    QDateTime stamp; // invalid when nothing is stored
};
inline constexpr std::array<TableKind, 8> kLastStoredKinds = {
    TableKind::Hourly,       TableKind::Daily,     TableKind::Monthly, TableKind::Alarm,
    TableKind::Interference, TableKind::Operative, TableKind::Service, TableKind::Measurement};
using LastStoredSummary = std::array<LastStored, kLastStoredKinds.size()>;
// The last row ("last" is the highest number) of each kind's table of the point; a missing table counts
// as empty and is not created.
LastStoredSummary lastStoredSummary(Storage& storage, const QString& identifier);
LastStoredSummary lastStoredSummary(const DataRoot& root, const Schemas& schemas, const QString& identifier);
// The latest of the stamps lastStoredSummary gives (invalid when nothing is stored), read for the stamp
// alone: one value of each kind's table instead of its whole last row.
QDateTime newestStoredStamp(Storage& storage, const QString& identifier);
// newestStoredStamp of many points, by identifier, a point with nothing stored left out: each kind's
// tables asked together (Storage::greatestRowValues), so that a server answers in a statement a kind.
// stopped, when given, is asked before each table; true ends the reading with what was read so far
// (whoever stops it drops the result).
QHash<QString, QDateTime> newestStoredStamps(Storage& storage, const QStringList& identifiers,
                                             const std::function<bool()>& stopped = {});

} // namespace tarn::database
