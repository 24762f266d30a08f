#pragma once
// The read selection: which kinds "ЧИТАТЬ ВСЕ" reads, as thirteen boxes kept in one line of the link
// settings ("1" ticked, "0" not).
#include <QString>
#include <array>

namespace tarn::corrector {

// The "ЧТЕНИЕ ПО КНОПКЕ ВСЕ" dialog: thirteen boxes in the order of the settings line.
inline constexpr int kReadChoiceBoxCount = 13;
struct ReadChoiceBoxes {
    std::array<bool, kReadChoiceBoxCount> ticked{};

    static ReadChoiceBoxes fromLine(const QString& line);
    QString toLine() const;
    static QString caption(int box, int languageIndex);
    // The last two boxes (hour state, alarm state) are hidden.
    static bool visible(int box) { return box < kReadChoiceBoxCount - 2; }
    static int kind(int box);
};
QString ReadChoiceTitle(int languageIndex);
QString ReadChoiceSaveCaption(int languageIndex);
QString SettingsSavedMessage(int languageIndex);

} // namespace tarn::corrector
