#pragma once
// A telephone number is put into the modem's dial command as it stands ("ATDP" + number), so it may hold
// only what a dial string holds: digits, "+", "*", "#", "," (pause), "W" (wait for the tone), "P" and "T"
// (pulse and tone dialling), blanks and "-". Anything else — ";" ends the dial command and lets a second
// command through, a letter is a modem command of its own — is refused wherever a number enters: the
// --phone option, the point configurator, the phone book, polling and the dial itself. Header only, so the
// configurator's window reaches it without linking the serial line.
#include "common/Language.h"
#include "common/Notifier.h"

#include <QString>

namespace tarn::link {

// Empty when the number may be dialled, else the message naming what is wrong.
inline QString phoneNumberRefusal(const QString& number, int languageIndex = kRussian) {
    const QString head =
        uaRu(languageIndex, "Неприпустимий номер телефону \"", "Недопустимый номер телефона \"") + number +
        QStringLiteral("\": ");
    bool digit = false;
    // What follows "//" is the entry's comment, never dialled.
    for (const QChar c : number.section(QStringLiteral("//"), 0, 0)) {
        if (c.isDigit() && c.unicode() < 0x80) {
            digit = true;
            continue;
        }
        // A modem reads its dial modifiers in either case.
        if (QStringLiteral("+*#,WPTwpt -").contains(c)) continue;
        const QString shown = c.unicode() < 0x20
                                  ? QStringLiteral("U+") + QString::number(static_cast<uint>(c.unicode()), 16)
                                                               .rightJustified(4, QLatin1Char('0'))
                                                               .toUpper()
                                  : QStringLiteral("\"") + c + QLatin1Char('"');
        return head + QStringLiteral("символ ") + shown;
    }
    if (!digit) return head + uaRu(languageIndex, "немає цифр номера", "нет цифр номера");
    return {};
}

// A number field that may be left empty (a point on a cable has none): only a number typed is checked.
inline QString phoneFieldRefusal(const QString& number, int languageIndex = kRussian) {
    return number.trimmed().isEmpty() ? QString() : phoneNumberRefusal(number, languageIndex);
}

// The field's check with the message shown; false when refused.
inline bool acceptPhoneField(const QString& number, Notifier& notifier, int languageIndex = kRussian) {
    const QString refused = phoneFieldRefusal(number, languageIndex);
    if (!refused.isEmpty()) notifier.message(MessageKind::Error, refused);
    return refused.isEmpty();
}

} // namespace tarn::link
