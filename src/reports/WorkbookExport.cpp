#include "reports/WorkbookExport.h"

#include "common/DisplayNumber.h"
#include "common/Language.h"
#include "corrector/CoefficientTables.h"
#include "corrector/ValueLists.h"
#include "reports/ParameterPrintout.h"
#include "reports/ReportHeaders.h"
#include "reports/ReportText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <xlsxwriter.h>

namespace tarn::reports {

using corrector::Archive;

namespace {

struct ArchiveTexts {
    Archive archive;
    const char* boxUa;
    const char* boxRu;
    const char* sheetUa;
    const char* sheetRu;
};
constexpr ArchiveTexts kTexts[] = {
    {Archive::Hourly, "Годинний архів", "Часовой архив", "Годинний", "Часовой"},
    {Archive::Daily, "Добовий архів", "Суточный архив", "Добовий", "Суточный"},
    {Archive::Monthly, "Місячний архів", "Месячный архив", "Місячний", "Месячный"},
    {Archive::Abnormal, "Архів аварій", "Архив аварий", "Аварійний", "Аварийный"},
    {Archive::Interference, "Архів втручань", "Архив вмешательств", "Втручань", "Вмешательств"},
    {Archive::Operative, "Оперативний архів", "Оперативный архив", "Оперативний", "Оперативный"},
};

const ArchiveTexts* textsOf(Archive archive) {
    for (const ArchiveTexts& t : kTexts)
        if (t.archive == archive) return &t;
    return nullptr;
}

// A cell holds at most this many characters; a longer text would make the whole file fail.
constexpr qsizetype kMaxCellText = 32767;

bool hasXlsOrXlsx(const QString& path) {
    return path.endsWith(QLatin1String(".xls"), Qt::CaseInsensitive) ||
           path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive);
}

QString withoutWorkbookSuffix(const QString& path) {
    if (!hasXlsOrXlsx(path)) return path;
    return path.left(path.lastIndexOf(QLatin1Char('.')));
}

QString writeFailedText(const QString& path, int languageIndex, const QByteArray& reason) {
    return uaRu(languageIndex, "ПОМИЛКА ЗАПИСУ ФАЙЛА ЗВІТУ", "ОШИБКА ЗАПИСИ ФАЙЛА ОТЧЕТА") +
           QStringLiteral(" \"") + path + QStringLiteral("\" (") + QString::fromUtf8(reason) +
           QLatin1Char(')');
}

// One workbook being written into its temporary file; the file is removed unless it was kept.
class WorkbookFile {
public:
    explicit WorkbookFile(const QString& tempPath)
        : tempPath_(tempPath), encodedPath_(QFile::encodeName(tempPath)),
          folder_(QFile::encodeName(QFileInfo(tempPath).absolutePath())) {
        lxw_workbook_options options{};
        // Its own scratch files go beside the target: the system's temporary folder may be elsewhere
        // or not writable.
        options.tmpdir = folder_.data();
        book_ = workbook_new_opt(encodedPath_.constData(), &options);
    }
    ~WorkbookFile() {
        // A workbook given up is freed without being written out.
        if (book_) lxw_workbook_free(book_);
        if (!kept_) QFile::remove(tempPath_);
    }
    WorkbookFile(const WorkbookFile&) = delete;
    WorkbookFile& operator=(const WorkbookFile&) = delete;

    bool ok() const { return book_ != nullptr && error_ == LXW_NO_ERROR; }
    QByteArray reason() const {
        if (book_ == nullptr && error_ == LXW_NO_ERROR) return "no workbook";
        return lxw_strerror(error_);
    }

    bool addSheet(const QString& name) {
        const QByteArray utf8 = name.toUtf8();
        error_ = workbook_validate_sheet_name(book_, utf8.constData());
        if (error_ != LXW_NO_ERROR) return false;
        sheet_ = workbook_add_worksheet(book_, utf8.constData());
        if (!sheet_) error_ = LXW_ERROR_MEMORY_MALLOC_FAILED;
        return sheet_ != nullptr;
    }
    bool write(int row, int column, const QString& text) {
        if (text.isEmpty()) return true;
        const lxw_error e =
            worksheet_write_string(sheet_, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(column),
                                   text.left(kMaxCellText).toUtf8().constData(), nullptr);
        if (e != LXW_NO_ERROR) error_ = e;
        return e == LXW_NO_ERROR;
    }
    // Writes the file out; true when it is complete on disk.
    bool close() {
        const lxw_error e = workbook_close(book_);
        book_ = nullptr;
        if (e != LXW_NO_ERROR) error_ = e;
        return e == LXW_NO_ERROR;
    }
    void keep() { kept_ = true; }

private:
    QString tempPath_;
    QByteArray encodedPath_;
    QByteArray folder_;
    lxw_workbook* book_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_error error_ = LXW_NO_ERROR;
    bool kept_ = false;
};

// The parameter list: the conditions are the printout's, so the same rows appear on paper and in the sheet.
class ParameterRows : private PrintedCorrector {
public:
    ParameterRows(const corrector::Reading& reading, int languageIndex)
        : PrintedCorrector(reading), lang_(languageIndex) {}

    QList<QStringList> build();

private:
    void row(const QString& label, const QString& value) { out_.append({label, value}); }
    QString onOff(int n) const {
        return item(n).trimmed() == QStringLiteral("ВКЛ.") ? uaRu(lang_, "УВІМКНЕНО", "ВКЛЮЧЕНО")
                                                           : uaRu(lang_, "ВИМКНЕНО", "ВЫКЛЮЧЕНО");
    }
    void curve();

    int lang_;
    QList<QStringList> out_;
};

QList<QStringList> ParameterRows::build() {
    const ReportHeader header = headerFromCorrector(m_, lang_);
    const QString unit = QLatin1Char('(') + pressureUnit() + QLatin1Char(')');
    const QString perHour = uaRu(lang_, "(м.куб/год)", "(м.куб/час)");

    row(uaRu(lang_, "Підприємство", "Предприятие"), item(45));
    row(complex() ? QStringLiteral("Комплекс") : uaRu(lang_, "Коректор", "Корректор"), header.model);
    row(uaRu(lang_, "Заводський номер", "Заводской номер"),
        header.serial.trimmed().rightJustified(5, QLatin1Char('0')));
    row(uaRu(lang_, "Трубопровід", "Трубопровод"), item(44));
    if (!complex()) {
        row(uaRu(lang_, "Лічильник газу", "Счетчик  газа"), item(46));
        row(QStringLiteral("(зав.ном.)"), item(14));
    }
    row(uaRu(lang_, "Договорне навантаження Qст.у (", "Договорные обязательства Qст.у (") + volumeUnit() +
            uaRu(lang_, "/год)", "/час)"),
        item(47));
    row(uaRu(lang_, "Контрактна доба", "Контрактные сутки"), item(21));
    row(uaRu(lang_, "Контрактна година", "Контрактное время"), item(20));
    if (!foreignGas()) row(QStringLiteral("Метод"), item(5));
    if (fixedMethod())
        row(uaRu(lang_, "Кстиск.", "Ксжим."), item(4));
    else
        row(uaRu(lang_, "Густина(кг/м.куб)", "Плотность(кг/м.куб)"), item(1));
    row(QStringLiteral("Tст.у.(град.С)"), item(40));
    row(QStringLiteral("Рст.у.") + unit, item(39));
    row(QStringLiteral("Qmin р.у.") + perHour, item(9));
    row(QStringLiteral("Qmax р.у.") + perHour, item(10));
    row(QStringLiteral("Qtrs р.у.") + perHour, item(13));
    if (!p_.meterCoefModel) row(QStringLiteral("Qtrn р.у.") + perHour, item(12));
    if (!fixedMethod() && !foreignGas()) {
        row(uaRu(lang_, "Вміст N2 (%)", "Содерж. N2 (%)"), item(3));
        row(uaRu(lang_, "Вміст CO2 (%)", "Содерж. CO2 (%)"), item(2));
    }
    if (p_.meterCoefModel)
        row(QStringLiteral("ДУ"), item(65));
    else
        row(uaRu(lang_, "К-т імп/м.куб", "К-во имп/м.куб"), item(calibration() ? 67 : 15));
    row(QStringLiteral("Tmin (град.С)"), item(33));
    row(QStringLiteral("Tmax (град.С)"), item(32));
    if (panelModel()) {
        row(QStringLiteral("Pбар") + unit, panelPressure(67));
        row(QStringLiteral("Pизб") + unit, panelPressure(66));
    } else {
        row(QStringLiteral("Pmin") + unit, item(30));
        row(QStringLiteral("Pmax") + unit, item(31));
    }
    row(QStringLiteral("Tconst (град.С)"), item(35));
    if (!panelModel()) row(QStringLiteral("Pconst ") + unit, item(34));
    row(uaRu(lang_, "Vconst р.у.(м.куб/доб)", "Vconst р.у.(м.куб/сут)"), item(36));
    row(uaRu(lang_, "Час індикації (сек.)", "Время индикации (сек.)"), item(19));
    row(uaRu(lang_, "Стан  датчиків", "Состояние датчиков"), item(29));
    row(uaRu(lang_, "Швидкість RS-232", "Скорость RS-232"), item(26));
    if (p_.secondPort && !p_.series2Model && !p_.languageSetting && !calibration())
        row(uaRu(lang_, "Швидкість RS-232(2-ой канал)", "Скорость RS-232(2-ой канал)"), item(63));
    row(uaRu(lang_, "Оперативний архів", "Оперативный архив"), item(23));
    row(uaRu(lang_, "Автопереведення ЗИМА/ЛІТО", "Автоперевод ЗИМА/ЛЕТО"), onOff(22));
    if (!p_.meterCoefModel) {
        row(QStringLiteral("Qmin, при Q<Qmin ?"), onOff(41));
        row(uaRu(lang_, "Облік Qmin<Q<Qtrn % похибки", "Учет Qmin<Q<Qtrn % погрешн."), img_.WordText(62));
    }
    if (p_.secondPort || p_.series2Model || p_.languageSetting || calibration())
        row(uaRu(lang_, "Vстд. ЗАГАЛЬНИЙ (", "Vстд. ОБЩИЙ (") + volumeUnit() + QLatin1Char(')'), item(62));
    row(uaRu(lang_, "Показники лічильника (м.куб)", "Показания счетчика (м.куб)"), item(11));
    if (p_.meterCoefModel || calibration()) curve();
    return out_;
}

// The correction curve: a title, the column titles and the 14 points, each (flow or Ref, coefficient).
void ParameterRows::curve() {
    using corrector::CalibTable;
    using corrector::MeterCoefTable;
    const bool meter = p_.meterCoefModel;
    row(meter ? uaRu(lang_, "Поправочні коефіцієнти, що враховують в’язкість газу",
                     "Поправочные коэффициенты, учитывающие вязкость газа")
              : uaRu(lang_, "Поправочні коефіцієнти ЗИБ", "Поправочные коэффициенты ЗИБ"),
        QString());
    row(meter ? QStringLiteral("Ref") : QStringLiteral("Qw"), QStringLiteral("Kq"));
    for (int point = 1; point <= corrector::kCoefPoints; ++point) {
        if (meter)
            row(corrector::MeterCoefText(img_, MeterCoefTable::refEntry(point)),
                corrector::MeterCoefText(img_, MeterCoefTable::kqEntry(point)));
        else
            row(corrector::CalibText(img_, CalibTable::qwEntry(point)),
                corrector::CalibText(img_, CalibTable::kqEntry(point)));
    }
}

} // namespace

QList<QStringList> parameterList(const corrector::Reading& reading, int languageIndex) {
    return ParameterRows(reading, languageIndex).build();
}

QString workbookArchiveBox(Archive archive, int languageIndex) {
    const ArchiveTexts* t = textsOf(archive);
    return t ? uaRu(languageIndex, t->boxUa, t->boxRu) : QString();
}

QString workbookSheetName(Archive archive, int languageIndex) {
    const ArchiveTexts* t = textsOf(archive);
    return t ? uaRu(languageIndex, t->sheetUa, t->sheetRu) : QString();
}

QString parametersSheetName(int languageIndex) {
    return uaRu(languageIndex, "Параметри", "Параметры");
}

QList<QStringList> archiveSheetRows(const corrector::Reading& reading, Archive archive) {
    QStringList columns = corrector::archiveColumns(archive, reading.archiveContext());
    // The interference sheet ends one column short of its table: the record's raw digits, which mean
    // nothing to the reader of a workbook (the text export leaves them out too). The abnormal-situation
    // table's last column is its standard volume, billed from: it stays.
    const bool lastLeftOut = archive == Archive::Interference;
    if (lastLeftOut && !columns.isEmpty()) columns.removeLast();
    const int a = static_cast<int>(archive);
    QList<QStringList> rows{columns};
    const int count = reading.archives.rowCount(archive);
    for (int r = 0; r < count; ++r) {
        QStringList cells;
        cells.reserve(columns.size());
        for (int c = 0; c < columns.size(); ++c)
            cells.append(reading.archives.cell(a, c, r));
        rows.append(cells);
    }
    return rows;
}

QList<WorkbookSheet> planWorkbook(const corrector::Reading& reading, const QList<Archive>& checked,
                                  int languageIndex) {
    QList<WorkbookSheet> sheets{{parametersSheetName(languageIndex), parameterList(reading, languageIndex)}};
    for (Archive archive : kWorkbookArchives)
        if (checked.contains(archive))
            sheets.append({workbookSheetName(archive, languageIndex), archiveSheetRows(reading, archive)});
    return sheets;
}

QString workbookFilter() {
    return QStringLiteral("Файл в формате (*.xls,*.xlsx) (*.xls *.xlsx)");
}

QString workbookPath(const QString& chosenPath) {
    return withoutWorkbookSuffix(chosenPath) + QStringLiteral(".xlsx");
}

std::optional<QString> existingWorkbook(const QString& chosenPath) {
    const QString base = withoutWorkbookSuffix(chosenPath);
    for (const QString& path : {base + QStringLiteral(".xls"), base + QStringLiteral(".xlsx")})
        if (QFileInfo::exists(path)) return path;
    return std::nullopt;
}

QString workbookExistsText(const QString& path, int languageIndex) {
    return QStringLiteral("Файл \"") + path + QLatin1Char('"') +
           uaRu(languageIndex, "вже існує!!!", "уже существует!!!");
}

QString workbookIncompleteText(const QString& path, int languageIndex) {
    return uaRu(languageIndex, "Процес перервано, файл - \"", "Процесс прерван, файл - \"") + path +
           uaRu(languageIndex, "\" записаний неповний", "\" записан неполный");
}

WorkbookOutcome writeWorkbook(const QList<WorkbookSheet>& sheets, const QString& chosenPath,
                              int languageIndex, const WorkbookProgress& progress) {
    using Result = WorkbookOutcome::Result;
    const QString target = workbookPath(chosenPath);
    if (const auto existing = existingWorkbook(chosenPath))
        return {Result::Refused, {}, workbookExistsText(*existing, languageIndex), 0};

    // A unique name beside the target: the rename into place then stays within one file system. The name
    // is only reserved here; the writer creates the file afresh, with the permissions any new file gets.
    QString tempPath;
    {
        QTemporaryFile reserve(QFileInfo(target).absolutePath() + QStringLiteral("/.workbook-XXXXXX.part"));
        if (!reserve.open())
            return {Result::Failed,
                    {},
                    writeFailedText(target, languageIndex, reserve.errorString().toUtf8()),
                    0};
        tempPath = reserve.fileName();
    }
    WorkbookFile file(tempPath);
    auto failed = [&] {
        return WorkbookOutcome{Result::Failed, {}, writeFailedText(target, languageIndex, file.reason()), 0};
    };
    if (!file.ok()) return failed();

    int total = 0;
    for (const WorkbookSheet& sheet : sheets)
        total += static_cast<int>(sheet.rows.size());
    int done = 0;
    int written = 0;
    bool stopped = false;
    for (const WorkbookSheet& sheet : sheets) {
        if (stopped) break;
        if (!file.addSheet(sheet.name)) return failed();
        ++written;
        for (int r = 0; r < sheet.rows.size() && !stopped; ++r) {
            const QStringList& cells = sheet.rows.at(r);
            for (int c = 0; c < cells.size(); ++c)
                if (!file.write(r, c, cells.at(c))) return failed();
            ++done;
            // A stop after the last row leaves nothing out: the workbook is whole.
            if (progress && !progress(done, total) && done < total) stopped = true;
        }
    }
    if (!file.close()) return failed();
    // QFile::rename never replaces a file: one that appeared meanwhile is refused, not overwritten.
    if (QFileInfo::exists(target)) return {Result::Refused, {}, workbookExistsText(target, languageIndex), 0};
    QFile renamed(tempPath);
    if (!renamed.rename(target))
        return {
            Result::Failed, {}, writeFailedText(target, languageIndex, renamed.errorString().toUtf8()), 0};
    file.keep();
    if (stopped) return {Result::Stopped, target, workbookIncompleteText(target, languageIndex), written};
    return {Result::Written, target, {}, written};
}

} // namespace tarn::reports
