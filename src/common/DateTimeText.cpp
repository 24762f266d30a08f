#include "common/DateTimeText.h"

namespace tarn {

namespace {
QString fmt(const char* f) {
    return QString::fromLatin1(f);
}
// Two digits of value at to.
void putTwoDigits(char16_t* to, int value) {
    to[0] = static_cast<char16_t>(u'0' + value / 10);
    to[1] = static_cast<char16_t>(u'0' + value % 10);
}
} // namespace

// Digit by digit rather than through the format's parser: a listing of a year of hours writes 8760 of
// each. What the plain digits cannot say (no date, a year of other than four digits) goes the long way.
QString formatDate(const QDate& date) {
    // The day, month and year in one conversion from the day number (each of year(), month() and day()
    // makes its own).
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    if (!date.isValid() || year < 1000 || year > 9999) return date.toString(fmt(kDateFormat));
    char16_t text[10];
    putTwoDigits(text, day);
    text[2] = u'.';
    putTwoDigits(text + 3, month);
    text[5] = u'.';
    putTwoDigits(text + 6, year / 100);
    putTwoDigits(text + 8, year % 100);
    return QString(reinterpret_cast<const QChar*>(text), 10);
}
QString formatShortTime(const QTime& time) {
    if (!time.isValid()) return time.toString(fmt(kShortTimeFormat));
    char16_t text[5];
    putTwoDigits(text, time.hour());
    text[2] = u':';
    putTwoDigits(text + 3, time.minute());
    return QString(reinterpret_cast<const QChar*>(text), 5);
}
QString formatTimestamp(const QDateTime& stamp) {
    return stamp.toString(fmt(kTimestampFormat));
}
QString formatLogTime(const QTime& time) {
    return time.toString(fmt(kLogTimeFormat));
}

std::optional<QDate> parseDate(const QString& text) {
    if (text.size() != 10) return std::nullopt;
    const QDate d = QDate::fromString(text, fmt(kDateFormat));
    if (!d.isValid()) return std::nullopt;
    return d;
}

std::optional<QTime> parseShortTime(const QString& text) {
    if (text.size() != 5) return std::nullopt;
    const QTime t = QTime::fromString(text, fmt(kShortTimeFormat));
    if (!t.isValid()) return std::nullopt;
    return t;
}

std::optional<QDateTime> parseTimestamp(const QString& text) {
    if (text.size() != 16 || text.at(10) != QLatin1Char(' ')) return std::nullopt;
    auto d = parseDate(text.left(10));
    auto t = parseShortTime(text.mid(11));
    if (!d || !t) return std::nullopt;
    return QDateTime(*d, *t);
}

namespace {
// Wall-clock arithmetic in UTC so that no daylight-saving gap shifts a device time.
QDateTime asUtc(const QDateTime& local) {
    return QDateTime(local.date(), local.time(), Qt::UTC);
}
} // namespace

QDateTime minutesToDateTime(quint32 minutes) {
    const QDateTime utc = QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC).addSecs(qint64(minutes) * 60);
    return QDateTime(utc.date(), utc.time());
}

std::optional<quint32> dateTimeToMinutes(const QDateTime& stamp, bool limit24) {
    const qint64 secs = QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC).secsTo(asUtc(stamp));
    if (secs < 0) return std::nullopt;
    const qint64 minutes = secs / 60;
    if (minutes > (limit24 ? 0xFFFFFF : 0xFFFFFFFFLL)) return std::nullopt;
    return static_cast<quint32>(minutes);
}

} // namespace tarn
