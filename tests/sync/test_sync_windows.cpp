// The package and synchronisation windows offscreen, and the database window's way into them.
#include "database/Registry.h"
#include "database/windows/TBDquon.h"
#include "link/FakeSerialPort.h"
#include "polling/windows/TfChargBD.h"
#include "shell/AppContext.h"
#include "support/ParameterFileSupport.h"
#include "support/TestSupport.h"
#include "sync/windows/PackageActions.h"
#include "sync/windows/TfDirSynch.h"
#include "sync/windows/TfWR_fBD.h"
#include "sync/windows/TfWrRd_Gr.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTextEdit>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::database;

namespace {

struct Installation {
    test::TempHome home;
    Schemas schemas;
    SqliteStorage storage{home.root(), schemas};
    test::RecordingNotifier notifier;
    Installation() {
        writeMissingSchemaFiles(home.root());
        schemas = loadSchemas(home.root());
    }
    void addPoint(const QString& id, int serial) {
        Point p;
        p.identifier = id;
        p.serial = QString::number(serial);
        p.model = QStringLiteral("ТАРН-2.01");
        p.config[config::LinkKind] = QStringLiteral("прямое соединение");
        p.config[config::Flags] = QStringLiteral("11100001000");
        ASSERT_TRUE(Registry(home.root(), schemas).add(p));
        ASSERT_TRUE(test::writeMemberParameterFile(home.root(), id, serial));
    }
    sync::PackageUi ui(const QString& chosen) {
        sync::PackageUi u;
        u.root = home.root();
        u.schemas = &schemas;
        u.notifier = &notifier;
        u.startDelayMs = 0;
        u.chooseFile = [chosen, this](bool save, const QString& folder, const QString& filter,
                                      const QString& proposed) {
            asked.append({save ? QStringLiteral("save") : QStringLiteral("open"), folder, filter, proposed});
            return chosen;
        };
        return u;
    }
    QList<QStringList> asked;
};

} // namespace

TEST(SyncWindows, SaveAndOpenAPointThroughTheDialogs) {
    Installation a;
    a.addPoint(QStringLiteral("12345"), 12345);
    const QString chosen = a.home.root().dir(folder::MailBD) + QStringLiteral("/12345.old.tbd");
    ASSERT_TRUE(sync::savePointPackage(nullptr, a.ui(chosen), QStringLiteral("12345")));
    ASSERT_EQ(a.asked.size(), 1);
    EXPECT_EQ(a.asked.first(),
              (QStringList{QStringLiteral("save"), a.home.root().dir(folder::MailBD),
                           QStringLiteral("Файл в формате (*.tbd)"), QStringLiteral("12345.tbd")}));
    EXPECT_EQ(a.notifier.texts().last(), QStringLiteral("ФАЙЛ  \"12345.tbd\" ЗАПИСАН"));
    const QString written = a.home.path(folder::MailBD, QStringLiteral("12345.tbd"));
    ASSERT_TRUE(QFileInfo::exists(written));
    // Once it exists the user is asked; no keeps the file.
    const QDateTime before = QFileInfo(written).lastModified();
    EXPECT_FALSE(sync::savePointPackage(nullptr, a.ui(chosen), QStringLiteral("12345")));
    EXPECT_EQ(a.notifier.questions.last(), QStringLiteral("Файл \"") + QDir::toNativeSeparators(written) +
                                               QStringLiteral("\"уже существует, перезаписать?"));
    EXPECT_EQ(QFileInfo(written).lastModified(), before);

    Installation b;
    const auto opened = sync::openPointPackage(nullptr, b.ui(written));
    ASSERT_TRUE(opened);
    EXPECT_TRUE(opened->ok) << opened->error.toStdString();
    EXPECT_TRUE(Registry(b.home.root(), b.schemas).find(QStringLiteral("12345")));
    // A damaged package: "Ошибка", and nothing registered.
    b.home.write(folder::MailBD, QStringLiteral("bad.tbd"), "\x88\x19\x06\x18\x01");
    Installation c;
    EXPECT_FALSE(
        sync::openPointPackage(nullptr, c.ui(b.home.path(folder::MailBD, QStringLiteral("bad.tbd"))))->ok);
    EXPECT_EQ(c.notifier.texts().last(), QStringLiteral("Ошибка"));
    // No file chosen: nothing happens.
    EXPECT_FALSE(sync::openPointPackage(nullptr, c.ui(QString())));
}

// The packing runs on the window's worker while the window keeps its own event loop: the gauge follows
// each step, and F10 or a close in the middle stops it with neither a package nor a staged file left.
TEST(SyncWindows, ThePackWindowShowsEachStepAndAStopLeavesNothingWritten) {
    Installation a;
    a.addPoint(QStringLiteral("12345"), 12345);
    const QString packagePath = a.home.path(folder::MailBD, QStringLiteral("12345.tbd"));
    QDir().mkpath(a.home.root().dir(folder::MailBD));
    const QDir mail(a.home.root().dir(folder::MailBD));

    // stopAt: the step at which the user stops; how: F10 or the window's close.
    enum class Stop { Never, F10, Close };
    auto pack = [&](Stop how, int stopAt, QList<int>& steps) {
        sync::TfWR_fBD window(sync::TfWR_fBD::Mode::Pack);
        window.startDelayMs = 0;
        QObject::connect(&window.run(), &BackgroundRun::progressed, &window, [&](int step, int total) {
            EXPECT_EQ(total, sync::kPackSteps);
            EXPECT_EQ(window.gauge()->value(), step) << "the gauge follows the step shown";
            steps.append(step);
            if (step != stopAt) return;
            if (how == Stop::F10) {
                QKeyEvent f10(QEvent::KeyPress, Qt::Key_F10, Qt::NoModifier);
                QCoreApplication::sendEvent(&window, &f10);
            } else if (how == Stop::Close) {
                window.close();
                EXPECT_TRUE(window.isVisible()) << "the window stays until the work has seen the stop";
            }
        });
        sync::PackOutcome outcome;
        window.runModal([&](const sync::StepProgress& progress) {
            outcome =
                sync::packPoint(a.home.root(), a.schemas, QStringLiteral("12345"), packagePath, progress);
        });
        EXPECT_FALSE(window.run().running());
        return outcome;
    };

    for (Stop how : {Stop::F10, Stop::Close}) {
        QList<int> steps;
        const sync::PackOutcome stopped = pack(how, 4, steps);
        EXPECT_TRUE(stopped.stopped);
        EXPECT_FALSE(stopped.ok);
        EXPECT_EQ(steps, (QList<int>{1, 4})) << "no step after the stop";
        EXPECT_FALSE(QFileInfo::exists(packagePath));
        EXPECT_TRUE(mail.entryList(QDir::Files).isEmpty())
            << mail.entryList(QDir::Files).join(u' ').toStdString();
        EXPECT_TRUE(QDir(sync::stagingFolder(a.home.root())).isEmpty());
    }

    QList<int> steps;
    const sync::PackOutcome whole = pack(Stop::Never, -1, steps);
    ASSERT_TRUE(whole.ok) << whole.error.toStdString();
    EXPECT_EQ(steps.first(), 1);
    EXPECT_EQ(steps.last(), sync::kPackSteps);
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_TRUE(QFileInfo::exists(packagePath));
    // The same package as one packed without a window.
    const QString direct = a.home.path(folder::MailBD, QStringLiteral("direct.tbd"));
    const sync::PackOutcome plain =
        sync::packPoint(a.home.root(), a.schemas, QStringLiteral("12345"), direct);
    ASSERT_TRUE(plain.ok);
    ASSERT_EQ(whole.entries.size(), plain.entries.size());
    for (qsizetype i = 0; i < plain.entries.size(); ++i) {
        EXPECT_EQ(whole.entries[i].name, plain.entries[i].name);
        EXPECT_EQ(whole.entries[i].size, plain.entries[i].size);
    }

    // Unpacking over the registered point asks its question on the window's thread, through the user's
    // notifier, and goes on with the answer.
    Installation b;
    b.addPoint(QStringLiteral("12345"), 12345);
    b.notifier.answer = true;
    const auto opened = sync::openPointPackage(nullptr, b.ui(packagePath));
    ASSERT_TRUE(opened);
    EXPECT_TRUE(opened->ok) << opened->error.toStdString();
    EXPECT_EQ(b.notifier.questions.size(), 1);
}

TEST(SyncWindows, CaptionsAndTheDatabaseWindowsButtons) {
    sync::TfWR_fBD pack(sync::TfWR_fBD::Mode::Pack);
    EXPECT_EQ(pack.caption()->text(), QStringLiteral("подготовка файлов базы данных \"упаковка\""));
    EXPECT_EQ(pack.gauge()->maximum(), 25);
    sync::TfWR_fBD unpack(sync::TfWR_fBD::Mode::Unpack);
    EXPECT_EQ(unpack.caption()->text(), QStringLiteral("подготовка файлов базы данных \"распаковка\""));

    Installation a;
    a.addPoint(QStringLiteral("12345"), 12345);
    test::RecordingNotifier n;
    sync::TfWrRd_Gr::Input input;
    input.root = a.home.root();
    input.storage = &a.storage;
    sync::TfWrRd_Gr save(sync::TfWrRd_Gr::Mode::Save, input, n);
    // The "c" of the caption is the Latin letter.
    EXPECT_EQ(save.windowTitle(), QStringLiteral("Группа - cохранить *.tbd"));
    EXPECT_EQ(save.windowTitle().at(9), QLatin1Char('c'));
    EXPECT_EQ(save.width(), 750);

    QString saved;
    int opened = 0;
    TBDquon::Options options;
    options.savePackage = [&saved](const Point& p) { saved = p.identifier; };
    options.openPackage = [&opened] {
        ++opened;
        return QStringLiteral("12345");
    };
    TBDquon window(a.home.root(), a.schemas, n, options);
    QStringList captions;
    for (QAction* action : window.findChildren<QAction*>())
        if (action->isVisible()) captions.append(action->text());
    EXPECT_TRUE(captions.contains(QStringLiteral("Сохранить файл  *.tbd")));
    EXPECT_TRUE(captions.contains(QStringLiteral("Открыть файл  *.tbd")));
    EXPECT_FALSE(window.savePackage());
    EXPECT_EQ(n.texts().last(), QStringLiteral("Нет данных"));
    EXPECT_TRUE(window.openPackage());
    EXPECT_EQ(opened, 1);
    ASSERT_TRUE(window.model().selected());
    EXPECT_EQ(window.model().selected()->identifier, QStringLiteral("12345"));
    EXPECT_TRUE(window.savePackage());
    EXPECT_EQ(saved, QStringLiteral("12345"));
}

TEST(SyncWindows, GroupOpenAndTheSynchronisationWindow) {
    Installation a;
    a.addPoint(QStringLiteral("12345"), 12345);
    ASSERT_TRUE(sync::packPoint(a.home.root(), a.schemas, QStringLiteral("12345"),
                                a.home.path(folder::MailBD, QStringLiteral("12345.tbd")))
                    .ok);
    Installation b;
    sync::TfWrRd_Gr::Input input;
    input.root = b.home.root();
    input.storage = &b.storage;
    input.startFolder = a.home.root().dir(folder::MailBD);
    sync::TfWrRd_Gr open(sync::TfWrRd_Gr::Mode::Open, input, b.notifier);
    open.stepIntervalMs = 1;
    EXPECT_EQ(open.windowTitle(), QStringLiteral("Группа - открыть *.tbd"));
    ASSERT_EQ(open.packageList()->count(), 1);
    EXPECT_EQ(open.packageList()->item(0)->checkState(), Qt::Checked);
    ASSERT_TRUE(open.startOpen());
    EXPECT_TRUE(test::waitUntil([&] { return !open.running(); }));
    EXPECT_TRUE(open.winStep()->toPlainText().endsWith(QStringLiteral("ДАННЫЕ ПРИБОРОВ ГРУППЫ ОТКРЫТЫ!!!")));
    EXPECT_EQ(open.openedPoints(), QStringList{QStringLiteral("12345")});
    // Nothing ticked: the error, no run.
    open.packageList()->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(open.startOpen());
    EXPECT_EQ(b.notifier.texts().last(), QStringLiteral("ОШИБКА!!! нет данных"));

    // A path with no installation: the question, and its answer says whether loading goes on.
    sync::TfDirSynch nowhere(b.home.root(), a.home.root().root(), kRussian, b.notifier);
    EXPECT_TRUE(nowhere.sourceLabel()->text().startsWith(QStringLiteral("д.син.- ")));
    EXPECT_TRUE(nowhere.targetLabel()->text().startsWith(QStringLiteral("д.раб.- ")));
    b.notifier.answer = true;
    EXPECT_TRUE(nowhere.runModal());
    EXPECT_EQ(b.notifier.questions.last(),
              QStringLiteral("Проверьте \"путь синхронизации\"!!! Загрузку без синхронизации продолжить?"));
    // With the program there, a complete run goes on without a question.
    QFile program(QDir(a.home.root().root()).filePath(QStringLiteral("Tarn_B.exe")));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.close();
    b.home.write(folder::Work, QStringLiteral("SynDir.000"), "4*Hour\\*h_\r\n1*Current\\SynCor.000\r\n");
    b.notifier.questions.clear();
    sync::TfDirSynch window(b.home.root(), a.home.root().root(), kRussian, b.notifier);
    EXPECT_TRUE(window.runModal());
    EXPECT_TRUE(b.notifier.questions.isEmpty());
    EXPECT_TRUE(b.home.exists(folder::Hour, QStringLiteral("h_12345.db")));
    EXPECT_EQ(window.run().copied(), 2);
}

TEST(SyncWindows, TheConsoleReachesPackagesAndSynchronisationThroughItsHooks) {
    test::TempHome home;
    test::RecordingNotifier notifier;
    shell::AppContext ctx{home.root(), notifier, std::make_unique<link::FakeSerialPort>()};
    writeMissingSchemaFiles(home.root());
    ctx.schemas = loadSchemas(home.root());
    polling::PollingRun run(ctx.pollingParts(), kRussian);
    polling::TfChargBD console(run, home.root(), notifier, kRussian);
    EXPECT_FALSE(console.savePointPackageAction()->isVisible());
    EXPECT_FALSE(console.openGroupPackageAction()->isVisible());

    int synchronised = 0;
    QStringList saved;
    polling::TfChargBD::PackageHooks hooks;
    hooks.savePoint = [&saved](const QString& id) { saved.append(id); };
    hooks.saveGroup = [&saved](const QString& group) { saved.append(group); };
    hooks.synchronise = [&synchronised] { ++synchronised; };
    console.setPackageHooks(hooks);
    EXPECT_TRUE(console.savePointPackageAction()->isVisible());
    EXPECT_EQ(console.savePointPackageAction()->text(), QStringLiteral("Сохранить файл  *.tbd"));
    EXPECT_EQ(console.saveGroupPackageAction()->text(), QStringLiteral("Сохранить *.tbd"));
    // Without its hook an entry is not offered (a synchronised copy gets no open hooks).
    EXPECT_FALSE(console.openPointPackageAction()->isVisible());
    // On a synchronised copy the cycle button synchronises instead of polling.
    console.schedulePollAction()->trigger();
    EXPECT_EQ(synchronised, 1);
    EXPECT_FALSE(run.running());
    // No point selected: nothing is packed.
    console.savePointPackageAction()->trigger();
    EXPECT_TRUE(saved.isEmpty());
    EXPECT_EQ(notifier.texts().last(), QStringLiteral("Не выбран корректор!!!"));
}
