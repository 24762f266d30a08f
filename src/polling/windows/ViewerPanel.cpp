#include "polling/windows/ViewerPanel.h"

#include "polling/ViewerRefresh.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace tarn::polling {

ViewerPanel::ViewerPanel(QWidget* parent) : QWidget(parent) {
    auto* form = new QFormLayout(this);
    sinceSync_ = new QLineEdit(this);
    sinceSync_->setReadOnly(true);
    form->addRow(QStringLiteral("время с последней синхронизации"), sinceSync_);
    const QString countdownTexts[2] = {QStringLiteral("время (мин.) до-\"Wait.000\""),
                                       QStringLiteral("время (мин.) до-\"Start.000\"")};
    for (int i = 0; i < 2; ++i) {
        rows_[i] = new QWidget(this);
        auto* row = new QHBoxLayout(rows_[i]);
        row->setContentsMargins(0, 0, 0, 0);
        minutes_[i] = new QLineEdit(rows_[i]);
        seconds_[i] = new QLineEdit(rows_[i]);
        for (QLineEdit* f : {minutes_[i], seconds_[i]}) {
            f->setReadOnly(true);
            f->setMaximumWidth(60);
        }
        row->addWidget(minutes_[i]);
        row->addWidget(new QLabel(QStringLiteral("мин."), rows_[i]));
        row->addWidget(seconds_[i]);
        row->addWidget(new QLabel(QStringLiteral("сек."), rows_[i]));
        row->addStretch(1);
        labels_[i] = new QLabel(countdownTexts[i], this);
        form->addRow(labels_[i], rows_[i]);
    }
}

void ViewerPanel::showRefresh(const ViewerRefresh& refresh) {
    const std::optional<qint64> since = refresh.elapsed();
    sinceSync_->setText(since ? elapsedText(*since) : QString());
    const bool on = refresh.settings().on;
    const int left[2] = {refresh.waitLeft(), refresh.startLeft()};
    for (int i = 0; i < 2; ++i) {
        rows_[i]->setVisible(on);
        labels_[i]->setVisible(on);
        minutes_[i]->setText(QString::number(left[i] / 60));
        seconds_[i]->setText(QString::number(left[i] % 60));
    }
}

} // namespace tarn::polling
