#include "link/LinkSettings.h"

#include "common/TextFile.h"

#include <QDir>
#include <QFile>

namespace tarn::link {

namespace {

QString flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}
bool flagOn(const QString& line) {
    return removeSpaces(line) == QLatin1String("1");
}

// A spin box takes a number and keeps it within its range; other text leaves it as it was.
void applySpin(const QString& line, int& value, int min, int max) {
    bool ok = false;
    const int v = line.trimmed().toInt(&ok);
    if (ok) value = std::clamp(v, min, max);
}

QString normalisedReadChoice(const QString& line) {
    QString out;
    const QString bits = removeSpaces(line);
    for (int i = 0; i < kReadChoiceBoxes; ++i)
        out.append(i < bits.size() && bits.at(i) == QLatin1Char('1') ? QLatin1Char('1') : QLatin1Char('0'));
    return out;
}

} // namespace

int effectiveReplyTimeoutMs(int replyTimeoutMs) {
    return std::clamp(replyTimeoutMs, kMinReplyTimeoutMs, kReplyTimeoutMax);
}

QString lptChoiceText(LptChoice c) {
    switch (c) {
    case LptChoice::Lpt1:
        return QStringLiteral("LPT1");
    case LptChoice::Lpt2:
        return QStringLiteral("LPT2");
    case LptChoice::Lpt3:
        return QStringLiteral("LPT3");
    case LptChoice::Custom:
        return QStringLiteral("LPT?");
    case LptChoice::None:
        break;
    }
    return {};
}

LptChoice lptChoiceFromText(const QString& text) {
    const QString t = removeSpaces(text);
    if (t == QLatin1String("LPT1")) return LptChoice::Lpt1;
    if (t == QLatin1String("LPT2")) return LptChoice::Lpt2;
    if (t == QLatin1String("LPT3")) return LptChoice::Lpt3;
    if (t == QLatin1String("LPT?")) return LptChoice::Custom;
    return LptChoice::None;
}

QStringList settingsToLines(const LinkSettings& s) {
    return {QString::fromLatin1(kSettingsMarker),
            s.corrPort,
            s.transferUnitPort,
            lptChoiceText(s.lptChoice),
            s.speed,
            QString::number(s.replyTimeoutMs),
            QString::number(s.retryCount),
            normalisedReadChoice(s.readChoice),
            QString::number(s.lptDelay),
            flag(s.modemUsed),
            s.modemHoldSec,
            s.modemInit,
            s.lptAddress,
            flag(s.rsOff),
            flag(s.usbOff),
            flag(s.lptOff),
            QStringLiteral("0"),
            flag(s.syncOn),
            s.syncPath,
            flag(s.secondDriver),
            QString::number(s.writeDelayMs),
            flag(s.resetOnFailure)};
}

bool applySettingsLines(const QStringList& raw, LinkSettings& s) {
    if (raw.isEmpty() || collapseSpaces(raw.first()) != QLatin1String(kSettingsMarker)) return false;
    const int n = std::min<int>(raw.size(), kSettingsLines);
    for (int i = 1; i < n; ++i) {
        const QString line = collapseSpaces(raw.at(i));
        switch (i + 1) {
        case 2:
            s.corrPort = line;
            break;
        case 3:
            s.transferUnitPort = line;
            break;
        case 4:
            s.lptChoice = lptChoiceFromText(line);
            break;
        case 5:
            s.speed = line;
            break;
        case 6:
            applySpin(line, s.replyTimeoutMs, 0, kReplyTimeoutMax);
            break;
        case 7:
            applySpin(line, s.retryCount, kRetryMin, kRetryMax);
            break;
        case 8:
            s.readChoice = normalisedReadChoice(line);
            break;
        case 9:
            applySpin(line, s.lptDelay, 0, kLptDelayMax);
            break;
        case 10:
            s.modemUsed = flagOn(line);
            break;
        case 11:
            s.modemHoldSec = line;
            break;
        case 12:
            s.modemInit = line;
            break;
        case 13:
            s.lptAddress = removeSpaces(line);
            break;
        case 14:
            s.rsOff = flagOn(line);
            break;
        case 15:
            s.usbOff = flagOn(line);
            break;
        case 16:
            s.lptOff = flagOn(line);
            break;
        case 17:
            break; // not read back
        case 18:
            // Reading never switches synchronisation on: a "1" leaves the box as it is.
            if (!flagOn(line)) s.syncOn = false;
            break;
        case 19:
            s.syncPath = line;
            break;
        case 20:
            s.secondDriver = flagOn(line);
            break;
        case 21:
            applySpin(line, s.writeDelayMs, 0, kWriteDelayMax);
            break;
        case 22:
            s.resetOnFailure = flagOn(line);
            break;
        default:
            break;
        }
    }
    return true;
}

LoadResult loadSettings(const SettingsFiles& files, LinkSettings& s) {
    const QString path = files.settingsPath();
    Error error;
    const auto lines = readTextLines(path, error);
    if (!lines) {
        // A file that is there but cannot be read is not a missing one: its companions stay, and so does
        // the file itself, since the exit writes the settings only when there is no file at all.
        if (!error.is(ErrorKind::NotFound)) return LoadResult::Unreadable;
        QFile::remove(files.tuningPath());
        return LoadResult::Missing;
    }
    if (applySettingsLines(*lines, s)) return LoadResult::Loaded;

    const QString first = lines->isEmpty() ? QString() : collapseSpaces(lines->first());
    QFile::remove(path);
    QFile::remove(files.reportPath());
    if (first == QLatin1String("Tarn-1.01") || first == QLatin1String("Tarn-1.00")) {
        QDir book(files.root.dir(folder::BookQ));
        for (const QString& name :
             book.entryList({QStringLiteral("*.db"), QStringLiteral("*.val")}, QDir::Files | QDir::Hidden))
            book.remove(name);
    }
    QFile::remove(files.tuningPath());
    return LoadResult::Outdated;
}

bool saveSettings(const SettingsFiles& files, const LinkSettings& s) {
    return writeTextLines(files.settingsPath(), settingsToLines(s));
}

int serviceLevelForCode(const QString& code) {
    if (code == QLatin1String("517")) return 1;
    if (code == QLatin1String("942")) return 5;
    return 0;
}

int readPortProbeCount(const DataRoot& root) {
    int n = kDefaultPortProbeCount;
    const auto lines = readTextLines(root.file(folder::Work, QStringLiteral("Q_RS.000")));
    if (!lines) return n;
    for (const QString& line : *lines) {
        const QString t = removeSpaces(line);
        if (t.isEmpty()) continue;
        bool ok = false;
        const int v = t.toInt(&ok);
        if (ok && v >= 1 && v <= 99) n = v;
    }
    return n;
}

QStringList standardSpeedTexts() {
    return {QStringLiteral("1200"),  QStringLiteral("2400"),  QStringLiteral("4800"),
            QStringLiteral("9600"),  QStringLiteral("19200"), QStringLiteral("38400"),
            QStringLiteral("57600"), QStringLiteral("115200")};
}

qint32 baudRateForSpeedText(const QString& text) {
    QString t = removeSpaces(text);
    for (const QString& s : standardSpeedTexts())
        if (t == s) return s.toInt();
    // The non-standard rates, written with a Latin K or a Cyrillic К.
    t.replace(QChar(0x041A), QLatin1Char('K'));
    if (t == QStringLiteral("230Kбод")) return 230000;
    if (t == QStringLiteral("460Kбод")) return 460000;
    if (t == QStringLiteral("921Kбод")) return 921000;
    return 9600;
}

quint16 lptPortAddress(LptChoice choice, const QString& addressText) {
    switch (choice) {
    case LptChoice::Lpt2:
        return 0x278;
    case LptChoice::Lpt3:
        return 0x3BC;
    case LptChoice::Custom: {
        bool ok = false;
        const uint v = removeSpaces(addressText).toUInt(&ok, 16);
        return ok && v <= 0xFFFF ? static_cast<quint16>(v) : 0x378;
    }
    case LptChoice::Lpt1:
    case LptChoice::None:
        break;
    }
    return 0x378;
}

} // namespace tarn::link
