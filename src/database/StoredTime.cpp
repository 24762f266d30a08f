#include "database/TableFile.h"

// How dates and times are kept in a table's text fields.
namespace tarn::database {

namespace {

// Every stored row formats several dates and times: the common case (a four-digit year) is written
// digit by digit, which costs a fraction of the general formatter; anything else goes to it.
void putDigits(QChar*& out, int value, int digits) {
    for (int i = digits - 1; i >= 0; --i, value /= 10)
        out[i] = QLatin1Char(static_cast<char>('0' + value % 10));
    out += digits;
}

bool fastYear(const QDate& date) {
    return date.isValid() && date.year() >= 1000 && date.year() <= 9999;
}

void putDate(QChar*& out, const QDate& date) {
    int y = 0, m = 0, d = 0;
    date.getDate(&y, &m, &d);
    putDigits(out, y, 4);
    *out++ = QLatin1Char('-');
    putDigits(out, m, 2);
    *out++ = QLatin1Char('-');
    putDigits(out, d, 2);
}

void putTime(QChar*& out, const QTime& time) {
    putDigits(out, time.hour(), 2);
    *out++ = QLatin1Char(':');
    putDigits(out, time.minute(), 2);
    *out++ = QLatin1Char(':');
    putDigits(out, time.second(), 2);
}

} // namespace

QString storedDate(const QDate& date) {
    if (!fastYear(date)) return date.toString(QStringLiteral("yyyy-MM-dd"));
    QString text(10, Qt::Uninitialized);
    QChar* out = text.data();
    putDate(out, date);
    return text;
}
QString storedTime(const QTime& time) {
    if (!time.isValid()) return time.toString(QStringLiteral("HH:mm:ss"));
    QString text(8, Qt::Uninitialized);
    QChar* out = text.data();
    putTime(out, time);
    return text;
}
QDateTime timestampFromStored(const QString& text) {
    // Only the exact kept form "yyyy-MM-ddTHH:mm:ss" takes the short way; anything else is the parser's.
    if (text.size() != 19 || text.at(4) != QLatin1Char('-') || text.at(7) != QLatin1Char('-') ||
        text.at(10) != QLatin1Char('T') || text.at(13) != QLatin1Char(':') || text.at(16) != QLatin1Char(':'))
        return QDateTime::fromString(text, Qt::ISODate);
    auto digits = [&text](int at, int n) {
        int value = 0;
        for (int i = 0; i < n; ++i) {
            const char16_t c = text.at(at + i).unicode();
            if (c < u'0' || c > u'9') return -1;
            value = value * 10 + (c - u'0');
        }
        return value;
    };
    const QDate date(digits(0, 4), digits(5, 2), digits(8, 2));
    const QTime time(digits(11, 2), digits(14, 2), digits(17, 2));
    if (!date.isValid() || !time.isValid()) return QDateTime::fromString(text, Qt::ISODate);
    return QDateTime(date, time);
}

QString storedTimestamp(const QDateTime& stamp) {
    if (!stamp.isValid()) return stamp.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    const QDate date = stamp.date();
    const QTime time = stamp.time();
    if (!fastYear(date) || !time.isValid()) return stamp.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    QString text(19, Qt::Uninitialized);
    QChar* out = text.data();
    putDate(out, date);
    *out++ = QLatin1Char('T');
    putTime(out, time);
    return text;
}
QDateTime noTimestamp() {
    return QDateTime(QDate(2000, 1, 1), QTime(0, 0));
}

} // namespace tarn::database
