// displayNumber writes its digits itself rather than through QString::number, which costs a string and
// a trip through the locale code for every number of a listing. Its text must stay what it was byte for
// byte: these tests hold it against the formatting it replaced, over values of every kind a report
// meets and many it should not.
#include "common/DisplayNumber.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

using namespace tarn;

namespace {

// The formatting before the fast path, kept here as the reference: Qt's fixed digits, then cut.
QString formattedAsBefore(double value, int decimals) {
    if (!std::isfinite(value)) value = 0.0;
    if (decimals < 0) decimals = 0;
    QString text = QString::number(value, 'f', decimals);
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    if (point >= 0) {
        qsizetype end = text.size();
        const qsizetype lookFrom = std::max<qsizetype>(point + 1, end - 6);
        while (end > lookFrom && text.at(end - 1) == QLatin1Char('0'))
            --end;
        if (end == point + 1) end = point;
        text.truncate(end);
    }
    text.remove(QLatin1Char(' '));
    if (text == QLatin1String("-0")) text = QStringLiteral("0");
    return text;
}

// The value exactly, and its bits, for a failure's message.
QString valueText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%a (%.17g)", value, value);
    return QString::fromLatin1(text);
}

// Every decimals count the program asks for (0 to 6), those past the fast path's nine, and a negative.
constexpr int kFewestDecimals = -1;
constexpr int kMostDecimals = 12;

// Compares each value at every decimals count through all three entry points; says which differ.
class Comparison {
public:
    void check(double value) {
        for (int decimals = kFewestDecimals; decimals <= kMostDecimals; ++decimals) {
            const QString expected = formattedAsBefore(value, decimals);
            QString appended = QStringLiteral("|x|");
            appendDisplayNumber(appended, value, decimals);
            const QString padded = displayNumberPadded(value, 14, decimals);
            const bool same = displayNumber(value, decimals) == expected &&
                              appended == QStringLiteral("|x|") + expected &&
                              padded == expected.rightJustified(14, QLatin1Char(' '));
            ++compared_;
            if (same) continue;
            if (differences_.size() < 10)
                differences_.append(valueText(value) + QStringLiteral(" at %1: ").arg(decimals) +
                                    displayNumber(value, decimals) + QStringLiteral(" instead of ") +
                                    expected);
            ++different_;
        }
    }
    void expectAllSame(int atLeast) const {
        EXPECT_GE(compared_, atLeast);
        EXPECT_EQ(different_, 0) << qPrintable(differences_.join(QLatin1Char('\n')));
    }

private:
    int compared_ = 0;
    int different_ = 0;
    QStringList differences_;
};

} // namespace

TEST(DisplayNumberFast, SameTextAsBeforeAtTheEdges) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> edges = {0.0,
                                       -0.0,
                                       1.0,
                                       -1.0,
                                       0.5,
                                       -0.5,
                                       1.5,
                                       2.5,
                                       -2.5,
                                       0.25,
                                       0.75,
                                       0.125,
                                       -0.125,
                                       0.05,
                                       0.005,
                                       0.0005,
                                       0.045,
                                       1.005,
                                       2.675,
                                       1234567.125,
                                       -1234567.125,
                                       9.5,
                                       99.5,
                                       999.9995,
                                       9.9999999995,
                                       0.9999999995,
                                       -0.0001,
                                       -0.00000001,
                                       1e-7,
                                       1e-9,
                                       1e-10,
                                       5e-10,
                                       4.9999999999e-10,
                                       1e15,
                                       -1e15,
                                       std::nextafter(1e15, 0.0),
                                       std::nextafter(-1e15, 0.0),
                                       999999999999999.5,
                                       999999999999999.9,
                                       1e16,
                                       1e21,
                                       1e22,
                                       1e300,
                                       -1e300,
                                       std::numeric_limits<double>::max(),
                                       std::numeric_limits<double>::lowest(),
                                       std::numeric_limits<double>::min(),
                                       std::numeric_limits<double>::denorm_min(),
                                       -std::numeric_limits<double>::denorm_min(),
                                       std::numeric_limits<double>::epsilon(),
                                       std::numeric_limits<double>::quiet_NaN(),
                                       -std::numeric_limits<double>::quiet_NaN(),
                                       inf,
                                       -inf,
                                       4503599627370495.5,
                                       4503599627370496.0,
                                       9007199254740993.0,
                                       0.1,
                                       0.2,
                                       0.3,
                                       1.0 / 3.0,
                                       2.0 / 3.0};
    // Where the digits stop fitting a whole number of 52 bits, for every decimals count, and half a unit
    // of the last decimal shown.
    std::vector<double> limits;
    for (int decimals = 0; decimals <= kMostDecimals; ++decimals) {
        limits.push_back(std::ldexp(1.0, 52) / std::pow(10.0, decimals));
        limits.push_back(-std::ldexp(1.0, 52) / std::pow(10.0, decimals));
        limits.push_back(0.5 / std::pow(10.0, decimals));
        limits.push_back(-0.5 / std::pow(10.0, decimals));
    }
    Comparison comparison;
    for (double v : limits) {
        comparison.check(v);
        comparison.check(std::nextafter(v, inf));
        comparison.check(std::nextafter(v, -inf));
    }
    for (double v : edges) {
        comparison.check(v);
        comparison.check(std::nextafter(v, inf));
        comparison.check(std::nextafter(v, -inf));
    }
    comparison.expectAllSame(static_cast<int>(edges.size() + limits.size()) * 3 *
                             (kMostDecimals - kFewestDecimals + 1));
}

// Values exactly halfway between two texts round away from zero, as QString::number rounds them; the
// doubles next to them round to the nearer text.
TEST(DisplayNumberFast, SameTextAsBeforeAtExactHalves) {
    std::mt19937_64 random(20261210);
    std::uniform_int_distribution<std::int64_t> odd(0, (std::int64_t{1} << 40) - 1);
    Comparison comparison;
    int checked = 0;
    for (int decimals = 0; decimals <= kMostDecimals; ++decimals) {
        for (int i = 0; i < 300; ++i) {
            // An odd multiple of 2^-(decimals+1): times 10^decimals it ends in exactly one half.
            const auto n = static_cast<double>(2 * (i < 50 ? i : odd(random) >> (i % 40)) + 1);
            const double half = std::ldexp(n, -(decimals + 1));
            for (double v : {half, -half, std::nextafter(half, 0.0), std::nextafter(half, 2 * half + 1)}) {
                comparison.check(v);
                ++checked;
            }
        }
    }
    comparison.expectAllSame(checked * (kMostDecimals - kFewestDecimals + 1));
}

TEST(DisplayNumberFast, SameTextAsBeforeForRandomValues) {
    std::mt19937_64 random(7);
    Comparison comparison;
    int checked = 0;
    // Meter readings as stored from text: a whole number of hundredths, thousandths, ... and the doubles
    // either side of them.
    std::uniform_int_distribution<std::int64_t> whole(-(std::int64_t{1} << 50), std::int64_t{1} << 50);
    std::uniform_int_distribution<int> places(0, 9);
    for (int i = 0; i < 2500; ++i) {
        const double v = static_cast<double>(whole(random) >> (i % 48)) / std::pow(10.0, places(random));
        for (double near : {v, std::nextafter(v, 1e300), std::nextafter(v, -1e300)}) {
            comparison.check(near);
            ++checked;
        }
    }
    // Any magnitude from far below the smallest decimal shown to far above the fast path's limit.
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    std::uniform_int_distribution<int> exponent(-14, 20);
    for (int i = 0; i < 2500; ++i) {
        const double v = (i % 2 ? -1.0 : 1.0) * mantissa(random) * std::pow(10.0, exponent(random));
        comparison.check(v);
        ++checked;
    }
    // Any bit pattern at all: NaNs, infinities, subnormals and the whole exponent range.
    for (int i = 0; i < 1000; ++i) {
        comparison.check(std::bit_cast<double>(random()));
        ++checked;
    }
    comparison.expectAllSame(checked * (kMostDecimals - kFewestDecimals + 1));
}
