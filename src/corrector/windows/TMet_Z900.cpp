#include "corrector/windows/TMet_Z900.h"

#include "common/Language.h"
#include "corrector/windows/TParolCr.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::corrector {

namespace {
const char* const kWhiFilter = "Файл в формате (*.whi)";

QTableWidget* makeTable(QWidget* parent, int rows, const QStringList& columns) {
    auto* table = new QTableWidget(rows, static_cast<int>(columns.size()), parent);
    table->setHorizontalHeaderLabels(columns);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void setCell(QTableWidget* table, int row, int column, const QString& text, bool editable) {
    auto* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        table->setItem(row, column, item);
    }
    if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    if (item->text() != text) item->setText(text);
}
} // namespace

TMet_Z900::TMet_Z900(MeterCoefWindowModel& model, Options options, QWidget* parent)
    : QDialog(parent), model_(model), options_(std::move(options)) {
    setObjectName(QStringLiteral("TMet_Z900"));
    const int lang = model.languageIndex();
    setWindowTitle(uaRu(lang, "Коефіцієнти лічильника Z-900", "Коэффициенты  счетчика Z-900"));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    write_ = bar->addAction(uaRu(lang, "ЗАПИС", "ЗАПИСЬ"));
    read_ = bar->addAction(uaRu(lang, "ЧИТАННЯ", "ЧТЕНИЕ"));
    password_ = bar->addAction(QStringLiteral("ПАРОЛЬ"));
    fileMenu_ = bar->addMenu(QStringLiteral("ФАЙЛ"));
    open_ = fileMenu_->addAction(uaRu(lang, "ВІДКРИТИ ФАЙЛ *.whi", "ОТКРЫТЬ ФАЙЛ  *.whi"));
    save_ = fileMenu_->addAction(uaRu(lang, "ЗБЕРІГТИ ФАЙЛ ЯК *.whi", "СОХРАНИТЬ ФАЙЛ КАК  *.whi"));
    QAction* exit = bar->addAction(uaRu(lang, "ВИХІД", "ВЫХОД"));
    fileMenu_->menuAction()->setVisible(options_.serviceLevel == 5);
    password_->setVisible(!options_.serialOff);

    constants_ = makeTable(this, kMeterConstantCount, {QString(), QString()});
    constants_->horizontalHeader()->setVisible(false);
    layout->addWidget(constants_, 2);
    layout->addWidget(new QLabel(uaRu(lang, "Поправочні коефіцієнти, що враховують в’язкість газу",
                                      "Поправочные коэффициенты, учитывающие вязкость газа"),
                                 this));
    auto* row = new QHBoxLayout;
    for (int half = 0; half < 2; ++half) {
        points_[half] = makeTable(this, kPointsPerColumn,
                                  {QStringLiteral("№"), QStringLiteral("Ref"), QStringLiteral("Kq")});
        row->addWidget(points_[half]);
        connect(points_[half], &QTableWidget::cellChanged, this,
                [this, half](int r, int c) { cellEdited(points_[half], r, c); });
    }
    layout->addLayout(row, 2);
    status_ = new QLabel(this);
    layout->addWidget(status_);
    wait_ = new QLabel(uaRu(lang, "ЧЕКАЙТЕ", "ОЖИДАЙТЕ "), this);
    wait_->setAlignment(Qt::AlignCenter);
    wait_->setStyleSheet(QStringLiteral("font-weight: bold; font-size: 16pt;"));
    wait_->setVisible(false);
    layout->addWidget(wait_);
    connect(constants_, &QTableWidget::cellChanged, this,
            [this](int r, int c) { cellEdited(constants_, r, c); });

    connect(write_, &QAction::triggered, &model_, [this] { model_.write(); });
    connect(read_, &QAction::triggered, &model_, [this] { model_.read(); });
    connect(password_, &QAction::triggered, this, [this] {
        CorrectorSession& session = model_.session();
        TParolCr window(
            session.model(), [&session] { session.startOperation(operation::Parameters); }, this);
        window.exec();
    });
    connect(open_, &QAction::triggered, this, &TMet_Z900::openFile);
    connect(save_, &QAction::triggered, this, &TMet_Z900::saveFileAs);
    connect(exit, &QAction::triggered, this, &QDialog::accept);
    connect(&model_, &CoefficientWindowModel::changed, this, &TMet_Z900::refresh);

    resize(760, 640);
    move(0, 0); // the top left of the screen
    refresh();
    QTimer::singleShot(options_.fillDelayMs, &model_, [this] { model_.fill(); });
}

void TMet_Z900::refresh() {
    refreshing_ = true;
    const MeterCoefCells& cells = model_.cells();
    const int lang = model_.languageIndex();
    for (int i = 0; i < kMeterConstantCount; ++i) {
        setCell(constants_, i, 0, MeterCoefName(i + 1, lang), false);
        setCell(constants_, i, 1, cells.constants[i], true);
    }
    for (int half = 0; half < 2; ++half)
        for (int r = 0; r < kPointsPerColumn; ++r) {
            const int p = half * kPointsPerColumn + r;
            setCell(points_[half], r, 0, QString::number(p + 1), false);
            setCell(points_[half], r, 1, cells.ref[p], true);
            setCell(points_[half], r, 2, cells.kq[p], true);
        }
    status_->setText(model_.status());
    wait_->setVisible(model_.waitShown());
    refreshing_ = false;
}

void TMet_Z900::cellEdited(QTableWidget* table, int row, int column) {
    if (refreshing_) return;
    const QString text = table->item(row, column)->text();
    MeterCoefCells& cells = model_.cells();
    if (table == constants_) {
        if (column == 1) cells.constants[row] = text;
        return;
    }
    const int p = (table == points_[0] ? 0 : kPointsPerColumn) + row;
    if (column == 1) cells.ref[p] = text;
    if (column == 2) cells.kq[p] = text;
}

QString TMet_Z900::chooseFile(bool save, const QString& name) {
    const QString filter = QString::fromUtf8(kWhiFilter);
    if (options_.chooseFile) return options_.chooseFile(save, options_.reportFolder, filter, name);
    return save ? QFileDialog::getSaveFileName(this, {}, options_.reportFolder + QLatin1Char('/') + name,
                                               filter)
                : QFileDialog::getOpenFileName(this, {}, options_.reportFolder, filter);
}

void TMet_Z900::openFile() {
    const QString path = chooseFile(false, {});
    if (!path.isEmpty()) model_.loadFile(path);
}

void TMet_Z900::saveFileAs() {
    const QString chosen = chooseFile(true, model_.proposedFileName());
    if (!chosen.isEmpty()) model_.saveFileAs(chosen);
}

} // namespace tarn::corrector
