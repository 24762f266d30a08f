#pragma once
// How a polled point (or a group run) ends up: the line of "Последовательность опроса" with its colour, and
// the result text the day's join table keeps. One table holds them, so the console, the join table and
// the summaries cannot drift apart.
#include "common/LineColour.h"

#include <QString>

namespace tarn::polling {

using tarn::LineColour;

enum class PointResult {
    GroupStarted,        // "*СТАРТ* группы"; no join row
    PointStarted,        // "*СТАРТ* прибора"; no join row
    ExchangeFailed,      // "ошибка обмена с прибором"
    Normal,              // "норма"
    DispatcherModemLost, // our own modem is silent; no join row
    NoModemAnswer,       // "нет связи с модемом"
    NoItems,             // "нет заданий"
    NoPhoneNumber,       // "нет номера телефона"
    NoLinkKind,          // "не определен вид связи"
};

struct PointResultInfo {
    QString line; // the sequence line, names filled in
    LineColour colour;
    QString join; // the join table's result text; empty: the result writes no join row
    // The point ended before it reached the line: the join text is also its error.
    bool beforeLine;
};

// point and group are the names as the run shows them (quoted here); phone is the point's number.
PointResultInfo pointResultInfo(PointResult result, const QString& group, const QString& point,
                                const QString& phone);

} // namespace tarn::polling
