#include "link/windows/TfInitPort.h"

#include "link/SettingsController.h"
#include "link/windows/SettingsTexts.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::link {

TfInitPort::TfInitPort(LinkPort& port, const LinkSettings& settings, int languageIndex, int corrAddress,
                       QWidget* parent)
    : QDialog(parent), port_(port), settings_(settings), language_(languageIndex), address_(corrAddress) {
    setObjectName(QStringLiteral("TfInitPort"));
    setWindowTitle(Text(kInitPortTexts, kInitCaption, language_));
    auto* layout = new QVBoxLayout(this);
    addressLabel_ = new QLabel(this);
    portLabel_ = new QLabel(this);
    speedLabel_ = new QLabel(this);
    for (QLabel* l : {addressLabel_, portLabel_, speedLabel_})
        layout->addWidget(l);
    setMinimumWidth(280);
}

bool TfInitPort::reinit() {
    if (busy_) return port_.isOpen(); // re-entry guard
    busy_ = true;
    opened_ = false;
    port_.closePort();
    QTimer::singleShot(openDelayMs, this, &TfInitPort::Timer_Open);
    exec();
    busy_ = false;
    return opened_;
}

void TfInitPort::Timer_Open() {
    addressLabel_->setText(Text(kInitPortTexts, kInitAddress, language_) + QString::number(address_));
    portLabel_->setText(Text(kInitPortTexts, kInitPort, language_) + settings_.corrPort);
    speedLabel_->setText(Text(kInitPortTexts, kInitSpeed, language_) + settings_.speed);
    opened_ = port_.applyAndOpen(settings_);
    QTimer::singleShot(closeDelayMs, this, &QDialog::accept);
}

} // namespace tarn::link
