#include "reports/Paginator.h"

#include "common/TextFile.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace tarn::reports {

namespace {

// Heading and title line: the two lines under the top margin of every page.
constexpr int kHeadingLines = 2;

} // namespace

QString lineTooLongMessage() {
    return QStringLiteral("ДЛИНА СТРОКИ БОЛЬШЕ - УМЕНЬШИТЕ РАЗМЕР ШРИФТА");
}

QString firstPageHeading(int pageCount) {
    return QStringLiteral("Всего листов: ") + QString::number(pageCount);
}

QString laterPageHeading(const PageHeading& heading, int pageNumber) {
    const QString sheet = QStringLiteral("Лист ") + QString::number(pageNumber);
    switch (heading.kind) {
    case ReportKind::StatisticalListing:
        return sheet + QStringLiteral(" / стат.данные");
    case ReportKind::List:
        return sheet + QStringLiteral(" / перечень");
    case ReportKind::Commercial:
        break;
    }
    return sheet + (heading.meteringComplex ? QStringLiteral("/ Комплекс ") : QStringLiteral("/ Коректор ")) +
           heading.model + QStringLiteral(" N ") + heading.serial + QStringLiteral(" /");
}

Pagination paginate(const QStringList& workFileLines, const PageSettings& settings,
                    const PageHeading& heading) {
    Pagination result;
    if (workFileLines.isEmpty()) return result;

    const int indentWidth = std::max(0, settings.leftIndent);
    const int topMargin = std::max(0, settings.topMargin);
    const int bottomMargin = std::max(0, settings.bottomMargin);
    // The whole work file is checked before any page is made, so a too-long line leaves no pages behind.
    for (const QString& line : workFileLines) {
        if (line.size() + indentWidth + 3 >= settings.charsPerLine) {
            result.error = lineTooLongMessage();
            return result;
        }
    }

    // A page always takes at least one report line, however small the page: otherwise a page whose
    // margins and heading fill it would never let the report move on.
    const int closingCount =
        std::max(settings.linesPerPage - bottomMargin - 2, topMargin + kHeadingLines + 1);
    const QString indent(indentWidth, QLatin1Char(' '));
    const QString title = indent + workFileLines.first();

    // Page 1's heading needs the page count: it is filled in once all pages are cut.
    auto openPage = [&] {
        QStringList page;
        for (int i = 0; i < topMargin; ++i)
            page.append(QString());
        const int pageNumber = static_cast<int>(result.pages.size()) + 1;
        page.append(pageNumber == 1 ? QString() : indent + laterPageHeading(heading, pageNumber));
        page.append(title);
        return page;
    };

    QStringList page = openPage();
    for (qsizetype i = 1; i < workFileLines.size(); ++i) {
        if (page.isEmpty()) page = openPage();
        page.append(indent + workFileLines.at(i));
        if (page.size() >= closingCount) {
            for (int k = 0; k < bottomMargin + 2; ++k)
                page.append(QString());
            result.pages.append(page);
            page.clear();
        }
    }
    // A page still open holds the last report lines (or only the title when the report has no others).
    if (!page.isEmpty()) result.pages.append(page);

    result.pages.first()[topMargin] = indent + firstPageHeading(static_cast<int>(result.pages.size()));
    return result;
}

QString pageFileName(int pageNumber) {
    return QString::fromLatin1(kPageFilePrefix) + QString::number(pageNumber);
}

int writePageFiles(const QString& folder, const QList<QStringList>& pages) {
    const QDir dir(folder);
    int written = 0;
    for (const QStringList& page : pages) {
        if (!writeTextLines(dir.filePath(pageFileName(written + 1)), page)) break;
        ++written;
    }
    return written;
}

void deleteReportFiles(const QString& folder) {
    const QDir dir(folder);
    for (int n = 1; n <= kPageFilesDeletedOnClose; ++n)
        QFile::remove(dir.filePath(pageFileName(n)));
    QFile::remove(dir.filePath(QString::fromLatin1(kWorkFileName)));
}

} // namespace tarn::reports
