#include "portscan/windows/pPortScan.h"

#include "common/BgrColour.h"
#include "portscan/ScanSettings.h"
#include "portscan/windows/About.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTextEdit>
#include <QVBoxLayout>

namespace tarn::portscan {

TfPortScan::TfPortScan(PortScanner& scanner, ScanLog& log, DataRoot root, QWidget* parent)
    : QMainWindow(parent), scanner_(scanner), log_(log), root_(std::move(root)) {
    menuAbout = menuBar()->addAction(QString());
    menuExit = menuBar()->addAction(QString());

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* modes = new QHBoxLayout;
    rModem = new QRadioButton(central);
    rCorr = new QRadioButton(central);
    rUSB_DTU = new QRadioButton(central);
    rbDTU_2MB = new QRadioButton(central);
    rModem->setChecked(true);
    for (QRadioButton* r : {rModem, rCorr, rUSB_DTU, rbDTU_2MB})
        modes->addWidget(r);
    cbFixedlSp = new QComboBox(central);
    cbFixedlSp->setEditable(true);
    cbFixedlSp->addItems(fixedSpeedTexts());
    cbFixedlSp->setCurrentText(QString::fromLatin1(kDefaultSpeedText));
    modes->addWidget(cbFixedlSp);
    layout->addLayout(modes);

    auto* buttons = new QHBoxLayout;
    kStart = new QPushButton(central);
    kStop = new QPushButton(central);
    sb_Clear = new QPushButton(central);
    for (QPushButton* b : {kStart, kStop, sb_Clear})
        buttons->addWidget(b);
    layout->addLayout(buttons);

    pBar_COM = new QProgressBar(central);
    pBar_COM->setRange(0, kProgressMax);
    pBar_COM->setTextVisible(false);
    pBar_COM->hide();
    layout->addWidget(pBar_COM);

    winContr = new QTextEdit(central);
    winContr->setReadOnly(true);
    winContr->setMinimumSize(420, 300);
    layout->addWidget(winContr);
    setCentralWidget(central);

    connect(kStart, &QPushButton::clicked, &scanner_, &PortScanner::start);
    connect(kStop, &QPushButton::clicked, &scanner_, &PortScanner::stop);
    connect(sb_Clear, &QPushButton::clicked, &log_, &ScanLog::clear);
    for (QRadioButton* r : {rModem, rCorr, rUSB_DTU, rbDTU_2MB})
        connect(r, &QRadioButton::toggled, this, &TfPortScan::modeClicked);
    connect(cbFixedlSp, &QComboBox::currentTextChanged, &scanner_, &PortScanner::setSpeedText);
    connect(menuAbout, &QAction::triggered, this, [this] {
        TAboutForm about(scanner_.language(), this);
        about.exec();
    });
    connect(menuExit, &QAction::triggered, this, &QWidget::close);
    connect(&scanner_, &PortScanner::progressChanged, pBar_COM, &QProgressBar::setValue);
    connect(&scanner_, &PortScanner::progressShown, pBar_COM, &QWidget::setVisible);
    connect(&log_, &ScanLog::lineAdded, this, &TfPortScan::appendLine);
    connect(&log_, &ScanLog::cleared, winContr, &QTextEdit::clear);
    modeClicked();
}

void TfPortScan::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    scanner_.setPortLimit(readPortLimit(root_));
    scanner_.setLanguage(readScanLanguage(root_));
    setCaptions();
    // At the top edge of the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - frameGeometry().width()) / 2, area.y());
    }
}

void TfPortScan::closeEvent(QCloseEvent* event) {
    scanner_.halt();
    QMainWindow::closeEvent(event);
}

void TfPortScan::setCaptions() {
    const int lang = scanner_.language();
    setWindowTitle(scanText(ScanText::Caption, lang));
    menuAbout->setText(scanText(ScanText::MenuAbout, lang));
    menuExit->setText(scanText(ScanText::MenuExit, lang));
    kStart->setText(scanText(ScanText::Start, lang));
    kStop->setText(scanText(ScanText::Stop, lang));
    sb_Clear->setText(scanText(ScanText::Clear, lang));
    rModem->setText(scanText(ScanText::ModeModem, lang));
    rCorr->setText(scanText(ScanText::ModeCorrector, lang));
    rUSB_DTU->setText(scanText(ScanText::ModeAdapter, lang));
    rbDTU_2MB->setText(scanText(ScanText::ModeUnit2mb, lang));
}

void TfPortScan::modeClicked() {
    const ScanMode mode = rCorr->isChecked()       ? ScanMode::Corrector
                          : rUSB_DTU->isChecked()  ? ScanMode::UsbAdapter
                          : rbDTU_2MB->isChecked() ? ScanMode::Unit2mb
                                                   : ScanMode::Modem;
    scanner_.setMode(mode);
    // The speed matters for the modem and the corrector only.
    cbFixedlSp->setVisible(mode == ScanMode::Modem || mode == ScanMode::Corrector);
}

void TfPortScan::appendLine(const LogEntry& entry) {
    QTextCharFormat format;
    format.setFont(QFont(QStringLiteral("Courier New"), 8));
    format.setForeground(colourOfBgr(logColourValue(entry.colour)));
    QTextCursor cursor(winContr->document());
    cursor.movePosition(QTextCursor::End);
    if (!winContr->document()->isEmpty()) cursor.insertBlock();
    cursor.insertText(entry.text, format);
    winContr->setTextCursor(cursor);
    winContr->ensureCursorVisible();
}

} // namespace tarn::portscan
