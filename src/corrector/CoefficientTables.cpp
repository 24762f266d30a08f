#include "corrector/CoefficientTables.h"

#include "common/DisplayNumber.h"
#include "common/Language.h"
#include "common/TextFile.h"
#include "corrector/DeviceValues.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace tarn::corrector {

namespace {

// The constants of the Z-900 meter, each name 58 characters; the Ukrainian name of the sixth writes the
// apostrophe of "в'язкість" as a double-quote character, as the corrector's documents print it.
struct ConstantName {
    const char* ua;
    const char* ru;
};
constexpr ConstantName kConstantNames[kMeterConstantCount] = {
    {"Розмір тіла обтікання - d20(м)                            ",
     "Размер тела обтекания - d20(м)                            "},
    {"Діам. прохідного пер. ПП при температурі 20град.С - D20(м)",
     "Диам. проходного сеч. ПП при температуре 20град.С - D20(м)"},
    {"Площа поперечного перетину проточного тракту  - Fcd20(м2) ",
     "Площадь поперечного сечения проточного тракта - Fcd20(м2) "},
    {"Коэфіцієнт звуження потока за тілом що обтикаєтся         ",
     "Коэффициент сужения потока за обтекаемым телом            "},
    {"Ефективний коэфіцієнт лінійного розширення матеріалів ПП  ",
     "Эффективный коэффициент линейного расширения материалов ПП"},
    {"Поправочний коэфіцієнт, що враховує в\"язкість газу Kqавт  ",
     "Поправочный коэффициент, учитывающий вязкость газа Kqавт  "},
    {"Коэфіцієнт приведення тиску (для розрахункового перерізу) ",
     "Коэффициент приведения давления (для расчетного сечения)  "},
    {"Коэфіцієнт попереднього дільника                          ",
     "Коэффициент предварительного делителя                     "},
};

// A plain decimal number: sign, digits with an optional point, an optional exponent.
const QRegularExpression& numberPattern() {
    static const QRegularExpression pattern(QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)"));
    return pattern;
}

std::optional<double> plainNumber(const QString& text) {
    QString t = removeSpaces(text);
    t.replace(QChar(0x2212), QLatin1Char('-')); // a typed minus sign
    if (!numberPattern().match(t).hasMatch()) return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

// No coefficient file comes near this; anything larger is not one.
constexpr qint64 kMaxCoefficientFileBytes = 64 * 1024;

} // namespace

std::optional<quint8> coefficientItemCode(int word) {
    if (word >= 145 && word <= 152) return static_cast<quint8>(0xC1 + (word - 145));
    switch (word) {
    case 153:
        return quint8{0xCA};
    case 154:
        return quint8{0xCB};
    case 155:
        return quint8{0xCD};
    case 156:
        return quint8{0xCE};
    default:
        break;
    }
    if (word >= 157 && word <= kLastCoefWord) return static_cast<quint8>(0xD0 + (word - 157));
    return std::nullopt;
}

QList<int> meterCoefTransferWords() {
    QList<int> words;
    for (int w = kFirstCoefWord; w <= kLastCoefWord; ++w)
        if (w < 153 || w > 156) words.append(w);
    return words;
}

QList<int> calibTransferWords() {
    QList<int> words;
    for (int w = CalibTable::kFirstWord; w <= kLastCoefWord; ++w)
        words.append(w);
    return words;
}

QString coefficientText(float value) {
    if (!std::isfinite(value)) value = 0.0f;
    return QString::number(double(value), 'g', 6);
}

std::optional<float> coefficientCellValue(const QString& text) {
    const auto v = plainNumber(text);
    if (!v || std::fabs(*v) > double(std::numeric_limits<float>::max())) return std::nullopt;
    return static_cast<float>(*v);
}

CoefficientTable::CoefficientTable(int firstWord, int entries)
    : firstWord_(firstWord), raw_(entries, QByteArray(4, '\0')) {}

QByteArray CoefficientTable::raw(int entry) const {
    if (entry < 1 || entry > entries()) return QByteArray(4, '\0');
    return raw_.at(entry - 1);
}

void CoefficientTable::setRaw(int entry, const QByteArray& bytes) {
    if (entry < 1 || entry > entries()) return;
    raw_[entry - 1] = bytes.left(4).leftJustified(4, '\0');
}

float CoefficientTable::value(int entry) const {
    return readFloat(raw(entry), 0);
}

void CoefficientTable::loadFrom(const ParameterImage& image) {
    for (int e = 1; e <= entries(); ++e)
        setRaw(e, image.isRead(wordOf(e)) ? image.wordBytes(wordOf(e)) : QByteArray());
}

void CoefficientTable::storeInto(ParameterImage& image) const {
    for (int e = 1; e <= entries(); ++e)
        image.setWordBytes(wordOf(e), raw(e));
}

QString MeterCoefName(int entry, int languageIndex) {
    if (entry < 1 || entry > kMeterConstantCount) return {};
    const ConstantName& n = kConstantNames[entry - 1];
    return uaRu(languageIndex, n.ua, n.ru);
}

QString MeterCoefText(const ParameterImage& image, int entry) {
    MeterCoefTable table;
    return coefficientText(readFloat(image.wordBytes(table.wordOf(entry)), 0));
}

QString CalibText(const ParameterImage& image, int entry) {
    CalibTable table;
    return coefficientText(readFloat(image.wordBytes(table.wordOf(entry)), 0));
}

std::optional<QString> percentOfKq(const QString& kqText) {
    const auto kq = plainNumber(kqText);
    if (!kq) return std::nullopt;
    return displayNumber((*kq - 1.0) * 100.0, 4);
}

std::optional<QString> kqOfPercent(const QString& percentText) {
    const auto percent = plainNumber(percentText);
    if (!percent) return std::nullopt;
    return displayNumber((*percent + 100.0) / 100.0, 5);
}

MeterCoefCells meterCoefCells(const MeterCoefTable& table) {
    MeterCoefCells cells;
    for (int i = 1; i <= kMeterConstantCount; ++i)
        cells.constants[i - 1] = table.text(i);
    for (int p = 1; p <= kCoefPoints; ++p) {
        cells.ref[p - 1] = table.text(MeterCoefTable::refEntry(p));
        cells.kq[p - 1] = table.text(MeterCoefTable::kqEntry(p));
    }
    return cells;
}

CalibCells calibCells(const CalibTable& table) {
    CalibCells cells;
    for (int p = 1; p <= kCoefPoints; ++p) {
        cells.qw[p - 1] = table.text(CalibTable::qwEntry(p));
        cells.kq[p - 1] = table.text(CalibTable::kqEntry(p));
        cells.percent[p - 1] = displayNumber((double(table.value(CalibTable::kqEntry(p))) - 1.0) * 100.0, 4);
    }
    return cells;
}

QList<double> calibPercentages(const CalibCells& cells) {
    QList<double> values;
    for (const QString& text : cells.percent)
        values.append(plainNumber(text).value_or(0.0));
    return values;
}

QString calibRangeHint(CalibColumn column) {
    switch (column) {
    case CalibColumn::Kq:
        return QStringLiteral("\"0.98\" - \"1.02\"");
    case CalibColumn::Percent:
        return QStringLiteral("\"-2%\" - \"+2%\"");
    case CalibColumn::Qw:
        break;
    }
    return {};
}

bool applyCalibCell(CalibCells& cells, int point, CalibColumn column, const QString& text) {
    if (point < 1 || point > kCoefPoints || !plainNumber(text)) return false;
    const int i = point - 1;
    switch (column) {
    case CalibColumn::Qw:
        cells.qw[i] = text;
        break;
    case CalibColumn::Kq:
        cells.kq[i] = text;
        cells.percent[i] = *percentOfKq(text);
        break;
    case CalibColumn::Percent:
        cells.percent[i] = text;
        cells.kq[i] = *kqOfPercent(text);
        break;
    }
    return true;
}

QStringList whiLines(const MeterCoefCells& cells) {
    QStringList lines;
    for (const QString& c : cells.constants)
        lines.append(c);
    for (int half = 0; half < 2; ++half) {
        for (int p = 0; p < kPointsPerColumn; ++p)
            lines.append(cells.ref[half * kPointsPerColumn + p]);
        for (int p = 0; p < kPointsPerColumn; ++p)
            lines.append(cells.kq[half * kPointsPerColumn + p]);
    }
    return lines;
}

QStringList zibLines(const CalibCells& cells) {
    QStringList lines;
    for (int half = 0; half < 2; ++half)
        for (const auto* column : {&cells.qw, &cells.kq, &cells.percent})
            for (int p = 0; p < kPointsPerColumn; ++p)
                lines.append((*column)[half * kPointsPerColumn + p]);
    return lines;
}

void applyWhiLines(MeterCoefCells& cells, const QStringList& lines) {
    QList<QString*> order;
    for (QString& c : cells.constants)
        order.append(&c);
    for (int half = 0; half < 2; ++half) {
        for (int p = 0; p < kPointsPerColumn; ++p)
            order.append(&cells.ref[half * kPointsPerColumn + p]);
        for (int p = 0; p < kPointsPerColumn; ++p)
            order.append(&cells.kq[half * kPointsPerColumn + p]);
    }
    for (qsizetype i = 0; i < lines.size() && i < order.size(); ++i)
        *order[i] = collapseSpaces(lines.at(i));
}

void applyZibLines(CalibCells& cells, const QStringList& lines) {
    QList<QString*> order;
    for (int half = 0; half < 2; ++half)
        for (auto* column : {&cells.qw, &cells.kq, &cells.percent})
            for (int p = 0; p < kPointsPerColumn; ++p)
                order.append(&(*column)[half * kPointsPerColumn + p]);
    for (qsizetype i = 0; i < lines.size() && i < order.size(); ++i)
        *order[i] = collapseSpaces(lines.at(i));
}

std::optional<QStringList> readCoefficientFile(const QString& path) {
    return readTextLines(path, kMaxCoefficientFileBytes);
}

bool writeCoefficientFile(const QString& path, const QStringList& lines) {
    return writeTextLines(path, lines);
}

namespace {

void addWord(CoefficientWrite& w, int word, const QString& text) {
    if (!w.ok()) return;
    const auto value = coefficientCellValue(text);
    if (!value) {
        w.badWord = word;
        w.badText = text;
        return;
    }
    w.words.append(word);
    w.values.append(floatBytes(*value));
    w.texts.append(text);
}

} // namespace

CoefficientWrite meterCoefWrite(const MeterCoefCells& cells) {
    CoefficientWrite w;
    const MeterCoefTable table;
    for (int i = 1; i <= kMeterConstantCount; ++i)
        addWord(w, table.wordOf(i), cells.constants[i - 1]);
    for (int p = 1; p <= kCoefPoints; ++p) {
        addWord(w, table.wordOf(MeterCoefTable::refEntry(p)), cells.ref[p - 1]);
        addWord(w, table.wordOf(MeterCoefTable::kqEntry(p)), cells.kq[p - 1]);
    }
    if (!w.ok()) {
        w.words.clear();
        w.values.clear();
        w.texts.clear();
    }
    return w;
}

CoefficientWrite calibWrite(const CalibCells& cells) {
    CoefficientWrite w;
    const CalibTable table;
    for (int p = 1; p <= kCoefPoints; ++p) {
        addWord(w, table.wordOf(CalibTable::qwEntry(p)), cells.qw[p - 1]);
        addWord(w, table.wordOf(CalibTable::kqEntry(p)), cells.kq[p - 1]);
    }
    if (!w.ok()) {
        w.words.clear();
        w.values.clear();
        w.texts.clear();
    }
    return w;
}

} // namespace tarn::corrector
