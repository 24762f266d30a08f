// The archives: record checks, the decoded rows of every archive, the page check with its rejections,
// blank mode and the empty end, and the gaps between records.
#include "common/Language.h"
#include "corrector/Archives.h"
#include "corrector/CorrectorTestSupport.h"
#include "corrector/DeviceValues.h"
#include "corrector/ValueLists.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::corrector;
using test::hex;

namespace {

ModelProfile profileFor(char letter, const char* version = "46a") {
    char tag[5] = {letter, version[0], version[1], version[2], 0};
    return DeriveModelProfile(test::identification('A', tag), 1234);
}

// A record with its check byte: the 8-bit sum of all its bytes is zero.
QByteArray sealed(QByteArray r) {
    quint8 sum = 0;
    for (char c : r)
        sum = static_cast<quint8>(sum + static_cast<quint8>(c));
    r.append(static_cast<char>(static_cast<quint8>(0x100 - sum)));
    return r;
}

struct Context {
    ModelProfile profile = profileFor('V');
    ParameterImage image;
    ArchiveContext context() const { return ArchiveContext{profile, image, kRussian, 2}; }
};

const QByteArray kHourly =
    hex("48 40 C2 00 00 A0 3F 00 00 30 40 00 00 80 3E 00 00 40 3F E8 03 0C FE 10 27 39 30 01 30 01 00 63");

} // namespace

TEST(ArchiveRecords, AnHourlyRecordCellByCell) {
    Context c;
    ASSERT_TRUE(recordCheckOk(kHourly));
    const QStringList row = decodeRecord(Archive::Hourly, kHourly, 7, c.context());
    EXPECT_EQ(row, (QStringList{"00007", minutesDateText(readMinutes(kHourly, 0)),
                                minutesTimeText(readMinutes(kHourly, 0)), "1.25", "2.75", "0.25", "0.75",
                                "1.000", "-5.00", "1.0000", "1.2345", "xИВ/xxxxxxxxxxxO"}));
    EXPECT_EQ(row.size(), archiveColumns(Archive::Hourly, c.context()).size());
    // In MPa the pressure is divided, the rest stays.
    QByteArray page(256, '\0');
    page[2 * 4] = 0x02; // ConfigBits: pressure in MPa
    c.image.DecodePage(0, page, c.profile);
    EXPECT_EQ(decodeRecord(Archive::Hourly, kHourly, 0, c.context()).value(7), QStringLiteral("0.098"));
    // Any byte changed: the check fails.
    QByteArray bad = kHourly;
    bad[5] = static_cast<char>(bad[5] + 1);
    EXPECT_FALSE(recordCheckOk(bad));
}

TEST(ArchiveRecords, CorrectionFactorsFromSixKgfAreThousandthsShownWithFourDecimals) {
    Context c;
    QByteArray r = kHourly.left(31);
    r[19] = static_cast<char>(0x70); // 6000: 6 kgf/cm²
    r[20] = static_cast<char>(0x17);
    EXPECT_EQ(decodeRecord(Archive::Hourly, sealed(r), 0, c.context()).value(10), QStringLiteral("12.3450"));
    r[25] = static_cast<char>(0x7E); // 1150 thousandths
    r[26] = static_cast<char>(0x04);
    EXPECT_EQ(decodeRecord(Archive::Hourly, sealed(r), 0, c.context()).value(10), QStringLiteral("1.1500"));
    // The operative archive's factor follows the same rule.
    const QByteArray operative = sealed(kHourly.left(3) + hex("70 17 0C FE 7E 04 64 00 00 00 00 00"));
    EXPECT_EQ(decodeRecord(Archive::Operative, operative, 0, c.context()).value(5), QStringLiteral("1.1500"));
}

TEST(ArchiveRecords, VolumesTakeTheInstallationsDecimals) {
    Context c;
    QByteArray r = kHourly.left(31);
    const QByteArray volume = floatBytes(11.224f);
    r.replace(3, 4, volume);
    for (const auto& [decimals, text] : {std::pair{2, "11.22"}, {3, "11.224"}, {0, "11"}, {6, "11.224000"}}) {
        const ArchiveContext context{c.profile, c.image, kRussian, decimals};
        EXPECT_EQ(decodeRecord(Archive::Hourly, sealed(r), 0, context).value(3), QString::fromLatin1(text));
    }
}

TEST(ArchiveRecords, StatusTextLettersAndMarks) {
    EXPECT_EQ(statusText(0x3001, 0x0001), QStringLiteral("xИВ/xxxxxxxxxxxO"));
    EXPECT_EQ(statusText(0x4000 | 0x0800, 0x0400), QStringLiteral("Зxx/.oxxxxxxxxxx"));
    EXPECT_EQ(statusText(0, 0), QStringLiteral("xxx/xxxxxxxxxxxx"));
}

TEST(ArchiveRecords, DailyAbnormalOperativeAndServiceRows) {
    Context c;
    c.profile = profileFor('V', "47b"); // heat energy
    QByteArray page(256, '\0');
    page[2 * 4 + 1] = 0; // pulse weight index 0
    c.image.DecodePage(0, page, c.profile);
    const double weight = c.image.pulseWeight();
    ASSERT_GT(weight, 0.0);

    QByteArray daily = kHourly.left(31) + i32Bytes(static_cast<qint32>(12345 * weight)) +
                       QByteArray(16, '\xAB') + i32Bytes(static_cast<qint32>(500 * weight)) +
                       floatBytes(1.5f) + floatBytes(9.0f);
    const QStringList d = decodeRecord(Archive::Daily, sealed(daily), 1, c.context());
    ASSERT_EQ(d.size(), archiveColumns(Archive::Daily, c.context()).size());
    EXPECT_EQ(d.value(11), QStringLiteral("12345.00"));
    EXPECT_EQ(d.value(12), QStringLiteral("xИВ"));
    EXPECT_EQ(d.value(13), QStringLiteral("ABABABABABABABABABABABABABABABAB"));
    EXPECT_EQ(d.value(14), QStringLiteral("1.500")); // Gcal as stored
    EXPECT_EQ(d.value(15), QStringLiteral("500.00"));
    EXPECT_EQ(archiveColumns(Archive::Daily, c.context()).value(14), QStringLiteral("E (Гкал)"));

    const QByteArray abnormal =
        sealed(kHourly.left(3) + hex("01 00 02 00") + floatBytes(2.5f) + floatBytes(3.25f));
    EXPECT_EQ(decodeRecord(Archive::Abnormal, abnormal, 2, c.context()),
              (QStringList{"00002", minutesDateText(readMinutes(kHourly, 0)),
                           minutesTimeText(readMinutes(kHourly, 0)), "0001", "0002", "2.50", "3.25"}));

    const QByteArray operative =
        sealed(kHourly.left(3) + hex("E8 03 0C FE 39 30 64 00") + i32Bytes(static_cast<qint32>(77 * weight)));
    const QStringList o = decodeRecord(Archive::Operative, operative, 3, c.context());
    EXPECT_EQ(o.mid(3), (QStringList{"1.000", "-5.00", "1.2345", QString::number(100 / 10.0 / weight, 'f', 2),
                                     "77.00"}));

    const QByteArray service = sealed(kHourly.left(3) + hex("34 12 78 56"));
    EXPECT_EQ(decodeRecord(Archive::Service, service, 4, c.context()).mid(3), (QStringList{"1234", "5678"}));
    // A record without a date keeps only its number.
    EXPECT_EQ(decodeRecord(Archive::Service, QByteArray(8, '\0'), 9, c.context()), QStringList{"00009"});
}

TEST(ArchiveRecords, InterferenceRowsByWhatChanged) {
    Context c;
    auto cells = [&](const char* bytes5to14) { return decodeInterference(hex(bytes5to14), c.context()); };
    const InterferenceCells unit = cells("08 51 00 02 00 00 02 02 00 00");
    EXPECT_EQ(unit.who, QStringLiteral("ОПЕР._A"));
    EXPECT_EQ(unit.parameter, QStringLiteral("единица_давления"));
    EXPECT_EQ(unit.before, QStringLiteral("кгс/см2"));
    EXPECT_EQ(unit.after, QStringLiteral("МПа"));

    const InterferenceCells hour = cells("06 04 07 00 00 00 09 00 00 00");
    EXPECT_EQ(hour.who, QStringLiteral("МАСТ._E"));
    EXPECT_EQ(hour.parameter, QStringLiteral("контрактн.время"));
    EXPECT_EQ(hour.before, QStringLiteral("7"));
    EXPECT_EQ(hour.after, QStringLiteral("9"));
    EXPECT_EQ(cells("10 0F 01 00 00 00 02 00 00 00").before, QStringLiteral("4(сек)"));
    EXPECT_EQ(cells("10 0F 01 00 00 00 02 00 00 00").who, QStringLiteral("НЕИЗ-ЫЙ")); // bit 3 of who
    EXPECT_EQ(cells("15 07 FD 00 00 00 02 00 00 00").before, QStringLiteral("-3"));
    EXPECT_EQ(cells("34 11 34 12 00 00 78 56 00 00").after, QStringLiteral("5678"));
    EXPECT_EQ(cells("34 11 34 12 00 00 78 56 00 00").parameter, QStringLiteral("Сигнал_изм.аварии"));
    // Values that are entries of a value list.
    const InterferenceCells baud = cells("0D 61 03 00 00 00 05 00 00 00");
    EXPECT_EQ(baud.parameter, QStringLiteral("скор.обмена_по_RS232"));
    EXPECT_EQ(baud.before, ChoiceText(ValueList::BaudList, 3, kRussian));
    EXPECT_EQ(baud.after, ChoiceText(ValueList::BaudList, 5, kRussian));
    EXPECT_FALSE(baud.after.isEmpty());
    EXPECT_EQ(cells("0C 62 00 00 00 00 04 00 00 00").after,
              QStringLiteral("5")); // the address, counted from 1
    // Passwords never show.
    const InterferenceCells password = cells("89 27 01 02 03 04 05 06 07 08");
    EXPECT_EQ(password.parameter, QStringLiteral("Смена_пароля"));
    EXPECT_EQ(password.before, QStringLiteral("XXXX"));
    // A text: four characters and an ellipsis.
    EXPECT_EQ(cells("69 76 41 42 43 01 44 45 46 47").before, QStringLiteral("ABC..."));
    EXPECT_EQ(cells("69 76 41 42 43 01 44 45 46 47").parameter, QStringLiteral("Наименование_счетч."));
    // A float with its pressure unit.
    const QByteArray f = hex("2D 36") + floatBytes(1.5f) + floatBytes(2.0f);
    EXPECT_EQ(decodeInterference(f, c.context()).after, QStringLiteral("2.000 (кгс/см2)"));
    EXPECT_EQ(decodeInterference(f, ArchiveContext{c.profile, c.image, kUkrainian, 2}).who,
              QStringLiteral("Конфігур."));
}

TEST(ArchivePages, ABadRecordIsReadFourTimesThenBlankedAndTheWalkGoesOn) {
    Context c;
    ArchiveTables tables;
    const ArchiveGeometry hourly = *archiveGeometry(3, c.profile);
    ArchivePageCheck check(hourly, tables, false);
    QByteArray page;
    for (int i = 0; i < 8; ++i)
        page += kHourly;
    QByteArray bad = page;
    bad[255] = static_cast<char>(bad[255] + 1); // the last record's check byte
    EXPECT_EQ(check.check(52, bad, c.context()), ArchivePageCheck::Verdict::Reject);
    EXPECT_EQ(check.check(52, bad, c.context()), ArchivePageCheck::Verdict::Reject);
    EXPECT_EQ(check.check(52, bad, c.context()), ArchivePageCheck::Verdict::Reject);
    EXPECT_EQ(tables.rowCount(Archive::Hourly), 0); // a rejected page leaves no rows
    EXPECT_EQ(check.check(52, bad, c.context()), ArchivePageCheck::Verdict::Accept);
    ASSERT_EQ(tables.rowCount(Archive::Hourly), 8);
    EXPECT_EQ(tables.rows(Archive::Hourly).last(), QStringList{"00007"});
    EXPECT_EQ(tables.cell(1, 3, 6), QStringLiteral("1.25"));
    // The next page starts afresh: one bad record is a rejection again, not a blank.
    EXPECT_EQ(check.check(53, bad, c.context()), ArchivePageCheck::Verdict::Reject);
    EXPECT_EQ(check.check(53, page, c.context()), ArchivePageCheck::Verdict::Accept);
    EXPECT_EQ(tables.rowCount(Archive::Hourly), 16);
    EXPECT_EQ(tables.cell(1, 0, 15), QStringLiteral("00015"));
}

TEST(ArchivePages, BlankModeBlanksOnlyTheBadRecord) {
    // Sixteen-byte records: a blank of any other size would run into its neighbour.
    Context c;
    ArchiveTables tables;
    ArchivePageCheck check(*archiveGeometry(10, c.profile), tables, false);
    const QByteArray service = sealed(kHourly.left(3) + hex("34 12 78 56"));
    QByteArray page;
    for (int i = 0; i < 32; ++i)
        page += service;
    page[8 * 5 + 7] = static_cast<char>(page[8 * 5 + 7] + 1);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(check.check(232, page, c.context()), ArchivePageCheck::Verdict::Reject);
    ASSERT_EQ(check.check(232, page, c.context()), ArchivePageCheck::Verdict::Accept);
    EXPECT_EQ(tables.rows(Archive::Service).value(5), QStringList{"00005"});
    EXPECT_EQ(tables.cell(7, 3, 4), QStringLiteral("1234"));
    EXPECT_EQ(tables.cell(7, 3, 6), QStringLiteral("1234"));
}

TEST(ArchivePages, BlankedRecordsAreCountedPerArchiveAndToldInBothLanguages) {
    Context c;
    ArchiveTables tables;
    ArchivePageCheck check(*archiveGeometry(3, c.profile), tables, false);
    QByteArray page;
    for (int i = 0; i < 8; ++i)
        page += kHourly;
    page[31] = static_cast<char>(page[31] + 1);
    page[95] = static_cast<char>(page[95] + 1);
    while (check.check(52, page, c.context()) == ArchivePageCheck::Verdict::Reject) {
    }
    EXPECT_EQ(tables.blanked(Archive::Hourly), 2);
    EXPECT_EQ(tables.blanked(Archive::Daily), 0);
    EXPECT_EQ(blankedRecordsLines(tables, kRussian), QStringList{"ЧАСОВОЙ: записей заменено пустыми: 2"});
    EXPECT_EQ(blankedRecordsLines(tables, kUkrainian),
              QStringList{"ГОДИННИЙ: записів замінено порожніми: 2"});
    EXPECT_EQ(blankedRecordsComment(tables), QStringLiteral("пустые: час 2"));
    // A clean reading tells nothing and leaves the request log's comment as it always was.
    tables.clear(Archive::Hourly);
    EXPECT_EQ(tables.blankedTotal(), 0);
    EXPECT_TRUE(blankedRecordsLines(tables, kRussian).isEmpty());
    EXPECT_EQ(blankedRecordsComment(tables), QStringLiteral("0"));
}

TEST(ArchivePages, TheServiceArchiveEndsAtItsDepthOnItsLastPage) {
    Context c;
    // 46a and later: pages 232..247 (16), records 0..495; before 44s: pages 232..255 (24), records 0..759.
    struct Case {
        const char* version;
        int pages;
        int lastRecord;
    };
    for (const Case& k : {Case{"46a", 16, 495}, Case{"44s", 24, 751}, Case{"43z", 24, 759}}) {
        SCOPED_TRACE(k.version);
        const ModelProfile profile = profileFor('V', k.version);
        const ArchiveGeometry service = *archiveGeometry(10, profile);
        EXPECT_EQ(service.pages, k.pages);
        const QByteArray record = sealed(kHourly.left(3) + hex("34 12 78 56"));
        QByteArray page;
        for (int i = 0; i < 32; ++i)
            page += record;
        // Past the depth the bytes are not records: even a broken one there asks for no re-read.
        QByteArray last = page;
        last[255] = static_cast<char>(last[255] + 1);
        ArchiveTables tables;
        ArchivePageCheck check(service, tables, false);
        for (int p = 232; p < 232 + service.pages - 1; ++p)
            ASSERT_EQ(check.check(p, page, c.context()), ArchivePageCheck::Verdict::Accept);
        EXPECT_EQ(check.check(232 + service.pages - 1, last, c.context()), ArchivePageCheck::Verdict::Accept);
        ASSERT_EQ(tables.rowCount(Archive::Service), k.lastRecord + 1);
        EXPECT_EQ(tables.cell(7, 0, k.lastRecord),
                  QStringLiteral("%1").arg(k.lastRecord, 5, 10, QLatin1Char('0')));
    }
    // An identification that gave no geometry reads the later models' area.
    EXPECT_EQ(archiveGeometry(10, ModelProfile{})->pages, 16);
    EXPECT_EQ(archiveGeometry(10, ModelProfile{})->lastRecord, 495);
}

TEST(ArchivePages, TheEmptyEndAndTheShortLastOperativePage) {
    Context c;
    const ArchiveGeometry operative = *archiveGeometry(9, c.profile);
    EXPECT_EQ(operative.recordsOnPage(126), 16);
    EXPECT_EQ(operative.recordsOnPage(127), 8);
    const QByteArray record = sealed(kHourly.left(3) + hex("E8 03 0C FE 39 30 64 00 00 00 00 00"));
    QByteArray page;
    for (int i = 0; i < 16; ++i)
        page += record;
    ArchiveTables tables;
    ArchivePageCheck check(operative, tables, true);
    EXPECT_EQ(check.check(127, page, c.context()), ArchivePageCheck::Verdict::Accept);
    EXPECT_EQ(tables.rowCount(Archive::Operative), 8);

    // Two empty records go on; the third ends the archive after its page.
    QByteArray twoEmpty = page;
    twoEmpty.replace(0, 32, QByteArray(32, '\0'));
    QByteArray threeEmpty = page;
    threeEmpty.replace(0, 48, QByteArray(48, '\0'));
    ArchiveTables t2;
    ArchivePageCheck until(operative, t2, true);
    EXPECT_EQ(until.check(0, twoEmpty, c.context()), ArchivePageCheck::Verdict::Accept);
    EXPECT_EQ(until.check(1, threeEmpty, c.context()), ArchivePageCheck::Verdict::AcceptAndEnd);
    EXPECT_EQ(t2.rowCount(Archive::Operative), 32);
    ArchivePageCheck whole(operative, t2, false);
    EXPECT_EQ(whole.check(1, threeEmpty, c.context()), ArchivePageCheck::Verdict::Accept);
}

TEST(ArchiveTablesGaps, EmptyRowsBetweenFilledOnesAreGaps) {
    ArchiveTables t;
    t.setRow(Archive::Hourly, 0, {"00000"});
    t.setRow(Archive::Hourly, 1, {"00001", "01.03.2024", "01:00"});
    t.setRow(Archive::Hourly, 2, {"00002"});
    t.setRow(Archive::Hourly, 3, {"00003"});
    t.setRow(Archive::Hourly, 4, {"00004", "01.03.2024", "04:00"});
    t.setRow(Archive::Hourly, 5, {"00005"});
    t.setRow(Archive::Service, 0, {"00000", "x", "y"});
    t.setRow(Archive::Service, 1, {"00001"});
    t.setRow(Archive::Service, 2, {"00002", "x", "y"});
    EXPECT_EQ(findGaps(t),
              (QStringList{QStringLiteral("Часовой ном.зап.2"), QStringLiteral("Часовой ном.зап.3"),
                           QStringLiteral("Резервный ном.зап.1")}));
    EXPECT_EQ(t.cell(1, 1, 4), QStringLiteral("01.03.2024"));
    EXPECT_TRUE(t.cell(8, 0, 0).isEmpty());
    EXPECT_TRUE(t.cell(1, 0, 99).isEmpty());
}

TEST(SelectiveRead, PagesOfTheLastHoursAndDays) {
    // Hourly pointer 100, 24 hours: pages 61..64.
    EXPECT_EQ(planHourlyPages(100, 24).first, 61);
    EXPECT_EQ(planHourlyPages(100, 24).count, 4);
    // Pointer 5: the plan reaches back round the ring, and the page after 255 is 52, not 0.
    const SelectivePages wrap = planHourlyPages(5, 24);
    QList<int> pages{wrap.first};
    for (int i = 1; i < wrap.count; ++i)
        pages.append(nextSelectivePage(Archive::Hourly, pages.last()));
    EXPECT_EQ(pages, (QList<int>{253, 254, 255, 52}));
    // Daily pointer 2, 10 days: 222, 223, then 192.
    const SelectivePages daily = planDailyPages(2, 10);
    EXPECT_EQ(daily.first, 222);
    EXPECT_EQ(daily.count, 3);
    EXPECT_EQ(nextSelectivePage(Archive::Daily, 223), 192);
    EXPECT_EQ(nextSelectivePage(Archive::Daily, 200), 201);
    // The hours from the start day at the contract hour, the start counted.
    const QDateTime end(QDate(2024, 3, 2), QTime(6, 30));
    EXPECT_EQ(selectiveHours(QDate(2024, 3, 1), 9, end), 22);
    EXPECT_EQ(selectiveHours(QDate(2024, 3, 1), 9, QDateTime(QDate(2024, 3, 1), QTime(9, 0))), 1);
    EXPECT_EQ(selectiveHours(QDate(2024, 3, 3), 9, end), 1); // a start after the end still reads one hour
}
