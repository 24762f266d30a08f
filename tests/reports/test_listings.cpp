// The statistical listings of a stored point and their CSV copies.
#include "common/TextFile.h"
#include "reports/StatListing.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::reports;

namespace {

// Three gas days (contract hour 9) and the day before them, as stored.
class StoredDays final : public ReportSource {
public:
    bool fromDatabase() const override { return true; }
    bool wasRead(corrector::Archive) const override { return true; }
    QList<PeriodRecord> periodRecords(corrector::Archive archive, const QDateTime& from,
                                      const QDateTime& to) const override {
        QList<PeriodRecord> out;
        if (archive != corrector::Archive::Daily) return out;
        for (int d = 0; d < 4; ++d) {
            PeriodRecord r;
            r.number = 40 + d;
            r.end = QDateTime(QDate(2024, 3, 1 + d), QTime(9, 0));
            r.working = 100 + d;
            r.standard = 150.5 + d;
            r.alarmWorking = d == 2 ? 2.5 : 0;
            r.pressure = 0.1013;
            r.pressureUnit = QStringLiteral("МПа");
            r.temperature = 5;
            r.counter = 1000 + 100 * d;
            r.status = d == 2 ? QStringLiteral("xИВ") : QStringLiteral("xxx");
            r.parameterText = QStringLiteral("000000000000000000000000090000000");
            if (r.end >= from && r.end <= to) out.append(r);
        }
        return out;
    }
    QList<AlarmRecord> alarms(const QDateTime&, const QDateTime&) const override { return {}; }
    QList<InterventionRecord> interventions(const QDateTime&, const QDateTime&) const override { return {}; }
};

ListingOptions daily() {
    ListingOptions o;
    o.archive = ListingArchive::Daily;
    o.period = ReportPeriod::Range;
    o.begin = QDate(2024, 3, 1);
    o.end = QDate(2024, 3, 3);
    for (int c : {0, 1, 3, 5, 7, 11, 14, 16})
        o.columns.on[static_cast<std::size_t>(c)] = true;
    return o;
}

ReportHeader header() {
    ReportHeader h;
    h.model = QStringLiteral("ТАРН-2.01");
    h.serial = QStringLiteral("12345");
    h.organisation = QStringLiteral("Облгаз");
    h.pipeline = QStringLiteral("Нитка 1");
    return h;
}

} // namespace

TEST(Listings, ADailyListingWithTheChosenColumnsCarriesTheCounterAndTheRunningSums) {
    const Listing l =
        buildPointListing(StoredDays(), header(), daily(), QDateTime(QDate(2024, 4, 1), QTime(8, 0)));
    ASSERT_TRUE(l.error.isEmpty()) << l.error.toStdString();
    const QStringList text = l.text();
    EXPECT_EQ(text.at(0),
              QStringLiteral("/кор.* ТАРН-2.01 N 12345/период/суточ.архив** с 01.03.2024 по 03.03.2024 "
                             "Составлен:01.04.2024 08:00:00/"));
    EXPECT_EQ(text.at(1), QStringLiteral("корректор..... ТАРН-2.01 N12345"));
    EXPECT_EQ(text.at(2), QStringLiteral("организация... Облгаз                           ветка...Нитка 1"));
    const QString head = QStringLiteral("|ном. |дата      |Vраб        |Vавр        |P       |Vсчетч.     "
                                        "|Vраб.н.итог |И/В|");
    EXPECT_EQ(text.at(3), QString(head.size(), QLatin1Char('-')));
    EXPECT_EQ(text.at(4), head);
    // A day is listed under its gas day; the counter goes on from the day before the period; pressure is
    // shown in kgf/cm² with three decimals.
    EXPECT_EQ(text.at(6), QStringLiteral("|41   |01.03.2024|101         |0           |1.033   |1101        "
                                         "|101         |-|-|"));
    EXPECT_EQ(text.at(7), QStringLiteral("|42   |02.03.2024|102         |2.5         |1.033   |1205.5      "
                                         "|205.5       |*|*|"));
    EXPECT_EQ(text.last(), QStringLiteral("|Итого|          |306         |2.5         |1.033   |1308.5      "
                                          "|308.5       |*|*|"));
}

TEST(Listings, TheCsvCopyTurnsBarsIntoTheDelimiterAndLeavesRulesOut) {
    const Listing l =
        buildPointListing(StoredDays(), header(), daily(), QDateTime(QDate(2024, 4, 1), QTime(8, 0)));
    const QStringList withoutTotals = listingCsv(l, QLatin1Char(';'), false);
    ASSERT_EQ(withoutTotals.size(), 1 + 1 + 3); // title, header, one line a day
    EXPECT_EQ(withoutTotals.at(0), l.text().at(0));
    EXPECT_EQ(
        withoutTotals.at(1),
        QStringLiteral("ном. ;дата      ;Vраб        ;Vавр        ;P       ;Vсчетч.     ;Vраб.н.итог ;И/В;"));
    EXPECT_EQ(withoutTotals.at(2).left(17), QStringLiteral("41   ;01.03.2024;"));
    const QStringList withTotals = listingCsv(l, QLatin1Char(','), true);
    EXPECT_EQ(withTotals.size(), 6);
    EXPECT_TRUE(withTotals.last().startsWith(QStringLiteral("Итого,")));
    EXPECT_EQ(defaultListingCsvName(QStringLiteral("t12345"), ListingArchive::Hourly, QDate(2024, 4, 1)),
              QStringLiteral("t12345_h240401.csv"));
}

TEST(Listings, NothingChosenNothingThereAndTheColumnChoiceKept) {
    ListingOptions none = daily();
    none.columns = {};
    EXPECT_EQ(buildPointListing(StoredDays(), header(), none, QDateTime::currentDateTime()).error,
              QStringLiteral("не определены параметры!!!"));
    ListingOptions later = daily();
    later.begin = QDate(2025, 1, 1);
    later.end = QDate(2025, 1, 31);
    const Listing empty = buildPointListing(StoredDays(), header(), later, QDateTime::currentDateTime());
    EXPECT_EQ(empty.text().last(), QStringLiteral("-- нет данных --"));
    ListingOptions operative = daily();
    operative.archive = ListingArchive::Operative;
    EXPECT_EQ(
        buildPointListing(StoredDays(), header(), operative, QDateTime::currentDateTime()).text().at(4),
        QStringLiteral("| н.п.|Дата      |Время|P         |T(град.С) |Ккорр     |Qрасход   |Vсчетчик    |"));

    test::TempHome home;
    EXPECT_TRUE(loadStatColumns(home.root()).any()); // a first listing has columns to show
    ASSERT_TRUE(saveStatColumns(home.root(), daily().columns));
    EXPECT_EQ(readTextLines(home.path(folder::Current, QStringLiteral("PutSet.000"))),
              std::optional<QStringList>(QStringList{QStringLiteral("110101010001001010")}));
    EXPECT_EQ(loadStatColumns(home.root()).on, daily().columns.on);
}
