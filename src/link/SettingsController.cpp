#include "link/SettingsController.h"

#include "common/LanguageFile.h"

namespace tarn::link {

namespace {
const char* const kSettingsTable[] = {
    "НАЛАШТУВАННЯ",
    "УСТАНОВКИ",
    "ЗБЕРЕГТИ",
    "СОХРАНИТЬ",
    "КОНТРОЛЬ RS",
    "КОНТРОЛЬ RS",
    "ВИХІД",
    "ВЫХОД",
    "RS-232 (кабель або модем)",
    "RS-232 (кабель или модем)",
    "Порт коректора",
    "Порт корректора",
    "Швидкість (біт/сек)",
    "Скорость (бит/сек)",
    "Тайм-аут читання, мс",
    "Тайм-аут чтения, мс",
    "Тайм-аут запису, мс",
    "Тайм-аут записи, мс",
    "Кількість повторів обміну",
    "Количество повторов обмена",
    "дод.функції",
    "доп.функции",
    "reset при аварії",
    "reset при аварии",
    "модем",
    "модем",
    "Рядок ініціалізації модему",
    "Строка инициализации модема",
    "Час до розриву з'єднання, сек",
    "Время до разрыва соединения, сек",
    "RS-232 (адаптер USB-ДТУ...)",
    "RS-232 (адаптер USB-ДТУ...)",
    "LPT",
    "LPT",
    "Адреса LPT",
    "Адрес LPT",
    "Затримка Si",
    "Задержка Si",
    "Відключити канали",
    "Отключить каналы",
    "RS-232 (кабель або модем)",
    "RS-232 (кабель или модем)",
    "RS-232 (адаптер USB-ДТУ...)",
    "RS-232 (адаптер USB-ДТУ...)",
    "LPT",
    "LPT",
    "Синхронізація",
    "Синхронизация",
    "Відмічати лише тоді, коли базу даних відновлено або перенесено з установки на іншому комп'ютері",
    "Отмечать только тогда, когда база данных восстановлена или перенесена с установки на другом компьютере",
    "Змінити шлях",
    "Изменить путь",
    "Мова",
    "Язык",
    "Пароль для відкриття додаткових опцій",
    "Пароль для открытия дополнительных опций",
    "СПИСОК",
    "СПИСОК",
    "Папка синхронізації",
    "Папка синхронизации",
    "Порт адаптера USB-ДТУ",
    "Порт адаптера USB-ДТУ",
};

const char* const kInitPortTable[] = {
    "Адреса коректора:",    "Адрес корректрора : ", "Номер COM - порту:",  "Номер  COM - порта: ",
    "Швидкість (біт/сек):", "Скорость (бит/сек): ", "ІНІЦІАЛІЗАЦІЯ ПОРТУ", "ИНИЦИАЛИЗАЦИЯ ПОРТА",
};
} // namespace

const TextPairs kSettingsTexts = makeTextPairs(kSettingsTable);
const TextPairs kInitPortTexts = makeTextPairs(kInitPortTable);

SettingsController::SettingsController(const DataRoot& root, LinkSettings& live, LinkPort& port)
    : root_(root), files_(root), live_(live), port_(port), edit_(live) {}

void SettingsController::open(int languageIndex) {
    edit_ = live_;
    edit_.language = languageText(languageIndex);
    openedLanguage_ = languageIndex;
    changePath_ = false;
}

void SettingsController::setRsOff(bool on) {
    edit_.rsOff = on;
    if (on) edit_.modemUsed = false;
}

SettingsVisibility SettingsController::visibility() const {
    SettingsVisibility v;
    v.rsPanel = !edit_.rsOff;
    v.modemBox = !edit_.rsOff;
    v.modemGroup = !edit_.rsOff && edit_.modemUsed;
    v.usbPanel = !edit_.usbOff;
    v.lptPanel = !edit_.lptOff;
    v.syncGroup = edit_.syncOn;
    v.syncTree = edit_.syncOn && changePath_;
    return v;
}

QStringList SettingsController::probePorts() {
    return port_.probePorts(readPortProbeCount(root_));
}

bool SettingsController::save() {
    if (!saveSettings(files_, edit_)) return false;
    live_ = edit_;
    return true;
}

int SettingsController::close(const QString& languageBoxText) {
    saveLanguage(root_, languageBoxText);
    const int now = loadLanguage(root_, openedLanguage_);
    // Unsaved edits are discarded: the live settings are what the file holds. Without a file the
    // window's controls keep what was typed, and the exit writes it. The service code is never stored:
    // the edit keeps its text.
    const QString code = edit_.serviceCode;
    LinkSettings reread = edit_;
    loadSettings(files_, reread);
    live_ = reread;
    live_.serviceCode = code;
    return now;
}

} // namespace tarn::link
