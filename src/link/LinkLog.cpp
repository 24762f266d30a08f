#include "link/LinkLog.h"

#include "common/Cp1251.h"
#include "common/DateTimeText.h"
#include "common/Language.h"

#include <algorithm>

namespace tarn::link {

namespace {

const char* const kCodeTexts[] = {
    "помилка під час передачі",  "ошибка при передаче",          "помилка - немає прийому",
    "ошибка - нет приема",       "інформації більше розрахунку", "информации больше расчета",
    "слово у відповідь помилка", "ответное слово брак",          "кількість прийнятих не дорівнює",
    "кол-во принятых не равно",  "помилка контрольної суми!",    "ошибка контрольной суммы!!!",
};
constexpr TextPairs kCodeTable = makeTextPairs(kCodeTexts);

} // namespace

QString linkLogCodeText(LinkLogCode code, int languageIndex) {
    return Text(kCodeTable, static_cast<int>(code) - 1, languageIndex).left(kLinkLogTextField);
}

int bytesPerLineValue(const QString& text) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok) return kDefaultBytesPerLine;
    return std::clamp(n, 1, kMaxBytesPerLine);
}

QString hexForm(const QByteArray& bytes) {
    QString s;
    s.reserve(bytes.size() * 3);
    for (char c : bytes)
        s += QStringLiteral("%1 ").arg(static_cast<quint8>(c), 2, 16, QLatin1Char('0')).toUpper();
    return s;
}

QString charForm(const QByteArray& bytes) {
    QString s;
    for (char c : bytes) {
        const auto b = static_cast<quint8>(c);
        if (b == 0 || b == 1 || b == 2 || b == 10 || b == 13) continue;
        s += cp1251Char(b);
    }
    return s;
}

QString countPrefix(int languageIndex) {
    return uaRu(languageIndex, "кіл.б-т =", "кол.б-т=");
}

QStringList LinkLogFormatter::dump(const QByteArray& bytes, bool withChars) const {
    const int perLine = bytesPerLineValue(options_.bytesPerLine);
    QStringList lines;
    QString line;
    QString run;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<quint8>(bytes.at(i));
        line += hexForm(bytes.mid(i, 1));
        if (b >= 32) run += cp1251Char(b);
        if ((i + 1) % perLine == 0) {
            if (withChars) line += QStringLiteral("||") + run;
            lines.append(line);
            line.clear();
            run.clear();
        }
    }
    if (bytes.size() % perLine != 0) {
        if (withChars) line = line.leftJustified(perLine * 3, QLatin1Char(' ')) + QStringLiteral("||") + run;
        lines.append(line);
    }
    return lines;
}

QStringList LinkLogFormatter::charLines(const QByteArray& bytes) {
    constexpr qsizetype kLine = 150;
    if (bytes.size() <= kLine) return {charForm(bytes)};
    return {charForm(bytes.left(kLine)), charForm(bytes.mid(kLine))};
}

QStringList LinkLogFormatter::entry(const QByteArray& bytes, const LinkLogRow& row, const QTime& now) const {
    QStringList lines;
    if (row.time) lines.append(formatLogTime(now));
    if (row.hex) {
        const QString head = countPrefix(language_) + QString::number(bytes.size()) + QStringLiteral(" :: ");
        if (options_.formatted) {
            lines.append(head);
            lines += dump(bytes, row.chars);
            return lines;
        }
        lines.append(head + hexForm(bytes));
    }
    if (row.chars) lines += charLines(bytes);
    return lines;
}

QStringList LinkLogFormatter::failure(LinkLogCode code, const QByteArray& lastRequest,
                                      const QByteArray& received, const QTime& now) const {
    auto bytesLine = [](const char* tag, const QByteArray& bytes) {
        return QStringLiteral("\"") + QString::fromUtf8(tag) + QStringLiteral("\" кол.б-т = ") +
               QString::number(bytes.size()) + QStringLiteral(" :: ") + hexForm(bytes);
    };
    return {QStringLiteral("*НАЧАЛО* ") + formatLogTime(now) + QLatin1Char(' ') +
                linkLogCodeText(code, language_),
            bytesLine("ЗП", lastRequest), bytesLine("ЧТ", received), QStringLiteral("*КОНЕЦ*")};
}

QStringList LinkLogFormatter::zone(int zoneNumber, const QByteArray& bytes) const {
    QStringList lines;
    const LinkLogRow& row = options_.receive;
    if (row.hex) {
        const QString counts = QString::number(zoneNumber) + QLatin1Char('/') + QString::number(bytes.size());
        if (options_.formatted) {
            // The header starts with the Cyrillic es; the one-line form below with the Latin c.
            lines.append(QStringLiteral("с/б-") + counts + QStringLiteral(" :: "));
            lines += dump(bytes, row.chars);
            return lines;
        }
        lines.append(QStringLiteral("c/б-") + counts + QStringLiteral("::") + hexForm(bytes));
    }
    if (row.chars) lines += charLines(bytes);
    return lines;
}

void LinkLog::add(Pane pane, const QStringList& lines) {
    QStringList& target = pane == Pane::Send ? send_ : receive_;
    if (target.size() > kPaneLineLimit) target.clear();
    target += lines;
    emit entryAdded(pane, lines);
    emit panesChanged();
}

void LinkLog::logSent(const QByteArray& bytes) {
    if (!enabled) return;
    add(Pane::Send, LinkLogFormatter(options, language_).entry(bytes, options.send, clock()));
}

void LinkLog::logReceived(const QByteArray& bytes) {
    if (!enabled) return;
    add(Pane::Receive, LinkLogFormatter(options, language_).entry(bytes, options.receive, clock()));
}

void LinkLog::logFailure(LinkLogCode code, const QByteArray& received, const QByteArray& lastRequest) {
    if (!enabled) return;
    add(Pane::Receive, LinkLogFormatter(options, language_).failure(code, lastRequest, received, clock()));
}

void LinkLog::logZone(int zoneNumber, const QByteArray& bytes) {
    if (!enabled) return;
    add(Pane::Receive, LinkLogFormatter(options, language_).zone(zoneNumber, bytes));
}

void LinkLog::clearPanes() {
    send_.clear();
    receive_.clear();
    emit panesChanged();
}

} // namespace tarn::link
