// The statistical listings of a stored point and their CSV copies.
#include "common/TextFile.h"
#include "reports/AlarmCodes.h"
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

// A table line keeps where its cells end, not the cells: a cell wider than its column and a cell holding
// a bar of its own must still come back whole, in the window's line and in the CSV copy alike.
TEST(Listings, ATableLinesCellsComeBackWholeFromItsTextInTheCsvToo) {
    const ListingLine line =
        tableLine(ListingLine::Row,
                  {QStringLiteral("1"), QStringLiteral("*|-"), QStringLiteral("ГРП-1, нитка"), QString(),
                   QStringLiteral("ТОВ \"Газ\"")},
                  {3, 3, 4, 2, 1});
    EXPECT_EQ(line.text, QStringLiteral("|1  |*|-|ГРП-1, нитка|  |ТОВ \"Газ\"|"));
    const QList<QStringView> cells = line.cells();
    ASSERT_EQ(cells.size(), 5);
    EXPECT_EQ(cells.at(0), u"1  ");
    EXPECT_EQ(cells.at(1), u"*|-");
    EXPECT_EQ(cells.at(2), u"ГРП-1, нитка");
    EXPECT_EQ(cells.at(3), u"  ");
    EXPECT_EQ(cells.at(4), u"ТОВ \"Газ\"");
    Listing listing;
    listing.lines.append(line);
    // With a quote in a field every field is looked at; without one the line is written from its text.
    Listing plain;
    plain.lines.append(tableLine(ListingLine::Row, {QStringLiteral("1"), QStringLiteral("*|-")}, {3, 3}));
    for (const QChar delimiter : {QLatin1Char(';'), QLatin1Char(','), QLatin1Char('|')}) {
        for (const Listing* l : {&listing, &plain}) {
            const QStringList csv = listingCsv(*l, delimiter, true);
            ASSERT_EQ(csv.size(), 1);
            const auto read = test::readCsv(csv.first() + QStringLiteral("\r\n"), delimiter);
            ASSERT_TRUE(read) << csv.first().toStdString();
            ASSERT_EQ(read->size(), 1);
            QStringList expected;
            for (QStringView cell : l->lines.first().cells())
                expected.append(cell.toString());
            expected.append(QString()); // after the last delimiter
            EXPECT_EQ(read->first(), expected) << csv.first().toStdString();
        }
    }
    EXPECT_EQ(listingCsv(plain, QLatin1Char(';'), true), QStringList{QStringLiteral("1  ;*|-;")});
    EXPECT_EQ(listingCsv(plain, QLatin1Char('|'), true), QStringList{QStringLiteral("1  |\"*|-\"|")});
}

TEST(Listings, EveryCsvTableLineHasItsHeadersFieldsWhateverTheDelimiter) {
    const QDateTime now(QDate(2024, 4, 1), QTime(8, 0));
    ReportHeader h = header();
    h.pipeline = QStringLiteral("ГРП-1, нитка 1");
    h.organisation = QStringLiteral("ТОВ \"Газ\"");
    ListingOptions o = daily();
    const StoredDays days;
    const QList<ListingMember> members{{&days, h}};
    const Listing point = buildPointListing(*members.first().source, h, o, now);
    const Listing group = buildMembersListing(QStringLiteral("Схід, \"А\""), members, o, now);
    for (const QChar delimiter : {QLatin1Char(','), QLatin1Char(';'), QLatin1Char('|')}) {
        for (const Listing* l : {&point, &group}) {
            const QStringList csv = listingCsv(*l, delimiter, true);
            const auto records =
                test::readCsv(csv.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"), delimiter);
            ASSERT_TRUE(records) << QString(delimiter).toStdString();
            ASSERT_EQ(records->size(), csv.size());
            EXPECT_EQ(records->first(), QStringList{l->text().first()});
            const QStringList head = records->at(1);
            // Eight columns and the empty field after the last delimiter; "И/В" is one column.
            ASSERT_EQ(head.size(), 9);
            EXPECT_EQ(head.at(7), QStringLiteral("И/В"));
            for (qsizetype i = 2; i < records->size(); ++i) {
                if (l == &group && i == records->size() - 1) {
                    // The group's "Итог:" is one field, its text.
                    EXPECT_EQ(records->at(i), QStringList{l->text().last()});
                    continue;
                }
                ASSERT_EQ(records->at(i).size(), head.size()) << csv.at(i).toStdString();
                EXPECT_EQ(records->at(i).at(7).size(), 3);
                EXPECT_EQ(records->at(i).at(7).at(1), QLatin1Char('|'));
            }
            EXPECT_EQ(records->at(3).at(7), QStringLiteral("*|*"));
        }
    }
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

namespace {

// A member with operative records (one a gas day) and an abnormal situation that starts and ends on
// 2 March, closed by the corrector's day record at the contract hour.
class MemberRecords final : public ReportSource {
public:
    explicit MemberRecords(int operativeRecords) : operativeRecords_(operativeRecords) {}
    bool fromDatabase() const override { return true; }
    bool wasRead(corrector::Archive) const override { return true; }
    QList<PeriodRecord> periodRecords(corrector::Archive archive, const QDateTime& from,
                                      const QDateTime& to) const override {
        QList<PeriodRecord> out;
        if (archive != corrector::Archive::Daily) return out;
        PeriodRecord r;
        r.end = QDateTime(QDate(2024, 3, 3), QTime(9, 0));
        r.alarmWorking = 1.25;
        r.alarmStandard = 2.5;
        r.parameterText = QStringLiteral("000000000000000000000000090000000");
        if (r.end >= from && r.end <= to) out.append(r);
        return out;
    }
    QList<AlarmRecord> alarms(const QDateTime& from, const QDateTime& to) const override {
        const quint16 closing = alarmMask(kDayClosingSituation);
        QList<AlarmRecord> all{{1, QDateTime(QDate(2024, 3, 2), QTime(10, 0)), alarmMask(4), 0, 0, 0},
                               {2, QDateTime(QDate(2024, 3, 2), QTime(12, 30)), 0, alarmMask(4), 0, 0},
                               {3, QDateTime(QDate(2024, 3, 3), QTime(9, 0)), closing, 0, 0, 0}};
        QList<AlarmRecord> out;
        for (const AlarmRecord& a : all)
            if (a.when >= from && a.when <= to) out.append(a);
        return out;
    }
    QList<InterventionRecord> interventions(const QDateTime&, const QDateTime&) const override { return {}; }
    QList<OperativeRecord> operative(const QDateTime& from, const QDateTime& to) const override {
        QList<OperativeRecord> out;
        for (int i = 0; i < operativeRecords_; ++i) {
            OperativeRecord r;
            r.number = i + 1;
            r.when = QDateTime(QDate(2024, 3, 1 + i), QTime(12, 0));
            r.temperature = 4.5;
            r.counter = 1000.5 + i;
            if (r.when >= from && r.when <= to) out.append(r);
        }
        return out;
    }

private:
    int operativeRecords_;
};

ListingOptions groupOptions(ListingArchive archive) {
    ListingOptions o;
    o.archive = archive;
    o.period = ReportPeriod::Range;
    o.begin = QDate(2024, 3, 1);
    o.end = QDate(2024, 3, 2);
    return o;
}

} // namespace

TEST(Listings, AGroupListsEachMemberUnderItsOwnLinesAndClosesWithTheGroupsTotals) {
    const MemberRecords first(2), second(0);
    ReportHeader other = header();
    other.serial = QStringLiteral("00077");
    other.organisation = QStringLiteral("Райгаз");
    const QList<ListingMember> members{{&first, header()}, {&second, other}};
    const QDateTime made(QDate(2024, 4, 1), QTime(8, 0));

    const Listing operative =
        buildMembersListing(QStringLiteral(" Юг "), members, groupOptions(ListingArchive::Operative), made);
    ASSERT_TRUE(operative.error.isEmpty()) << operative.error.toStdString();
    const QStringList text = operative.text();
    EXPECT_EQ(text.first(), QStringLiteral("/груп.*Юг/период/опер.архив** с 01.03.2024 по 02.03.2024 "
                                           "Составлен:01.04.2024 08:00:00/"));
    // Each member's two lines, its header and its records (or "-- нет данных --"), in member order.
    EXPECT_EQ(text.count(QStringLiteral("корректор..... ТАРН-2.01 N12345")), 1);
    const qsizetype secondAt = text.indexOf(QStringLiteral("корректор..... ТАРН-2.01 N00077"));
    ASSERT_GT(secondAt, text.indexOf(QStringLiteral("корректор..... ТАРН-2.01 N12345")));
    EXPECT_EQ(text.at(secondAt + 1).left(21), QStringLiteral("организация... Райгаз"));
    EXPECT_EQ(text.indexOf(QStringLiteral("-- нет данных --")), secondAt + 5);
    EXPECT_EQ(text.count(QStringLiteral("| н.п.|Дата      |Время|P         |T(град.С) |Ккорр     |Qрасход   "
                                        "|Vсчетчик    |")),
              2);
    EXPECT_EQ(text.last(), QStringLiteral("Итог: корректоров - 2, записей - 2"));
    // The CSV copy has the totals line only when asked for.
    EXPECT_FALSE(listingCsv(operative, QLatin1Char(';'), false).contains(text.last()));
    EXPECT_TRUE(listingCsv(operative, QLatin1Char(';'), true).contains(text.last()));

    // The alarm archive record by record: both members' situations, their closed days' volumes and how
    // long the situations lasted, added up for the group.
    ListingOptions alarms = groupOptions(ListingArchive::Alarm);
    alarms.ukrainian = true;
    const QStringList alarmText = buildMembersListing(QStringLiteral("Юг"), members, alarms, made).text();
    EXPECT_TRUE(alarmText.first().startsWith(QStringLiteral("/груп.*Юг/період/авар.архів *")));
    EXPECT_EQ(alarmText.count(QStringLiteral("коректор...... ТАРН-2.01 N00077")), 1);
    EXPECT_EQ(alarmText.last(), QStringLiteral("Підсумок: коректорів - 2, записів - 6, Vроб.авр. - 2.5, "
                                               "Vст.у.авр. - 5, тривал. - 5:00"));
}
