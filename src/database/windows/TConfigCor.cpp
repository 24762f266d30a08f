#include "database/windows/TConfigCor.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QVBoxLayout>

namespace tarn::database {

QStringList linkKinds() {
    return {QStringLiteral("нет связи"), QStringLiteral("прямое соединение"), QStringLiteral("телефон")};
}

TConfigCor::TConfigCor(const Point& point, const QStringList& gasNames, Notifier& notifier, QWidget* parent)
    : QDialog(parent), notifier_(notifier) {
    setObjectName(QStringLiteral("TConfigCor"));
    setWindowTitle(QStringLiteral("Конфигуратор корректора"));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    connect(bar->addAction(QStringLiteral("СОХРАНИТЬ")), &QAction::triggered, this, &TConfigCor::save);
    connect(bar->addAction(QStringLiteral("ВЫХОД")), &QAction::triggered, this, &QDialog::reject);

    // Whose settings these are.
    for (const auto& [caption, value] :
         {std::pair{"предприятие: ", point.organisation}, std::pair{"ветка      : ", point.pipeline},
          std::pair{"корректор  : ", point.model}, std::pair{"сер.номер  : ", point.serial}})
        layout->addWidget(new QLabel(QString::fromUtf8(caption) + value, this));

    auto* form = new QFormLayout;
    layout->addLayout(form);
    phonePanel_ = new QWidget(this);
    auto* phoneForm = new QFormLayout(phonePanel_);
    static constexpr const char* kCaptions[kConfigValues] = {"Владелец",
                                                             "Телефон организации",
                                                             "Вид связи",
                                                             "Порт",
                                                             "Пароль",
                                                             "Телефон корректора",
                                                             "Скорость",
                                                             "Ожидать ответ(мс)",
                                                             "Разрыв связи (с)",
                                                             "Повторов обмена",
                                                             "Ожидать связь (с)",
                                                             "Пауза повтора (с)",
                                                             "Повторов связи",
                                                             "Строка инициализации",
                                                             "Газ",
                                                             "Флаги опроса"};
    for (int i = 0; i < kConfigValues; ++i) {
        edits_[i] = new QLineEdit(point.config[i], this);
        edits_[i]->setMaxLength(i == config::Owner ? kOwnerWidth : 32);
    }
    linkKind_ = new QComboBox(this);
    linkKind_->addItems(linkKinds());
    linkKind_->setCurrentIndex(static_cast<int>(linkKinds().indexOf(point.config[config::LinkKind])));
    gas_ = new QComboBox(this);
    gas_->addItems(gasNames);
    gas_->setEditable(true);
    gas_->setCurrentText(point.config[config::Gas]);
    for (int i = 0; i < kConfigValues; ++i) {
        QWidget* w = i == config::LinkKind ? static_cast<QWidget*>(linkKind_)
                     : i == config::Gas    ? static_cast<QWidget*>(gas_)
                                           : edits_[i];
        const bool phone = i == config::Phone || i == config::InitString || i == config::BreakS ||
                           i == config::WaitS || i == config::PauseS || i == config::ModemRepeats;
        (phone ? phoneForm : form)->addRow(QString::fromUtf8(kCaptions[i]), w);
    }
    edits_[config::LinkKind]->hide();
    edits_[config::Gas]->hide();
    layout->addWidget(phonePanel_);
    connect(linkKind_, &QComboBox::currentIndexChanged, this, &TConfigCor::showPhonePanel);
    showPhonePanel();
}

void TConfigCor::showPhonePanel() {
    phonePanel_->setVisible(linkKind_->currentText() == QStringLiteral("телефон"));
}

PointConfig TConfigCor::config() const {
    PointConfig c;
    for (int i = 0; i < kConfigValues; ++i)
        c[i] = edits_[i]->text().trimmed();
    c[config::Owner] = c[config::Owner].left(kOwnerWidth);
    c[config::LinkKind] = linkKind_->currentIndex() >= 0 ? linkKind_->currentText() : QString();
    c[config::Gas] = gas_->currentText().trimmed();
    return c;
}

bool TConfigCor::save() {
    // The same check as the command line's: a value out of its range would stop the point being polled.
    if (const QString failure = checkConfig(config()); !failure.isEmpty()) {
        notifier_.message(MessageKind::Error, failure);
        return false;
    }
    accept();
    return true;
}

} // namespace tarn::database
