#pragma once
// A telephone number is put into the modem's dial command as it stands ("ATDP" + number), so it may hold
// only what a dial string holds: digits, "+", "*", "#", "," (pause), "W" (wait for the tone), "P" and "T"
// (pulse and tone dialling), blanks and "-". Anything else — ";" ends the dial command and lets a second
// command through, a letter is a modem command of its own — is refused wherever a number enters: the
// --phone option, the point configurator, the phone book, polling and the dial itself. The check only
// names what is wrong; each layer that shows the refusal words it (the registry keeps the words), so the
// layers below it stay free of user texts. Header only, so the book's window reaches it without linking
// anything more.
#include <QString>

namespace tarn {

enum class PhoneRefusalKind {
    None,               // the number may be dialled
    ForbiddenCharacter, // a character no dial string holds
    NoDigits,           // nothing of a number to dial
};

struct PhoneRefusal {
    PhoneRefusalKind kind = PhoneRefusalKind::None;
    QString number;  // as it was given, the message quotes it whole
    QChar character; // the first forbidden one (ForbiddenCharacter)

    bool refused() const { return kind != PhoneRefusalKind::None; }
};

inline PhoneRefusal checkPhoneNumber(const QString& number) {
    bool digit = false;
    // What follows "//" is the entry's comment, never dialled.
    for (const QChar c : number.section(QStringLiteral("//"), 0, 0)) {
        if (c.isDigit() && c.unicode() < 0x80) {
            digit = true;
            continue;
        }
        // A modem reads its dial modifiers in either case.
        if (QStringLiteral("+*#,WPTwpt -").contains(c)) continue;
        return {PhoneRefusalKind::ForbiddenCharacter, number, c};
    }
    if (!digit) return {PhoneRefusalKind::NoDigits, number, QChar()};
    return {};
}

// A number field that may be left empty (a point on a cable has none): only a number typed is checked.
inline PhoneRefusal checkPhoneField(const QString& number) {
    return number.trimmed().isEmpty() ? PhoneRefusal() : checkPhoneNumber(number);
}

} // namespace tarn
