#include "corrector/ModemTexts.h"

#include "common/Language.h"

namespace tarn::corrector {

namespace {

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString modemNoticeText(link::ModemNotice notice, int languageIndex) {
    switch (notice) {
    case link::ModemNotice::PortBusy:
        return uaRu(languageIndex, "Увага!!! Порт зайнятий", "Внимание!!!  Порт занят");
    case link::ModemNotice::PortMissing:
        return uaRu(languageIndex, "Помилка відкриття порту", "Ошибка открытия порта");
    case link::ModemNotice::NoPhoneNumber:
        return uaRu(languageIndex, "Немає інформації \"Телефон:\"", "Нет информации \"Телефон:\"");
    case link::ModemNotice::PortReopenFailed:
        // The Ukrainian program said it in Russian too; users know the message by its look.
        return QStringLiteral("ОШИБКА COM порта");
    case link::ModemNotice::ConnectedWith:
        return uaRu(languageIndex, "Встановлено з’єднання з - ", "Установлено соединение с  -  ");
    }
    return {};
}

QString modemEventText(link::ModemEvent event, const QString& point, const QString& phone) {
    using link::ModemEvent;
    switch (event) {
    case ModemEvent::Request:
        return QStringLiteral("Запрос -> ") + quoted(point);
    case ModemEvent::InitialisationSent:
        return QStringLiteral("Зап. в модем стр.иниц. -> ") + quoted(point);
    case ModemEvent::HangUpSent:
        return QStringLiteral("Положить трубку");
    case ModemEvent::Dialling:
        return QStringLiteral("Набор номера ") + quoted(phone) + QStringLiteral(" -> ") + quoted(point);
    case ModemEvent::DispatcherModemSilent:
        return QStringLiteral("Нет связи с модемом диспетчерской");
    case ModemEvent::ConnectedWith:
        return QStringLiteral("есть соединение с - ") + quoted(phone);
    case ModemEvent::NoConnection:
        return QStringLiteral("нет соединения между модемами");
    case ModemEvent::EscapeSent:
        return QStringLiteral("стоп модем ") + quoted(QStringLiteral("+++"));
    case ModemEvent::ModemSilent:
        return QStringLiteral("Нет связи с модемом!!!");
    case ModemEvent::CallFinished:
        return QStringLiteral("Вызов -> ") + quoted(point) + QStringLiteral(" - завершен");
    }
    return {};
}

QString hexRefusalText(const link::BadHexPair& bad, int languageIndex) {
    return uaRu(languageIndex, "Не шістнадцятковий байт: \"", "Не шестнадцатеричный байт: \"") + bad.pair +
           QStringLiteral("\" (пара ") + QString::number(bad.pairNumber) +
           uaRu(languageIndex, "), нічого не надіслано", "), ничего не отправлено");
}

} // namespace tarn::corrector
