#include "corrector/windows/TParolCr.h"

#include "common/Language.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarn::corrector {

TParolCr::TParolCr(CorrectorWindowModel& model, std::function<void()> readParameters, QWidget* parent)
    : QDialog(parent), model_(model), readParameters_(std::move(readParameters)) {
    setObjectName(QStringLiteral("TParolCr"));
    const int lang = model.languageIndex();
    setWindowTitle(QStringLiteral("ПАРОЛЬ"));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    QAction* close = bar->addAction(uaRu(lang, "ЗАКРИТИ ДОСТУП", "ЗАКРЫТЬ ДОСТУП"));
    QAction* read = bar->addAction(uaRu(lang, "ПАРАМЕТРИ КОРЕКТОРА", "ПАРАМЕТРЫ КОРРЕКТОРА"));
    QAction* exit = bar->addAction(uaRu(lang, "ВИХІД", "ВЫХОД"));
    connect(close, &QAction::triggered, this, [this] {
        model_.CloseAccess();
        accept();
    });
    connect(read, &QAction::triggered, this, [this] {
        accept();
        if (readParameters_) readParameters_();
    });
    connect(exit, &QAction::triggered, this, &QDialog::reject);

    auto* enterGroup = new QGroupBox(uaRu(lang, "ВВЕДЕННЯ ПАРОЛЯ", "ВВОД ПАРОЛЯ"), this);
    auto* changeGroup = new QGroupBox(uaRu(lang, "ЗМІНА ПАРОЛЯ", "СМЕНА ПАРОЛЯ"), this);
    auto* enterForm = new QFormLayout(enterGroup);
    auto* changeForm = new QFormLayout(changeGroup);
    const PasswordWindowView view = model.passwordWindowView();
    const ModelProfile& profile = model.reading().profile;
    for (int k = 0; k < kPasswordSlots; ++k) {
        const QString caption = ItemCaption(kFirstPasswordItem + k, profile, lang);
        entry_[k] = new QLineEdit(enterGroup);
        entry_[k]->setEchoMode(QLineEdit::Password);
        entry_[k]->setMaxLength(4);
        entry_[k]->installEventFilter(this);
        enterForm->addRow(caption, entry_[k]);
        change_[k] = new QLineEdit(changeGroup);
        change_[k]->setMaxLength(4);
        change_[k]->setEnabled(view.changeEnabled[k]);
        change_[k]->installEventFilter(this);
        changeForm->addRow(caption, change_[k]);
    }
    confirmation_ = new QLineEdit(changeGroup);
    confirmation_->setMaxLength(4);
    confirmation_->setEnabled(view.confirmationEnabled);
    confirmation_->installEventFilter(this);
    changeForm->addRow(new QLabel(uaRu(lang, "Підтвердіть правильність набору пароля - повторним введенням ",
                                       "Подтвердите правильность набора пароля - повторным вводом "),
                                  changeGroup));
    changeForm->addRow(confirmation_);
    restart_ = new QPushButton(uaRu(lang, "Рестарт коректора", "Рестарт корректор"), this);
    restart_->setEnabled(view.restartEnabled);
    connect(restart_, &QPushButton::clicked, this, [this] { model_.RestartCorrector(); });
    layout->addWidget(enterGroup);
    layout->addWidget(changeGroup);
    layout->addWidget(restart_);
}

bool TParolCr::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            enterPressed(watched);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TParolCr::enterPressed(QObject* watched) {
    for (int k = 0; k < kPasswordSlots; ++k)
        if (watched == entry_[k]) {
            if (model_.EnterPassword(k, entry_[k]->text())) accept();
            return;
        }
    const auto& marks = model_.state().passwordMarks;
    for (int k = 0; k < kPasswordSlots; ++k)
        if (marks[k]) {
            if (model_.ChangePassword(k, change_[k]->text(), confirmation_->text())) accept();
            return;
        }
}

} // namespace tarn::corrector
