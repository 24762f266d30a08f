#include "corrector/ReadChoice.h"

#include "common/Language.h"
#include "corrector/ReadQueue.h"

namespace tarn::corrector {

ReadChoiceBoxes ReadChoiceBoxes::fromLine(const QString& line) {
    ReadChoiceBoxes b;
    for (int i = 0; i < kReadChoiceBoxCount; ++i)
        b.ticked[i] = i < line.size() && line[i] == QLatin1Char('1');
    return b;
}

QString ReadChoiceBoxes::toLine() const {
    QString line;
    for (bool t : ticked)
        line += t ? QLatin1Char('1') : QLatin1Char('0');
    return line;
}

QString ReadChoiceBoxes::caption(int box, int languageIndex) {
    static constexpr const char* ua[kReadChoiceBoxCount] = {
        "ГОДИННИЙ АРХІВ",     "ДОБОВИЙ АРХІВ", "МІСЯЧНИЙ АРХІВ", "АВАРІЙНИЙ АРХІВ", "АРХІВ  ВТРУЧАНЬ",
        "ОПЕРАТИВНИЙ АРХІВ ", "ВЕРСІЯ ПЗ",     "ДАТА",           "ЖИВЛЕННЯ",        "ПОТОЧНИЙ ЗАМІР",
        "СЛУЖБОВИЙ АРХІВ  ",  "СТАН ГОДИНИ",   "СТАН АВАРІЇ"};
    static constexpr const char* ru[kReadChoiceBoxCount] = {"ЧАСОВОЙ АРХИВ",
                                                            "СУТОЧНЫЙ АРХИВ",
                                                            "МЕСЯЧНЫЙ АРХИВ",
                                                            "АВАРИЙНЫЙ АРХИВ",
                                                            "АРХИВ  ВМЕШАТЕЛЬСТВ",
                                                            "ОПЕРАТИВНЫЙ АРХИВ ",
                                                            "ВЕРСИЯ ПО",
                                                            "ДАТА",
                                                            "ПИТАНИЕ",
                                                            "ТЕКУЩИЙ ЗАМЕР",
                                                            "СЛУЖЕБНЫЙ АРХИВ  ",
                                                            "СОСТОЯНИЕ ЧАСА",
                                                            "СОСТОЯНИЕ АВАРИИ"};
    if (box < 0 || box >= kReadChoiceBoxCount) return {};
    return uaRu(languageIndex, ua[box], ru[box]);
}

int ReadChoiceBoxes::kind(int box) {
    if (box < 0 || box >= kReadChoiceBoxCount) return 0;
    return kReadChoiceKinds[box];
}

QString ReadChoiceTitle(int languageIndex) {
    return uaRu(languageIndex, "ЧИТАННЯ ПО КНОПЦІ ВСЕ", "ЧТЕНИЕ ПО КНОПКЕ ВСЕ");
}

QString ReadChoiceSaveCaption(int languageIndex) {
    return uaRu(languageIndex, "ЗБЕРЕГТИ", "СОХРАНИТЬ");
}

QString SettingsSavedMessage(int languageIndex) {
    return uaRu(languageIndex, "Налаштування збережені", "Установки сохранены");
}

} // namespace tarn::corrector
