#include "portscan/windows/About.h"

#include "portscan/ScanTexts.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::portscan {

TAboutForm::TAboutForm(int languageIndex, QWidget* parent) : QDialog(parent), language_(languageIndex) {
    auto* layout = new QVBoxLayout(this);
    title = new QLabel(this);
    title->setAlignment(Qt::AlignCenter);
    software = new QLabel(this);
    version = new QLabel(this);
    systems = new QLabel(this);
    ok = new QPushButton(this);
    ok->setDefault(true);
    for (QWidget* w : std::initializer_list<QWidget*>{title, software, version, systems, ok})
        layout->addWidget(w);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - frameGeometry().width()) / 2, area.y());
    }
    QTimer::singleShot(50, this, &TAboutForm::setTexts);
}

void TAboutForm::setTexts() {
    setWindowTitle(aboutText(AboutText::Caption, language_));
    title->setText(QString::fromUtf8(kAboutTitle) + QLatin1Char('\n') + QString::fromUtf8(kAboutTitle2));
    software->setText(aboutText(AboutText::Software, language_));
    version->setText(aboutText(AboutText::Version, language_));
    systems->setText(QString::fromUtf8(kAboutSystems));
    ok->setText(aboutText(AboutText::Button, language_));
}

} // namespace tarn::portscan
