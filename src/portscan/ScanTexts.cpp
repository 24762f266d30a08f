#include "portscan/ScanTexts.h"

namespace tarn::portscan {

namespace {

// The scanner's messages, numbered 1..28: Ukrainian, Russian, English. Some letters are Latin on purpose
// (the "M" of "НM" in 15, the "p" of "коpектор" and "коppектор" in 25); the apostrophe of 19..22 is the
// typographic one.
// clang-format off
const char* const kScanEntries[] = {
    /*  1 */ "Сканер портів RS-232", "Сканер портов RS-232", "RS-232 Port Scanner",
    /*  2 */ "ПРО ПРОГРАМУ", "О ПРОГРАММЕ", "ABOUT THE PROGRAM",
    /*  3 */ "ВИХІД", "ВЫХОД", "EXIT",
    /*  4 */ "СТАРТ", "СТАРТ", "START",
    /*  5 */ "СТОП", "СТОП", "STOP",
    /*  6 */ "ОЧИЩЕННЯ", "ОЧИСТКА", "CLEANING",
    /*  7 */ "модем", "модем", "modem",
    /*  8 */ "коректор", "корректор", "corrector",
    /*  9 */ "адаптер USB-ДТУ", "адаптер USB-ДТУ", "USB to DTU adapter",
    /* 10 */ "ДТУ-2МВ", "ДТУ-2МВ", "DTU-2Mb",
    /* 11 */ "контроль робочих портів RS-232", "контроль рабочих портов RS-232", "control of working ports RS-232",
    /* 12 */ "стоп!!!", "стоп!!!", "stop!!!",
    /* 13 */ "модем порт - COM", "модем порт - COM", "modem port - COM",
    /* 14 */ "коректор \"ТАРН/КВОН\" ->", "корректор \"ТАРН/КВОН\" ->", "corrector \"TARN/QUON\" ->",
    /* 15 */ "коректор \"ТАРН-НM\" ->", "корректор \"ТАРН-НM\" ->", "corrector \"TARN-NM\" ->",
    /* 16 */ "контроль-", "контроль-", "control-",
    /* 17 */ "DTU-2MB підключено до порту -", "DTU-2MB подключена к порту -", "DTU-2MB connected to port -",
    /* 18 */ "DTU-2MB немає - COM", "DTU-2MB нет - COM", "DTU-2MB no - COM",
    /* 19 */ "*Старт контроль з’єднання - \"модем\"", "*Старт контроль соединения - \"модем\"", "*Start connection control - \"modem\"",
    /* 20 */ "*Старт контроль з’єднання - \"коректор\"", "*Старт контроль соединения - \"корректор\"", "*Start connection control - \"corrector\"",
    /* 21 */ "*Старт контроль з’єднання - \"USB-DTU\"", "*Старт контроль соединения - \"USB-DTU\"", "*Start connection control - \"USB-DTU\"",
    /* 22 */ "*Старт контроль з’єднання - \"USB-DTU-2MB\"", "*Старт контроль соединения - \"USB-DTU-2MB\"", "*Start connection control - \"USB-DTU-2MB\"",
    /* 23 */ "порт зайнятий - COM", "порт занят - COM", "port busy - COM",
    /* 24 */ "модему немає - COM", "модема нет - COM", "no modem - COM",
    /* 25 */ "коpектор підключений до порту -", "коppектор подключен к порту -", "corrector connected to the port-",
    /* 26 */ "коректора немає - COM", "корректора нет - COM", "no corrector - COM",
    /* 27 */ "адаптер USB-DTU підключено до порту -", "адаптер USB-DTU подключен к порту -", "USB-DTU adapter connected to port -",
    /* 28 */ "адаптер USB-DTU немає - COM", "адаптер USB-DTU нет - COM", "USB to DTU adapter no - COM",
};
// clang-format on

// The about box: caption, "software", version, the button.
// clang-format off
const char* const kAboutEntries[] = {
    "Про програму", "О программе ", "About the program",
    "Програмне забезпечення", "Программное обеспечение", "Software",
    "Версія 1.08", "Версия 1.08", "Version 1.08",
    "ТАК", "ДА", "YES",
};
// clang-format on

} // namespace

TextPairs scanTexts() {
    return makeTextPairs(kScanEntries, 3);
}

TextPairs aboutTexts() {
    return makeTextPairs(kAboutEntries, 3);
}

QString scanText(ScanText message, int languageIndex) {
    return Text(scanTexts(), static_cast<int>(message) - 1, languageIndex);
}

QString aboutText(AboutText text, int languageIndex) {
    return Text(aboutTexts(), static_cast<int>(text), languageIndex);
}

quint32 logColourValue(LogColour colour) {
    switch (colour) {
    case LogColour::Black:
        return 0x00000000;
    case LogColour::Blue:
        return 0x00FF0000;
    case LogColour::Red:
        return 0x000000FF;
    case LogColour::Green:
        return 0x00008000;
    }
    return 0x00000000;
}

} // namespace tarn::portscan
