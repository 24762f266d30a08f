// Report pages: cutting the work file, the page files, Work\FilePrn.000, printing and PDF, and the
// page-settings window.
#include "common/Cp1251.h"
#include "reports/PageSettings.h"
#include "reports/Paginator.h"
#include "reports/print/ReportPrinter.h"
#include "reports/windows/TPagePrint.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QPrinter>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::reports;

namespace tarn::reports {
// Readable settings in test failures.
void PrintTo(const PageSettings& s, std::ostream* os) {
    *os << s.fontSize << '|' << s.fontName.toStdString() << '|' << s.leftIndent << '|' << s.topMargin << '|'
        << s.bottomMargin << '|' << s.language << '|' << s.linesPerPage << '|' << s.charsPerLine << '|'
        << s.printer.toStdString();
}
} // namespace tarn::reports

namespace {

const QString kTitle =
    QStringLiteral("/суточный отчет *общий* за 01.02.2024 г. Составлен:02.02.2024 10:00:00/");

// A work file: the title line, then "строка 1" … "строка n".
QStringList workFile(int reportLines) {
    QStringList lines{kTitle};
    for (int i = 1; i <= reportLines; ++i)
        lines.append(QStringLiteral("строка ") + QString::number(i));
    return lines;
}

// 20 lines a page, 2 top and 3 bottom margin lines: a page closes at 20 - 3 - 2 = 15 lines, which are the
// 2 margin lines, heading, title and 11 report lines; 5 empty lines then fill it to 20.
PageSettings smallPage() {
    PageSettings s;
    s.linesPerPage = 20;
    s.charsPerLine = 100;
    s.topMargin = 2;
    s.bottomMargin = 3;
    s.leftIndent = 4;
    return s;
}

const PageHeading kCorrector{ReportKind::Commercial, QStringLiteral("ТК-3"), QStringLiteral("01234"), false};

QString indented(const QString& text) {
    return QStringLiteral("    ") + text;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Page objects of a PDF file ("/Type /Page", not the "/Type /Pages" tree).
int pdfPageCount(const QByteArray& pdf) {
    static const QRegularExpression pageObject(QStringLiteral("/Type\\s*/Page\\b"));
    int count = 0;
    for (auto it = pageObject.globalMatch(QString::fromLatin1(pdf)); it.hasNext(); it.next())
        ++count;
    return count;
}

QList<QStringList> threePages() {
    return paginate(workFile(30), smallPage(), kCorrector).pages;
}

} // namespace

TEST(Pagination, FirstPageCountsThePagesAndEveryPageRepeatsTheTitle) {
    const Pagination result = paginate(workFile(30), smallPage(), kCorrector);
    ASSERT_TRUE(result.ok());
    // 30 report lines at 11 a page.
    ASSERT_EQ(result.pages.size(), 3);
    const QStringList& first = result.pages.at(0);
    EXPECT_EQ(first.mid(0, 5), (QStringList{QString(), QString(), indented(QStringLiteral("Всего листов: 3")),
                                            indented(kTitle), indented(QStringLiteral("строка 1"))}));
    EXPECT_EQ(result.pages.at(1).at(3), indented(kTitle));
    EXPECT_EQ(result.pages.at(1).at(4), indented(QStringLiteral("строка 12")));
    EXPECT_EQ(result.pages.at(2).at(3), indented(kTitle));

    // Nothing lost, nothing repeated, in order.
    QStringList reportLines;
    for (const QStringList& page : result.pages)
        for (const QString& line : page.mid(4))
            if (!line.isEmpty()) reportLines.append(line.mid(4));
    EXPECT_EQ(reportLines, workFile(30).mid(1));
}

TEST(Pagination, LaterPagesNameTheDeviceOrTheListing) {
    auto secondHeading = [](const PageHeading& heading, int page = 2) {
        return paginate(workFile(30), smallPage(), heading).pages.at(page - 1).at(2);
    };
    EXPECT_EQ(secondHeading(kCorrector), indented(QStringLiteral("Лист 2/ Коректор ТК-3 N 01234 /")));
    EXPECT_EQ(secondHeading(kCorrector, 3), indented(QStringLiteral("Лист 3/ Коректор ТК-3 N 01234 /")));
    PageHeading complex = kCorrector;
    complex.meteringComplex = true;
    EXPECT_EQ(secondHeading(complex), indented(QStringLiteral("Лист 2/ Комплекс ТК-3 N 01234 /")));
    EXPECT_EQ(secondHeading({ReportKind::StatisticalListing, {}, {}, false}, 3),
              indented(QStringLiteral("Лист 3 / стат.данные")));
    EXPECT_EQ(secondHeading({ReportKind::List, {}, {}, false}),
              indented(QStringLiteral("Лист 2 / перечень")));
    // Page 1 is the same for every kind.
    EXPECT_EQ(paginate(workFile(30), smallPage(), {ReportKind::List, {}, {}, false}).pages.at(0).at(2),
              indented(QStringLiteral("Всего листов: 3")));
}

TEST(Pagination, APageClosesAtItsLimitAndIsPaddedToTheFullPage) {
    // 11 report lines fill page 1 exactly: it closes, padded with bottom margin + 2 empty lines.
    Pagination result = paginate(workFile(11), smallPage(), kCorrector);
    ASSERT_EQ(result.pages.size(), 1);
    ASSERT_EQ(result.pages.at(0).size(), 20);
    EXPECT_EQ(result.pages.at(0).at(14), indented(QStringLiteral("строка 11")));
    EXPECT_EQ(result.pages.at(0).mid(15), QStringList(5));

    // One more starts page 2, which ends with its last report line.
    result = paginate(workFile(12), smallPage(), kCorrector);
    ASSERT_EQ(result.pages.size(), 2);
    EXPECT_EQ(result.pages.at(0).size(), 20);
    EXPECT_EQ(result.pages.at(1).size(), 5);
    EXPECT_EQ(result.pages.at(1).last(), indented(QStringLiteral("строка 12")));
    EXPECT_EQ(result.pages.at(0).at(2), indented(QStringLiteral("Всего листов: 2")));

    // No margins, no indent: 18 lines close the page (heading, title, 16 report lines), 2 empty follow.
    PageSettings bare = smallPage();
    bare.topMargin = 0;
    bare.bottomMargin = 0;
    bare.leftIndent = 0;
    result = paginate(workFile(17), bare, kCorrector);
    ASSERT_EQ(result.pages.size(), 2);
    EXPECT_EQ(result.pages.at(0).first(), QStringLiteral("Всего листов: 2"));
    EXPECT_EQ(result.pages.at(0).at(17), QStringLiteral("строка 16"));
    EXPECT_EQ(result.pages.at(0).size(), 20);
    EXPECT_EQ(result.pages.at(1), (QStringList{QStringLiteral("Лист 2/ Коректор ТК-3 N 01234 /"), kTitle,
                                               QStringLiteral("строка 17")}));
}

TEST(Pagination, ALineWiderThanThePageStopsPagination) {
    PageSettings printer = smallPage();
    printer.charsPerLine = 127;
    printer.leftIndent = 5;
    QStringList lines = workFile(3);
    lines.insert(2, QString(120, QLatin1Char('-')));
    Pagination result = paginate(lines, printer, kCorrector);
    EXPECT_EQ(result.error, QStringLiteral("ДЛИНА СТРОКИ БОЛЬШЕ - УМЕНЬШИТЕ РАЗМЕР ШРИФТА"));
    EXPECT_TRUE(result.pages.isEmpty());

    // length + indent + 3 reaching the limit is too long already; one character less fits.
    lines[2] = QString(119, QLatin1Char('-'));
    EXPECT_FALSE(paginate(lines, printer, kCorrector).ok());
    lines[2] = QString(118, QLatin1Char('-'));
    EXPECT_TRUE(paginate(lines, printer, kCorrector).ok());

    // The title line is printed on every page: it is held to the same width.
    lines = workFile(3);
    lines[0] = QString(119, QLatin1Char('/'));
    EXPECT_FALSE(paginate(lines, printer, kCorrector).ok());
}

TEST(Pagination, SmallAndDegenerateWorkFiles) {
    EXPECT_TRUE(paginate({}, smallPage(), kCorrector).pages.isEmpty());
    const Pagination titleOnly = paginate({kTitle}, smallPage(), kCorrector);
    ASSERT_EQ(titleOnly.pages.size(), 1);
    EXPECT_EQ(
        titleOnly.pages.at(0),
        (QStringList{QString(), QString(), indented(QStringLiteral("Всего листов: 1")), indented(kTitle)}));

    // A page whose margins and heading fill it still takes one report line, so the report moves on.
    PageSettings tiny = smallPage();
    tiny.linesPerPage = 3;
    const Pagination cramped = paginate(workFile(4), tiny, kCorrector);
    ASSERT_TRUE(cramped.ok());
    EXPECT_EQ(cramped.pages.size(), 4);
}

TEST(PageFiles, WrittenInTheCodePageAndDeletedWhenTheWindowCloses) {
    QTemporaryDir dir;
    const QList<QStringList> pages = threePages();
    ASSERT_EQ(writePageFiles(dir.path(), pages), 3);
    EXPECT_EQ(readAll(QDir(dir.path()).filePath(QStringLiteral("RpList1"))),
              toCp1251(pages.at(0).join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    EXPECT_TRUE(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("RpList3"))));
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("RpList4"))));

    for (const char* name : {"RpList100", "RpList101", "RepDay"}) {
        QFile f(QDir(dir.path()).filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    deleteReportFiles(dir.path());
    for (const char* gone : {"RpList1", "RpList2", "RpList3", "RpList100", "RepDay"})
        EXPECT_FALSE(QFile::exists(QDir(dir.path()).filePath(QString::fromLatin1(gone)))) << gone;
    // Only the first hundred page files belong to the window.
    EXPECT_TRUE(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("RpList101"))));
}

TEST(PageFiles, AWriteErrorStopsAndKeepsThePagesWritten) {
    QTemporaryDir dir;
    // A folder where page 2 should go: it cannot be written.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("RpList2")));
    EXPECT_EQ(writePageFiles(dir.path(), threePages()), 1);
    EXPECT_TRUE(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("RpList1"))));
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("RpList3"))));
}

TEST(PageSettingsFile, RoundTripTakesTheLanguageOfTheProgram) {
    test::TempHome home;
    // Missing file: the defaults, in the program's language.
    PageSettings defaults = loadPageSettings(home.root(), kRussian);
    EXPECT_EQ(defaults.fontSize, 8);
    EXPECT_EQ(defaults.fontName, QStringLiteral("Courier New"));
    EXPECT_EQ(defaults.leftIndent, 5);
    EXPECT_EQ(defaults.topMargin, 3);
    EXPECT_EQ(defaults.bottomMargin, 3);
    EXPECT_EQ(defaults.language, kRussian);
    EXPECT_EQ(defaults.linesPerPage, kA4LinesPerPage);
    EXPECT_EQ(defaults.charsPerLine, kA4CharsPerLine);
    EXPECT_EQ(defaults.printer, QStringLiteral("--"));

    PageSettings s;
    s.fontSize = 10;
    s.fontName = QStringLiteral("Lucida Console");
    s.leftIndent = 2;
    s.topMargin = 0;
    s.bottomMargin = 20;
    s.language = kRussian;
    s.linesPerPage = 61;
    s.charsPerLine = 127;
    s.printer = QStringLiteral("Принтер бухгалтерии");
    ASSERT_TRUE(savePageSettings(home.root(), s));
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("FilePrn.000")),
              QByteArray("10\r\nLucida Console\r\n2\r\n0\r\n20\r\n2\r\n61\r\n127\r\n") +
                  toCp1251(QStringLiteral("Принтер бухгалтерии")) + "\r\n");

    PageSettings read = loadPageSettings(home.root(), kUkrainian);
    EXPECT_EQ(read.language, kUkrainian);
    read.language = kRussian;
    EXPECT_EQ(read, s);
}

TEST(PageSettingsFile, DamagedValuesFallBackToTheDialogsLimitsAndDefaults) {
    test::TempHome home;
    home.write(folder::Work, QStringLiteral("FilePrn.000"), "x\r\n\r\n-4\r\n35\r\n-1\r\nRU\r\n0\r\n");
    const PageSettings read = loadPageSettings(home.root(), kUkrainian);
    EXPECT_EQ(read.fontSize, 8);
    EXPECT_EQ(read.fontName, QStringLiteral("Courier New"));
    EXPECT_EQ(read.leftIndent, 0);
    EXPECT_EQ(read.topMargin, 20);
    EXPECT_EQ(read.bottomMargin, 0);
    EXPECT_EQ(read.language, kUkrainian);
    EXPECT_EQ(read.linesPerPage, kA4LinesPerPage);
    EXPECT_EQ(read.charsPerLine, kA4CharsPerLine);
    EXPECT_EQ(read.printer, QStringLiteral("--"));
}

TEST(Printing, PdfHoldsOnePagePerReportPage) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("report.pdf"));
    ASSERT_TRUE(writePdf(path, threePages(), smallPage()));
    const QByteArray pdf = readAll(path);
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_EQ(pdfPageCount(pdf), 3);
    // The text was drawn: its font is embedded.
    EXPECT_TRUE(pdf.contains("/FontFile"));
    EXPECT_FALSE(writePdf(QDir(dir.path()).filePath(QStringLiteral("empty.pdf")), {}, smallPage()));
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("empty.pdf"))));
    // A folder that does not exist: nothing written, no crash.
    EXPECT_FALSE(
        writePdf(QDir(dir.path()).filePath(QStringLiteral("none/report.pdf")), threePages(), smallPage()));
}

TEST(Printing, ThePrintDialogsPageRangeIsPrinted) {
    QTemporaryDir dir;
    auto printRange = [&](int from, int to) {
        const QString path = QDir(dir.path()).filePath(QStringLiteral("range%1-%2.pdf").arg(from).arg(to));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        if (!printPages(printer, threePages(), smallPage(), from, to)) return -1;
        return pdfPageCount(readAll(path));
    };
    EXPECT_EQ(printRange(0, 0), 3);
    EXPECT_EQ(printRange(2, 3), 2);
    EXPECT_EQ(printRange(3, 3), 1);
    EXPECT_EQ(printRange(2, 9), 2);
    EXPECT_EQ(printRange(3, 2), -1);
}

TEST(Printing, GeometryFollowsTheFontAndAMissingFontGivesWayToAMonospaceOne) {
    PageSettings missing;
    missing.fontName = QStringLiteral("No Such Font Anywhere");
    EXPECT_TRUE(QFontInfo(reportFont(missing)).fixedPitch());
    EXPECT_TRUE(QFontInfo(reportFont(PageSettings{})).fixedPitch());

    const PageGeometry a4 = pdfPageGeometry(reportFont(PageSettings{}));
    // Courier 8 on A4: the defaults the QtCore part starts with (fonts of the same metrics differ a little).
    EXPECT_NEAR(a4.linesPerPage, kA4LinesPerPage, 4);
    EXPECT_NEAR(a4.charsPerLine, kA4CharsPerLine, 3);
    // Wide enough for the widest table with the default indent.
    EXPECT_GT(a4.charsPerLine, 104 + 5 + 3);

    PageSettings large;
    large.fontSize = 16;
    const PageGeometry big = pdfPageGeometry(reportFont(large));
    EXPECT_NEAR(big.linesPerPage * 2, a4.linesPerPage, 3);
    EXPECT_NEAR(big.charsPerLine * 2, a4.charsPerLine, 2);
}

TEST(Printing, SettingsOfAPrinterNoLongerInstalledAreRemeasured) {
    test::TempHome home;
    PageSettings stale;
    stale.printer = QStringLiteral("Принтер, которого нет");
    stale.language = kRussian;
    stale.linesPerPage = 61;
    stale.charsPerLine = 127;
    ASSERT_TRUE(savePageSettings(home.root(), stale));

    const std::optional<PageSettings> replaced =
        settingsForMissingPrinter(loadPageSettings(home.root(), kRussian));
    ASSERT_TRUE(replaced);
    EXPECT_EQ(*replaced, withCurrentPrinterGeometry(stale));
    if (installedPrinters().isEmpty()) {
        EXPECT_EQ(replaced->printer, QStringLiteral("--"));
        const PageGeometry pdf = pdfPageGeometry(reportFont(stale));
        EXPECT_EQ(replaced->linesPerPage, pdf.linesPerPage);
        EXPECT_EQ(replaced->charsPerLine, pdf.charsPerLine);
    } else {
        EXPECT_TRUE(isPrinterInstalled(replaced->printer));
    }
    ASSERT_TRUE(savePageSettings(home.root(), *replaced));
    // Measured once, the settings stand.
    EXPECT_FALSE(settingsForMissingPrinter(loadPageSettings(home.root(), kRussian)));
}

TEST(PageSettingsWindow, EditsACopyWithinTheLimits) {
    PageSettings given;
    given.printer = QStringLiteral("Принтер");
    given.linesPerPage = 61;
    TPagePrint window(given, true);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("УСТАНОВКИ ОТЧЕТОВ"));
    EXPECT_EQ(window.yesAction()->text(), QStringLiteral("ДА"));
    EXPECT_EQ(window.cancelAction()->text(), QStringLiteral("ОТМЕНА"));
    EXPECT_TRUE(window.hourlyCalculationButton()->isChecked());
    EXPECT_EQ(window.archiveTotalsButton()->text(),
              QStringLiteral("ИЗ АРХИВОВ КОРРЕКТОРА СУТОЧНОГО И МЕСЯЧНОГО"));
    EXPECT_EQ(window.hourlyCalculationButton()->text(), QStringLiteral("РАСЧЕТ ПО ЧАСОВОМУ АРХИВУ"));
    EXPECT_FALSE(window.findChildren<QLabel*>().isEmpty());
    bool indentCaption = false;
    for (const QLabel* label : window.findChildren<QLabel*>())
        indentCaption |= label->text() == QStringLiteral("Отступ слева \r\n(кол-во символов)");
    EXPECT_TRUE(indentCaption);

    window.topMarginBox()->setValue(25);
    window.bottomMarginBox()->setValue(-1);
    window.leftIndentBox()->setValue(7);
    window.setReportFont(QFont(QStringLiteral("DejaVu Sans Mono"), 10));
    window.archiveTotalsButton()->setChecked(true);
    EXPECT_FALSE(window.hourlyCalculation());
    EXPECT_EQ(window.fontLabel()->text(), QStringLiteral("DejaVu Sans Mono, 10"));

    PageSettings expected = given;
    expected.topMargin = 20;
    expected.bottomMargin = 0;
    expected.leftIndent = 7;
    expected.fontName = QStringLiteral("DejaVu Sans Mono");
    expected.fontSize = 10;
    EXPECT_EQ(window.settings(), expected);

    window.yesAction()->trigger();
    EXPECT_EQ(window.result(), QDialog::Accepted);
}
