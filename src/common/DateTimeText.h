#pragma once
// Dates and times as the program writes them, whatever the user's regional settings.
#include <QDateTime>
#include <QString>
#include <optional>

namespace tarn {

inline constexpr const char* kDateFormat = "dd.MM.yyyy";
inline constexpr const char* kShortTimeFormat = "HH:mm";
inline constexpr const char* kTimestampFormat = "dd.MM.yyyy HH:mm";
inline constexpr const char* kLogTimeFormat = "HH:mm:ss.zzz";
// Shown for a timestamp that has no value.
inline constexpr const char* kNoTimestampText = "01.01.2000 00:00";

QString formatDate(const QDate& date);
QString formatShortTime(const QTime& time);
QString formatTimestamp(const QDateTime& stamp);
QString formatLogTime(const QTime& time);

std::optional<QDate> parseDate(const QString& text);      // "dd.MM.yyyy", strict
std::optional<QTime> parseShortTime(const QString& text); // "HH:mm"
std::optional<QDateTime> parseTimestamp(const QString& text);

// The corrector counts time in minutes since 01.01.2000 00:00 of its own clock; no daylight saving
// applies, so the arithmetic is done on wall-clock values.
QDateTime minutesToDateTime(quint32 minutes);
// Minutes since the device epoch; nothing for times before it or beyond 24 bits when limit24 is set.
std::optional<quint32> dateTimeToMinutes(const QDateTime& stamp, bool limit24 = false);

} // namespace tarn
