#include "polling/windows/TfGroupStart.h"

#include <QFont>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tarn::polling {

TfGroupStart::TfGroupStart(PollingRun& run, const DataRoot& root, Notifier& notifier, int groupIndex,
                           QWidget* parent)
    : QDialog(parent), run_(run), notifier_(notifier), groupIndex_(groupIndex) {
    setObjectName(QStringLiteral("TfGroupStart"));
    setWindowTitle(QStringLiteral("Опрос группы корректоров"));
    if (groupIndex_ >= 0 && groupIndex_ < run_.groups().size())
        choice_ = groupStartChoice(run_.groupFiles(), root, run_.groups().at(groupIndex_), run_.pointLines());

    auto* layout = new QVBoxLayout(this);
    members_ = new QListWidget(this);
    members_->setFont(QFont(QStringLiteral("Courier New"), 8));
    // One line each: a group of a thousand members is laid out by the size of one.
    members_->setUniformItemSizes(true);
    for (int i = 0; i < choice_.members.size(); ++i)
        members_->addItem(QStringLiteral("%1  ").arg(i + 1, 3) + choice_.members.at(i).line);
    layout->addWidget(members_, 1);

    first_ = new QRadioButton(QStringLiteral("первый в группе"), this);
    picked_ = new QRadioButton(QStringLiteral("выбран по списку"), this);
    resume_ = new QRadioButton(QStringLiteral("был аварийный останов"), this);
    resume_->setEnabled(choice_.resumable);
    (choice_.resumable ? resume_ : first_)->setChecked(true);
    layout->addWidget(first_);
    layout->addWidget(picked_);
    layout->addWidget(resume_);
    // Picking a member in the list means starting from it.
    connect(members_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) picked_->setChecked(true);
    });

    auto* buttons = new QHBoxLayout;
    auto* start = new QPushButton(QStringLiteral("Запуск"), this);
    start->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(start);
    layout->addLayout(buttons);
    connect(start, &QPushButton::clicked, this, &TfGroupStart::startRun);
    resize(560, 360);
}

bool TfGroupStart::startRun() {
    const GroupStartMember* from = choice_.members.isEmpty() ? nullptr : &choice_.members.first();
    int fromPoint = -1;
    if (picked_->isChecked()) {
        const int row = members_->currentRow();
        if (row < 0 || row >= choice_.members.size()) {
            notifier_.message(MessageKind::Warning, QStringLiteral("Не выбран прибор!!!"));
            return false;
        }
        from = &choice_.members.at(row);
        fromPoint = from->pointIndex;
    } else if (resume_->isChecked() && choice_.resumePoint >= 0) {
        fromPoint = choice_.resumePoint;
        for (const GroupStartMember& m : choice_.members)
            if (m.pointIndex == fromPoint) from = &m;
    }
    // A group without members is refused by the run itself, with its own message.
    if (from && !notifier_.confirm(groupStartQuestion(choice_.groupName, from->line.left(18)))) return false;
    if (!run_.startGroup(groupIndex_, fromPoint)) return false;
    accept();
    return true;
}

} // namespace tarn::polling
