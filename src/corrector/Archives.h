#pragma once
// The corrector's seven archives: where each lies in the archive banks, how a 256-byte page splits into
// records, the check byte of a record, and what each record becomes as a row of text cells (the archive
// tables of the corrector window, which storing and the reports read cell by cell). Pure: bytes in, rows
// out, the units and the model passed in.
#include "corrector/ModelProfile.h"
#include "corrector/ParameterImage.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QStringList>
#include <array>
#include <optional>

namespace tarn::corrector {

// The archive tables, numbered as storing and the reports know them.
enum class Archive { Hourly = 1, Daily, Monthly, Abnormal, Interference, Operative, Service };
inline constexpr int kArchiveCount = 7;
inline constexpr std::array<Archive, kArchiveCount> kArchives = {
    Archive::Hourly,       Archive::Daily,     Archive::Monthly, Archive::Abnormal,
    Archive::Interference, Archive::Operative, Archive::Service};

struct ArchiveGeometry {
    Archive archive;
    int kind;       // the read kind of the read queue
    quint8 op;      // opArchiveLow or opArchiveHigh
    int firstPage;  // the address byte of the first page
    int pages;      // pages of the archive
    int recordSize; // bytes of one record
    // The highest running number of a record that is decoded; records after it lie past the archive's
    // depth (the service archive's last page is only partly the archive's) and are not read as records.
    int lastRecord = -1; // -1: every record of every page
    int recordsOnPage(int page) const;
    bool beyondDepth(int number) const { return lastRecord >= 0 && number > lastRecord; }
};

// The geometry of a read kind (3..7, 9, 10); nothing for other kinds. The service archive's pages and
// depth come from the model profile: pages 232 up to and including 232 + archivePages, records 0 up to and
// including archiveDepth.
std::optional<ArchiveGeometry> archiveGeometry(int kind, const ModelProfile& profile);
std::optional<ArchiveGeometry> archiveGeometry(Archive archive, const ModelProfile& profile);
bool isArchiveKind(int kind);

// The check byte makes the 8-bit sum of all the record's bytes zero.
bool recordCheckOk(const QByteArray& record);
// No date: the first three bytes are 0.
bool isEmptyRecord(const QByteArray& record);

// "xxx/" and 12 letters from the two status words of hourly, daily and monthly records.
QString statusText(quint16 word1, quint16 word2);

// What a decoder needs besides the record: the parameters read before (units, pulse weight, Qmax,
// the corrector's model) and the language of the texts.
struct ArchiveContext {
    const ModelProfile& profile;
    const ParameterImage& image;
    int languageIndex = 1;
    int volumeDecimals = 2; // Work\Qdel.000
};

// The column titles of an archive table in the language.
QStringList archiveColumns(Archive archive, const ArchiveContext& context);
// One record as its table row: the number cell first; a record without a date holds only that cell.
QStringList decodeRecord(Archive archive, const QByteArray& record, int number,
                         const ArchiveContext& context);

// The changed-parameter cells of an interference record (bytes 5..14): who, what, before, after.
struct InterferenceCells {
    QString who;
    QString parameter;
    QString before;
    QString after;
};
InterferenceCells decodeInterference(const QByteArray& bytes5to14, const ArchiveContext& context);

// The seven tables of one read: rows of text cells, as the window shows them.
class ArchiveTables {
public:
    void clear();
    void clear(Archive archive);
    int rowCount(Archive archive) const { return static_cast<int>(rows(archive).size()); }
    const QList<QStringList>& rows(Archive archive) const { return rows_[index(archive)]; }
    // The one way in for storing and the reports: archive 1..7, column, row; empty beyond the table.
    QString cell(int archive, int column, int row) const;
    // A row at its position (the rows of a page read again take the same positions).
    void setRow(Archive archive, int row, const QStringList& cells);
    void truncate(Archive archive, int rows);
    // Records still bad after their page was read again and again, shown as empty rows: the user is told
    // how many, since what they held is lost to this reading.
    int blanked(Archive archive) const { return blanked_[index(archive)]; }
    int blankedTotal() const;
    void addBlanked(Archive archive, int records) { blanked_[index(archive)] += records; }

private:
    static int index(Archive archive) { return static_cast<int>(archive) - 1; }
    std::array<QList<QStringList>, kArchiveCount> rows_;
    std::array<int, kArchiveCount> blanked_{};
};

// "<archive>: записей заменено пустыми: N", one line for each archive with blanked records.
QStringList blankedRecordsLines(const ArchiveTables& tables, int languageIndex);
// The same in short for the request log's comment ("0" when nothing was blanked).
QString blankedRecordsComment(const ArchiveTables& tables);
// The archive's table title ("ЧАСОВОЙ", "СЛУЖЕБНЫЙ", ...) in the language.
QString archiveTableCaption(Archive archive, int languageIndex);

// The selective read: the pages of the hourly and daily archives that hold the last days, each read as
// a request of its own, the page after 255 being 52 (hourly) and the page after 223 being 192 (daily).
struct SelectivePages {
    int first = 0;
    int count = 0;
};
// The one-hour steps from the start date at the contract hour up to the end, the start counted (at
// least 1).
int selectiveHours(const QDate& startDate, int contractHour, const QDateTime& end);
// From the archive's newest-record pointer: the pages holding the last hours, or the last days.
SelectivePages planHourlyPages(quint16 pointer, int hours);
SelectivePages planDailyPages(quint16 pointer, int days);
int nextSelectivePage(Archive archive, int page);
// The page after a page of any archive: the last page is followed by the first, as the corrector writes.
int nextPageInRing(const ArchiveGeometry& geometry, int page);
// The pages from the one after `from` up to `to`, round the ring (0 when they are the same page).
int pagesAfterInRing(const ArchiveGeometry& geometry, int from, int to);
// The page that holds a record (its number counted from the archive's first record).
int pageOfRecord(const ArchiveGeometry& geometry, int record);

// "КОНТРОЛЬ ДЫРОК": the records missing between records that are there. For every row without a date
// that lies between rows with one, a line: the archive's name, " ном.зап." and the row's index; the
// tables in the order hourly, daily, monthly, abnormal situations, interference, operative, service.
QStringList findGaps(const ArchiveTables& tables);

// The check of one archive page after another, as a full read walks them: every record's check byte, at
// most three rejections of a page, then its bad records blanked; the empty end of the archive when asked
// for. Accepted records become rows of the tables.
class ArchivePageCheck {
public:
    ArchivePageCheck(const ArchiveGeometry& geometry, ArchiveTables& tables, bool untilEmpty);

    enum class Verdict { Accept, Reject, AcceptAndEnd };
    // The page at its address byte; rows are written from the row counter on.
    Verdict check(int page, const QByteArray& payload, const ArchiveContext& context);
    int rowCount() const { return rows_; }
    // A selective read numbers its records by their place in the archive, not by the rows read.
    void numberFrom(int firstNumber) { numberBase_ = firstNumber; }
    // A read that goes on from rows already in the table writes after them.
    void startAtRow(int row) { rows_ = row; }

private:
    ArchiveGeometry geometry_;
    ArchiveTables& tables_;
    bool untilEmpty_;
    int rows_ = 0;
    int retriesLeft_ = 3;
    bool blankMode_ = false;
    std::optional<int> numberBase_;
};

} // namespace tarn::corrector
