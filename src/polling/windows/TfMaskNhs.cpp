#include "polling/windows/TfMaskNhs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarn::polling {

namespace {
constexpr int kDayClosing = 15; // the record that closes a gas day: never a column
}

TfMaskNhs::TfMaskNhs(const DataRoot& root, Notifier& notifier, int languageIndex, QWidget* parent)
    : QDialog(parent), root_(root), notifier_(notifier) {
    setObjectName(QStringLiteral("TfMaskNhs"));
    setWindowTitle(QStringLiteral("Маска внештатных ситуаций"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    const QStringList choices = alarmMaskChoices(languageIndex);
    const AlarmMask stored = loadAlarmMask(root_);
    int shown = 0;
    for (int n = 1; n <= 16; ++n) {
        if (n == kDayClosing) continue;
        auto* b = new QCheckBox(choices.value(shown), this);
        b->setChecked(stored.chosen(n));
        situations_[static_cast<std::size_t>(n - 1)] = b;
        grid->addWidget(b, shown % 8, shown / 8);
        ++shown;
    }
    layout->addLayout(grid);
    fullList_ = new QCheckBox(QStringLiteral("печатать полный список корректоров"), this);
    legend_ = new QCheckBox(QStringLiteral("печатать номера внештатных ситуаций в таблице"), this);
    fullList_->setChecked(stored.fullList);
    legend_->setChecked(stored.legend);
    layout->addWidget(fullList_);
    layout->addWidget(legend_);
    auto* buttons = new QHBoxLayout;
    continue_ = new QPushButton(QStringLiteral("ПРОДОЛЖИТЬ"), this);
    cancel_ = new QPushButton(QStringLiteral("ОТМЕНА"), this);
    buttons->addStretch(1);
    buttons->addWidget(continue_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    connect(continue_, &QPushButton::clicked, this, [this] {
        if (confirm()) accept();
    });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

QCheckBox* TfMaskNhs::situationBox(int situation) const {
    return situation < 1 || situation > 16 ? nullptr : situations_[static_cast<std::size_t>(situation - 1)];
}

AlarmMask TfMaskNhs::mask() const {
    AlarmMask m;
    m.fullList = fullList_->isChecked();
    m.legend = legend_->isChecked();
    for (int n = 1; n <= 16; ++n)
        m.situations[static_cast<std::size_t>(n - 1)] = n != kDayClosing && situationBox(n)->isChecked();
    return m;
}

bool TfMaskNhs::confirm() {
    if (!saveAlarmMask(root_, mask())) {
        notifier_.message(MessageKind::Error, QStringLiteral("Ошибка записи файла ") + alarmMaskPath(root_));
        return false;
    }
    return true;
}

} // namespace tarn::polling
