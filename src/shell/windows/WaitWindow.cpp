#include "shell/windows/WaitWindow.h"

#include "shell/ShellTexts.h"

#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::shell {

TWr_BD::TWr_BD(int languageIndex, QWidget* parent) : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog) {
    setObjectName(QStringLiteral("TWr_BD"));
    auto* layout = new QVBoxLayout(this);
    auto* panel = new QLabel(Text(kShellExtraTexts, kWaitPanel, languageIndex), this);
    QFont f = panel->font();
    f.setPointSize(f.pointSize() * 2);
    f.setBold(true);
    panel->setFont(f);
    panel->setAlignment(Qt::AlignCenter);
    auto* bottom = new QLabel(Text(kShellExtraTexts, kWaitBottom, languageIndex), this);
    bottom->setAlignment(Qt::AlignCenter);
    layout->addWidget(panel);
    layout->addWidget(bottom);
    setFixedSize(320, 120);
}

void TWr_BD::run(std::function<void()> work, std::function<void()> duringClosingPause) {
    stop_ = false;
    QTimer::singleShot(startDelayMs, this,
                       [this, work = std::move(work), pause = std::move(duringClosingPause)] {
                           work();
                           // The pause is counted from the end of the work, whatever is done in it.
                           QTimer::singleShot(closeDelayMs, this, &QDialog::accept);
                           if (pause) pause();
                       });
    exec();
}

void TWr_BD::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10) {
        stop_ = true;
        return;
    }
    if (event->key() == Qt::Key_Escape) return; // the window closes itself
    QDialog::keyPressEvent(event);
}

} // namespace tarn::shell
