#include "link/windows/TInRS232.h"

#include "link/windows/SettingsTexts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileSystemModel>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeView>
#include <QVBoxLayout>

namespace tarn::link {

namespace {
QSpinBox* spin(QWidget* parent, int min, int max) {
    auto* s = new QSpinBox(parent);
    s->setRange(min, max);
    return s;
}
QComboBox* portCombo(QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->setEditable(true);
    for (int i = 1; i <= 35; ++i)
        c->addItem(QStringLiteral("COM%1").arg(i));
    return c;
}
} // namespace

TInRS232::TInRS232(SettingsController& controller, Hooks hooks, QWidget* parent)
    : QDialog(parent), controller_(controller), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("TInRS232"));
    auto* top = new QVBoxLayout(this);
    menu_ = new QMenuBar(this);
    saveAction_ = menu_->addAction(QString());
    portScanAction_ = menu_->addAction(QString());
    exitAction_ = menu_->addAction(QString());
    top->setMenuBar(menu_);

    // RS-232 channel.
    rsPanel_ = new QGroupBox(this);
    auto* rs = new QFormLayout(rsPanel_);
    corrPortLabel_ = new QLabel(rsPanel_);
    corrPort_ = portCombo(rsPanel_);
    corrListButton_ = new QPushButton(rsPanel_);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(corrPort_, 1);
    portRow->addWidget(corrListButton_);
    rs->addRow(corrPortLabel_, portRow);
    speedLabel_ = new QLabel(rsPanel_);
    speed_ = new QComboBox(rsPanel_);
    speed_->setEditable(true);
    speed_->addItems(standardSpeedTexts());
    speed_->addItems({QStringLiteral("230Kбод"), QStringLiteral("460Кбод"), QStringLiteral("921Кбод")});
    rs->addRow(speedLabel_, speed_);
    readTimeoutLabel_ = new QLabel(rsPanel_);
    readTimeout_ = spin(rsPanel_, 0, kReplyTimeoutMax);
    rs->addRow(readTimeoutLabel_, readTimeout_);
    writeTimeoutLabel_ = new QLabel(rsPanel_);
    writeTimeout_ = spin(rsPanel_, 0, kWriteDelayMax);
    rs->addRow(writeTimeoutLabel_, writeTimeout_);
    retriesLabel_ = new QLabel(rsPanel_);
    retries_ = spin(rsPanel_, kRetryMin, kRetryMax);
    retries_->installEventFilter(this);
    rs->addRow(retriesLabel_, retries_);
    secondDriver_ = new QCheckBox(rsPanel_);
    resetOnFailure_ = new QCheckBox(rsPanel_);
    modem_ = new QCheckBox(rsPanel_);
    auto* boxes = new QHBoxLayout;
    boxes->addWidget(secondDriver_);
    boxes->addWidget(resetOnFailure_);
    boxes->addWidget(modem_);
    rs->addRow(boxes);
    modemGroup_ = new QGroupBox(rsPanel_);
    auto* mg = new QFormLayout(modemGroup_);
    modemInitLabel_ = new QLabel(modemGroup_);
    modemInit_ = new QLineEdit(modemGroup_);
    mg->addRow(modemInitLabel_, modemInit_);
    modemHoldLabel_ = new QLabel(modemGroup_);
    modemHold_ = new QLineEdit(modemGroup_);
    mg->addRow(modemHoldLabel_, modemHold_);
    rs->addRow(modemGroup_);
    top->addWidget(rsPanel_);

    // Transfer-unit adapter.
    usbPanel_ = new QGroupBox(this);
    auto* usb = new QFormLayout(usbPanel_);
    transferPortLabel_ = new QLabel(usbPanel_);
    transferPort_ = portCombo(usbPanel_);
    transferListButton_ = new QPushButton(usbPanel_);
    auto* tRow = new QHBoxLayout;
    tRow->addWidget(transferPort_, 1);
    tRow->addWidget(transferListButton_);
    usb->addRow(transferPortLabel_, tRow);
    top->addWidget(usbPanel_);

    // LPT channel.
    lptPanel_ = new QGroupBox(this);
    auto* lpt = new QFormLayout(lptPanel_);
    lpt1_ = new QRadioButton(QStringLiteral("LPT1  (0378)"), lptPanel_);
    lpt2_ = new QRadioButton(QStringLiteral("LPT2  (0278)"), lptPanel_);
    lpt3_ = new QRadioButton(QStringLiteral("LPT3  (03BC)"), lptPanel_);
    lptCustom_ = new QRadioButton(QStringLiteral("LPT?"), lptPanel_);
    auto* radios = new QHBoxLayout;
    for (QRadioButton* r : {lpt1_, lpt2_, lpt3_, lptCustom_})
        radios->addWidget(r);
    lpt->addRow(radios);
    lptAddressLabel_ = new QLabel(lptPanel_);
    lptAddress_ = new QLineEdit(lptPanel_);
    lpt->addRow(lptAddressLabel_, lptAddress_);
    lptDelayLabel_ = new QLabel(lptPanel_);
    lptDelay_ = spin(lptPanel_, 0, kLptDelayMax);
    lpt->addRow(lptDelayLabel_, lptDelay_);
    top->addWidget(lptPanel_);

    // Channels switched off.
    channelsOff_ = new QGroupBox(this);
    auto* off = new QHBoxLayout(channelsOff_);
    rsOff_ = new QCheckBox(channelsOff_);
    usbOff_ = new QCheckBox(channelsOff_);
    lptOff_ = new QCheckBox(channelsOff_);
    for (QCheckBox* c : {rsOff_, usbOff_, lptOff_})
        off->addWidget(c);
    top->addWidget(channelsOff_);

    // Synchronisation.
    sync_ = new QCheckBox(this);
    top->addWidget(sync_);
    syncGroup_ = new QGroupBox(this);
    auto* sg = new QVBoxLayout(syncGroup_);
    syncPath_ = new QLineEdit(syncGroup_);
    syncPath_->setReadOnly(true);
    changePath_ = new QCheckBox(syncGroup_);
    syncTree_ = new QTreeView(syncGroup_);
    dirs_ = new QFileSystemModel(this);
    dirs_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    syncTree_->setModel(dirs_);
    for (int c = 1; c < dirs_->columnCount(); ++c)
        syncTree_->hideColumn(c);
    syncTree_->setMinimumHeight(160);
    sg->addWidget(syncPath_);
    sg->addWidget(changePath_);
    sg->addWidget(syncTree_);
    top->addWidget(syncGroup_);

    // Language and the service code.
    auto* bottom = new QFormLayout;
    languageLabel_ = new QLabel(this);
    language_ = new QComboBox(this);
    language_->setEditable(true);
    language_->addItems({QStringLiteral("UA"), QStringLiteral("RU")});
    bottom->addRow(languageLabel_, language_);
    serviceCodeLabel_ = new QLabel(this);
    serviceCode_ = new QLineEdit(this);
    serviceCode_->setEchoMode(QLineEdit::Password);
    bottom->addRow(serviceCodeLabel_, serviceCode_);
    debugger_ = new QCheckBox(QStringLiteral("отладчик"), this);
    bottom->addRow(debugger_);
    connect(debugger_, &QCheckBox::toggled, this, [this](bool on) {
        if (hooks_.setDebuggerOn) hooks_.setDebuggerOn(on);
    });
    top->addLayout(bottom);
    top->addStretch();

    connect(saveAction_, &QAction::triggered, this, &TInRS232::BitBtn_SaveClick);
    connect(portScanAction_, &QAction::triggered, this, [this] {
        if (hooks_.startPortScan) hooks_.startPortScan();
    });
    connect(exitAction_, &QAction::triggered, this, &QDialog::close);
    connect(corrListButton_, &QPushButton::clicked, this, [this] { fillPorts(corrPort_); });
    connect(transferListButton_, &QPushButton::clicked, this, [this] { fillPorts(transferPort_); });
    connect(rsOff_, &QCheckBox::toggled, this, [this](bool on) {
        controller_.setRsOff(on);
        modem_->setChecked(controller_.edit().modemUsed);
        applyVisibility();
    });
    connect(usbOff_, &QCheckBox::toggled, this, [this](bool on) {
        controller_.setUsbOff(on);
        applyVisibility();
    });
    connect(lptOff_, &QCheckBox::toggled, this, [this](bool on) {
        controller_.setLptOff(on);
        applyVisibility();
    });
    connect(modem_, &QCheckBox::toggled, this, [this](bool on) {
        controller_.setModemUsed(on);
        applyVisibility();
    });
    connect(sync_, &QCheckBox::toggled, this, [this](bool on) {
        controller_.setSyncOn(on);
        applyVisibility();
    });
    connect(changePath_, &QCheckBox::toggled, this, [this](bool on) {
        controller_.setChangePath(on);
        if (on) {
            dirs_->setRootPath(QStringLiteral("/"));
            syncTree_->setCurrentIndex(dirs_->index(syncPath_->text()));
        }
        applyVisibility();
    });
    connect(syncTree_, &QTreeView::clicked, this,
            [this](const QModelIndex& i) { syncPath_->setText(dirs_->filePath(i)); });
}

void TInRS232::setCaptions(int languageIndex) {
    languageIndex_ = languageIndex;
    auto t = [&](int pair) { return Text(kSettingsTexts, pair, languageIndex_); };
    setWindowTitle(t(kSetCaption));
    saveAction_->setText(t(kSetSave));
    portScanAction_->setText(t(kSetPortScan));
    exitAction_->setText(t(kSetExit));
    rsPanel_->setTitle(t(kSetRsGroup));
    corrPortLabel_->setText(t(kSetCorrPort));
    speedLabel_->setText(t(kSetSpeed));
    readTimeoutLabel_->setText(t(kSetReadTimeout));
    writeTimeoutLabel_->setText(t(kSetWriteTimeout));
    retriesLabel_->setText(t(kSetRetries));
    secondDriver_->setText(t(kSetSecondDriver));
    resetOnFailure_->setText(t(kSetResetOnFailure));
    modem_->setText(t(kSetModem));
    modemInitLabel_->setText(t(kSetModemInit));
    modemHoldLabel_->setText(t(kSetModemHold));
    usbPanel_->setTitle(t(kSetUsbGroup));
    transferPortLabel_->setText(t(kSetTransferPort));
    lptPanel_->setTitle(t(kSetLptGroup));
    lptAddressLabel_->setText(t(kSetLptAddress));
    lptDelayLabel_->setText(t(kSetLptDelay));
    channelsOff_->setTitle(t(kSetChannelsOff));
    rsOff_->setText(t(kSetRsOff));
    usbOff_->setText(t(kSetUsbOff));
    lptOff_->setText(t(kSetLptOff));
    sync_->setText(t(kSetSync));
    sync_->setToolTip(t(kSetSyncHint));
    syncGroup_->setTitle(t(kSetSyncFolder));
    changePath_->setText(t(kSetSyncChangePath));
    languageLabel_->setText(t(kSetLanguage));
    serviceCodeLabel_->setText(t(kSetServiceCode));
    corrListButton_->setText(t(kSetList));
    transferListButton_->setText(t(kSetList));
}

void TInRS232::loadFromController() {
    const LinkSettings& s = controller_.edit();
    const QSignalBlocker b1(rsOff_), b2(usbOff_), b3(lptOff_), b4(modem_), b5(sync_), b6(changePath_);
    corrPort_->setCurrentText(s.corrPort);
    transferPort_->setCurrentText(s.transferUnitPort);
    speed_->setCurrentText(s.speed);
    readTimeout_->setValue(s.replyTimeoutMs);
    writeTimeout_->setValue(s.writeDelayMs);
    retries_->setValue(s.retryCount);
    secondDriver_->setChecked(s.secondDriver);
    resetOnFailure_->setChecked(s.resetOnFailure);
    modem_->setChecked(s.modemUsed);
    modemInit_->setText(s.modemInit);
    modemHold_->setText(s.modemHoldSec);
    lpt1_->setChecked(s.lptChoice == LptChoice::Lpt1);
    lpt2_->setChecked(s.lptChoice == LptChoice::Lpt2);
    lpt3_->setChecked(s.lptChoice == LptChoice::Lpt3);
    lptCustom_->setChecked(s.lptChoice == LptChoice::Custom);
    lptAddress_->setText(s.lptAddress);
    lptDelay_->setValue(s.lptDelay);
    rsOff_->setChecked(s.rsOff);
    usbOff_->setChecked(s.usbOff);
    lptOff_->setChecked(s.lptOff);
    sync_->setChecked(s.syncOn);
    changePath_->setChecked(false);
    syncPath_->setText(s.syncPath);
    language_->setCurrentText(s.language);
    serviceCode_->setText(s.serviceCode);
    {
        const QSignalBlocker b(debugger_);
        debugger_->setChecked(hooks_.debuggerOn && hooks_.debuggerOn());
    }
    debugger_->setVisible(hooks_.serviceLevel && hooks_.serviceLevel() == 5);
    applyVisibility();
}

void TInRS232::storeToController() {
    LinkSettings& s = controller_.edit();
    s.corrPort = corrPort_->currentText().trimmed();
    s.transferUnitPort = transferPort_->currentText().trimmed();
    s.speed = speed_->currentText();
    s.replyTimeoutMs = readTimeout_->value();
    s.writeDelayMs = writeTimeout_->value();
    s.retryCount = retries_->value();
    s.secondDriver = secondDriver_->isChecked();
    s.resetOnFailure = resetOnFailure_->isChecked();
    s.modemUsed = modem_->isChecked() && !rsOff_->isChecked();
    s.modemInit = modemInit_->text();
    s.modemHoldSec = modemHold_->text();
    s.lptChoice = lpt1_->isChecked()        ? LptChoice::Lpt1
                  : lpt2_->isChecked()      ? LptChoice::Lpt2
                  : lpt3_->isChecked()      ? LptChoice::Lpt3
                  : lptCustom_->isChecked() ? LptChoice::Custom
                                            : LptChoice::None;
    s.lptAddress = lptAddress_->text();
    s.lptDelay = lptDelay_->value();
    s.rsOff = rsOff_->isChecked();
    s.usbOff = usbOff_->isChecked();
    s.lptOff = lptOff_->isChecked();
    s.syncOn = sync_->isChecked();
    s.syncPath = syncPath_->text();
    s.language = language_->currentText();
    s.serviceCode = serviceCode_->text();
}

void TInRS232::applyVisibility() {
    const SettingsVisibility v = controller_.visibility();
    rsPanel_->setVisible(v.rsPanel);
    modem_->setVisible(v.modemBox);
    modemGroup_->setVisible(v.modemGroup);
    usbPanel_->setVisible(v.usbPanel);
    lptPanel_->setVisible(v.lptPanel);
    syncGroup_->setVisible(v.syncGroup);
    syncTree_->setVisible(v.syncTree);
    // The window shrinks by every hidden group.
    adjustSize();
}

void TInRS232::fillPorts(QComboBox* box) {
    box->clear();
    box->addItems(controller_.probePorts());
}

void TInRS232::BitBtn_SaveClick() {
    storeToController();
    controller_.save();
    close();
    if (hooks_.afterSave) hooks_.afterSave();
}

bool TInRS232::eventFilter(QObject* watched, QEvent* event) {
    if (watched == retries_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            storeToController();
            if (hooks_.reinitPort) hooks_.reinitPort(controller_.edit());
            close();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TInRS232::reject() {
    close();
}

void TInRS232::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    closing_ = true;
    storeToController();
    const int now = controller_.close(language_->currentText());
    closing_ = false;
    event->accept();
    QDialog::done(QDialog::Rejected);
    if (now != controller_.languageAtOpening() && hooks_.languageChanged) hooks_.languageChanged();
}

} // namespace tarn::link
