#include "corrector/windows/TfZib.h"

#include "common/Language.h"
#include "corrector/windows/CheckColour.h"
#include "corrector/windows/TParolCr.h"

#include <QAction>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::corrector {

namespace {
const char* const kZibFilter = "Файл в формате (*.zib)";

// The graph's colours, one per curve in turn.
const QList<QColor>& curveColours() {
    static const QList<QColor> colours = {Qt::red,      Qt::blue,       Qt::darkGreen, Qt::magenta,
                                          Qt::darkCyan, Qt::darkYellow, Qt::black,     Qt::darkRed};
    return colours;
}

CalibColumn columnOf(int tableColumn) {
    return tableColumn == 1 ? CalibColumn::Qw : tableColumn == 2 ? CalibColumn::Kq : CalibColumn::Percent;
}
} // namespace

TfEditZib::TfEditZib(const QString& text, const QString& rangeHint, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfEditZib"));
    auto* layout = new QVBoxLayout(this);
    edit_ = new QLineEdit(text, this);
    hint_ = new QLabel(rangeHint, this);
    hint_->setVisible(!rangeHint.isEmpty());
    layout->addWidget(edit_);
    layout->addWidget(hint_);
    connect(edit_, &QLineEdit::textChanged, this, &TfEditZib::showCheck);
    showCheck();
}

QString TfEditZib::text() const {
    return edit_->text();
}

bool TfEditZib::textIsNumber() const {
    return coefficientCellValue(edit_->text()).has_value();
}

void TfEditZib::showCheck() {
    QPalette palette = edit_->palette();
    palette.setColor(QPalette::Text,
                     checkColour(textIsNumber() ? CheckResult::valueOk : CheckResult::valueSyntax));
    edit_->setPalette(palette);
}

void TfEditZib::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (textIsNumber()) accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

CalibCurveView::CalibCurveView(const CalibWindowModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    setMinimumHeight(180);
}

void CalibCurveView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const QRectF area = QRectF(rect()).adjusted(40, 10, -10, -25);
    const double yMin = model_.yMin();
    const double yMax = model_.yMax() > yMin ? model_.yMax() : yMin + 1.0;
    auto at = [&](int point, double value) {
        const double x = area.left() + (point - 1) * area.width() / (kCoefPoints - 1);
        const double y = area.bottom() - (value - yMin) * area.height() / (yMax - yMin);
        return QPointF(x, y);
    };
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(area);
    for (int p = 1; p <= kCoefPoints; ++p)
        painter.drawText(QPointF(at(p, yMin).x() - 4, area.bottom() + 16), QString::number(p));
    painter.drawText(QPointF(2, area.top() + 10), QString::number(yMax, 'f', 2));
    painter.drawText(QPointF(2, area.bottom()), QString::number(yMin, 'f', 2));
    const auto& curves = model_.curves();
    for (qsizetype c = 0; c < curves.size(); ++c) {
        QPainterPath path;
        for (int p = 1; p <= curves[c].size(); ++p) {
            const double v = std::clamp(curves[c][p - 1], yMin, yMax);
            if (p == 1)
                path.moveTo(at(p, v));
            else
                path.lineTo(at(p, v));
        }
        painter.setPen(QPen(curveColours().at(c % curveColours().size()), 2));
        painter.drawPath(path);
    }
}

TfZib::TfZib(CalibWindowModel& model, Options options, QWidget* parent)
    : QDialog(parent), model_(model), options_(std::move(options)) {
    setObjectName(QStringLiteral("TfZib"));
    const int lang = model.languageIndex();
    setWindowTitle(uaRu(lang, "Коефіцієнти калібрування", "Коэффициенты калибровки"));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    parameters_ = bar->addAction(uaRu(lang, "ПАРАМЕТРИ", "ПАРАМЕТРЫ"));
    write_ = bar->addAction(uaRu(lang, "ЗАПИС", "ЗАПИСЬ"));
    read_ = bar->addAction(uaRu(lang, "ЧИТАННЯ", "ЧТЕНИЕ"));
    password_ = bar->addAction(QStringLiteral("ПАРОЛЬ"));
    fileMenu_ = bar->addMenu(QStringLiteral("ФАЙЛ"));
    open_ = fileMenu_->addAction(uaRu(lang, "ВІДКРИТИ ФАЙЛ *.zib", "ОТКРЫТЬ ФАЙЛ  *.zib"));
    save_ = fileMenu_->addAction(uaRu(lang, "ЗБЕРІГТИ ЯК *.zib", "СОХРАНИТЬ КАК   *.zib"));
    QAction* exit = bar->addAction(uaRu(lang, "ВИХІД", "ВЫХОД"));
    guarded_ = {parameters_, write_, read_, password_, fileMenu_->menuAction()};

    // The notice exists in Russian only and is shown so in both languages.
    notice_ = new QLabel(QStringLiteral("Контроль разрешения калибровки"), this);
    notice_->setAlignment(Qt::AlignCenter);
    layout->addWidget(notice_);
    panel_ = new QWidget(this);
    auto* panelLayout = new QVBoxLayout(panel_);
    panelLayout->addWidget(new QLabel(
        uaRu(lang, "Поправочні коефіцієнти комплексу ЗИБ", "Поправочные коэффициенты комплекса ЗИБ"),
        panel_));
    auto* row = new QHBoxLayout;
    for (int half = 0; half < 2; ++half) {
        points_[half] = new QTableWidget(kPointsPerColumn, 4, panel_);
        points_[half]->setHorizontalHeaderLabels(
            {QStringLiteral("№"), QStringLiteral("Qw"), QStringLiteral("Kq"), QStringLiteral("%")});
        points_[half]->verticalHeader()->setVisible(false);
        points_[half]->setEditTriggers(QAbstractItemView::NoEditTriggers);
        points_[half]->installEventFilter(this);
        connect(points_[half], &QTableWidget::cellClicked, this,
                [this, half](int r, int c) { editCell(half, r, c); });
        row->addWidget(points_[half]);
    }
    panelLayout->addLayout(row);
    panelLayout->addWidget(new QLabel(
        uaRu(lang, "Графік корекції роботи лічильника", "График коррекции работы счетчика"), panel_));
    curve_ = new CalibCurveView(model_, panel_);
    panelLayout->addWidget(curve_, 1);
    first_ = new QLabel(panel_);
    second_ = new QLabel(panel_);
    panelLayout->addWidget(first_);
    panelLayout->addWidget(second_);
    wait_ = new QLabel(uaRu(lang, "ЧЕКАЙТЕ", "ОЖИДАЙТЕ"), panel_);
    wait_->setAlignment(Qt::AlignCenter);
    wait_->setStyleSheet(QStringLiteral("font-weight: bold; font-size: 16pt;"));
    panelLayout->addWidget(wait_);
    layout->addWidget(panel_, 1);

    connect(parameters_, &QAction::triggered, &model_, [this] { model_.readParameters(); });
    connect(write_, &QAction::triggered, &model_, [this] { model_.write(); });
    connect(read_, &QAction::triggered, &model_, [this] { model_.read(); });
    connect(password_, &QAction::triggered, this, &TfZib::openPasswordWindow);
    connect(open_, &QAction::triggered, this, &TfZib::openFile);
    connect(save_, &QAction::triggered, this, &TfZib::saveFileAs);
    connect(exit, &QAction::triggered, this, &QDialog::accept);
    connect(&model_, &CoefficientWindowModel::changed, this, &TfZib::refresh);
    connect(&model_, &CalibWindowModel::closeWanted, this, [this] { QDialog::reject(); });
    // The password window opens from the permission check's own step, after this window is up.
    connect(&model_.permission(), &CalibPermissionCheck::passwordWanted, this,
            [this] { QTimer::singleShot(0, this, &TfZib::openPasswordWindow); });

    resize(820, 680);
    refresh();
    model_.open();
}

TfZib::~TfZib() {
    model_.close();
}

void TfZib::done(int result) {
    // Closing leaves the raw capture and sends nothing more.
    model_.close();
    QDialog::done(result);
}

void TfZib::refresh() {
    const bool permitted = model_.permitted();
    notice_->setVisible(!permitted);
    panel_->setVisible(permitted);
    for (QAction* a : guarded_)
        a->setVisible(permitted);
    password_->setVisible(permitted && !options_.serialOff);
    const CalibCells& cells = model_.cells();
    for (int half = 0; half < 2; ++half)
        for (int r = 0; r < kPointsPerColumn; ++r) {
            const int p = half * kPointsPerColumn + r;
            const QString texts[4] = {QString::number(p + 1), cells.qw[p], cells.kq[p], cells.percent[p]};
            for (int c = 0; c < 4; ++c) {
                auto* item = points_[half]->item(r, c);
                if (!item) {
                    item = new QTableWidgetItem;
                    points_[half]->setItem(r, c, item);
                }
                item->setText(texts[c]);
            }
        }
    first_->setText(model_.firstLabel());
    second_->setText(model_.secondLabel());
    wait_->setVisible(model_.waitShown());
    curve_->update();
}

void TfZib::editCell(int half, int row, int column) {
    if (column < 1 || column > 3 || !model_.permitted()) return;
    const int point = half * kPointsPerColumn + row + 1;
    const CalibColumn col = columnOf(column);
    const QString hint = calibRangeHint(col);
    const QString current =
        points_[half]->item(row, column) ? points_[half]->item(row, column)->text() : QString();
    std::optional<QString> accepted;
    if (options_.editCell) {
        accepted = options_.editCell(current, hint);
    } else {
        TfEditZib editor(current, hint, this);
        if (editor.exec() == QDialog::Accepted) accepted = editor.text();
    }
    if (accepted) model_.editCell(point, col, *accepted);
}

bool TfZib::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool moves = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left ||
                           key == Qt::Key_Right || key == Qt::Key_Tab || key == Qt::Key_Escape;
        for (int half = 0; half < 2; ++half)
            if (watched == points_[half] && !moves) {
                editCell(half, points_[half]->currentRow(), points_[half]->currentColumn());
                return true;
            }
    }
    return QDialog::eventFilter(watched, event);
}

QString TfZib::chooseFile(bool save, const QString& name) {
    const QString filter = QString::fromUtf8(kZibFilter);
    if (options_.chooseFile) return options_.chooseFile(save, options_.reportFolder, filter, name);
    return save ? QFileDialog::getSaveFileName(this, {}, options_.reportFolder + QLatin1Char('/') + name,
                                               filter)
                : QFileDialog::getOpenFileName(this, {}, options_.reportFolder, filter);
}

void TfZib::openFile() {
    const QString path = chooseFile(false, {});
    if (!path.isEmpty()) model_.loadFile(path);
}

void TfZib::saveFileAs() {
    const QString chosen = chooseFile(true, model_.proposedFileName());
    if (!chosen.isEmpty()) model_.saveFileAs(chosen);
}

void TfZib::openPasswordWindow() {
    CorrectorSession& session = model_.session();
    TParolCr window(
        session.model(), [&session] { session.startOperation(operation::Parameters); }, this);
    window.exec();
}

} // namespace tarn::corrector
