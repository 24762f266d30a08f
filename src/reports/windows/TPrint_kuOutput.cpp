// The report window's outputs: the CSV copy, the viewer, its pages, the printer and the saved viewer
// text (the building and choosing of the report are in TPrint_ku.cpp).
#include "reports/windows/TPrint_ku.h"

#include "common/Language.h"
#include "common/OutputFiles.h"
#include "common/TextFile.h"
#include "corrector/CorrectorFiles.h"
#include "polling/windows/GroupListingRun.h"
#include "reports/AlarmCodes.h"
#include "reports/Paginator.h"
#include "reports/ParameterPrintout.h"
#include "reports/ReportHeaders.h"
#include "reports/print/ReportPrinter.h"
#include "reports/windows/TPagePrint.h"
#include "reports/windows/TWaitPr.h"
#include "reports/windows/TfCSV.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace tarn::reports {

namespace {

// What the viewer shows of a line: characters below 32 are dropped, "№" reads "N".
QString viewerLine(const QString& line) {
    QString out;
    out.reserve(line.size());
    for (QChar c : line) {
        if (c.unicode() < 32) continue;
        out += c == QChar(0x2116) ? QLatin1Char('N') : c;
    }
    return out;
}

// A file already there is written over only when the user says so.
bool mayOverwrite(Notifier& notifier, int language, const QString& path, const QString& shownName) {
    return !QFileInfo::exists(path) ||
           notifier.confirm(QStringLiteral("Файл \"") + shownName + QStringLiteral("\"") +
                            uaRu(language, "вже існує перезаписати?", "уже существует, перезаписать?"));
}

// A file the user named, written or not: the error with its path, or that it is written under the name
// the user gave. Whether it was written.
bool tellWritten(Notifier& notifier, bool written, const QString& path, const QString& shownName) {
    if (!written) {
        notifier.message(MessageKind::Error, QStringLiteral("Ошибка записи файла ") + path);
        return false;
    }
    notifier.message(MessageKind::Information,
                     QStringLiteral("ФАЙЛ \"") + shownName + QStringLiteral("\" ЗАПИСАН"));
    return true;
}

} // namespace

bool TPrint_ku::exportCsv() {
    const bool group = statistical() && objectGroup_->isChecked();
    if (group && groupName_->currentText().trimmed().isEmpty()) {
        notifier_.message(MessageKind::Error,
                          uaRu(in_.language, "НЕ ВИЗНАЧЕНА ГРУПА", "НЕ ОПРЕДЕЛЕНА ГРУППА"));
        return false;
    }
    if (!group && in_.identifier.isEmpty()) {
        notifier_.message(MessageKind::Error,
                          uaRu(in_.language, "НЕ ВИЗНАЧЕНИЙ КОРЕКТОР", "НЕ ОПРЕДЕЛЕН КОРРЕКТОР"));
        return false;
    }
    TfCSV dialog(this);
    if (!in_.askSavePath && dialog.exec() != QDialog::Accepted) return false;
    const QString proposed =
        in_.root.file(folder::StatCsv, defaultListingCsvName(group ? QStringLiteral("g") : in_.identifier,
                                                             listingArchive(), QDate::currentDate()));
    const QString chosen = in_.askSavePath
                               ? in_.askSavePath(in_.root.dir(folder::StatCsv), QStringLiteral("*.csv"))
                               : QFileDialog::getSaveFileName(this, QString(), proposed,
                                                              QStringLiteral("Файл в формате (*.csv)"));
    if (chosen.isEmpty()) return false;
    return exportCsvTo(chosen, dialog.totals());
}

bool TPrint_ku::exportCsvTo(const QString& chosen, bool totals) {
    // The name up to its first dot, then ".csv".
    const QFileInfo info(chosen);
    const QString name = info.fileName().section(QLatin1Char('.'), 0, 0);
    const QString path = info.dir().filePath(name + QStringLiteral(".csv"));
    if (!mayOverwrite(notifier_, in_.language, path, name + QStringLiteral(".csv"))) return false;
    // The target is checked as tarn-cli checks its files, before the listing is built; one that cannot
    // take the file still gets the listing, without the CSV copy.
    QDir().mkpath(info.dir().absolutePath());
    const OutputProblem problem = outputTargetProblem(path);
    if (!buildAndShow()) return false;
    // A group's listing has its own CSV lines (its totals go in whatever the switch says).
    const bool summaryForm = groupListing() && listing_.lines.isEmpty();
    const QStringList csv = summaryForm ? groupCsv_ : listingCsv(listing_, service_.csvDelimiter(), totals);
    // Written whole beside its place and renamed over it once the listing is built.
    const bool written = problem == OutputProblem::None && writeOutputs({{path, textFileBytes(csv)}}).ok();
    return tellWritten(notifier_, written, path, name + QStringLiteral(".csv"));
}

void TPrint_ku::chooseColumns() {
    TfStatColumns dialog(loadStatColumns(in_.root).on, in_.language != kRussian, this);
    if (dialog.exec() != QDialog::Accepted) return;
    StatColumns c;
    c.on = dialog.chosen();
    saveStatColumns(in_.root, c);
}

void TPrint_ku::showLines(const QStringList& lines) {
    QStringList shown;
    shown.reserve(lines.size());
    for (const QString& l : lines)
        shown.append(viewerLine(l));
    viewer_->setPlainText(shown.join(QLatin1Char('\n')));
}

bool TPrint_ku::buildAndShow() {
    viewer_->clear();
    if (!build()) return false;
    showLines(work_);
    return true;
}

bool TPrint_ku::showPages() {
    if (!buildAndShow()) return false;
    const bool list = in_.databaseOnly && (kindList_->isChecked() || kindPoll_->isChecked());
    const Pagination p = paginate(work_, page_,
                                  {list ? ReportKind::List : ReportKind::Commercial, printed_.model,
                                   printed_.serial, printed_.complex});
    if (!p.ok()) {
        notifier_.message(MessageKind::Error, p.error);
        return false;
    }
    pages_ = p.pages;
    writePageFiles(in_.root.root(), pages_);
    QStringList all;
    for (const QStringList& pageLines : pages_)
        all += pageLines;
    showLines(all);
    return true;
}

bool TPrint_ku::print() {
    if (!showPages()) return false;
    if (installedPrinters().isEmpty()) {
        // No printer here: the pages go into a PDF file the user can print elsewhere.
        notifier_.message(MessageKind::Warning, QStringLiteral("Нет установленных принтеров !!!"));
        const QString path = in_.askSavePath
                                 ? in_.askSavePath(in_.root.dir(folder::Text), QStringLiteral("*.pdf"))
                                 : QFileDialog::getSaveFileName(this, QString(), in_.root.dir(folder::Text),
                                                                QStringLiteral("PDF (*.pdf)"));
        if (path.isEmpty()) return false;
        const QString pdf = QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0
                                ? path
                                : path + QStringLiteral(".pdf");
        if (!writePdf(pdf, pages_, page_)) {
            notifier_.message(MessageKind::Error, QStringLiteral("Ошибка записи файла ") + pdf);
            return false;
        }
        notifier_.message(MessageKind::Information, QStringLiteral("ФАЙЛ \"") + QFileInfo(pdf).fileName() +
                                                        QStringLiteral("\" ЗАПИСАН"));
        return true;
    }
    QPrinter printer;
    if (isPrinterInstalled(page_.printer)) printer.setPrinterName(page_.printer);
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, static_cast<int>(pages_.size()));
    if (dialog.exec() != QDialog::Accepted) return false;
    const bool range = printer.printRange() == QPrinter::PageRange;
    return printPages(printer, pages_, page_, range ? printer.fromPage() : 0, range ? printer.toPage() : 0);
}

bool TPrint_ku::saveViewer() {
    const QString path = in_.askSavePath
                             ? in_.askSavePath(in_.root.dir(folder::Text), QStringLiteral("*.txt"))
                             : QFileDialog::getSaveFileName(this, QString(), in_.root.dir(folder::Text),
                                                            QStringLiteral("Файл в формате (*.txt)"));
    if (path.isEmpty()) return false;
    return saveViewerTo(path);
}

bool TPrint_ku::saveViewerTo(const QString& chosen) {
    // Any extension typed becomes ".txt".
    const QFileInfo info(chosen);
    const QString name = info.completeBaseName().section(QLatin1Char('.'), 0, 0);
    const QString path = info.dir().filePath(name + QStringLiteral(".txt"));
    if (!mayOverwrite(notifier_, in_.language, path, name + QStringLiteral(".txt"))) return false;
    return tellWritten(notifier_, writeTextLines(path, viewer_->toPlainText().split(QLatin1Char('\n'))), path,
                       name);
}

void TPrint_ku::showCodeList() {
    QStringList lines{QString(), QStringLiteral("////"),
                      uaRu(in_.language, "                Коди  аварійних ситуацій:",
                           "                 Коды  аварийных ситуаций:")};
    const bool ua = in_.language != kRussian;
    for (int n = 1; n <= kAlarmSituations; ++n)
        lines.append(QStringLiteral("%1 ").arg(n, 2, 10, QLatin1Char('0')) +
                     alarmName(n, ua, in_.header.complex).leftJustified(53, QLatin1Char('.'), false) +
                     QStringLiteral("  ") +
                     QStringLiteral("%1").arg(alarmMask(n), 4, 16, QLatin1Char('0')).toUpper());
    lines << QStringLiteral("/////") << QString();
    showLines(lines);
}

void TPrint_ku::openPageSettings() {
    TPagePrint dialog(page_, hourlyCalculation_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    page_ = withCurrentPrinterGeometry(dialog.settings());
    hourlyCalculation_ = dialog.hourlyCalculation();
    savePageSettings(in_.root, page_);
}

void TPrint_ku::choosePrinter() {
    if (installedPrinters().isEmpty()) {
        notifier_.message(MessageKind::Warning, QStringLiteral("Нет установленных принтеров !!!"));
        return;
    }
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    page_ = withPrinterGeometry(page_, printer);
    savePageSettings(in_.root, page_);
}

} // namespace tarn::reports
