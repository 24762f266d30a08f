#pragma once
// "СОХРАНИТЬ КАК *.xls": the corrector window's parameters and archive tables as a workbook, one sheet
// per archive, every cell the text the window shows. The workbook is written by our own writer
// (libxlsxwriter), so there is no spreadsheet program to drive: the file is an Office Open XML workbook
// (".xlsx") whatever the user typed, and it appears at its name whole or not at all.
#include "corrector/Reading.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

namespace tarn::reports {

// The archives a workbook can take, in the order of the dialog's boxes and of the sheets.
inline constexpr std::array<corrector::Archive, 6> kWorkbookArchives = {
    corrector::Archive::Hourly,   corrector::Archive::Daily,        corrector::Archive::Monthly,
    corrector::Archive::Abnormal, corrector::Archive::Interference, corrector::Archive::Operative};

// The dialog's box of an archive ("Часовой архив" …) and its sheet's name ("Часовой" …).
QString workbookArchiveBox(corrector::Archive archive, int languageIndex);
QString workbookSheetName(corrector::Archive archive, int languageIndex);
// "Параметры" / "Параметри".
QString parametersSheetName(int languageIndex);

struct WorkbookSheet {
    QString name;
    QList<QStringList> rows; // exactly the rows the sheet receives, from cell (1,1) on
};

// The "Параметры" sheet: rows of (label, value) in the language, the labels those of the parameter
// printout without the padding that lines its columns up, the values the fields' texts as they stand:
// the enterprise, the device, the pipeline, the meter, the contract day and hour, the method and the gas,
// the flow, temperature and pressure limits, the substitutes, the sensors, the interface and, on the models
// with a correction curve, its title, its column titles and its 14 points (flow or Ref, coefficient).
QList<QStringList> parameterList(const corrector::Reading& reading, int languageIndex);

// An archive's sheet: the table's column titles, then every row of the table. The abnormal-situation and
// interference sheets leave out the table's last column.
QList<QStringList> archiveSheetRows(const corrector::Reading& reading, corrector::Archive archive);
// "Параметры" first, then the checked archives in the order of kWorkbookArchives (the order of `checked`
// does not matter); the parameter list is built now, from the fields as they stand.
QList<WorkbookSheet> planWorkbook(const corrector::Reading& reading, const QList<corrector::Archive>& checked,
                                  int languageIndex);

// "Файл в формате (*.xls,*.xlsx) (*.xls *.xlsx)": the dialog's filter (the patterns hidden from the user).
QString workbookFilter();
// The file a chosen name is written to: a trailing ".xls" or ".xlsx" (any case) is dropped and ".xlsx"
// put in its place, since the writer makes Office Open XML workbooks only.
QString workbookPath(const QString& chosenPath);
// A workbook already there under the chosen name, as ".xls" (the old program's own files) or as ".xlsx"
// (ours): its path. Nothing is ever overwritten.
std::optional<QString> existingWorkbook(const QString& chosenPath);
// 'Файл "<path>"уже существует!!!' in the language.
QString workbookExistsText(const QString& path, int languageIndex);
// 'Процесс прерван, файл - "<path>" записан неполный' in the language.
QString workbookIncompleteText(const QString& path, int languageIndex);

// After each row: rows written so far and the rows of all sheets; false stops the writing.
using WorkbookProgress = std::function<bool(int done, int total)>;

struct WorkbookOutcome {
    enum class Result {
        Written, // every sheet, whole
        Stopped, // stopped by the user: the sheets up to the row reached are in the file
        Refused, // a workbook is there already; nothing written
        Failed,  // the file could not be written; nothing is left at the path
    };
    Result result = Result::Failed;
    QString path;    // the file written (Written, Stopped)
    QString message; // what the user is told; empty when the workbook is whole
    int sheets = 0;  // sheets in the file
};

// Writes the sheets to workbookPath(chosenPath) through a temporary file in the same folder, renamed into
// place once the workbook is complete; an existing workbook is refused before anything is written. A stop
// ends the sheet at the row reached, leaves the sheets not begun out and still saves the file.
WorkbookOutcome writeWorkbook(const QList<WorkbookSheet>& sheets, const QString& chosenPath,
                              int languageIndex, const WorkbookProgress& progress = {});

} // namespace tarn::reports
