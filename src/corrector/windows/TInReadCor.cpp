#include "corrector/windows/TInReadCor.h"

#include "corrector/ReadChoice.h"

#include <QCheckBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarn::corrector {

TInReadCor::TInReadCor(link::LinkSettings& settings, const link::SettingsFiles& files, Notifier& notifier,
                       int languageIndex, QWidget* parent)
    : QDialog(parent), settings_(settings), files_(files), notifier_(notifier),
      languageIndex_(languageIndex) {
    setObjectName(QStringLiteral("TInReadCor"));
    setWindowTitle(ReadChoiceTitle(languageIndex));
    auto* layout = new QVBoxLayout(this);
    const ReadChoiceBoxes ticked = ReadChoiceBoxes::fromLine(settings.readChoice);
    for (int i = 0; i < kReadChoiceBoxCount; ++i) {
        boxes_[i] = new QCheckBox(ReadChoiceBoxes::caption(i, languageIndex), this);
        boxes_[i]->setChecked(ticked.ticked[i]);
        boxes_[i]->setVisible(ReadChoiceBoxes::visible(i));
        layout->addWidget(boxes_[i]);
    }
    save_ = new QPushButton(ReadChoiceSaveCaption(languageIndex), this);
    layout->addWidget(save_);
    connect(save_, &QPushButton::clicked, this, &TInReadCor::save);
}

void TInReadCor::save() {
    ReadChoiceBoxes boxes;
    for (int i = 0; i < kReadChoiceBoxCount; ++i)
        boxes.ticked[i] = boxes_[i]->isChecked();
    settings_.readChoice = boxes.toLine();
    if (link::saveSettings(files_, settings_))
        notifier_.message(MessageKind::Information, SettingsSavedMessage(languageIndex_));
}

} // namespace tarn::corrector
