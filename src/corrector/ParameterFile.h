#pragma once
// The record format of the corrector's data files (the "*.prt" snapshot and the point's parameter
// file Param\p_<identifier>.000): a file of 200-byte records, each a length byte and up to 199
// characters of Windows-1251 text padded with blanks. The first character of a line says what it
// holds. Also the two cell checks the loaders and the reports share.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace tarn::corrector {

namespace line_tag {
inline constexpr char Header = 0x0B;
inline constexpr char Battery = 0x0C;
inline constexpr char Hourly = 0x01;
inline constexpr char Daily = 0x02;
inline constexpr char Monthly = 0x03;
inline constexpr char Abnormal = 0x04;
inline constexpr char Interference = 0x05;
inline constexpr char Operative = 0x06;
inline constexpr char Word = 0x07;
inline constexpr char Service = 0x08;
inline constexpr char DailyEnergy = 0x0E;
inline constexpr char MonthlyEnergy = 0x0F;
} // namespace line_tag

inline constexpr int kLineRecordSize = 200;
inline constexpr int kLineTextSize = kLineRecordSize - 1;
inline constexpr int kHeaderLines = 10;
inline constexpr int kCellWidth = 10;

// One record: the length byte (the whole length, at most 255) and the first 199 bytes of the text
// padded with blanks.
QByteArray encodeLineRecord(const QByteArray& text);

struct DecodedRecords {
    QList<QByteArray> lines; // each the first min(length, 199) bytes of its record
    bool complete = true;    // false: the file ends in a record shorter than 200 bytes
};
DecodedRecords decodeLineRecords(const QByteArray& file);

// A row line's cells: each padded with blanks to 10 characters (a longer one kept whole) and "|".
QString rowLineText(const QStringList& cells);
// The cells of a line's content (the tag already dropped): the texts between the "|" with every blank
// removed; the text after the last "|" is a cell too when it is not empty.
QStringList splitCells(const QString& content);

// A date cell as the loaders and reports accept it: day, month and year in any separators, a two-digit
// year in this century, a calendar date from 01.01.2000 to 24.11.2031; shown "dd.MM.yyyy".
struct NormalisedDate {
    bool valid = false;
    QString text; // empty when not valid
};
NormalisedDate NormaliseDateCell(const QString& text);
// A time cell: any separator, shown "HH:mm"; empty when it cannot be read as a time.
QString NormaliseTimeCell(const QString& text);

} // namespace tarn::corrector
