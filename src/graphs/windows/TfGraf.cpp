#include "graphs/windows/TfGraf.h"

#include "graphs/GraphSources.h"
#include "graphs/windows/GraphPanel.h"
#include "graphs/windows/TfSaveG.h"
#include "reports/PageSettings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::graphs {

namespace {

QScrollBar* angleBar(QWidget* parent) {
    auto* bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setRange(0, 360);
    bar->setValue(GraphPanel::kDefaultAngle);
    bar->setVisible(false);
    return bar;
}

} // namespace

TfGraf::TfGraf(Input input, Notifier& notifier, QWidget* parent)
    : QDialog(parent), in_(std::move(input)), notifier_(notifier) {
    setObjectName(QStringLiteral("TfGraf"));
    setWindowTitle(QStringLiteral("ГРАФИК"));
    setWindowState(Qt::WindowMaximized);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    connect(bar->addAction(QStringLiteral("ПЕЧАТЬ")), &QAction::triggered, this, &TfGraf::printGraph);
    connect(bar->addAction(QStringLiteral("ФАЙЛ")), &QAction::triggered, this, &TfGraf::savePicture);
    scale_ = bar->addAction(QStringLiteral("МАСШТАБ"));
    connect(scale_, &QAction::triggered, this, &TfGraf::scaleToPercent);
    connect(bar->addAction(QStringLiteral("ВЫХОД")), &QAction::triggered, this,
            [this] { QTimer::singleShot(closeDelayMs, this, &QWidget::close); });

    marksPanel_ = new QWidget(this);
    auto* marks = new QHBoxLayout(marksPanel_);
    marks->setContentsMargins(0, 0, 0, 0);
    marks_ = new QCheckBox(QStringLiteral("Маркер"), marksPanel_);
    transparent_ = new QCheckBox(QStringLiteral("Прозр."), marksPanel_);
    view3d_ = new QCheckBox(QStringLiteral("3D"), marksPanel_);
    rotate_ = new QCheckBox(QStringLiteral("Повор."), marksPanel_);
    rotation_ = angleBar(marksPanel_);
    elevation_ = angleBar(marksPanel_);
    for (QWidget* w : {static_cast<QWidget*>(marks_), static_cast<QWidget*>(transparent_),
                       static_cast<QWidget*>(view3d_), static_cast<QWidget*>(rotate_),
                       static_cast<QWidget*>(rotation_), static_cast<QWidget*>(elevation_)})
        marks->addWidget(w);
    marks->addStretch(1);
    layout->addWidget(marksPanel_);
    panel_ = new GraphPanel(this);
    layout->addWidget(panel_, 1);

    connect(marks_, &QCheckBox::toggled, this, [this](bool on) {
        transparent_->setVisible(on);
        panel_->setMarks(on, transparent_->isChecked());
    });
    connect(transparent_, &QCheckBox::toggled, this,
            [this](bool on) { panel_->setMarks(marks_->isChecked(), on); });
    connect(view3d_, &QCheckBox::toggled, this, [this](bool on) {
        rotate_->setVisible(on);
        if (!on) rotate_->setChecked(false);
        apply3d();
    });
    connect(rotate_, &QCheckBox::toggled, this, [this](bool on) {
        rotation_->setVisible(on);
        elevation_->setVisible(on);
        apply3d();
    });
    connect(rotation_, &QScrollBar::valueChanged, this, &TfGraf::apply3d);
    connect(elevation_, &QScrollBar::valueChanged, this, &TfGraf::apply3d);
    connect(&run_, &BackgroundRun::finished, this, &TfGraf::buildEnded);
    resetMarks();
    resize(1000, 700);
}

const GraphPicture& TfGraf::picture() const {
    return panel_->picture();
}

void TfGraf::resetMarks() {
    for (QCheckBox* b : {marks_, transparent_, view3d_, rotate_}) {
        const QSignalBlocker block(b);
        b->setChecked(false);
    }
    transparent_->setVisible(false);
    rotate_->setVisible(false);
    rotation_->setVisible(false);
    elevation_->setVisible(false);
    panel_->setMarks(false, false);
    panel_->setView3d(false);
}

void TfGraf::apply3d() {
    const bool free = rotate_->isChecked();
    panel_->setView3d(view3d_->isChecked(), free ? rotation_->value() : GraphPanel::kDefaultAngle,
                      free ? elevation_->value() : GraphPanel::kDefaultAngle);
}

void TfGraf::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!built_) QTimer::singleShot(0, this, &TfGraf::buildGraph);
}

void TfGraf::closeEvent(QCloseEvent* event) {
    closing_ = true;
    run_.requestStop();
    QDialog::closeEvent(event);
}

void TfGraf::startBuild(const GraphPicture* absolute) {
    run_.start([this, build = in_.build, style = style_, absolute](const BackgroundRun::Progress& progress) {
        result_ = build(style, absolute, [&progress] { return progress(0, 0); });
    });
}

void TfGraf::buildEnded() {
    if (closing_) return;
    if (buildingPercent_) {
        panel_->setPicture(result_);
    } else {
        absolute_ = result_;
        scale_->setVisible(absolute_.scaleOffered);
        marksPanel_->setVisible(absolute_.marksOffered);
        panel_->setPicture(absolute_);
    }
    emit built();
}

void TfGraf::buildGraph() {
    if (built_ || !in_.build) return;
    built_ = true;
    style_ = loadGraphStyle(in_.root);
    quality_ = loadJpegQuality(in_.root);
    resetMarks();
    buildingPercent_ = false;
    startBuild(nullptr);
}

bool TfGraf::scaleToPercent() {
    if (!built_ || run_.running() || !absolute_.scaleOffered || !scale_->isVisible()) return false;
    scale_->setVisible(false);
    resetMarks();
    buildingPercent_ = true;
    // The absolute curves stay as they are until the build has ended: the worker reads them.
    startBuild(&absolute_);
    return true;
}

bool TfGraf::savePicture() {
    int quality = quality_;
    if (in_.askQuality) {
        if (!in_.askQuality(quality)) return false;
    } else {
        TfSaveG dialog(quality_, this);
        if (dialog.exec() != QDialog::Accepted) return false;
        quality = dialog.quality();
    }
    const QString folder = in_.root.dir(folder::Graph);
    const QString filter = QStringLiteral("Файл в формате (*.jpg)");
    const QString chosen = in_.askSavePath ? in_.askSavePath(folder, filter)
                                           : QFileDialog::getSaveFileName(this, QString(), folder, filter);
    if (chosen.isEmpty()) return false;
    return savePictureAs(chosen, quality);
}

bool TfGraf::savePictureAs(const QString& chosen, int quality) {
    const QString path = jpegFileName(chosen);
    if (QFileInfo::exists(path) && !notifier_.confirm(overwriteQuestion(path))) return false;
    const bool marksShown = marksPanel_->isVisible();
    marksPanel_->setVisible(false);
    saveJpegQuality(in_.root, quality);
    quality_ = loadJpegQuality(in_.root);
    const bool written = !writeJpegAs(panel_->image(), chosen, quality_).isEmpty();
    marksPanel_->setVisible(marksShown);
    if (!written) notifier_.message(MessageKind::Error, QStringLiteral("Ошибка записи файла ") + path);
    return written;
}

bool TfGraf::printGraph() {
    QPrinter printer(QPrinter::HighResolution);
    const reports::PageSettings page = reports::loadPageSettings(in_.root, in_.language);
    if (page.printer != QLatin1String(reports::kNoPrinter)) printer.setPrinterName(page.printer);
    if (in_.choosePrinter) {
        if (!in_.choosePrinter(printer)) return false;
    } else {
        if (QPrinterInfo::availablePrinterNames().isEmpty()) {
            notifier_.message(MessageKind::Warning, QStringLiteral("Нет установленных принтеров !!!"));
            return false;
        }
        QPrintDialog dialog(&printer, this);
        if (dialog.exec() != QDialog::Accepted) return false;
    }
    if (printer.outputFormat() == QPrinter::NativeFormat && printer.printerName() != page.printer) {
        reports::PageSettings remembered = page;
        remembered.printer = printer.printerName();
        reports::savePageSettings(in_.root, remembered);
    }
    return printOn(printer);
}

bool TfGraf::printOn(QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer)) {
        notifier_.message(MessageKind::Error, QStringLiteral("Ошибка печати"));
        return false;
    }
    const QSize pageSize = printer.pageLayout().paintRectPixels(printer.resolution()).size();
    const GraphPicture& g = panel_->picture();
    const reports::PageSettings page = reports::loadPageSettings(in_.root, in_.language);
    QFont font(page.fontName);
    font.setPointSize(page.fontSize);
    painter.setFont(font);
    const int pitch = printedLegendPitch(pageSize);
    for (qsizetype i = 0; i < g.legend.size(); ++i) {
        painter.setPen(g.legend.at(i).colour);
        painter.drawText(QPoint(3 * pitch, 3 * pitch + static_cast<int>(i) * pitch), g.legend.at(i).text);
    }
    panel_->renderChart(painter, printedChartRect(pageSize, g.printedParameters));
    if (!painter.end()) {
        printer.abort();
        notifier_.message(MessageKind::Error, QStringLiteral("Ошибка печати"));
        return false;
    }
    return true;
}

} // namespace tarn::graphs
