// Polling groups in their files, and the day's schedule built from them.
#include "common/Language.h"
#include "common/TextFile.h"
#include "polling/GroupMembers.h"
#include "polling/Groups.h"
#include "polling/Schedule.h"
#include "support/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::polling;

namespace {

QStringList rows(const DaySchedule& s) {
    QStringList out;
    for (const ScheduleRow& r : s.rows)
        out.append(r.group.trimmed() + QLatin1Char(' ') + r.begin + QLatin1Char('-') + r.end);
    return out;
}

Group boilers() {
    Group g;
    g.name = QStringLiteral("Котельні");
    g.schedule = {QStringLiteral("08:00-12:00-01:00")};
    g.flags = QStringLiteral("0110000100");
    g.members = {
        {true, QStringLiteral("ТАРН-2.01   №12345  Облгаз                                   t12345")},
        {false, QStringLiteral("ТАРН-2.01   №54321  Облгаз                                   t54321")}};
    return g;
}

} // namespace

TEST(DaySchedule, WindowsBecomeRowsInTimeOrderAndTheDueRowIsFound) {
    const DaySchedule s = buildDaySchedule(
        {{QStringLiteral("Котельні"), QStringLiteral("/08:00-12:00-01:00/22:00-00:00-01:00/")},
         {QStringLiteral("Школи"), QStringLiteral("/09:30-10:00-00:00/")},
         {QStringLiteral("Лікарні"), QStringLiteral("/09:00-10:00-00:00/")},
         {QStringLiteral("Без розкладу"), QStringLiteral("/")}},
        QDate(2024, 3, 7));
    EXPECT_EQ(rows(s),
              (QStringList{QStringLiteral("Котельні 08:00-09:00"), QStringLiteral("Котельні 09:00-10:00"),
                           QStringLiteral("Лікарні 09:00-10:00"), QStringLiteral("Школи 09:30-10:00"),
                           QStringLiteral("Котельні 10:00-11:00"), QStringLiteral("Котельні 11:00-12:00"),
                           QStringLiteral("Котельні 22:00-23:00"), QStringLiteral("Котельні 23:00-00:00")}));
    EXPECT_EQ(s.rows.last().number, 8);
    EXPECT_EQ(s.title(), QStringLiteral("Расписание опроса 07.03.2024"));

    DaySchedule day = buildDaySchedule(
        {{QStringLiteral("A"), QStringLiteral("/08:00-09:00-00:00/12:00-13:00-00:00/")}}, QDate(2024, 3, 7));
    EXPECT_EQ(findDueRow(day, 12 * 60 + 5), 1);
    EXPECT_EQ(day.rows.at(0).status, QStringLiteral("пропущ."));
    day.rows[1].status = QStringLiteral("норма");
    EXPECT_EQ(findDueRow(day, 12 * 60 + 6), -1);
}

TEST(GroupFiles, SavedAsTheConfiguratorDoesAndReadBack) {
    test::TempHome home;
    const QDateTime made(QDate(2008, 12, 5), QTime(14, 30, 12));
    GroupSaveResult r = saveGroup(home.root(), {QString(), QString(), boilers()}, kUkrainian, made, {});
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.file, QStringLiteral("081205143012"));
    EXPECT_EQ(readTextLines(groupListPath(home.root())),
              std::optional<QStringList>(QStringList{QStringLiteral("0/081205143012/Котельні            ")}));
    const Group back = loadGroup(home.root(), r.file);
    EXPECT_EQ(back.name, QStringLiteral("Котельні            "));
    EXPECT_EQ(back.schedule, QStringList{QStringLiteral("08:00-12:00-01:00")});
    EXPECT_EQ(back.flags, QStringLiteral("0110000100"));
    EXPECT_EQ(back.memberIdentifiers(), QStringList{QStringLiteral("t12345")});
    const QList<GroupEntry> list = loadGroupList(home.root());
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(groupListEntry(list.first(), back), QStringLiteral("Котельні            /08:00-12:00-01:00/"));
    EXPECT_EQ(scheduleString(groupListEntry(list.first(), back)), QStringLiteral("/08:00-12:00-01:00/"));

    // The same name again is refused; an empty one too.
    r = saveGroup(home.root(), {QString(), QString(), boilers()}, kRussian, made.addSecs(1), {});
    EXPECT_EQ(r.error, QStringLiteral("Группа - Котельні уже есть!!!"));
    Group unnamed = boilers();
    unnamed.name = QStringLiteral("   ");
    EXPECT_EQ(saveGroup(home.root(), {QString(), QString(), unnamed}, kRussian, made, {}).error,
              QStringLiteral("Не определено имя  группы!!!"));

    // A renamed group is asked about, then made again under its new name; its mark is the new one's.
    QList<GroupEntry> marked = loadGroupList(home.root());
    marked[0].mark = true;
    ASSERT_TRUE(saveGroupMarks(home.root(), marked));
    Group renamed = boilers();
    renamed.name = QStringLiteral("Котельні міста");
    QStringList questions;
    r = saveGroup(home.root(), {QStringLiteral("081205143012"), QStringLiteral("Котельні"), renamed},
                  kRussian, made.addSecs(60), [&](const QString& q) {
                      questions.append(q);
                      return true;
                  });
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(questions, QStringList{QStringLiteral("Изменено имя группы, переписать?")});
    EXPECT_EQ(r.file, QStringLiteral("081205143112"));
    EXPECT_FALSE(QFile::exists(home.path(folder::Group, QStringLiteral("081205143012"))));
    ASSERT_EQ(loadGroupList(home.root()).size(), 1);
    EXPECT_EQ(loadGroupList(home.root()).first().name.trimmed(), QStringLiteral("Котельні міста"));

    // A second group made in the same second gets a file of its own.
    Group schools = boilers();
    schools.name = QStringLiteral("Школи");
    const GroupSaveResult second =
        saveGroup(home.root(), {QString(), QString(), schools}, kRussian, made.addSecs(60), {});
    ASSERT_TRUE(second.error.isEmpty()) << second.error.toStdString();
    EXPECT_EQ(second.file, QStringLiteral("081205143113"));
    EXPECT_EQ(loadGroup(home.root(), r.file).name.trimmed(), QStringLiteral("Котельні міста"));
    EXPECT_TRUE(deleteGroup(home.root(), second.file, kRussian).isEmpty());

    EXPECT_TRUE(deleteGroup(home.root(), r.file, kRussian).isEmpty());
    EXPECT_TRUE(loadGroupList(home.root()).isEmpty());
    EXPECT_FALSE(QFile::exists(home.path(folder::Group, r.file)));
}

TEST(GroupFiles, AWindowMayNotBeginBeforeTheLastOneEnds) {
    const QStringList windows{QStringLiteral("08:00-12:00-01:00")};
    EXPECT_EQ(checkNewWindow(windows, QTime(10, 0), QTime(11, 0), kRussian),
              QStringLiteral("Ошибка набора времени ! 11:00"));
    EXPECT_TRUE(checkNewWindow(windows, QTime(12, 0), QTime(0, 0), kRussian).isEmpty()); // up to 24:00
    EXPECT_FALSE(checkNewWindow({}, QTime(10, 0), QTime(9, 0), kRussian).isEmpty());
    EXPECT_EQ(windowText(QTime(22, 0), QTime(0, 0), QTime(1, 0)), QStringLiteral("22:00-00:00-01:00"));
}

TEST(GroupFiles, ANameLongerThanTwentyIsKeptCutAndFoundByWhatWasTyped) {
    test::TempHome home;
    const QDateTime made(QDate(2008, 12, 5), QTime(14, 30, 12));
    Group g = boilers();
    g.name = QStringLiteral("Котельні Лівого берега міста");
    GroupSaveResult r = saveGroup(home.root(), {QString(), QString(), g}, kRussian, made, {});
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(keptGroupName(g.name), QStringLiteral("Котельні Лівого бере"));
    const auto found = findGroupByName(home.root(), g.name);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->file, r.file);
    EXPECT_EQ(findGroupByName(home.root(), QStringLiteral("Котельні Лівого бере"))->file, r.file);

    // Saved again under the same long name: the same group, not a rename, nothing asked.
    bool asked = false;
    r = saveGroup(home.root(), {found->file, found->name, g}, kRussian, made.addSecs(5), [&](const QString&) {
        asked = true;
        return true;
    });
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_FALSE(asked);
    EXPECT_EQ(r.file, found->file);
    // A second long name that cuts to the same twenty is the same group.
    Group twin = g;
    twin.name = QStringLiteral("Котельні Лівого берега району");
    EXPECT_EQ(saveGroup(home.root(), {QString(), QString(), twin}, kRussian, made.addSecs(9), {}).error,
              QStringLiteral("Группа - Котельні Лівого бере уже есть!!!"));
}

TEST(GroupFiles, ANameThatCannotBeOneLineOfTheCodePageIsRefused) {
    test::TempHome home;
    const QDateTime made(QDate(2008, 12, 5), QTime(14, 30, 12));
    const struct {
        const char16_t* name;
        const char16_t* refused; // empty: kept
    } cases[] = {
        {u"Котельні №1", u""},
        {u"Школи\nнові", u"Недопустимый символ в имени группы: U+000A"},
        {u"Школи\tнові", u"Недопустимый символ в имени группы: U+0009"},
        {u"Σχολεία", u"Недопустимый символ в имени группы: Σ (U+03A3)"},
        {u"Котельні ✓", u"Недопустимый символ в имени группы: ✓ (U+2713)"},
    };
    int second = 0;
    for (const auto& c : cases) {
        Group g = boilers();
        g.name = QString::fromUtf16(c.name);
        const GroupSaveResult r =
            saveGroup(home.root(), {QString(), QString(), g}, kRussian, made.addSecs(++second), {});
        EXPECT_EQ(r.error, QString::fromUtf16(c.refused)) << g.name.toStdString();
        EXPECT_EQ(r.file.isEmpty(), !r.error.isEmpty());
    }
    ASSERT_EQ(loadGroupList(home.root()).size(), 1);
    EXPECT_EQ(loadGroupList(home.root()).first().name.trimmed(), QStringLiteral("Котельні №1"));
}

TEST(GroupFiles, MembersNoLongerRegisteredAreNamed) {
    const Group g = boilers(); // t12345 a member, t54321 not
    const QStringList registered{boilers().members.at(1).line};
    EXPECT_EQ(unregisteredMembers(g, registered), QStringList{QStringLiteral("t12345")});
    EXPECT_TRUE(unregisteredMembers(g, {boilers().members.at(0).line}).isEmpty());
}

// Found by fuzzing the group files: a list line whose file is no plain name made the stamp, taken every
// second while the schedule waits, ask Qt to open an empty path, and Qt warned each time. A change to a
// group file the list names properly still changes the stamp.
TEST(GroupFiles, TheStampSkipsListLinesNamingNoFile) {
    test::TempHome home;
    home.write(folder::Group, QStringLiteral("name_G.000"),
               QByteArray("1/../name_G.000/North/\r\n0/261210080000/South/\r\n"));
    home.write(folder::Group, QStringLiteral("261210080000"), QByteArray("0*South\r\n"));
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& m) { warnings.append(m); });
    const QByteArray before = groupFilesStamp(home.root());
    home.write(folder::Group, QStringLiteral("261210080000"), QByteArray("0*South\r\n3*1line\r\n"));
    const QByteArray after = groupFilesStamp(home.root());
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << qPrintable(warnings.join(u'\n'));
    EXPECT_NE(before, after);
    EXPECT_TRUE(before.startsWith("1/../name_G.000/North/"));
}

// A group file read again is parsed again only when its bytes differ: a change of one mark, the file's
// size unchanged, shows at the next read, as does the same name in another installation; a file gone
// reads as no group.
TEST(GroupFiles, AGroupReadAgainShowsEveryChangeOfItsBytes) {
    test::TempHome home;
    test::TempHome other;
    const QString name = QStringLiteral("g_same.000");
    auto write = [&name](const test::TempHome& h, const char* member) {
        const QStringList lines{QStringLiteral("0*Котельні"), QStringLiteral("1*08:00-12:00-01:00"),
                                QStringLiteral("2*0110000100"), QString::fromUtf8(member)};
        ASSERT_TRUE(writeTextLines(h.path(folder::Group, name), lines));
    };
    write(home, "3*1ТАРН-2.01   №12345  Облгаз                                   t12345");
    write(other, "3*0ТАРН-2.01   №54321  Облгаз                                   t54321");
    EXPECT_EQ(loadGroup(home.root(), name).memberIdentifiers(), QStringList{QStringLiteral("t12345")});
    EXPECT_TRUE(loadGroup(other.root(), name).memberIdentifiers().isEmpty());
    EXPECT_EQ(loadGroup(home.root(), name).memberIdentifiers(), QStringList{QStringLiteral("t12345")});

    write(home, "3*0ТАРН-2.01   №12345  Облгаз                                   t12345");
    EXPECT_TRUE(loadGroup(home.root(), name).memberIdentifiers().isEmpty());
    EXPECT_EQ(loadGroup(home.root(), name).members.size(), 1);
    ASSERT_TRUE(QFile::remove(home.path(folder::Group, name)));
    const Group gone = loadGroup(home.root(), name);
    EXPECT_TRUE(gone.members.isEmpty());
    EXPECT_TRUE(gone.name.isEmpty());
}
