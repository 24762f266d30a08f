#include "corrector/Identification.h"

#include "common/Cp1251.h"
#include "common/Language.h"
#include "corrector/DeviceValues.h"

namespace tarn::corrector {

quint8 IdentificationString::code(int position) const {
    return readU8(raw_, position - 1);
}

QChar IdentificationString::character(int position) const {
    if (position < 1 || position > raw_.size()) return {};
    return cp1251Char(code(position));
}

QString IdentificationString::text() const {
    return deviceText(raw_);
}

QString IdentificationString::versionTag() const {
    return deviceText(raw_.mid(11, 4));
}

QString IdentificationString::versionCode() const {
    return deviceText(raw_.mid(12, 3));
}

quint32 IdentificationString::versionNumber() const {
    return (quint32(code(13)) << 16) | (quint32(code(14)) << 8) | quint32(code(15));
}

TypesizeListKind IdentificationString::typesizeList() const {
    const QChar c = character(1);
    if (c == QLatin1Char('R') || c == QLatin1Char('r')) return TypesizeListKind::B;
    if (c == QLatin1Char('T')) return TypesizeListKind::C;
    return TypesizeListKind::A;
}

bool isKnownModelLetter(QChar letter) {
    static const QString known = QStringLiteral("VFfrTWR");
    return !letter.isNull() && known.contains(letter);
}

VersionCheck CheckVersion(const IdentificationString& identification, int languageIndex) {
    VersionCheck check;
    if (trimBlanks(identification.versionTag()).isEmpty()) {
        check.verdict = VersionVerdict::NotDetermined;
        check.message = QStringLiteral("Ошибка версия не определена!!!");
        return check;
    }
    if (isKnownModelLetter(identification.modelLetter())) {
        check.verdict = VersionVerdict::Accepted;
        return check;
    }
    const quint32 v = identification.versionNumber();
    if (v < versionNumber("41A")) {
        check.verdict = VersionVerdict::OlderProgram;
        check.message = uaRu(languageIndex, "Дана версія ПЗ коректора працює з програмою \"Quon\" !!!",
                             "Данная версия ПО корректора работает с программой \"Quon\" !!!");
    } else if (v < versionNumber("41y")) {
        check.verdict = VersionVerdict::OlderProgramR;
        check.message = uaRu(languageIndex, "Дана версія ПЗ коректора працює з програмою \"QuonR\"",
                             "Данная версия ПО корректора работает с программой \"QuonR\"");
    } else {
        check.verdict = VersionVerdict::UnknownVersion;
        check.message =
            uaRu(languageIndex, "Помилка! Версія не визначена!", "Ошибка! Версия не определена!!!");
    }
    return check;
}

} // namespace tarn::corrector
