#include "common/DateTimeText.h"

namespace tarn {

namespace {
QString fmt(const char* f) {
    return QString::fromLatin1(f);
}
} // namespace

QString formatDate(const QDate& date) {
    return date.toString(fmt(kDateFormat));
}
QString formatShortTime(const QTime& time) {
    return time.toString(fmt(kShortTimeFormat));
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
