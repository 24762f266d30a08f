#pragma once
// Pieces every report layout is made of: cells padded (never cut), rules, pressures in the unit the
// report shows.
#include <QString>

namespace tarn::reports {

inline constexpr double kKgfPerMpa = 10.19716;

// Left-aligned and filled with blanks to width; a longer text is not cut.
inline QString pad(const QString& text, int width) {
    return text.leftJustified(width, QLatin1Char(' '), false);
}

inline QString dashes(int n) {
    return QString(n, QLatin1Char('-'));
}

inline bool isMpa(const QString& unit) {
    return unit.trimmed() == QStringLiteral("МПа");
}
inline bool isKgf(const QString& unit) {
    return unit.trimmed() == QStringLiteral("кгс/см2");
}

// A pressure in the unit the report shows; a stored unit that is neither of the two gives 0.
inline double shownPressure(double value, const QString& storedUnit, const QString& shownUnit) {
    if (storedUnit.trimmed().isEmpty() || storedUnit.trimmed() == shownUnit.trimmed()) return value;
    if (isMpa(storedUnit) && isKgf(shownUnit)) return value * kKgfPerMpa;
    if (isKgf(storedUnit) && isMpa(shownUnit)) return value / kKgfPerMpa;
    return 0;
}

inline constexpr double kGjPerGcal = 4.1868;

// Heat energy in the unit the report shows ("Гкал" or "ГДж"); a stored unit that is neither gives 0.
inline double shownHeat(double value, const QString& storedUnit, const QString& shownUnit) {
    const QString from = storedUnit.trimmed(), to = shownUnit.trimmed();
    if (from.isEmpty() || from == to) return value;
    if (from == QStringLiteral("ГДж") && to == QStringLiteral("Гкал")) return value / kGjPerGcal;
    if (from == QStringLiteral("Гкал") && to == QStringLiteral("ГДж")) return value * kGjPerGcal;
    return 0;
}

} // namespace tarn::reports
