#pragma once
// Storing a reading: the decoded archive tables of one corrector go into its metering point's tables,
// without the records that are already there, without a record the corrector returned twice, oldest
// first, one transaction per kind (a stop keeps what earlier kinds stored), and one request-log row per
// run.
#include "corrector/SourceKind.h"
#include "database/CsvSideOutput.h"
#include "database/Registry.h"

#include <functional>

namespace tarn::database {

// The decoded tables as the reading left them: archive 1..7 (hourly, daily, monthly, abnormal
// situations, interference, operative, service), column, row (0 the first record).
class ArchiveRows {
public:
    virtual ~ArchiveRows() = default;
    virtual int rowCount(int archive) const = 0;
    virtual QString cell(int archive, int column, int row) const = 0;
};

// The instantaneous measurement taken during the reading, as the corrector window shows it.
struct MeasurementValues {
    QString pressure;
    QString temperature;
    QString correction;
    QString compressibility;
    QString flow;
    QString standardFlow; // "0" for models that do not report it
    QString battery;
    QString state;
};

// Source kinds of the request log (bQuest): the reading's own.
using corrector::SourceKind;
using corrector::sourceKindNumber;

// What is written beside the records: who the corrector is and its units.
struct StoreContext {
    QString identifier;
    QString serial;
    QString model;
    QString pressureUnit = QStringLiteral("кгс/см2");
    QString volumeUnit = QStringLiteral("м.куб"); // "кг" for correctors that count mass
    QString gasName;
    QString heatUnit; // empty: the corrector reports no heat energy
    int volumeDecimals = 2;
    // The stored number of a SourceKind: a reading by cable unless said otherwise.
    int sourceKind = sourceKindNumber(SourceKind::Cable);
    QString itemsToRead; // eleven "1"/"0"; empty: a copy of what was stored
    QString fileName;    // the file read, for a reading from a file (source kind 4)
    // The request log's comment: "0", or what the reading lost (records blanked after their re-reads).
    QString comment = QStringLiteral("0");
    std::optional<MeasurementValues> measurement;
    CsvSideOutput csv;
    // Writes the point's parameter file (Param\p_<id>.000, the path given); true when it was written.
    // Readings from the corrector (source kinds 1, 2, 5) write it before the archives; transfer units
    // and files (3, 4, 7) only when there is none yet, else after the archives unless the newest stored
    // record went back in time. Without it no file is written and the request log says so.
    std::function<bool(const QString& path)> writeParameterFile;
    // What the polling run did around the reading, for the request log; a reading by hand leaves it as it is.
    struct PollLog {
        // Invalid: not done (stored as the "none" timestamp).
        QDateTime gasChecked, clockChecked, connectionBegin, connectionEnd;
        int connectionSeconds = 0;
        QString error; // empty is stored as "--"
        // The gas parameters written (or found equal) and the clock corrected during the poll: the
        // stored-items flags 7 and 8.
        bool gasWritten = false;
        bool clockCorrected = false;
    };
    PollLog poll;
};

// Source kinds of the request log, 1..7.
QString sourceKindText(int sourceKind);

struct KindResult {
    int stored = 0;
    int dropped = 0; // already in the database, or returned twice by the corrector
    QDateTime first; // the first and last records written
    int firstNumber = -1;
    QDateTime last;
    int lastNumber = -1;
};

struct StoreResult {
    bool ok = false;
    bool stopped = false;
    QString error;
    QString storedItems = QStringLiteral("00000000000"); // bCurFlWrBD
    std::array<KindResult, 7> kinds;                     // by archive 1..7, index archive − 1
    int emptyCells = 0;                                  // cells stored as "0" because they were empty
    bool measurementStored = false;
    QDateTime parameterFileWritten; // invalid when it was not
    QStringList csvFiles;           // the side files written
    QStringList csvFailed;          // the side files that could not be written (the rows are stored)
};

// The time of a record of a decoded table (its date and time cells); invalid when it has none.
QDateTime recordTimestamp(const ArchiveRows& rows, int archive, int row);

// Stores every archive of the reading for the point. progress(done, total) is called as rows are
// selected and written; returning false stops the run (the kind in hand is not written, no later kind
// and no request-log row either).
// The tables are storage's; root holds the files beside them (the parameter file, the side CSV files).
StoreResult storeReading(const DataRoot& root, Storage& storage, const ArchiveRows& rows,
                         const StoreContext& context,
                         const std::function<bool(int done, int total)>& progress = {},
                         const QDateTime& now = QDateTime::currentDateTime());
// The same over the table files under root.
StoreResult storeReading(const DataRoot& root, const Schemas& schemas, const ArchiveRows& rows,
                         const StoreContext& context,
                         const std::function<bool(int done, int total)>& progress = {},
                         const QDateTime& now = QDateTime::currentDateTime());

// A request-log row without archives, for a poll that read nothing (a telephone point the modem did not
// reach, a corrector that did not answer): who, when, the source kind, the poll's times and its error
// text. No archive row and no parameter file are written.
StoreResult writeRequestLogOnly(Storage& storage, const StoreContext& context,
                                const QDateTime& now = QDateTime::currentDateTime());
StoreResult writeRequestLogOnly(const DataRoot& root, const Schemas& schemas, const StoreContext& context,
                                const QDateTime& now = QDateTime::currentDateTime());

// The rows a point's table holds, oldest first, as the database window shows them (dates dd.MM.yyyy,
// times HH:mm, timestamps dd.MM.yyyy HH:mm).
QList<QStringList> storedRows(Storage& storage, TableKind kind, const QString& identifier);
QList<QStringList> storedRows(const DataRoot& root, const Schemas& schemas, TableKind kind,
                              const QString& identifier);

} // namespace tarn::database
