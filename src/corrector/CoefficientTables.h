#pragma once
// The two coefficient tables some correctors keep in the top words of their parameter memory: the
// constants and viscosity curve of a Z-900 gas meter (meter-coefficient models, words 145..184) and the
// calibration curve of a metering complex (calibration models, words 157..184). Every entry is one item
// of the corrector, a single-precision float, kept as its 4 raw bytes. What the windows show of them
// (their cells), the "*.whi" and "*.zib" files of those cells, and how cell texts become the values sent
// are pure functions here.
#include "corrector/ModelProfile.h"
#include "corrector/ParameterImage.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace tarn::corrector {

inline constexpr int kFirstCoefWord = 145;
inline constexpr int kLastCoefWord = 184;
inline constexpr int kCoefPoints = 14;     // points of either curve
inline constexpr int kPointsPerColumn = 7; // the windows show points 1..7 and 8..14 side by side
inline constexpr int kMeterConstantCount = 8;

// The item code of a coefficient word 145..184; nothing for other words.
std::optional<quint8> coefficientItemCode(int word);
// The words a meter-coefficient transfer reads and writes, in order: 145..152 and 157..184 (the
// corrector keeps words 153..156 to itself).
QList<int> meterCoefTransferWords();
// The words of a calibration transfer: 157..184.
QList<int> calibTransferWords();

// An entry as the windows and the printout show it: 6 significant digits, "." as the point. A NaN or
// infinite value shows as 0.
QString coefficientText(float value);
// A cell's text as a value to send: every blank removed, then a plain decimal number that a float holds
// (no "nan", "inf", nor a value beyond the float range); nothing otherwise.
std::optional<float> coefficientCellValue(const QString& text);

// Entries numbered from 1; entry e is word firstWord + e − 1.
class CoefficientTable {
public:
    int firstWord() const { return firstWord_; }
    int entries() const { return static_cast<int>(raw_.size()); }
    int wordOf(int entry) const { return firstWord_ + entry - 1; }
    bool holdsWord(int word) const { return word >= firstWord_ && word < firstWord_ + entries(); }

    // The 4 raw bytes (zeros for an entry out of range).
    QByteArray raw(int entry) const;
    // The first 4 bytes are kept; fewer are padded with zeros.
    void setRaw(int entry, const QByteArray& bytes);
    void setWord(int word, const QByteArray& bytes) { setRaw(word - firstWord_ + 1, bytes); }
    // NaN and infinity read as 0.
    float value(int entry) const;
    QString text(int entry) const { return coefficientText(value(entry)); }

    // The entries from the image's words (zeros for words not read), and back into it.
    void loadFrom(const ParameterImage& image);
    void storeInto(ParameterImage& image) const;

protected:
    CoefficientTable(int firstWord, int entries);

private:
    int firstWord_;
    QList<QByteArray> raw_;
};

// The Z-900 meter: entries 1..8 the meter constants, 9..12 held but neither shown nor transferred, 13..40
// the viscosity correction curve of 14 points (Ref, Kq).
class MeterCoefTable final : public CoefficientTable {
public:
    static constexpr int kEntries = 40;
    MeterCoefTable() : CoefficientTable(kFirstCoefWord, kEntries) {}
    static int refEntry(int point) { return 13 + 2 * (point - 1); }
    static int kqEntry(int point) { return 14 + 2 * (point - 1); }
};

// The calibration curve: 14 points of the flow Qw and its correction factor Kq.
class CalibTable final : public CoefficientTable {
public:
    static constexpr int kEntries = 28;
    static constexpr int kFirstWord = 157;
    CalibTable() : CoefficientTable(kFirstWord, kEntries) {}
    static int qwEntry(int point) { return 2 * point - 1; }
    static int kqEntry(int point) { return 2 * point; }
};

// The name of meter constant 1..8 in the language, 58 characters with its trailing blanks.
QString MeterCoefName(int entry, int languageIndex);
// The display text of a meter-coefficient entry (1..40) or a calibration entry (1..28) of the image.
QString MeterCoefText(const ParameterImage& image, int entry);
QString CalibText(const ParameterImage& image, int entry);

// The percentage column of a calibration point: (Kq − 1) × 100 with 4 decimals; and back, the Kq of a
// percentage, (% + 100) ÷ 100 with 5 decimals. Nothing when the text is no number.
std::optional<QString> percentOfKq(const QString& kqText);
std::optional<QString> kqOfPercent(const QString& percentText);

// The cells of the meter-coefficient window, as texts.
struct MeterCoefCells {
    std::array<QString, kMeterConstantCount> constants;
    std::array<QString, kCoefPoints> ref;
    std::array<QString, kCoefPoints> kq;
};
MeterCoefCells meterCoefCells(const MeterCoefTable& table);

// The cells of the calibration window.
struct CalibCells {
    std::array<QString, kCoefPoints> qw;
    std::array<QString, kCoefPoints> kq;
    std::array<QString, kCoefPoints> percent;
};
CalibCells calibCells(const CalibTable& table);
// The percentages of the points as numbers (the curve); a cell that is no number counts as 0.
QList<double> calibPercentages(const CalibCells& cells);

// The calibration editor's range hint for a column: Kq "0.98" - "1.02", % "-2%" - "+2%", nothing for Qw.
enum class CalibColumn { Qw, Kq, Percent };
QString calibRangeHint(CalibColumn column);
// A new Kq sets the point's %, a new % its Kq; Qw stands alone. False when the text is no number (the
// cells are left as they were).
bool applyCalibCell(CalibCells& cells, int point, CalibColumn column, const QString& text);

// The "*.whi" file: the constants, Ref and Kq of points 1..7, then Ref and Kq of points 8..14 (36
// lines); the "*.zib" file: Qw, Kq and % of points 1..7, then of points 8..14 (42 lines).
inline constexpr int kWhiLines = 36;
inline constexpr int kZibLines = 42;
QStringList whiLines(const MeterCoefCells& cells);
QStringList zibLines(const CalibCells& cells);
// Each line, with every run of blanks reduced to one, goes to its cell in line order; a short file
// leaves the later cells as they were, lines beyond the file kind's count are ignored.
void applyWhiLines(MeterCoefCells& cells, const QStringList& lines);
void applyZibLines(CalibCells& cells, const QStringList& lines);

// Reads a coefficient file (Windows-1251, any line ending); nothing when it is missing, unreadable or
// larger than a coefficient file can sensibly be.
std::optional<QStringList> readCoefficientFile(const QString& path);
// Writes it whole or not at all (CR LF, Windows-1251).
bool writeCoefficientFile(const QString& path, const QStringList& lines);

// What a write sends: the words in transfer order with their values. When a cell is no number nothing
// is to be sent: badWord names the first such cell's word and badText its text.
struct CoefficientWrite {
    QList<int> words;
    QList<QByteArray> values;
    QStringList texts; // the cell text of each word, as the status label shows it
    int badWord = 0;
    QString badText;
    bool ok() const { return badWord == 0; }
};
CoefficientWrite meterCoefWrite(const MeterCoefCells& cells);
CoefficientWrite calibWrite(const CalibCells& cells);

} // namespace tarn::corrector
