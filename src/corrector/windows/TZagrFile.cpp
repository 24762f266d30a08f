#include "corrector/windows/TZagrFile.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::corrector {

TZagrFile::TZagrFile(const QString& fileName, Work work, QWidget* parent)
    : QDialog(parent), work_(std::move(work)), fileName_(fileName) {
    setObjectName(QStringLiteral("TZagrFile"));
    setWindowTitle(QStringLiteral("ЗАГРУЗКА ФАЙЛА"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    label_ = new QLabel(this);
    gauge_ = new QProgressBar(this);
    layout->addWidget(label_);
    layout->addWidget(gauge_);
    resize(420, 90);
}

bool TZagrFile::runModal() {
    QTimer::singleShot(showDelayMs, this, [this] {
        label_->setText(QStringLiteral("Файл: ") + fileName_);
        gauge_->setValue(0);
        QTimer::singleShot(workDelayMs, this, [this] {
            // The load runs inside this one step; the gauge is painted as it goes.
            result_ = work_([this](int done, int total) {
                if (gauge_->maximum() != total) gauge_->setMaximum(qMax(1, total));
                gauge_->setValue(qMin(done, gauge_->maximum()));
                gauge_->repaint();
            });
            QTimer::singleShot(closeDelayMs, this, &QDialog::accept);
        });
    });
    exec();
    return result_;
}

} // namespace tarn::corrector
