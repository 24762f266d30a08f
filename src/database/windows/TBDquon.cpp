#include "database/windows/TBDquon.h"

#include "common/BackgroundRun.h"
#include "common/Language.h"
#include "common/TuningFiles.h"
#include "database/windows/TConfigCor.h"
#include "database/windows/TGasComp.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QThread>
#include <QToolBar>
#include <QVBoxLayout>

#include <atomic>

namespace tarn::database {

namespace {

QTableView* gridView(QAbstractItemModel* model, QWidget* parent) {
    auto* view = new QTableView(parent);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    return view;
}

// The erase's wait window: the heading and the gauge of the erase, which runs on a worker while this
// window holds the user off the database window. The user cannot stop it half-way: a point with some of
// its files gone and its registry row kept is what a failure leaves, not what a key should; Escape and
// the close button wait for the end as the window does.
class EraseWait final : public QDialog {
public:
    EraseWait(const QString& heading, QWidget* parent) : QDialog(parent) {
        setObjectName(QStringLiteral("EraseWait"));
        setWindowTitle(heading);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(heading, this));
        gauge_ = new QProgressBar(this);
        gauge_->setRange(0, 1);
        gauge_->setValue(0);
        layout->addWidget(gauge_);
        connect(&run_, &BackgroundRun::progressed, this, [this](int step, int steps) {
            gauge_->setMaximum(steps);
            gauge_->setValue(step);
        });
        connect(&run_, &BackgroundRun::finished, this, &QDialog::accept);
    }

    // Shows the window until the erase has ended; the erase's message (empty on success).
    QString runModal(const std::function<QString(const BackgroundRun::Progress&)>& erase) {
        QString error;
        run_.start([&error, &erase](const BackgroundRun::Progress& progress) { error = erase(progress); });
        exec();
        return run_.failure().isEmpty() ? error : run_.failure();
    }

    void reject() override {
        if (!run_.running()) QDialog::reject();
    }

private:
    QProgressBar* gauge_;
    BackgroundRun run_; // last: a window that goes mid-erase waits for it
};

} // namespace

TBDquon::TBDquon(const DataRoot& root, Storage& storage, Notifier& notifier, Options options, QWidget* parent)
    : TBDquon(root, nullptr, &storage, notifier, options, parent) {}

TBDquon::TBDquon(const DataRoot& root, const Schemas& schemas, Notifier& notifier, Options options,
                 QWidget* parent)
    : TBDquon(root, std::make_unique<SqliteStorage>(root, schemas), nullptr, notifier, options, parent) {}

TBDquon::TBDquon(const DataRoot& root, std::unique_ptr<SqliteStorage> ownStorage, Storage* storage,
                 Notifier& notifier, Options options, QWidget* parent)
    : QMainWindow(parent), root_(root), ownStorage_(std::move(ownStorage)),
      storage_(storage ? *storage : *ownStorage_), schemas_(storage_.schemas()), notifier_(notifier),
      options_(options), model_(root, storage_) {
    setObjectName(QStringLiteral("TBDquon"));
    if (options_.groups) model_.useGroupFiles(*options_.groups);
    const int lang = options_.language;
    auto* tools = addToolBar(QString());
    tools->setMovable(false);
    QAction* configurator = tools->addAction(uaRu(lang, "Конфігуратор", "Конфигуратор"));
    QAction* gas = tools->addAction(uaRu(lang, "Газ", "Газ"));
    columns_ = tools->addAction(uaRu(lang, "Модель і № ", "Модель и № "));
    columns_->setCheckable(true);
    columns_->setChecked(model_.identityColumnsShown());
    columns_->setToolTip(uaRu(lang, "Показати стовпці моделі та заводського номера",
                              "Показать столбцы модели и заводского номера"));
    QAction* erase = tools->addAction(uaRu(lang, "Видалити коректор", "Удалить корректор"));
    QAction* report = tools->addAction(uaRu(lang, "Звіт", "Отчет"));
    report->setVisible(static_cast<bool>(options_.openReport));
    connect(report, &QAction::triggered, this, &TBDquon::openReport);
    QAction* savePackage = tools->addAction(QStringLiteral("Сохранить файл  *.tbd"));
    savePackage->setVisible(static_cast<bool>(options_.savePackage));
    connect(savePackage, &QAction::triggered, this, &TBDquon::savePackage);
    QAction* openPackage = tools->addAction(QStringLiteral("Открыть файл  *.tbd"));
    openPackage->setVisible(static_cast<bool>(options_.openPackage) && !options_.syncOn);
    connect(openPackage, &QAction::triggered, this, &TBDquon::openPackage);
    QAction* check = tools->addAction(uaRu(lang, "Перевірка БД", "Проверка БД"));
    check->setObjectName(QStringLiteral("checkDatabase"));
    check->setEnabled(options_.tableFiles);
    connect(check, &QAction::triggered, this, &TBDquon::checkFromMenu);
    QAction* exit = tools->addAction(uaRu(lang, "ВИХІД", "ВЫХОД"));
    configurator->setEnabled(!options_.syncOn);
    erase->setEnabled(!options_.syncOn);
    connect(configurator, &QAction::triggered, this, &TBDquon::editSelectedPoint);
    connect(gas, &QAction::triggered, this, &TBDquon::openGasWindow);
    connect(columns_, &QAction::triggered, this, [this] {
        if (!model_.toggleIdentityColumns())
            notifier_.message(MessageKind::Error,
                              QStringLiteral("Ошибка записи файла ") +
                                  root_.file(folder::Work, QStringLiteral("TypeBD_C.000")));
        columns_->setChecked(model_.identityColumnsShown());
        applyIdentityColumns();
    });
    connect(erase, &QAction::triggered, this, &TBDquon::eraseSelectedPoint);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    auto* split = new QSplitter(Qt::Vertical, this);
    split_ = split;
    auto* upper = new QSplitter(Qt::Horizontal, split);
    registryView_ = gridView(&model_.registryGrid(), upper);
    gasView_ = gridView(&model_.gasGrid(), upper);
    upper->setStretchFactor(0, 4);
    upper->setStretchFactor(1, 1);
    tabs_ = new QTabWidget(split);
    for (std::size_t i = 0; i < kPointGridOrder.size(); ++i) {
        pointViews_[i] = gridView(&model_.pointGrid(kPointGridOrder[i]), tabs_);
        tabs_->addTab(pointViews_[i], pointGridCaption(kPointGridOrder[i], lang));
    }
    setCentralWidget(split);
    applyUpperHeight(loadPanelSizes(root_).databaseUpper);
    connect(split_, &QSplitter::splitterMoved, this, [this] {
        PanelSizes sizes = loadPanelSizes(root_);
        sizes.databaseUpper = split_->sizes().value(0, sizes.databaseUpper);
        if (!savePanelSizes(root_, sizes))
            notifier_.message(MessageKind::Error,
                              QStringLiteral("Ошибка записи файла ") + panelSizesPath(root_));
    });

    connect(registryView_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TBDquon::onRegistryRowChanged);
    connect(registryView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = registryView_->indexAt(at);
        if (!index.isValid() || options_.syncOn) return;
        registryView_->setCurrentIndex(index);
        editSelectedPoint();
    });
    connect(gasView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = gasView_->indexAt(at);
        if (index.isValid()) gasView_->setCurrentIndex(index);
        openGasWindow();
    });
    // The record menu of the archive grids: the graph of the archive (hourly, daily, monthly, operative)
    // and the deletion of the record under the cursor.
    for (TableKind kind : {TableKind::Hourly, TableKind::Daily, TableKind::Monthly, TableKind::Interference,
                           TableKind::Alarm, TableKind::Operative, TableKind::Service}) {
        QTableView* view = pointView(kind);
        if (!view) continue;
        connect(view, &QWidget::customContextMenuRequested, this, [this, view, kind](const QPoint& at) {
            const QModelIndex index = view->indexAt(at);
            if (index.isValid()) view->setCurrentIndex(index);
            QMenu menu(this);
            QAction* graph = menu.addAction(QStringLiteral("График"));
            graph->setEnabled(options_.openGraph &&
                              (kind == TableKind::Hourly || kind == TableKind::Daily ||
                               kind == TableKind::Monthly || kind == TableKind::Operative));
            QAction* erase = menu.addAction(QStringLiteral("Удалить запись"));
            erase->setEnabled(!options_.syncOn && view->currentIndex().isValid());
            menu.addAction(QStringLiteral("Отмена"));
            QAction* chosen = menu.exec(view->viewport()->mapToGlobal(at));
            if (chosen == graph) openGraph(kind);
            if (chosen == erase) deleteRecord(kind, view->currentIndex().row());
        });
    }
    applyIdentityColumns();
    showTitle();
    resize(1000, 640);
}

QTableView* TBDquon::pointView(TableKind kind) const {
    for (std::size_t i = 0; i < kPointGridOrder.size(); ++i)
        if (kPointGridOrder[i] == kind) return pointViews_[i];
    return nullptr;
}

void TBDquon::showTitle() {
    setWindowTitle(model_.title());
}

void TBDquon::applyIdentityColumns() {
    for (std::size_t i = 0; i < kPointGridOrder.size(); ++i) {
        QTableView* view = pointViews_[i];
        const QList<int> hidden = model_.hiddenColumns(kPointGridOrder[i]);
        for (int c = 0; c < view->model()->columnCount(); ++c)
            view->setColumnHidden(c, hidden.contains(c));
    }
}

void TBDquon::onRegistryRowChanged() {
    model_.selectRow(registryView_->currentIndex().row());
    applyIdentityColumns();
    showTitle();
}

void TBDquon::applyUpperHeight(int height) {
    QList<int> heights = split_->sizes();
    if (heights.size() < 2) return;
    const int total = heights.at(0) + heights.at(1);
    heights[0] = height;
    heights[1] = total > height ? total - height : height;
    split_->setSizes(heights);
}

void TBDquon::refresh() {
    model_.refresh();
    const int row = model_.selectedRow();
    if (row >= 0) registryView_->selectRow(row);
    applyIdentityColumns();
    showTitle();
}

bool TBDquon::editSelectedPoint() {
    if (options_.syncOn) return false;
    const auto& point = model_.selected();
    if (!point) {
        notifier_.message(MessageKind::Information, uaRu(options_.language, "Немає даних", "Нет данных"));
        return false;
    }
    // A row without a serial number or model is no corrector to configure.
    if (point->serial.isEmpty() || point->model.isEmpty()) return false;
    TConfigCor configurator(*point, Gases(storage_).names(), notifier_, this);
    if (configurator.exec() != QDialog::Accepted) return false;
    model_.saveConfig(configurator.config());
    refresh();
    return true;
}

void TBDquon::openGasWindow() {
    Gases gases(storage_);
    std::optional<GasComposition> selected;
    const int row = gasView_->currentIndex().row();
    if (row >= 0) {
        const QString name = model_.gasGrid().value(row, QStringLiteral("gNameGas")).toString().trimmed();
        for (const GasComposition& g : gases.all())
            if (g.name == name) selected = g;
    }
    TGasComp window(gases, selected, notifier_, this);
    window.exec();
    model_.gasGrid().refresh();
}

bool TBDquon::openReport() {
    if (!model_.selected()) {
        notifier_.message(MessageKind::Information, uaRu(options_.language, "Немає даних", "Нет данных"));
        return false;
    }
    if (options_.openReport) options_.openReport(*model_.selected());
    return true;
}

bool TBDquon::savePackage() {
    if (!model_.selected()) {
        notifier_.message(MessageKind::Information, uaRu(options_.language, "Немає даних", "Нет данных"));
        return false;
    }
    if (options_.savePackage) options_.savePackage(*model_.selected());
    return true;
}

bool TBDquon::openPackage() {
    if (!options_.openPackage || options_.syncOn) return false;
    const QString before = model_.selected() ? model_.selected()->identifier : QString();
    // The grids hold the point's table files open; a package may replace them.
    model_.selectRow(-1);
    const QString arrived = options_.openPackage();
    model_.refresh();
    model_.selectPoint(arrived.isEmpty() ? before : arrived);
    refresh();
    return !arrived.isEmpty();
}

struct TBDquon::CheckRun {
    quint64 number = 0; // which check of this window: a late word from an earlier worker is not this one's
    bool repair = false;
    QString selected; // the point shown before, shown again after a repair
    CheckOptions options;
    CheckReport report;
    std::atomic<bool> stop{false};
    QPointer<QDialog> progress;
    QPointer<QProgressBar> gauge;
    std::unique_ptr<QThread> worker;
    bool reportToUser = false; // started from the menu: the findings are shown when it ends
};

TBDquon::~TBDquon() {
    if (!check_) return;
    check_->stop = true;
    check_->worker->wait();
}

bool TBDquon::startCheck(bool repair) {
    // The check reads and rebuilds the table files; a server's tables are none of them.
    if (check_ || !options_.tableFiles) return false;
    const int lang = options_.language;
    check_ = std::make_unique<CheckRun>();
    CheckRun* run = check_.get();
    run->number = ++checksStarted_;
    run->repair = repair;
    run->selected = model_.selected() ? model_.selected()->identifier : QString();
    if (repair) {
        // A table being rebuilt must not be held open by a grid.
        model_.selectRow(-1);
        model_.registryGrid().release();
        model_.gasGrid().release();
    }
    // The progress window holds the user off this window while the check runs; it is shown, not run
    // modally, and its gauge moves without taking events (the report comes by signal).
    auto* progress = new QDialog(this);
    progress->setWindowTitle(uaRu(lang, "Перевірка БД", "Проверка БД"));
    progress->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(progress);
    layout->addWidget(
        new QLabel(uaRu(lang, "Перевірка таблиць бази даних", "Проверка таблиц базы данных"), progress));
    auto* gauge = new QProgressBar(progress);
    gauge->setRange(0, 1);
    gauge->setValue(0);
    layout->addWidget(gauge);
    auto* stop = new QPushButton(uaRu(lang, "Стоп", "Стоп"), progress);
    layout->addWidget(stop, 0, Qt::AlignRight);
    run->progress = progress;
    run->gauge = gauge;
    connect(stop, &QPushButton::clicked, this, [run] { run->stop = true; });
    // Escape or the window's close button stop the check as the button does.
    connect(progress, &QDialog::rejected, this, [run] { run->stop = true; });
    progress->show();
    run->options.repair = repair && !options_.syncOn;
    run->options.today = QDate::currentDate();
    run->options.now = QDateTime::currentDateTime();
    // Called on the worker: the gauge moves on this thread, through its event queue.
    run->options.progress = [run, shown = run->gauge](int done, int total) {
        QMetaObject::invokeMethod(
            shown.data(),
            [shown, done, total] {
                if (!shown) return;
                shown->setMaximum(total);
                shown->setValue(done);
            },
            Qt::QueuedConnection);
        return !run->stop.load();
    };
    // The check opens its own connections on its own thread: the window keeps painting on a big
    // installation, and the stop button is heard.
    const DataRoot root = root_;
    const Schemas& schemas = schemas_;
    run->worker.reset(
        QThread::create([run, root, &schemas] { run->report = checkDatabase(root, schemas, run->options); }));
    connect(run->worker.get(), &QThread::finished, this, [this, number = run->number] {
        // A check already finished by runCheck has gone with its worker; only this run's end counts.
        if (!check_ || check_->number != number) return;
        const bool reportToUser = check_->reportToUser;
        const bool repaired = check_->repair;
        const CheckReport report = finishCheck();
        if (reportToUser) showCheckReport(report, repaired);
    });
    run->worker->start();
    return true;
}

CheckReport TBDquon::finishCheck() {
    std::unique_ptr<CheckRun> run = std::move(check_);
    run->worker->wait();
    if (run->progress) {
        run->progress->hide();
        run->progress->deleteLater();
    }
    if (run->repair) {
        model_.refresh();
        model_.selectPoint(run->selected);
        refresh();
    }
    emit checkFinished(run->report, run->repair);
    return run->report;
}

CheckReport TBDquon::runCheck(bool repair) {
    if (!startCheck(repair)) return {};
    return finishCheck();
}

void TBDquon::checkFromMenu() {
    if (startCheck(false)) check_->reportToUser = true;
}

void TBDquon::showCheckReport(const CheckReport& report, bool repaired) {
    const int lang = options_.language;
    if (!report.error.isEmpty()) {
        notifier_.message(MessageKind::Error, report.error);
        return;
    }
    QDialog dialog(this);
    dialog.setWindowTitle(uaRu(lang, "Перевірка БД", "Проверка БД"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QPlainTextEdit(&dialog);
    text->setReadOnly(true);
    QStringList lines;
    for (const Finding& f : report.findings)
        lines.append(findingLine(f, lang));
    lines.append(checkSummaryText(report, lang));
    text->setPlainText(lines.join(QLatin1Char('\n')));
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QPushButton* mend = nullptr;
    if (!repaired && report.left() > 0 && !options_.syncOn)
        mend = buttons->addButton(uaRu(lang, "Виправити", "Исправить"), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(720, 360);
    if (dialog.exec() != QDialog::Accepted || !mend) return;
    // The repair is the same check once more, its findings shown in their turn.
    if (startCheck(true)) check_->reportToUser = true;
}

bool TBDquon::deleteRecord(TableKind kind, int row) {
    const QString question = model_.deleteRecordQuestion(kind, row);
    if (question.isEmpty() || !notifier_.confirm(question)) return false;
    return model_.deleteRecord(kind, row);
}

bool TBDquon::openGraph(TableKind kind) {
    if (!options_.openGraph || !model_.selected()) return false;
    if (kind != TableKind::Hourly && kind != TableKind::Daily && kind != TableKind::Monthly &&
        kind != TableKind::Operative)
        return false;
    options_.openGraph(*model_.selected(), kind);
    return true;
}

bool TBDquon::eraseSelectedPoint() {
    if (!model_.selected()) {
        notifier_.message(MessageKind::Error,
                          QStringLiteral("Ошибка!!!\n") +
                              uaRu(options_.language, "НЕ ВИЗНАЧЕНИЙ КОРЕКТОР", "НЕ ОПРЕДЕЛЕН КОРРЕКТОР"));
        return false;
    }
    if (!notifier_.confirm(model_.eraseQuestion())) return false;
    const QString identifier = model_.prepareErase();
    EraseWait wait(model_.eraseHeading(), this);
    const DatabaseWindowModel& model = model_;
    const QString error = wait.runModal([&model, identifier](const BackgroundRun::Progress& progress) {
        return model.erasePoint(identifier, [&progress](int step, int steps) { progress(step, steps); });
    });
    model_.finishErase(error);
    if (!error.isEmpty()) notifier_.message(MessageKind::Error, error);
    refresh();
    return error.isEmpty();
}

} // namespace tarn::database
