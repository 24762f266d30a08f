#include "corrector/LinkTexts.h"

#include "common/Language.h"
#include "corrector/ModemTexts.h"
#include "database/Registry.h"
#include "link/PortMap.h"

namespace tarn::corrector {

namespace {

class CorrectorLinkWording final : public link::LinkWording {
public:
    QString notice(link::LinkNotice notice, int languageIndex) const override {
        return linkNoticeText(notice, languageIndex);
    }
    std::optional<QString> refusal(quint8 status, bool passwordOperation, int languageIndex) const override {
        return refusalText(status, passwordOperation, languageIndex);
    }
    QString modemNotice(link::ModemNotice notice, int languageIndex) const override {
        return modemNoticeText(notice, languageIndex);
    }
    QString modemEvent(link::ModemEvent event, const QString& point, const QString& phone) const override {
        return modemEventText(event, point, phone);
    }
    QString hexRefusal(const link::BadHexPair& bad, int languageIndex) const override {
        return hexRefusalText(bad, languageIndex);
    }
    QString phoneRefusal(const PhoneRefusal& refusal, int languageIndex) const override {
        return database::phoneRefusalText(refusal, languageIndex);
    }
};

} // namespace

std::optional<QString> refusalText(quint8 status, bool passwordOperation, int languageIndex) {
    if (status & 0x40)
        return uaRu(languageIndex, "ЗАПИС НЕМОЖЛИВИЙ, НЕМАЄ ДОПУСК", "ЗАПИСЬ НЕВОЗМОЖНА, НЕТ ДОПУСКА");
    if ((status & 0x28) == 0x28)
        return uaRu(languageIndex, "Номер коректора не збігся!", "Номер корректора не совпал!!!");
    if (status & 0x20) return uaRu(languageIndex, "Помилкова команда!", "Ошибочная команда!!!");
    if (status & 0x08)
        return uaRu(languageIndex, "Помилкове значення", "Ошибочное значение") +
               (passwordOperation ? QStringLiteral(" пароля") : QString()) + QStringLiteral("!!!");
    return std::nullopt;
}

QString noLinkText(int languageIndex) {
    return uaRu(languageIndex, "НЕМАЄ ЗВ’ЯЗКУ RS-232", "НЕТ СВЯЗИ RS-232 ");
}

QString linkNoticeText(link::LinkNotice notice, int languageIndex) {
    switch (notice) {
    case link::LinkNotice::NoLink:
        return noLinkText(languageIndex);
    case link::LinkNotice::PortWriteFailed:
        return uaRu(languageIndex, "ПОМИЛКА COM порту", "ОШИБКА COM порта");
    case link::LinkNotice::PortOpenFailed:
        return uaRu(languageIndex, "Помилка ініціалізації порту", "Ошибка инициализации порта ");
    case link::LinkNotice::AlarmNotice:
        return uaRu(languageIndex, "Увага!!! Надійшло повідомлення про аварію коректора",
                    "Внимание!!! Пришло сообщение о аварии корректора");
    }
    return {};
}

const link::LinkWording& correctorLinkWording() {
    static const CorrectorLinkWording wording;
    return wording;
}

QString unmappedPortText(const QString& device) {
    return QStringLiteral("Порт %1 не назначен ни одному из COM1 … COM25: впишите строку \"COMn %1\" в "
                          "Work/%2")
        .arg(device, link::PortMap::fileName());
}

} // namespace tarn::corrector
