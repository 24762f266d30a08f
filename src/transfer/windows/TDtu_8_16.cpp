#include "transfer/windows/TDtu_8_16.h"

#include "common/Language.h"
#include "corrector/CorrectorWindowModel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::transfer {

TDtu_8_16::TDtu_8_16(TransferUnitSession& session, corrector::CorrectorWindowModel& corrector,
                     Notifier& notifier, Options options, Store store, QWidget* parent)
    : QDialog(parent), session_(session), corrector_(corrector), notifier_(notifier),
      options_(std::move(options)), store_(std::move(store)) {
    setWindowTitle(QStringLiteral("ДТУ-1-16"));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    state_ = bar->addAction(uaRu(options_.language, "СТАН", "СОСТОЯНИЕ"));
    read_ = bar->addAction(uaRu(options_.language, "ЧИТАННЯ", "ЧТЕНИЕ"));
    test_ = bar->addAction(QStringLiteral("ТЕСТ"));
    erase_ = bar->addAction(uaRu(options_.language, "СТИРАННЯ", "СТЕРЕТЬ"));
    QAction* debugMenu = bar->addAction(QStringLiteral("ОТЛАДЧИК"));
    QAction* exit = bar->addAction(uaRu(options_.language, "ВИХІД", "ВЫХОД"));
    for (QAction* a : {state_, read_, test_, erase_})
        a->setVisible(options_.commandsShown);
    debugMenu->setVisible(options_.debugging);
    connect(state_, &QAction::triggered, this, &TDtu_8_16::askState);
    connect(read_, &QAction::triggered, this, &TDtu_8_16::readZones);
    connect(test_, &QAction::triggered, this, &TDtu_8_16::runTest);
    connect(erase_, &QAction::triggered, this, &TDtu_8_16::runErase);
    connect(exit, &QAction::triggered, this, &QDialog::reject);

    auto* range = new QHBoxLayout;
    range->addWidget(new QLabel(QStringLiteral("Зона начала чтения"), this));
    firstZone_ = new QSpinBox(this);
    firstZone_->setRange(1, kMaxZones);
    range->addWidget(firstZone_);
    range->addWidget(new QLabel(QStringLiteral("Последняя зона"), this));
    lastZone_ = new QSpinBox(this);
    lastZone_->setRange(1, kMaxZones);
    lastZone_->setValue(kMaxZones);
    range->addWidget(lastZone_);
    range->addWidget(new QLabel(QStringLiteral("Версия  ДТУ"), this));
    version_ = new QLineEdit(this);
    version_->setReadOnly(true);
    range->addWidget(version_);
    layout->addLayout(range);

    auto* zones = new QGridLayout;
    for (int i = 0; i < kMaxZones; ++i) {
        zoneButtons_[i] = new QPushButton(QString::number(i + 1), this);
        zoneButtons_[i]->setEnabled(false);
        zoneTexts_[i] = new QLineEdit(this);
        zoneTexts_[i]->setReadOnly(true);
        const int column = (i / 8) * 2, row = i % 8;
        zones->addWidget(zoneButtons_[i], row, column);
        zones->addWidget(zoneTexts_[i], row, column + 1);
        connect(zoneButtons_[i], &QPushButton::clicked, this, [this, i] { loadZone(i + 1); });
    }
    layout->addLayout(zones);

    panel_ = new QLabel(this);
    layout->addWidget(panel_);
    auto* progress = new QHBoxLayout;
    gauge_ = new QProgressBar(this);
    stop_ = new QPushButton(QStringLiteral("Стоп"), this);
    stop_->setEnabled(false);
    progress->addWidget(gauge_);
    progress->addWidget(stop_);
    layout->addLayout(progress);
    connect(stop_, &QPushButton::clicked, &session_, &TransferUnitSession::stop);

    errors_ = new QGroupBox(QStringLiteral("Ошибки обмена с ДТУ"), this);
    auto* errorLayout = new QVBoxLayout(errors_);
    errorLines_ = new QPlainTextEdit(errors_);
    errorLines_->setReadOnly(true);
    errorLayout->addWidget(errorLines_);
    errors_->hide();
    layout->addWidget(errors_);

    // The debugger's part: which blocks of each zone a read takes, and the status bytes as they came.
    debugger_ = new QGroupBox(QStringLiteral("ОТЛАДЧИК"), this);
    auto* debugLayout = new QHBoxLayout(debugger_);
    debugLayout->addWidget(new QLabel(QStringLiteral("с.к."), debugger_));
    blockCount_ = new QSpinBox(debugger_);
    blockCount_->setRange(1, kZoneBlocks);
    blockCount_->setValue(kZoneBlocks);
    debugLayout->addWidget(blockCount_);
    debugLayout->addWidget(new QLabel(QStringLiteral("с.н."), debugger_));
    firstBlock_ = new QSpinBox(debugger_);
    firstBlock_->setRange(0, kZoneBlocks - 1);
    debugLayout->addWidget(firstBlock_);
    debugLayout->addWidget(new QLabel(QStringLiteral("Синхронизация"), debugger_));
    synchronisation_ = new QSpinBox(debugger_);
    synchronisation_->setRange(1, 200);
    synchronisation_->setValue(100);
    debugLayout->addWidget(synchronisation_);
    statusDump_ = new QLineEdit(debugger_);
    statusDump_->setReadOnly(true);
    debugLayout->addWidget(statusDump_);
    debugger_->setVisible(options_.debugging);
    layout->addWidget(debugger_);

    connect(&session_, &TransferUnitSession::zonesChanged, this, &TDtu_8_16::showZones);
    connect(&session_, &TransferUnitSession::progressChanged, this, [this](int value, int maximum) {
        gauge_->setMaximum(qMax(1, maximum));
        gauge_->setValue(qMin(value, qMax(1, maximum)));
    });
    connect(&session_, &TransferUnitSession::finished, this, [this](bool) {
        setBusy(false);
        panel_->clear();
        showErrors();
        showZones();
    });
    move(0, 0);
    session_.showStateFile();
    // The read starts at the first zone the last read found holding data.
    for (const auto& z : session_.zoneRows())
        if ((z.status & 0x07) != ZoneEmpty) {
            firstZone_->setValue(z.zone);
            break;
        }
}

void TDtu_8_16::showZones() {
    const auto rows = session_.zoneRows();
    for (int i = 0; i < kMaxZones; ++i) {
        zoneTexts_[i]->clear();
        zoneButtons_[i]->setEnabled(false);
        zoneButtons_[i]->setVisible(i < session_.zoneCount());
        zoneTexts_[i]->setVisible(i < session_.zoneCount());
    }
    for (const auto& z : rows) {
        if (z.zone < 1 || z.zone > kMaxZones) continue;
        zoneTexts_[z.zone - 1]->setText(z.text);
        zoneButtons_[z.zone - 1]->setEnabled(z.loadable && !session_.busy());
    }
    if (session_.zoneCount() < kMaxZones) lastZone_->setValue(qMin(lastZone_->value(), session_.zoneCount()));
    lastZone_->setMaximum(session_.zoneCount());
    firstZone_->setMaximum(session_.zoneCount());
    version_->setText(session_.versionText());
    QStringList dump;
    const QByteArray& statuses = session_.statusBytes();
    for (int i = 0; i < statuses.size(); ++i)
        dump.append(QStringLiteral("№%1-%2")
                        .arg(i + 1)
                        .arg(static_cast<quint8>(statuses.at(i)), 2, 16, QLatin1Char('0'))
                        .toUpper());
    statusDump_->setText(dump.join(QStringLiteral(" | ")));
}

void TDtu_8_16::showErrors() {
    const QStringList& lines = session_.errorLines();
    errorLines_->setPlainText(lines.join(QLatin1Char('\n')));
    errors_->setVisible(!lines.isEmpty());
}

void TDtu_8_16::setBusy(bool busy) {
    stop_->setEnabled(busy);
    for (QAction* a : {state_, read_, test_, erase_})
        a->setEnabled(!busy);
    for (QPushButton* b : zoneButtons_)
        if (busy) b->setEnabled(false);
    if (busy) errors_->hide();
}

void TDtu_8_16::askState() {
    if (session_.startState()) setBusy(true);
}

void TDtu_8_16::readZones() {
    ReadRange range;
    range.firstZone = firstZone_->value();
    range.lastZone = lastZone_->value();
    if (options_.debugging) {
        range.firstBlock = firstBlock_->value();
        range.blockCount = blockCount_->value();
    }
    if (session_.startRead(range)) setBusy(true);
}

void TDtu_8_16::runTest() {
    if (!notifier_.confirm(QStringLiteral("Тест ДТУ запустить?"))) return;
    if (!session_.startTest()) return;
    panel_->setText(QStringLiteral("ТЕСТ ДТУ"));
    setBusy(true);
}

void TDtu_8_16::runErase() {
    if (!notifier_.confirm(QStringLiteral("Информацию на ДТУ стереть?"))) return;
    if (!session_.startErase()) return;
    panel_->setText(QStringLiteral("Стирание данных с ДТУ"));
    setBusy(true);
}

bool TDtu_8_16::loadZone(int zone) {
    if (session_.busy()) return false;
    corrector::Reading reading = corrector_.reading();
    const ZoneLoad load =
        transfer::loadZone(options_.root, zone, reading, options_.language,
                           [this](const QString& question) { return notifier_.confirm(question); });
    if (load.readingTaken) corrector_.showReading(reading);
    if (!load.complete) {
        notifier_.message(MessageKind::Error, load.message);
        return false;
    }
    if (store_) store_(load.kindsRead);
    QTimer::singleShot(100, this, &QDialog::accept);
    return true;
}

void TDtu_8_16::keyPressEvent(QKeyEvent* event) {
    // Escape stops what runs before it may close the window.
    if (event->key() == Qt::Key_Escape && session_.busy()) {
        session_.stop();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace tarn::transfer
