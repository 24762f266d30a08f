#pragma once
// Cuts the report work file into printer pages and keeps the page files "RpList1", "RpList2", … that the
// report window prints from.
//
// The first line of the work file is the title line; it is held aside and repeated under the heading of
// every page. A page is: top-margin empty lines, the heading ("Всего листов: N" on page 1, "Лист n…" on
// the others), the title line, then report lines. The line count of a page counts every line already on
// it — the top-margin lines and the two heading lines included — so a page closes when that count reaches
// linesPerPage − bottomMargin − 2, and the bottomMargin + 2 empty lines then added make it exactly
// linesPerPage lines long. The last page ends with the last report line (padded only when it filled up).
// Every heading, title and report line carries the left indent in blanks; margin and padding lines are
// empty.
#include "reports/PageSettings.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tarn::reports {

enum class ReportKind {
    Commercial,         // the report of one metering point: "Лист n/ Коректор …"
    StatisticalListing, // "Лист n / стат.данные"
    List,               // "Лист n / перечень"
};

// What the headings of pages 2, 3, … name.
struct PageHeading {
    ReportKind kind = ReportKind::Commercial;
    QString model;
    QString serial;
    bool meteringComplex = false; // "/ Комплекс " instead of "/ Коректор "
};

struct Pagination {
    QList<QStringList> pages;
    QString error; // the user's message when the report cannot be paginated; then pages is empty

    bool ok() const { return error.isEmpty(); }
};

// File names in the program folder.
inline constexpr const char* kWorkFileName = "RepDay";
inline constexpr const char* kPageFilePrefix = "RpList";
// The page files deleted when the report window closes: "RpList1" … "RpList100".
inline constexpr int kPageFilesDeletedOnClose = 100;

QString lineTooLongMessage(); // "ДЛИНА СТРОКИ БОЛЬШЕ - УМЕНЬШИТЕ РАЗМЕР ШРИФТА" (both languages)

QString firstPageHeading(int pageCount);
QString laterPageHeading(const PageHeading& heading, int pageNumber);

// Pages of the work file's lines. A line (the title line included) whose length + indent + 3 reaches
// charsPerLine stops pagination with lineTooLongMessage(). An empty work file gives no pages.
Pagination paginate(const QStringList& workFileLines, const PageSettings& settings,
                    const PageHeading& heading);

QString pageFileName(int pageNumber); // "RpList" + number

// Writes page n to folder/"RpList<n>" (Windows-1251, CR LF), pages in order. A page that cannot be written
// stops the writing; the pages written before it stay. Returns the number of pages written.
int writePageFiles(const QString& folder, const QList<QStringList>& pages);

// What the report window does on close: deletes "RpList1" … "RpList100" and the work file "RepDay" from
// folder. Files that are not there are no error.
void deleteReportFiles(const QString& folder);

} // namespace tarn::reports
