#pragma once
// "ЧТЕНИЕ ПО КНОПКЕ ВСЕ": what "ЧИТАТЬ ВСЕ" reads, thirteen boxes kept in line 8 of the link settings.
#include "common/Notifier.h"
#include "link/LinkSettings.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QPushButton;

namespace tarn::corrector {

class TInReadCor final : public QDialog {
    Q_OBJECT
public:
    TInReadCor(link::LinkSettings& settings, const link::SettingsFiles& files, Notifier& notifier,
               int languageIndex, QWidget* parent = nullptr);
    QCheckBox* box(int index) const { return boxes_[index]; }
    // "СОХРАНИТЬ": the boxes into the settings and the settings file.
    void save();

private:
    link::LinkSettings& settings_;
    const link::SettingsFiles& files_;
    Notifier& notifier_;
    int languageIndex_;
    std::array<QCheckBox*, 13> boxes_{};
    QPushButton* save_;
};

} // namespace tarn::corrector
