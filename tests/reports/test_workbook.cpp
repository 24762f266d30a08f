// "СОХРАНИТЬ КАК *.xls": which sheets a workbook gets and what is in them, the file written whole, stopped
// or refused — every workbook read back as a spreadsheet program would read it — and the dialog and the
// corrector window's menu entry offscreen.
#include "common/Clock.h"
#include "common/Cp1251.h"
#include "common/DataRoot.h"
#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorTestSupport.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/DeviceValues.h"
#include "corrector/windows/CorrectorFileMenu.h"
#include "reports/WorkbookExport.h"
#include "reports/XlsxRead.h"
#include "reports/windows/TPrXls.h"
#include "support/CliRunner.h"
#include "support/DetachedCorrector.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::reports;
using corrector::Archive;
using tarn::test::hex;
using Result = WorkbookOutcome::Result;

namespace {

// The parameter memory of a series-1 corrector, 192 words; the coefficient words count up in eighths.
struct Memory {
    QByteArray bytes = QByteArray(192 * 4, '\0');
    Memory() {
        set(1, hex("0A 00 09 01")); // display time 10, contract hour 9, contract day 1
        set(2, hex("09 02 01 00")); // summer time and Qmin substitution on, 100 imp/m³, NX-19
        set(3, hex("00 03 01 00")); // 9600 bit/s
        // Pmin, Pmax, Pconst, Tmin, Tmax, Tconst, density, CO2, N2, Tst, Pst, factor
        const float words45[] = {0.5f, 6, 3, -20, 60, 20, 0.68f, 1.5f, 0.75f, 20, 1.0332f, 0.998f};
        for (int i = 0; i < 12; ++i)
            setFloat(45 + i, words45[i]);
        const float words58[] = {100, 8, 1.6f, 0.5f, 1.5f}; // Qmax, Qtrn, Qmin, Qtrs, error Qmin<Q<Qtrn
        for (int i = 0; i < 5; ++i)
            setFloat(58 + i, words58[i]);
        setFloat(71, 240); // Vconst
        set(97, corrector::i32Bytes(1234500));
        set(99, corrector::i32Bytes(12345));
        set(100, corrector::i32Bytes(54321));
        const char* texts[] = {"G65", "ПАТ  Облгаз   Збут", "Нитка 1", "25"}; // items 46, 45, 44, 47
        for (int i = 0; i < 4; ++i)
            bytes.replace((105 + 8 * i) * 4, 32,
                          toCp1251(QString::fromUtf8(texts[i])).leftJustified(32, ' '));
        for (int e = 0; e < 40; ++e)
            setFloat(145 + e, float(e + 1) / 8);
    }
    void set(int word, const QByteArray& value) { bytes.replace(word * 4, 4, value.leftJustified(4, '\0')); }
    void setFloat(int word, float v) { set(word, corrector::floatBytes(v)); }
};

// A corrector window after "ЧИТАТЬ ВСЕ" (identification and the parameter pages), with archive rows put in
// as the decoders leave them.
struct Corrector {
    test::RecordingNotifier notifier;
    corrector::DetachedCorrector detached;
    explicit Corrector(const char* tag = "V46a", int language = kRussian, char first = 'A')
        : detached(notifier, language) {
        const auto id = test::identification(first, tag);
        model().setIdentification(id);
        model().setProfile(corrector::DeriveModelProfile(id, 12345));
        model().StartFullRead();
        const Memory m;
        for (int page = 0; page < 3; ++page)
            model().onPageAccepted(quint16(64 * page), m.bytes.mid(256 * page, 256));
        model().onFullReadComplete();
    }
    corrector::CorrectorWindowModel& model() { return detached.model(); }
    // Rows of every column of the archive, "<row>:<column>" in each cell.
    void fill(Archive archive, int rows) {
        const int columns = int(corrector::archiveColumns(archive, model().archiveContext()).size());
        for (int r = 0; r < rows; ++r) {
            QStringList cells;
            for (int c = 0; c < columns; ++c)
                cells.append(QStringLiteral("%1:%2").arg(r).arg(c));
            model().archives().setRow(archive, r, cells);
        }
    }
};

QString valueOf(const QList<QStringList>& rows, const QString& label) {
    for (const QStringList& row : rows)
        if (row.value(0) == label) return row.value(1);
    return QStringLiteral("<missing>");
}

// The rows of a plan as a sheet read back holds them: a blank cell is no cell at all.
QList<QStringList> asRead(QList<QStringList> rows) {
    for (QStringList& row : rows)
        while (!row.isEmpty() && row.last().isEmpty())
            row.removeLast();
    return rows;
}

QStringList filesIn(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

const QList<Archive> kAll{Archive::Operative, Archive::Interference, Archive::Abnormal,
                          Archive::Monthly,   Archive::Daily,        Archive::Hourly};

} // namespace

TEST(WorkbookPlan, SheetsFollowTheCheckedArchivesInTheirOwnOrderAndLanguage) {
    Corrector c;
    QStringList names;
    for (const WorkbookSheet& s : planWorkbook(c.model().reading(), {Archive::Daily}, kRussian))
        names.append(s.name);
    EXPECT_EQ(names, QStringList({QStringLiteral("Параметры"), QStringLiteral("Суточный")}));

    auto namesOf = [&c](int language) {
        QStringList out;
        for (const WorkbookSheet& s : planWorkbook(c.model().reading(), kAll, language))
            out.append(s.name);
        return out;
    };
    EXPECT_EQ(namesOf(kRussian), QStringList({"Параметры", "Часовой", "Суточный", "Месячный", "Аварийный",
                                              "Вмешательств", "Оперативный"}));
    EXPECT_EQ(namesOf(kUkrainian), QStringList({"Параметри", "Годинний", "Добовий", "Місячний", "Аварійний",
                                                "Втручань", "Оперативний"}));
    QStringList boxes;
    for (Archive a : kWorkbookArchives)
        boxes.append(workbookArchiveBox(a, kUkrainian));
    EXPECT_EQ(boxes, QStringList({"Годинний архів", "Добовий архів", "Місячний архів", "Архів аварій",
                                  "Архів втручань", "Оперативний архів"}));
    EXPECT_EQ(workbookArchiveBox(Archive::Interference, kRussian), QStringLiteral("Архив вмешательств"));
    // The service table has no sheet.
    EXPECT_EQ(planWorkbook(c.model().reading(), {Archive::Service}, kRussian).size(), 1);
}

TEST(WorkbookPlan, ArchiveSheetsAreTheWindowTablesWithTheirTitlesAndInterferenceIsOneColumnShort) {
    Corrector c;
    const corrector::ArchiveContext context = c.model().archiveContext();
    // Nothing read: the titles alone.
    EXPECT_EQ(archiveSheetRows(c.model().reading(), Archive::Hourly),
              QList<QStringList>{corrector::archiveColumns(Archive::Hourly, context)});

    for (Archive a : kWorkbookArchives) {
        c.fill(a, 3);
        const QStringList titles = corrector::archiveColumns(a, context);
        const QList<QStringList> rows = archiveSheetRows(c.model().reading(), a);
        const bool short1 = a == Archive::Interference;
        ASSERT_EQ(rows.size(), 4);
        EXPECT_EQ(rows.at(0), short1 ? titles.mid(0, titles.size() - 1) : titles);
        EXPECT_EQ(rows.at(3).size(), titles.size() - (short1 ? 1 : 0));
        EXPECT_EQ(rows.at(3).first(), QStringLiteral("2:0"));
        EXPECT_EQ(rows.at(3).last(), QStringLiteral("2:%1").arg(rows.at(3).size() - 1));
    }
    // A record without a date holds only its number: the row is as wide as the sheet, the rest blank.
    c.model().archives().setRow(Archive::Daily, 0, {QStringLiteral("00007")});
    const QList<QStringList> daily = archiveSheetRows(c.model().reading(), Archive::Daily);
    EXPECT_EQ(daily.at(1).size(), daily.at(0).size());
    EXPECT_EQ(daily.at(1).mid(0, 2), QStringList({QStringLiteral("00007"), QString()}));
}

TEST(WorkbookPlan, TheParameterListHasThePrintoutsLabelsAndTheCorrectionCurve) {
    Corrector c;
    const QList<QStringList> rows = parameterList(c.model().reading(), kRussian);
    for (const QStringList& row : rows)
        EXPECT_EQ(row.size(), 2) << row.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(rows.first(),
              QStringList({QStringLiteral("Предприятие"), QStringLiteral("ПАТ  Облгаз   Збут")}));
    EXPECT_EQ(valueOf(rows, QStringLiteral("Корректор")), QStringLiteral("ТАРН-1.01"));
    EXPECT_EQ(valueOf(rows, QStringLiteral("Заводской номер")), QStringLiteral("12345"));
    EXPECT_EQ(valueOf(rows, QStringLiteral("Счетчик  газа")), QStringLiteral("G65"));
    EXPECT_EQ(valueOf(rows, QStringLiteral("Контрактные сутки")), QStringLiteral("1"));
    EXPECT_EQ(valueOf(rows, QStringLiteral("Плотность(кг/м.куб)")), QStringLiteral("0.68"));
    EXPECT_EQ(valueOf(rows, QStringLiteral("Qtrn р.у.(м.куб/час)")), QStringLiteral("8"));
    EXPECT_EQ(valueOf(rows, QStringLiteral("Автоперевод ЗИМА/ЛЕТО")), QStringLiteral("ВКЛЮЧЕНО"));
    EXPECT_EQ(rows.last(),
              QStringList({QStringLiteral("Показания счетчика (м.куб)"), QStringLiteral("12345")}));
    EXPECT_EQ(valueOf(parameterList(c.model().reading(), kUkrainian), QStringLiteral("Контрактна доба")),
              QStringLiteral("1"));

    // A calibration complex: its title, "Qw", "Kq" and 14 points (entries 2p − 1 and 2p).
    Corrector r("R46a", kRussian, 'R');
    const QList<QStringList> complex = parameterList(r.model().reading(), kRussian);
    const qsizetype title =
        complex.indexOf(QStringList({QStringLiteral("Поправочные коэффициенты ЗИБ"), {}}));
    ASSERT_GT(title, 0);
    EXPECT_EQ(complex.size(), title + 16);
    EXPECT_EQ(complex.at(title + 1), QStringList({QStringLiteral("Qw"), QStringLiteral("Kq")}));
    EXPECT_EQ(complex.at(title + 2), QStringList({QStringLiteral("1.625"), QStringLiteral("1.75")}));
    EXPECT_EQ(complex.last(), QStringList({QStringLiteral("4.875"), QStringLiteral("5")}));
    EXPECT_EQ(valueOf(complex, QStringLiteral("Комплекс")), QStringLiteral("ЗИБ-1.01"));

    // The Z-900 meter: "Ref", "Kq" from entry 13 on, and no Qtrn.
    Corrector w("W46a");
    const QList<QStringList> meter = parameterList(w.model().reading(), kRussian);
    const qsizetype viscosity = meter.indexOf(
        QStringList({QStringLiteral("Поправочные коэффициенты, учитывающие вязкость газа"), {}}));
    ASSERT_GT(viscosity, 0);
    EXPECT_EQ(meter.at(viscosity + 1), QStringList({QStringLiteral("Ref"), QStringLiteral("Kq")}));
    EXPECT_EQ(meter.at(viscosity + 2), QStringList({QStringLiteral("1.625"), QStringLiteral("1.75")}));
    EXPECT_EQ(meter.size(), viscosity + 16);
    EXPECT_EQ(valueOf(meter, QStringLiteral("Qtrn р.у.(м.куб/час)")), QStringLiteral("<missing>"));
}

TEST(WorkbookFile, EverySheetReadsBackAsPlannedAndNothingElseIsLeftInTheFolder) {
    Corrector c;
    c.fill(Archive::Hourly, 5);
    c.fill(Archive::Interference, 2);
    const QList<WorkbookSheet> plan = planWorkbook(c.model().reading(), kAll, kRussian);
    QTemporaryDir dir;
    int calls = 0, lastDone = 0, lastTotal = 0;
    const WorkbookOutcome out = writeWorkbook(plan, dir.filePath(QStringLiteral("o12345_240305")), kRussian,
                                              [&](int done, int total) {
                                                  ++calls;
                                                  lastDone = done;
                                                  lastTotal = total;
                                                  return true;
                                              });
    ASSERT_EQ(out.result, Result::Written) << out.message.toStdString();
    EXPECT_EQ(out.path, dir.filePath(QStringLiteral("o12345_240305.xlsx")));
    EXPECT_TRUE(out.message.isEmpty());
    EXPECT_EQ(out.sheets, 7);
    int rows = 0;
    for (const WorkbookSheet& s : plan)
        rows += int(s.rows.size());
    EXPECT_EQ(calls, rows);
    EXPECT_EQ(lastDone, rows);
    EXPECT_EQ(lastTotal, rows);
    EXPECT_EQ(filesIn(dir), QStringList{QStringLiteral("o12345_240305.xlsx")});
    // Readable as any new file of the folder is, not kept to its owner like a temporary file.
    QFile probe(dir.filePath(QStringLiteral("probe")));
    ASSERT_TRUE(probe.open(QIODevice::WriteOnly));
    EXPECT_EQ(QFileInfo(out.path).permissions(), probe.permissions());

    const auto book = test::readWorkbook(out.path);
    ASSERT_TRUE(book);
    ASSERT_EQ(book->sheets.size(), plan.size());
    for (qsizetype i = 0; i < plan.size(); ++i) {
        EXPECT_EQ(book->sheetNames.at(i), plan.at(i).name);
        EXPECT_EQ(book->sheets.at(i).rows(), asRead(plan.at(i).rows)) << plan.at(i).name.toStdString();
    }
    // The blanks inside a text are kept; the interference sheet has no digits column.
    EXPECT_EQ(book->sheets.at(0).cell(0, 1), QStringLiteral("ПАТ  Облгаз   Збут"));
    const QStringList interference =
        corrector::archiveColumns(Archive::Interference, c.model().archiveContext());
    EXPECT_EQ(book->sheets.at(5).columnCount(), interference.size() - 1);
    EXPECT_EQ(book->sheets.at(1).rowCount(), 6);
}

TEST(WorkbookFile, StopDuringTheHourlySheetSavesTheSheetsFilledAndSaysTheFileIsIncomplete) {
    Corrector c;
    c.fill(Archive::Hourly, 10);
    c.fill(Archive::Daily, 4);
    const QList<WorkbookSheet> plan = planWorkbook(c.model().reading(), kAll, kRussian);
    const int parameters = int(plan.first().rows.size());
    QTemporaryDir dir;
    int calls = 0;
    // "Стоп" comes after the hourly titles and two of its rows.
    const WorkbookOutcome out = writeWorkbook(plan, dir.filePath(QStringLiteral("part.xls")), kRussian,
                                              [&](int done, int) { return ++calls, done < parameters + 3; });
    ASSERT_EQ(out.result, Result::Stopped) << out.message.toStdString();
    EXPECT_EQ(calls, parameters + 3);
    EXPECT_EQ(out.path, dir.filePath(QStringLiteral("part.xlsx")));
    EXPECT_EQ(out.message, QStringLiteral("Процесс прерван, файл - \"") + out.path +
                               QStringLiteral("\" записан неполный"));
    EXPECT_EQ(out.sheets, 2);
    EXPECT_EQ(filesIn(dir), QStringList{QStringLiteral("part.xlsx")});
    const auto book = test::readWorkbook(out.path);
    ASSERT_TRUE(book);
    EXPECT_EQ(book->sheetNames, QStringList({QStringLiteral("Параметры"), QStringLiteral("Часовой")}));
    EXPECT_EQ(book->sheets.at(0).rows(), asRead(plan.at(0).rows));
    EXPECT_EQ(book->sheets.at(1).rows(), asRead(plan.at(1).rows.mid(0, 3)));
    // "Стоп" after the last row: nothing is missing, the workbook is whole.
    const WorkbookOutcome late = writeWorkbook(plan, dir.filePath(QStringLiteral("late")), kRussian,
                                               [](int done, int total) { return done < total; });
    EXPECT_EQ(late.result, Result::Written);
    EXPECT_EQ(late.sheets, 7);
    EXPECT_EQ(workbookIncompleteText(QStringLiteral("a.xlsx"), kUkrainian),
              QStringLiteral("Процес перервано, файл - \"a.xlsx\" записаний неповний"));
}

TEST(WorkbookFile, AnExistingWorkbookIsRefusedBeforeAnythingIsWrittenAndFailuresLeaveNothing) {
    Corrector c;
    const QList<WorkbookSheet> plan = planWorkbook(c.model().reading(), kAll, kRussian);
    QTemporaryDir dir;
    auto put = [&dir](const QString& name) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    };
    auto content = [&dir](const QString& name) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    int calls = 0;
    const WorkbookProgress count = [&calls](int, int) { return ++calls, true; };

    // A workbook of the old kind under the chosen name.
    put(QStringLiteral("a.xls"));
    WorkbookOutcome out = writeWorkbook(plan, dir.filePath(QStringLiteral("a")), kRussian, count);
    EXPECT_EQ(out.result, Result::Refused);
    EXPECT_EQ(out.message, QStringLiteral("Файл \"") + dir.filePath(QStringLiteral("a.xls")) +
                               QStringLiteral("\"уже существует!!!"));
    // One of ours, whatever extension was typed.
    put(QStringLiteral("b.xlsx"));
    for (const char* typed : {"b", "b.xls", "b.XLSX"}) {
        out = writeWorkbook(plan, dir.filePath(QString::fromUtf8(typed)), kUkrainian, count);
        EXPECT_EQ(out.result, Result::Refused) << typed;
        EXPECT_EQ(out.message, QStringLiteral("Файл \"") + dir.filePath(QStringLiteral("b.xlsx")) +
                                   QStringLiteral("\"вже існує!!!"));
    }
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(content(QStringLiteral("a.xls")), QByteArray("old"));
    EXPECT_EQ(content(QStringLiteral("b.xlsx")), QByteArray("old"));
    EXPECT_EQ(filesIn(dir), QStringList({QStringLiteral("a.xls"), QStringLiteral("b.xlsx")}));

    // The name written: ".xlsx" in place of a typed ".xls" or ".xlsx", after any other name.
    EXPECT_EQ(workbookPath(QStringLiteral("/x/a")), QStringLiteral("/x/a.xlsx"));
    EXPECT_EQ(workbookPath(QStringLiteral("/x/a.xls")), QStringLiteral("/x/a.xlsx"));
    EXPECT_EQ(workbookPath(QStringLiteral("/x/a.XLSX")), QStringLiteral("/x/a.xlsx"));
    EXPECT_EQ(workbookPath(QStringLiteral("/x.y/a.old")), QStringLiteral("/x.y/a.old.xlsx"));

    // A folder that is not there: the error, and no file anywhere.
    out = writeWorkbook(plan, dir.filePath(QStringLiteral("missing/c")), kRussian, count);
    EXPECT_EQ(out.result, Result::Failed);
    EXPECT_TRUE(out.message.startsWith(QStringLiteral("ОШИБКА ЗАПИСИ ФАЙЛА ОТЧЕТА \"") +
                                       dir.filePath(QStringLiteral("missing/c.xlsx"))))
        << out.message.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing"))));
    EXPECT_EQ(calls, 0);
}

TEST(WorkbookWindow, CaptionsBoxesButtonsAndAWholeWorkbookOfTheArchivesChecked) {
    Corrector c;
    c.fill(Archive::Daily, 2);
    QTemporaryDir dir;
    test::RecordingNotifier notifier;
    QStringList shown;
    QString proposed, filter, folder;
    TPrXls::Input input;
    input.language = kRussian;
    input.excelFolder = dir.path();
    input.today = QDate(2024, 3, 5);
    input.chooseFile = [&](const QString& f, const QString& fl, const QString& p) {
        folder = f, filter = fl, proposed = p;
        return dir.filePath(p);
    };
    input.showWorkbook = [&shown](const QString& path) { shown.append(path); };

    TPrXls window(c.model().reading(), input, notifier);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Запись файла в формате \"Excel\""));
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(window.archiveBox(i)->isChecked());
        EXPECT_EQ(window.archiveBox(i)->text(),
                  workbookArchiveBox(kWorkbookArchives[std::size_t(i)], kRussian));
    }
    EXPECT_EQ(window.writeButton()->text(), QStringLiteral("Запись"));
    EXPECT_TRUE(window.writeButton()->isDefault());
    EXPECT_EQ(window.stopButton()->text(), QStringLiteral("Стоп"));
    EXPECT_FALSE(window.stopButton()->isEnabled());
    EXPECT_EQ(window.exitButton()->text(), QStringLiteral("Выход"));

    for (int i : {0, 2, 3, 4, 5})
        window.archiveBox(i)->setChecked(false);
    window.writeButton()->click();
    // The workbook is written beside the window's event loop; the window closes itself at the end.
    ManualClock clock;
    ASSERT_TRUE(clock.runUntil([&] { return !window.writing(); }));
    EXPECT_EQ(proposed, corrector::proposedFileName(c.model().reading(), QDate(2024, 3, 5)));
    EXPECT_EQ(folder, dir.path());
    EXPECT_EQ(filter, QStringLiteral("Файл в формате (*.xls,*.xlsx) (*.xls *.xlsx)"));
    ASSERT_EQ(window.outcome().result, Result::Written);
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(window.gauge()->value(), window.gauge()->maximum());
    EXPECT_TRUE(notifier.messages.isEmpty());
    EXPECT_EQ(shown, QStringList{dir.filePath(proposed + QStringLiteral(".xlsx"))});
    const auto book = test::readWorkbook(shown.first());
    ASSERT_TRUE(book);
    EXPECT_EQ(book->sheetNames, QStringList({QStringLiteral("Параметры"), QStringLiteral("Суточный")}));
    EXPECT_EQ(book->sheets.at(1).rowCount(), 3);

    // The same name again: refused, the window stays, nothing shown.
    TPrXls again(c.model().reading(), input, notifier);
    again.setResult(-1);
    again.writeButton()->click();
    EXPECT_EQ(notifier.messages.size(), 1);
    EXPECT_EQ(notifier.messages.value(0).first, MessageKind::Error);
    EXPECT_EQ(notifier.texts().value(0), workbookExistsText(shown.first(), kRussian));
    EXPECT_EQ(again.result(), -1);
    EXPECT_EQ(shown.size(), 1);
    EXPECT_TRUE(again.writeButton()->isEnabled());

    // Cancel in the save dialog closes the window.
    input.chooseFile = [](const QString&, const QString&, const QString&) { return QString(); };
    TPrXls cancelled(c.model().reading(), input, notifier);
    cancelled.writeButton()->click();
    EXPECT_EQ(cancelled.result(), QDialog::Rejected);

    Corrector u("V46a", kUkrainian);
    input.language = kUkrainian;
    TPrXls ua(u.model().reading(), input, notifier);
    EXPECT_EQ(ua.windowTitle(), QStringLiteral("Запис файлу у форматі \"Excel\""));
    EXPECT_EQ(ua.archiveBox(0)->text(), QStringLiteral("Годинний архів"));
    EXPECT_EQ(ua.writeButton()->text(), QStringLiteral("Запис"));
    EXPECT_EQ(ua.exitButton()->text(), QStringLiteral("Вихід"));
}

TEST(WorkbookWindow, StopWhileWritingSavesTheFileAndTellsItIsIncomplete) {
    Corrector c;
    c.fill(Archive::Hourly, 30);
    QTemporaryDir dir;
    test::RecordingNotifier notifier;
    QStringList shown;
    TPrXls::Input input;
    input.language = kRussian;
    input.chooseFile = [&dir](const QString&, const QString&, const QString&) {
        return dir.filePath(QStringLiteral("stopped"));
    };
    input.showWorkbook = [&shown](const QString& path) { shown.append(path); };
    TPrXls window(c.model().reading(), input, notifier);
    // The click waits in the queue until the window takes its events while the workbook is written.
    bool stopEnabled = false, exitEnabled = true;
    QTimer::singleShot(0, &window, [&] {
        stopEnabled = window.stopButton()->isEnabled();
        exitEnabled = window.exitButton()->isEnabled();
        window.stopButton()->click();
    });
    window.writeButton()->click();
    ManualClock clock;
    ASSERT_TRUE(clock.runUntil([&] { return !window.writing(); }));
    EXPECT_TRUE(stopEnabled);
    EXPECT_FALSE(exitEnabled);
    ASSERT_EQ(window.outcome().result, Result::Stopped);
    const QString path = dir.filePath(QStringLiteral("stopped.xlsx"));
    EXPECT_EQ(notifier.messages.size(), 1);
    EXPECT_EQ(notifier.messages.value(0).first, MessageKind::Information);
    EXPECT_EQ(notifier.texts().value(0), workbookIncompleteText(path, kRussian));
    EXPECT_EQ(window.gauge()->value(), 0);
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(shown, QStringList{path});
    const auto book = test::readWorkbook(path);
    ASSERT_TRUE(book);
    EXPECT_EQ(book->sheetNames, QStringList{QStringLiteral("Параметры")});
    EXPECT_FALSE(window.stopButton()->isEnabled());
    EXPECT_TRUE(window.writeButton()->isEnabled());
}

// While the worker writes, the gauge follows its rows and the window stays usable; closing it stops the
// writing, and what is left is the workbook up to the row reached, never a temporary file beside it.
TEST(WorkbookWindow, TheGaugeFollowsTheWritingAndACloseStopsItWithNoPartLeft) {
    Corrector c;
    c.fill(Archive::Hourly, 60);
    QTemporaryDir dir;
    test::RecordingNotifier notifier;
    TPrXls::Input input;
    input.language = kRussian;
    QString name = QStringLiteral("whole");
    input.chooseFile = [&](const QString&, const QString&, const QString&) { return dir.filePath(name); };
    input.showWorkbook = [](const QString&) {};
    ManualClock clock;

    TPrXls whole(c.model().reading(), input, notifier);
    QList<int> shown;
    int total = 0;
    QObject::connect(&whole.run(), &BackgroundRun::progressed, &whole, [&](int, int all) {
        EXPECT_TRUE(whole.writing());
        EXPECT_FALSE(whole.exitButton()->isEnabled());
        shown.append(whole.gauge()->value());
        total = all;
    });
    // The hourly archive alone, beside the parameters.
    for (int i : {1, 2, 3, 4, 5})
        whole.archiveBox(i)->setChecked(false);
    whole.writeButton()->click();
    EXPECT_TRUE(whole.writing()) << "the click returns while the workbook is written";
    ASSERT_TRUE(clock.runUntil([&] { return !whole.writing(); }));
    ASSERT_EQ(whole.outcome().result, Result::Written);
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_EQ(shown.size(), total / 3) << "every third row";
    const auto book = test::readWorkbook(dir.filePath(QStringLiteral("whole.xlsx")));
    ASSERT_TRUE(book);
    ASSERT_EQ(book->sheetNames, (QStringList{QStringLiteral("Параметры"), QStringLiteral("Часовой")}));
    const int hourlyRows = book->sheets.at(1).rowCount();

    name = QStringLiteral("closed");
    TPrXls closed(c.model().reading(), input, notifier);
    closed.show();
    int reports = 0;
    QObject::connect(&closed.run(), &BackgroundRun::progressed, &closed, [&](int done, int) {
        // Stopped on the hourly sheet, once the parameters are written.
        if (done < total - 30 || reports++ > 0) return;
        closed.close();
        EXPECT_TRUE(closed.isVisible()) << "the window stays until the writing has seen the stop";
    });
    for (int i : {1, 2, 3, 4, 5})
        closed.archiveBox(i)->setChecked(false);
    closed.writeButton()->click();
    ASSERT_TRUE(clock.runUntil([&] { return !closed.writing(); }));
    ASSERT_EQ(closed.outcome().result, Result::Stopped);
    EXPECT_EQ(notifier.texts().last(),
              workbookIncompleteText(dir.filePath(QStringLiteral("closed.xlsx")), kRussian));
    const auto part = test::readWorkbook(dir.filePath(QStringLiteral("closed.xlsx")));
    ASSERT_TRUE(part);
    ASSERT_EQ(part->sheetNames.size(), 2);
    EXPECT_GT(part->sheets.at(1).rowCount(), 1);
    EXPECT_LT(part->sheets.at(1).rowCount(), hourlyRows);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("closed.xlsx"), QStringLiteral("whole.xlsx")}));
}

TEST(WorkbookWindow, TheCorrectorFileMenuOpensTheDialogOnlyWithACorrectorsData) {
    test::RecordingNotifier notifier;
    corrector::DetachedCorrector empty(notifier, kRussian);
    QWidget window;
    auto* bar = new QMenuBar(&window);
    int opened = 0;
    auto* menu = new corrector::CorrectorFileMenu(bar, empty.model(), notifier, &window);
    corrector::CorrectorFileMenu::Options options;
    options.saveWorkbook = [&opened] { ++opened; };
    menu->setOptions(options);
    EXPECT_EQ(menu->saveXlsAction()->text(), QStringLiteral("СОХРАНИТЬ КАК *.xls"));
    menu->saveXlsAction()->trigger();
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(notifier.texts(), QStringList{QStringLiteral("Нет данных")});

    Corrector c("V46a", kUkrainian);
    auto* ua = new corrector::CorrectorFileMenu(bar, c.model(), notifier, &window);
    ua->setOptions(options);
    EXPECT_EQ(ua->saveXlsAction()->text(), QStringLiteral("ЗБЕРІГТИ ЯК *.xls"));
    ua->saveXlsAction()->trigger();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(notifier.messages.size(), 1);
}

TEST(WorkbookCli, FileExportWritesTheWorkbookOfASavedFileAndNeverOverwritesIt) {
    Corrector c;
    for (int r = 0; r < 3; ++r)
        c.model().archives().setRow(Archive::Daily, r,
                                    {QStringLiteral("0000%1").arg(r),
                                     QStringLiteral("0%1.03.2024").arg(r + 1), QStringLiteral("09:00"),
                                     QStringLiteral("%1.5").arg(r)});
    test::TempHome home;
    const QString prt = home.path(folder::Report, QStringLiteral("o12345_240305.prt"));
    ASSERT_TRUE(corrector::saveSnapshot(c.model().reading(), prt, kRussian).ok);
    const QString chosen = home.path(folder::Excel, QStringLiteral("book"));
    auto cli = [&home](const QStringList& args) {
        const test::CliResult ran = test::runCliIn(
            home.root().root(), QStringList{QStringLiteral("--lang"), QStringLiteral("ru")} + args);
        return std::pair{ran.code, ran.errText()};
    };
    const QStringList args{
        QStringLiteral("file"),     QStringLiteral("export"), prt, QStringLiteral("--save-xls"), chosen,
        QStringLiteral("--sheets"), QStringLiteral("daily")};
    auto [code, err] = cli(args);
    ASSERT_EQ(code, 0) << err.toStdString();
    const auto book = test::readWorkbook(chosen + QStringLiteral(".xlsx"));
    ASSERT_TRUE(book);
    EXPECT_EQ(book->sheetNames, QStringList({QStringLiteral("Параметры"), QStringLiteral("Суточный")}));
    // The same cells as the window's workbook of the file opened there.
    corrector::DetachedCorrector opened(c.notifier, kRussian);
    ASSERT_TRUE(corrector::loadParameterFile(opened.model(), prt, c.notifier).ok);
    const QList<WorkbookSheet> plan = planWorkbook(opened.model().reading(), {Archive::Daily}, kRussian);
    EXPECT_EQ(book->sheets.at(0).rows(), asRead(plan.at(0).rows));
    EXPECT_EQ(book->sheets.at(1).rows(), asRead(plan.at(1).rows));
    EXPECT_EQ(book->sheets.at(1).cell(3, 1), QStringLiteral("03.03.2024"));

    // Again: refused, the file as it was; a word --sheets does not know is refused before anything.
    const QByteArray before = home.read(folder::Excel, QStringLiteral("book.xlsx"));
    std::tie(code, err) = cli(args);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(err.contains(QStringLiteral("Файл \"") + chosen + QStringLiteral(".xlsx\"уже существует!!!")))
        << err.toStdString();
    EXPECT_EQ(home.read(folder::Excel, QStringLiteral("book.xlsx")), before);
    std::tie(code, err) =
        cli({QStringLiteral("file"), QStringLiteral("export"), prt, QStringLiteral("--save-xls"),
             home.path(folder::Excel, QStringLiteral("other")), QStringLiteral("--sheets"),
             QStringLiteral("yearly")});
    EXPECT_EQ(code, 2);
    EXPECT_FALSE(home.exists(folder::Excel, QStringLiteral("other.xlsx")));

    // With --json the answer names the files as written, with the extensions the program gave them.
    const test::CliResult answered =
        test::runCliIn(home.root().root(),
                       {QStringLiteral("--json"), QStringLiteral("file"), QStringLiteral("export"), prt,
                        QStringLiteral("--out"), home.path(folder::Report, QStringLiteral("copy")),
                        QStringLiteral("--save-xls"), home.path(folder::Excel, QStringLiteral("third"))});
    ASSERT_EQ(answered.code, 0) << answered.errText().toStdString();
    const QJsonObject written = answered.json();
    EXPECT_EQ(QFileInfo(written.value(QStringLiteral("text")).toString()).canonicalFilePath(),
              QFileInfo(home.path(folder::Report, QStringLiteral("copy.txt"))).canonicalFilePath());
    EXPECT_EQ(QFileInfo(written.value(QStringLiteral("workbook")).toString()).canonicalFilePath(),
              QFileInfo(home.path(folder::Excel, QStringLiteral("third.xlsx"))).canonicalFilePath());
    EXPECT_TRUE(test::readWorkbook(written.value(QStringLiteral("workbook")).toString()));
}
