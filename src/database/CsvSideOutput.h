#pragma once
// The CSV copies storing can write beside the database, one file per kind and run in Ques_CSV\: switched
// on in the console settings (Work\Tuning.000, line 8 for all, lines 9..13 for hourly, daily, monthly,
// operative and the instantaneous measurement), with the delimiter of Current\Delim.000.
#include "common/DataRoot.h"

#include <QDateTime>
#include <QStringList>
#include <array>

namespace tarn::database {

enum class CsvKind { Hourly, Daily, Monthly, Operative, Measurement };

struct CsvSideOutput {
    bool on = false;
    std::array<bool, 5> kinds{}; // by CsvKind
    QChar delimiter = QLatin1Char(',');

    bool wanted(CsvKind kind) const { return on && kinds[static_cast<int>(kind)]; }
};

// The CSV field delimiter: "," unless Current\Delim.000 exists and its first line, with spaces removed,
// starts with another character that a CSV file can use (not a double quote or a control character).
QChar readCsvDelimiter(const DataRoot& root);
// The switches as the settings file holds them ("1" on, anything else off; a missing file: all off),
// with the delimiter.
CsvSideOutput readCsvSideOutput(const DataRoot& root);

// One kind's file of one run: Ques_CSV\<k><YYMMDD><HHmm>_<id>.csv with k "h", "d", "m", "o" or "i".
// Lines are gathered and the file is written whole when the kind is done, so a stop or a crash never
// leaves half a file.
class CsvSideFile {
public:
    CsvSideFile(const DataRoot& root, CsvKind kind, const QString& identifier, QChar delimiter,
                const QDateTime& now);
    const QString& path() const { return path_; }
    // Every cell followed by the delimiter, quoted as csvField does.
    void addRow(const QStringList& cells);
    bool isEmpty() const { return lines_.isEmpty(); }
    // Writes the file; false when it could not be written (the database rows stay stored).
    bool write() const;

private:
    QString path_;
    QChar delimiter_;
    QStringList lines_;
};

} // namespace tarn::database
