#include "shell/windows/TCorrectPreview.h"

#include "link/SettingsController.h"
#include "shell/ShellTexts.h"

#include <QLabel>
#include <QMenuBar>
#include <QVBoxLayout>

namespace tarn::shell {

TCorrectPreview::TCorrectPreview(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("TCorrect"));
    setWindowTitle(ctx_.text(kShellTexts, kMenuCorrector));
    auto* layout = new QVBoxLayout(this);
    auto* menu = new QMenuBar(this);
    QAction* open = menu->addAction(QStringLiteral("RS-232"));
    QAction* exit = menu->addAction(ctx_.text(kShellTexts, kMenuExit));
    layout->setMenuBar(menu);
    status_ = new QLabel(this);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status_);
    connect(open, &QAction::triggered, this, &TCorrectPreview::reinitRequested);
    connect(exit, &QAction::triggered, this, &QDialog::close);
    resize(520, 160);
    refresh();
}

void TCorrectPreview::refresh() {
    const auto& s = ctx_.settings();
    const int lang = ctx_.languageIndex();
    status_->setText(
        Text(link::kInitPortTexts, link::kInitPort, lang) + s.corrPort + QLatin1Char('\n') +
        Text(link::kInitPortTexts, link::kInitSpeed, lang) + s.speed + QLatin1Char('\n') +
        (ctx_.linkPort().isOpen() ? QStringLiteral("RS-232: OK") : QStringLiteral("RS-232: --")));
}

} // namespace tarn::shell
