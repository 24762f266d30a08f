#include "portscan/ScanSettings.h"

#include "common/Language.h"
#include "common/TextFile.h"

namespace tarn::portscan {

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString withoutBlanks(const QString& line) {
    QString out;
    for (QChar c : line)
        if (!isBlank(c)) out.append(c);
    return out;
}

bool digitsOnly(const QString& text) {
    const qsizetype from = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    if (text.size() <= from) return false;
    for (qsizetype i = from; i < text.size(); ++i)
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9')) return false;
    return true;
}

} // namespace

int portLimitFromLines(const QStringList& lines) {
    int limit = kDefaultPortLimit;
    for (const QString& line : lines) {
        const QString t = withoutBlanks(line);
        if (!digitsOnly(t)) continue;
        bool ok = false;
        const int v = t.toInt(&ok);
        if (ok && v >= 1 && v <= 99) limit = v;
    }
    return limit;
}

int readPortLimit(const DataRoot& root) {
    const auto lines = readTextLines(root.file(folder::Work, QStringLiteral("Q_RS.000")));
    return lines ? portLimitFromLines(*lines) : kDefaultPortLimit;
}

int languageFromLines(const QStringList& lines) {
    int index = kUkrainian;
    for (const QString& raw : lines) {
        QString line = raw;
        while (!line.isEmpty() && isBlank(line.back()))
            line.chop(1);
        index = line == QLatin1String("RU") ? kRussian : line == QLatin1String("EN") ? kEnglish : kUkrainian;
    }
    return index;
}

int readScanLanguage(const DataRoot& root) {
    const auto lines = readTextLines(root.file(folder::Work, QStringLiteral("Type_Leng.000")));
    return lines ? languageFromLines(*lines) : kUkrainian;
}

} // namespace tarn::portscan
