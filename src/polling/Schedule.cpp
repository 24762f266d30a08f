#include "polling/Schedule.h"

#include <QTime>

namespace tarn::polling {

namespace {

constexpr int kDayMinutes = 1440;
constexpr int kWindowWidth = 18; // "/HH:MM-HH:MM-HH:MM"

std::optional<int> minutes(const QString& text, bool endOfDay) {
    const QTime t = QTime::fromString(text, QStringLiteral("HH:mm"));
    if (!t.isValid()) {
        if (endOfDay && text == QLatin1String("24:00")) return kDayMinutes;
        return std::nullopt;
    }
    const int m = t.hour() * 60 + t.minute();
    return endOfDay && m == 0 ? kDayMinutes : m;
}

QString clock(int minute) {
    // 24 hours or more is written "00:00".
    if (minute >= kDayMinutes) return QStringLiteral("00:00");
    return QStringLiteral("%1:%2")
        .arg(minute / 60, 2, 10, QLatin1Char('0'))
        .arg(minute % 60, 2, 10, QLatin1Char('0'));
}

struct Window {
    int begin;
    int end;
    int period;
};

QList<Window> windowsOf(const QString& schedule) {
    QList<Window> out;
    for (qsizetype at = 0; at + kWindowWidth <= schedule.size(); at += kWindowWidth) {
        const auto b = minutes(schedule.mid(at + 1, 5), false);
        const auto e = minutes(schedule.mid(at + 7, 5), true);
        const auto p = minutes(schedule.mid(at + 13, 5), false);
        if (!b || !e || !p) break; // the first empty field ends the windows
        out.append({*b, *e, *p});
    }
    return out;
}

} // namespace

QString DaySchedule::title() const {
    return QStringLiteral("Расписание опроса ") + date.toString(QStringLiteral("dd.MM.yyyy"));
}

DaySchedule buildDaySchedule(const QList<ScheduledGroup>& groups, const QDate& today) {
    DaySchedule s;
    s.date = today;
    QList<QList<Window>> windows;
    for (const ScheduledGroup& g : groups)
        windows.append(g.schedule.size() > 7 ? windowsOf(g.schedule) : QList<Window>{});
    for (int m = 0; m <= kDayMinutes; ++m) {
        for (qsizetype gi = 0; gi < groups.size(); ++gi) {
            for (const Window& w : windows.at(gi)) {
                ScheduleRow row;
                if (w.period == 0) {
                    if (m != w.begin) continue;
                    row.beginMinute = w.begin;
                    row.endMinute = w.end;
                } else {
                    if (m < w.begin || m >= w.end || (m - w.begin) % w.period != 0) continue;
                    row.beginMinute = m;
                    row.endMinute = m + w.period;
                }
                row.number = static_cast<int>(s.rows.size()) + 1;
                row.group = groups.at(gi).name;
                row.begin = clock(row.beginMinute);
                row.end = clock(row.endMinute);
                s.rows.append(row);
            }
        }
    }
    return s;
}

int findDueRow(DaySchedule& schedule, int minuteOfDay) {
    for (qsizetype i = 0; i < schedule.rows.size(); ++i) {
        ScheduleRow& row = schedule.rows[i];
        if (row.status != QLatin1String("--")) continue;
        if (row.endMinute < minuteOfDay) {
            row.status = QStringLiteral("пропущ.");
            continue;
        }
        if (row.beginMinute <= minuteOfDay && minuteOfDay < row.endMinute) return static_cast<int>(i);
    }
    return -1;
}

} // namespace tarn::polling
