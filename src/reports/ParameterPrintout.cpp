#include "reports/ParameterPrintout.h"

#include <QFileInfo>

#include "common/DisplayNumber.h"
#include "common/Language.h"
#include "corrector/CoefficientTables.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/ParameterFile.h"
#include "corrector/ValueLists.h"
#include "reports/ReportHeaders.h"
#include "reports/ReportText.h"

#include <QFile>
#include <QRegularExpression>

namespace tarn::reports {

using corrector::Field;

namespace {

// Where the coefficient tables begin in the parameter image (the tables' own definitions).
constexpr int kFirstMeterCoefWord = corrector::kFirstCoefWord;
constexpr int kFirstCalibWord = corrector::CalibTable::kFirstWord;

const QString kLongRule =
    QStringLiteral("|-----------------------------------------------------------------------|");
const QString kShortRule =
    QStringLiteral("|-----------------------------|   |-----------------------------|");

class Printout : private PrintedCorrector {
public:
    Printout(const corrector::Reading& reading, const ParameterPrintoutOptions& options)
        : PrintedCorrector(reading), o_(options), ua_(options.languageIndex != kRussian),
          language_(options.languageIndex) {}

    ParameterPrintout build();

private:
    void line(const QString& text = {}) { out_.lines.append(text); }
    // A coefficient word as the coefficient windows show it.
    QString coefficient(int word) const { return corrector::coefficientText(img_.wordFloat(word)); }
    QString onOff(int n, const char* onUa, const char* onRu, const char* offUa, const char* offRu) const {
        return item(n).trimmed() == QStringLiteral("ВКЛ.") ? uaRu(language_, onUa, onRu)
                                                           : uaRu(language_, offUa, offRu);
    }

    void head();
    void settingsTable();
    bool afterTable();
    void meterCoefficients();
    void calibrationTable();

    const ParameterPrintoutOptions& o_;
    bool ua_;
    int language_;
    ParameterPrintout out_;
};

void Printout::head() {
    line();
    QString company = item(45);
    company.replace(QRegularExpression(QStringLiteral(" {2,}")), QStringLiteral(" "));
    const int blanks = std::max(1, (70 - static_cast<int>(company.size())) / 2);
    line(QString(blanks, QLatin1Char(' ')) + company);
    if (company.isEmpty())
        line(QStringLiteral("           ________________________________________________________"));
    if (complex())
        line(uaRu(language_, "             (назва підприємства, на якому розташован комплекс)",
                  "           (название предприятия, на котором расположен комплекс)"));
    else
        line(uaRu(language_, "             (назва підприємства, на якому розташован коректор)",
                  "           (название предприятия, на котором расположен корректор)"));
    line();
    line(uaRu(language_, "Договорне навантаження Qст.у (", "Договорные обязательства Qст.у (") +
         volumeUnit() + uaRu(language_, "/год) ", "/час) ") + item(47));
    line();
    line();
    line(uaRu(language_, "                      ЗАПРОГРАМОВАНІ ПАРАМЕТРИ",
              "                        ПРОГРАММИРУЕМЫЕ ПАРАМЕТРЫ"));
    line();
    ReportHeader header = headerFromCorrector(m_, o_.languageIndex);
    header.complex = complex();
    out_.lines += deviceBlock(header, ua_);
    line(uaRu(language_, "Дата останньої корекції      ", "Дата последней  коррекции    ") +
         lastCorrectionText(m_, o_.newestStoredIntervention));
    line(uaRu(language_, "Дата друку                   ", "Дата печати                  ") +
         o_.now.date().toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(" / ") +
         o_.now.time().toString(QStringLiteral("HH:mm")));
    line();
}

void Printout::settingsTable() {
    auto row = [this](const QString& left, const QString& middle, const QString& right) {
        line(pad(left, 27) + pad(middle, 32) + right);
    };
    const QString blank27(27, QLatin1Char(' '));
    const QString perHour = uaRu(language_, "(м.куб/год) ", "(м.куб/час) ");
    const QString unit = QLatin1Char('(') + pressureUnit() + QLatin1Char(')');
    const bool noGasParts = fixedMethod() || foreignGas();

    row(uaRu(language_, "Контрактна доба    ", "Контрактные сутки  ") + item(21),
        QStringLiteral("| Tст.у.(град.С) ") + QString(6, QLatin1Char(' ')) + item(40),
        foreignGas() ? QString(26, QLatin1Char(' ')) + QLatin1Char('|')
                     : QStringLiteral("| Метод ") + item(5).rightJustified(14));
    row(uaRu(language_, "Контрактна година  ", "Контрактное время  ") + item(20),
        QStringLiteral("| Рст.у.") + pad(unit, 13) + QStringLiteral("  ") + item(39),
        panelModel() ? QStringLiteral("| Pбар") + pad(unit, 10) + panelPressure(67)
                     : QStringLiteral("| Pmin") + pad(unit, 10) + item(30));
    row(fixedMethod() ? uaRu(language_, "Кстиск.            ", "Ксжим.             ") + item(4)
                      : uaRu(language_, "Густина(кг/м.куб)  ", "Плотность(кг/м.куб)") + item(1),
        QStringLiteral("| Qmin р.у.") + perHour + item(9),
        panelModel() ? QStringLiteral("| Pизб") + pad(unit, 10) + panelPressure(66)
                     : QStringLiteral("| Pmax") + pad(unit, 10) + item(31));
    row(noGasParts ? blank27 : uaRu(language_, "Вміст N2 (%)       ", "Содерж. N2 (%)     ") + item(3),
        QStringLiteral("| Qmax р.у.") + perHour + item(10), QStringLiteral("| Tmin (град.С) ") + item(33));
    row(noGasParts ? blank27 : uaRu(language_, "Вміст CO2 (%)      ", "Содерж. CO2 (%)    ") + item(2),
        p_.meterCoefModel ? QStringLiteral("| ДУ                   ") + item(65)
                          : uaRu(language_, "| К-т імп/м.куб        ", "| К-во имп/м.куб       ") +
                                item(calibration() ? 67 : 15),
        QStringLiteral("| Tmax (град.С) ") + item(32));
    line(blank27 + QStringLiteral("| Qtrs р.у.") + perHour + pad(item(13), 9) + QLatin1Char('|'));
    if (!p_.meterCoefModel)
        line(blank27 + QStringLiteral("| Qtrn р.у.") + perHour + pad(item(12), 9) + QLatin1Char('|'));
}

// The lines after the table; false when the begin date stops the printout.
bool Printout::afterTable() {
    line();
    line(pad(QStringLiteral("Tconst (град.С)"), 29) + item(35));
    if (!panelModel())
        line(pad(QStringLiteral("Pconst (") + pressureUnit() + QLatin1Char(')'), 29) + item(34));
    line(pad(uaRu(language_, "Vconst р.у.(м.куб/доб) ", "Vconst р.у.(м.куб/сут) "), 29) + item(36));
    if (!corrector::NormaliseDateCell(o_.beginDate).valid) {
        out_.message = uaRu(language_, "ПОМИЛКА ФОРМАТУ ДАТИ : ", "ОШИБКА ФОРМАТА ДАТЫ : ") + o_.beginDate;
        return false;
    }
    line(uaRu(language_, "Час індикації                ", "Время индикации              ") + item(19) +
         QStringLiteral(" (сек.)"));
    line(uaRu(language_, "Стан  датчиків               ", "Состояние датчиков           ") + item(29));
    line(uaRu(language_, "Швидкість RS-232             ", "Скорость RS-232              ") + item(26));
    if (p_.secondPort && !p_.series2Model && !p_.languageSetting && !calibration())
        line(uaRu(language_, "Швидкість RS-232(2-ой канал) ", "Скорость RS-232(2-ой канал)  ") + item(63));
    line(uaRu(language_, "Оперативний архів            ", "Оперативный архив            ") + item(23));
    line(onOff(22, "Автопереведення ЗИМА/ЛІТО      УВІМКНЕНО", "Автоперевод ЗИМА/ЛЕТО        ВКЛЮЧЕНО",
               "Автопереведення ЗИМА/ЛІТО      ВИМКНЕНО", "Автоперевод ЗИМА/ЛЕТО        ВЫКЛЮЧЕНО"));
    if (!p_.meterCoefModel) {
        line(onOff(41, "Qmin, при Q<Qmin ?           УВІМКНЕНО", "Qmin, при Q<Qmin ?           ВКЛЮЧЕНО",
                   "Qmin, при Q<Qmin ?           ВИМКНЕНО", "Qmin, при Q<Qmin ?           ВЫКЛЮЧЕНО"));
        line(uaRu(language_, "Облік Qmin<Q<Qtrn % похибки  ", "Учет Qmin<Q<Qtrn % погрешн.  ") +
             img_.WordText(62));
    }
    if (p_.secondPort || p_.series2Model || p_.languageSetting || calibration())
        line(uaRu(language_, "Vстд. ЗАГАЛЬНИЙ              ", "Vстд. ОБЩИЙ                  ") + item(62) +
             QStringLiteral(" (") + volumeUnit() + QLatin1Char(')'));
    line(uaRu(language_, "Показники лічильника         ", "Показания счетчика           ") + item(11) +
         QStringLiteral(" (м.куб)"));
    return true;
}

void Printout::meterCoefficients() {
    line();
    line(uaRu(language_, "                    КОЕФІЦІЄНТИ ЛІЧИЛЬНИКА ОМРИС-Z-900 ",
              "                    КОЭФФИЦИЕНТЫ СЧЕТЧИКА ОМРИС-Z-900 "));
    line(kLongRule);
    const int lang = ua_ ? kUkrainian : kRussian;
    for (int i = 1; i <= corrector::kMeterConstantCount; ++i)
        line(QLatin1Char('|') + corrector::MeterCoefName(i, lang) + QLatin1Char('|') +
             pad(corrector::MeterCoefText(img_, i), 12) + QLatin1Char('|'));
    line(kLongRule);
    line();
    line(uaRu(language_, "        Поправочні коефіцієнти, що враховують в’язкість газу",
              "        Поправочные коэффициенты, учитывающие вязкость газа"));
    line(kShortRule);
    line(QStringLiteral("|п.н|   Ref      |   Kq       |   |п.н|   Ref      |   Kq       |"));
    line(kShortRule);
    // Points 1..7 on the left, 8..14 on the right.
    using corrector::MeterCoefTable;
    auto entry = [this](int e) { return pad(corrector::MeterCoefText(img_, e), 12); };
    for (int n = 1; n <= corrector::kPointsPerColumn; ++n) {
        const int m = n + corrector::kPointsPerColumn;
        line(QLatin1Char('|') + pad(QString::number(n), 3) + QLatin1Char('|') +
             entry(MeterCoefTable::refEntry(n)) + QLatin1Char('|') + entry(MeterCoefTable::kqEntry(n)) +
             QLatin1Char('|') + QStringLiteral("   |") + pad(QString::number(m), 3) + QLatin1Char('|') +
             entry(MeterCoefTable::refEntry(m)) + QLatin1Char('|') + entry(MeterCoefTable::kqEntry(m)) +
             QLatin1Char('|'));
    }
    line(kShortRule);
}

void Printout::calibrationTable() {
    line();
    line(uaRu(language_, "                Поправочні коефіцієнти ЗИБ",
              "               Поправочные коэффициенты ЗИБ"));
    line(kShortRule);
    line(QStringLiteral("|п.н|    Qw      |    Kq      |   |п.н|    Qw      |   Kq       |"));
    line(kShortRule);
    // Points 1..7 on the left, 8..14 on the right.
    using corrector::CalibTable;
    auto entry = [this](int e) { return pad(corrector::CalibText(img_, e), 12); };
    for (int n = 1; n <= corrector::kPointsPerColumn; ++n) {
        const int m = n + corrector::kPointsPerColumn;
        line(QLatin1Char('|') + pad(QString::number(n), 3) + QLatin1Char('|') +
             entry(CalibTable::qwEntry(n)) + QLatin1Char('|') + entry(CalibTable::kqEntry(n)) +
             QLatin1Char('|') + QStringLiteral("   |") + pad(QString::number(m), 3) + QLatin1Char('|') +
             entry(CalibTable::qwEntry(m)) + QLatin1Char('|') + entry(CalibTable::kqEntry(m)) +
             QLatin1Char('|'));
    }
    line(kShortRule);
}

ParameterPrintout Printout::build() {
    head();
    settingsTable();
    if (!afterTable()) return out_;
    if (p_.meterCoefModel) meterCoefficients();
    if (calibration()) calibrationTable();
    return out_;
}

} // namespace

QString PrintedCorrector::item(int n) const {
    const auto field = corrector::fieldOfItem(n);
    return field ? m_.text(*field) : m_.itemText(n);
}

bool PrintedCorrector::fixedMethod() const {
    const bool two = p_.methodList == corrector::MethodListKind::Two;
    const auto list = two ? corrector::ValueList::MethodList2 : corrector::ValueList::MethodList4;
    return corrector::ChoiceIndex(list, m_.text(corrector::Field::Method), m_.languageIndex) == (two ? 1 : 3);
}

QString PrintedCorrector::volumeUnit() const {
    return img_.showsMass(p_) ? QStringLiteral("кг") : QStringLiteral("м.куб");
}

QString PrintedCorrector::pressureUnit() const {
    return img_.pressureInMpa() ? QStringLiteral("МПа") : QStringLiteral("кгс/см2");
}

QString PrintedCorrector::panelPressure(int word) const {
    const QString text = img_.WordText(word);
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok) return text;
    return img_.pressureInMpa() ? displayNumber(value / kKgfPerMpa, 5) : displayNumber(value, 4);
}

ParameterPrintout printParameters(const corrector::Reading& reading,
                                  const ParameterPrintoutOptions& options) {
    return Printout(reading, options).build();
}

QString lastCorrectionText(const corrector::Reading& reading, const std::optional<QDateTime>& newestStored) {
    if (newestStored)
        return newestStored->date().toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(" / ") +
               newestStored->time().toString(QStringLiteral("HH:mm"));
    const corrector::ArchiveTables& tables = reading.archives;
    const auto archive = corrector::Archive::Interference;
    if (tables.rowCount(archive) == 0) return QStringLiteral("------- / ----");
    // The table's cursor stands on its first row unless the newest record lies within the table.
    const int row = reading.newestRecordRow(archive).value_or(0);
    const int a = static_cast<int>(archive);
    return tables.cell(a, 1, row) + QStringLiteral(" / ") + tables.cell(a, 2, row);
}

QString missingParameterFileText(const QString& model, const QString& serial) {
    return QStringLiteral("Внимание!!! Нет файла параметров для корректора - ") + model +
           QStringLiteral(" N") + serial;
}

std::optional<QString> missingParameterFile(const DataRoot& root, const QString& identifier,
                                            const QString& model, const QString& serial) {
    const QString path = corrector::pointParameterFilePath(root, identifier);
    if (!path.isEmpty() && QFileInfo::exists(path)) return std::nullopt;
    return missingParameterFileText(model, serial);
}

ParameterPrintout printPointParameters(const DataRoot& root, const QString& identifier, const QString& model,
                                       const QString& serial, const ParameterPrintoutOptions& options,
                                       Notifier& notifier) {
    const QString path = corrector::pointParameterFilePath(root, identifier);
    if (path.isEmpty() || !QFile::exists(path)) return {{}, missingParameterFileText(model, serial), false};
    const corrector::LoadedReading loaded = corrector::loadPointParameterFile(
        path, notifier, options.languageIndex, corrector::loadVolumePrecision(root).decimals);
    if (!loaded.outcome.ok) return {{}, {}, false};
    return printParameters(loaded.reading, options);
}

} // namespace tarn::reports
