#pragma once
// What every keeper of the polling groups must do the same way, the Group folder and the server's table
// alike: each test program instantiates these cases with its backend. A backend makes fresh, empty
// group files (start() says why it cannot, for a case to skip), another keeper of the same files as a
// second workstation has (another(), made on the thread that uses it), and reads a kept file's bytes its own
// way (rawBytes: the file itself, or the table's row), so that what the program wrote is checked by a reader
// that is not the program's.
#include "database/GroupFiles.h"
#include "polling/GroupMembers.h"
#include "polling/Groups.h"
#include "support/TestSupport.h"

#include "common/Cp1251.h"

#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

namespace tarn::test::groupcontract {

using namespace tarn::database;

inline const QDateTime kMade(QDate(2026, 12, 10), QTime(8, 0, 0));

// "Котельні" in Windows-1251, spelled byte by byte.
inline QByteArray boilersCp1251() {
    return hex("CA EE F2 E5 EB FC ED B3");
}

template <typename Backend> class GroupFilesContract : public ::testing::Test {
protected:
    void SetUp() override {
        const QString unavailable = backend_.start();
        if (!unavailable.isEmpty()) GTEST_SKIP() << unavailable.toStdString();
    }
    GroupFiles& files() { return backend_.files(); }
    Backend backend_;
};

TYPED_TEST_SUITE_P(GroupFilesContract);

TYPED_TEST_P(GroupFilesContract, AFileComesBackByteForByteAndAMissingOneIsNotFound) {
    GroupFiles& f = this->files();
    Error why;
    EXPECT_FALSE(f.read(QStringLiteral("261210080000"), why));
    EXPECT_EQ(why.kind, ErrorKind::NotFound);
    EXPECT_FALSE(f.exists(QStringLiteral("261210080000")));

    // Every byte value, a lone CR and a NUL among them: the keeper stores bytes, never text.
    QByteArray every;
    for (int b = 0; b < 256; ++b)
        every.append(static_cast<char>(b));
    ASSERT_TRUE(f.write(QStringLiteral("261210080000"), every).ok());
    const auto back = f.read(QStringLiteral("261210080000"), why);
    ASSERT_TRUE(back) << why.detail.toStdString();
    EXPECT_EQ(*back, every);
    EXPECT_EQ(this->backend_.rawBytes(QStringLiteral("261210080000")), every);
    EXPECT_TRUE(f.exists(QStringLiteral("261210080000")));

    // Written whole: a shorter file leaves nothing of the longer one.
    ASSERT_TRUE(f.write(QStringLiteral("261210080000"), QByteArray("0*\r\n")).ok());
    EXPECT_EQ(f.read(QStringLiteral("261210080000"), why).value_or(QByteArray()), QByteArray("0*\r\n"));

    // Removed, and removed again: no failure the second time.
    EXPECT_TRUE(f.remove(QStringLiteral("261210080000")).ok());
    EXPECT_TRUE(f.remove(QStringLiteral("261210080000")).ok());
    EXPECT_FALSE(f.read(QStringLiteral("261210080000"), why));
    EXPECT_EQ(why.kind, ErrorKind::NotFound);
}

TYPED_TEST_P(GroupFilesContract, ANameThatIsNoPlainFileNameNamesNothing) {
    GroupFiles& f = this->files();
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& m) { warnings.append(m); });
    for (const QString& name : {QStringLiteral("../name_G.000"), QStringLiteral("a/b"),
                                QStringLiteral("a\\b"), QStringLiteral(".."), QString()}) {
        Error why;
        EXPECT_FALSE(f.read(name, why)) << name.toStdString();
        EXPECT_EQ(why.kind, ErrorKind::Invalid) << name.toStdString();
        EXPECT_FALSE(f.exists(name));
        QString failed;
        EXPECT_TRUE(f.write(name, QByteArray("x")).failed()) << name.toStdString();
        EXPECT_TRUE(f.change({{name, QByteArray("x")}}, &failed).failed());
        EXPECT_EQ(failed, name);
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << qPrintable(warnings.join(u'\n'));
    Error why;
    EXPECT_TRUE(f.names(why).isEmpty());
}

TYPED_TEST_P(GroupFilesContract, TheStampMovesWithEveryChangeAndOnlyThen) {
    GroupFiles& f = this->files();
    const QByteArray empty = polling::groupFilesStamp(f);
    EXPECT_EQ(polling::groupFilesStamp(f), empty);

    ASSERT_TRUE(f.change({{QStringLiteral("261210080000"), QByteArray("0*South\r\n")},
                          {QString(kGroupListName), QByteArray("0/261210080000/South/\r\n")}})
                    .ok());
    const QByteArray listed = polling::groupFilesStamp(f);
    EXPECT_NE(listed, empty);
    EXPECT_EQ(polling::groupFilesStamp(f), listed);

    // A change that keeps the size is still a change.
    ASSERT_TRUE(f.write(QStringLiteral("261210080000"), QByteArray("0*North\r\n")).ok());
    const QByteArray renamed = polling::groupFilesStamp(f);
    EXPECT_NE(renamed, listed);

    // So is a removal, which leaves no file behind to look at.
    ASSERT_TRUE(
        f.change({{QString(kGroupListName), QByteArray()}, {QStringLiteral("261210080000"), std::nullopt}})
            .ok());
    EXPECT_NE(polling::groupFilesStamp(f), renamed);
}

TYPED_TEST_P(GroupFilesContract, GroupsAreSavedRenamedAndDeletedAsTheConfiguratorDoes) {
    GroupFiles& f = this->files();
    polling::Group g;
    g.name = QStringLiteral("Котельні");
    g.schedule = {QStringLiteral("06:00-08:00-00:00")};
    g.flags = QStringLiteral("0110000000");
    g.members = {{true, QStringLiteral("ТАРН-2.01    №12345  Облгаз                               t12345")}};
    const polling::GroupSaveResult saved = polling::saveGroup(f, {{}, {}, g}, kRussian, kMade, {});
    ASSERT_TRUE(saved.error.isEmpty()) << saved.error.toStdString();
    EXPECT_EQ(saved.file, QStringLiteral("261210080000"));

    // The list as another reader sees it: the mark, the file, the name padded to 20, in Windows-1251.
    EXPECT_EQ(this->backend_.rawBytes(QString(kGroupListName)),
              QByteArray("0/261210080000/") + boilersCp1251() + QByteArray(12, ' ') + "\r\n");
    const QByteArray group = this->backend_.rawBytes(saved.file);
    EXPECT_TRUE(group.startsWith(QByteArray("0*") + boilersCp1251() + QByteArray(12, ' ') +
                                 "\r\n1*06:00-08:00-00:00\r\n2*0110000000\r\n3*1"))
        << group.toStdString();
    EXPECT_TRUE(group.endsWith("t12345\r\n"));

    // Found by name, its members read back.
    const auto entry = polling::findGroupByName(f, QStringLiteral("Котельні"));
    ASSERT_TRUE(entry);
    EXPECT_EQ(polling::loadGroup(f, entry->file).memberIdentifiers(), QStringList{QStringLiteral("t12345")});

    // A second group in the same second takes the next free one.
    polling::Group schools = g;
    schools.name = QStringLiteral("Школи");
    const polling::GroupSaveResult second = polling::saveGroup(f, {{}, {}, schools}, kRussian, kMade, {});
    ASSERT_TRUE(second.error.isEmpty()) << second.error.toStdString();
    EXPECT_EQ(second.file, QStringLiteral("261210080001"));
    EXPECT_EQ(polling::loadGroupList(f).size(), 2);

    // Renamed: made again under its new name, the old file gone.
    polling::Group renamed = g;
    renamed.name = QStringLiteral("Котельні міста");
    const polling::GroupSaveResult again =
        polling::saveGroup(f, {entry->file, entry->name, renamed}, kRussian, kMade.addSecs(60),
                           [](const QString&) { return true; });
    ASSERT_TRUE(again.error.isEmpty()) << again.error.toStdString();
    EXPECT_FALSE(f.exists(saved.file));
    EXPECT_TRUE(polling::findGroupByName(f, QStringLiteral("Котельні міста")));

    // Deleted: its line and its file go together.
    EXPECT_TRUE(polling::deleteGroup(f, again.file, kRussian).isEmpty());
    EXPECT_FALSE(f.exists(again.file));
    const QList<polling::GroupEntry> left = polling::loadGroupList(f);
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left.first().name.trimmed(), QStringLiteral("Школи"));
    Error why;
    QList<QString> names = f.names(why);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (QList<QString>{QStringLiteral("261210080001"), QString(kGroupListName)}));
}

inline polling::Group contractGroup(const QString& name, const QString& window) {
    polling::Group g;
    g.name = name;
    g.schedule = {window};
    g.flags = QStringLiteral("0110000000");
    g.members = {{true, QStringLiteral("ТАРН-2.01    №12345  Облгаз                               t12345")}};
    return g;
}

// Two workstations saving groups at the same moment, each on its own thread with its own keeper of the
// same files (as two programs are): every group either saved is in the list afterwards. A save that
// wrote the list as it had read it a moment before would drop the other's group now and then.
TYPED_TEST_P(GroupFilesContract, SavesAtOnceFromTwoWorkstationsKeepEveryGroup) {
    constexpr int kEach = 12;
    QStringList failures;
    std::mutex failuresMutex;
    // Both make their groups in the same seconds, so that they also reach for the same file names.
    const auto workstation = [&](const QString& prefix) {
        return QThread::create([&, prefix] {
            std::unique_ptr<GroupFiles> own = this->backend_.another();
            if (!own) return;
            for (int i = 0; i < kEach; ++i) {
                const polling::GroupSaveResult r = polling::saveGroup(
                    *own,
                    {{}, {}, contractGroup(prefix + QString::number(i), QStringLiteral("06:00-08:00-00:00"))},
                    kRussian, kMade.addSecs(i), {});
                if (!r.error.isEmpty()) {
                    const std::lock_guard<std::mutex> lock(failuresMutex);
                    failures.append(r.error);
                }
            }
        });
    };
    QThread* north = workstation(QStringLiteral("Північ "));
    QThread* south = workstation(QStringLiteral("Південь "));
    north->start();
    south->start();
    ASSERT_TRUE(north->wait(120000));
    ASSERT_TRUE(south->wait(120000));
    delete north;
    delete south;
    EXPECT_TRUE(failures.isEmpty()) << failures.join(u'\n').toStdString();

    // Read back as another program reads the list: every group once, each naming a file that is there.
    const QList<QByteArray> lines = this->backend_.rawBytes(QString(kGroupListName)).split('\n');
    QStringList names;
    for (const QByteArray& line : lines) {
        if (line.trimmed().isEmpty()) continue;
        const QList<QByteArray> parts = line.split('/');
        ASSERT_EQ(parts.size(), 3) << line.toStdString();
        EXPECT_FALSE(this->backend_.rawBytes(QString::fromLatin1(parts.at(1))).isEmpty())
            << line.toStdString();
        names.append(fromCp1251(parts.at(2)).trimmed());
    }
    names.sort();
    QStringList expected;
    for (int i = 0; i < kEach; ++i)
        expected << QStringLiteral("Північ ") + QString::number(i)
                 << QStringLiteral("Південь ") + QString::number(i);
    expected.sort();
    EXPECT_EQ(names, expected);
}

// One workstation opened a group, another changed or deleted it meanwhile: the first one's save is
// refused with the message saying so, and what the other wrote stays. A change to another group, and
// the console's marks from a list read before it, merge without a word.
TYPED_TEST_P(GroupFilesContract, AGroupChangedElsewhereIsNotWrittenOverAndOtherChangesMerge) {
    GroupFiles& here = this->files();
    std::unique_ptr<GroupFiles> there = this->backend_.another();
    const polling::GroupSaveResult made = polling::saveGroup(
        here, {{}, {}, contractGroup(QStringLiteral("Котельні"), QStringLiteral("06:00-08:00-00:00"))},
        kRussian, kMade, {});
    ASSERT_TRUE(made.error.isEmpty()) << made.error.toStdString();
    const QList<polling::GroupEntry> consoleList = polling::loadGroupList(here);

    // Both open the group; the other workstation saves it first with another window.
    Error unread;
    const std::optional<QByteArray> openedHere = here.read(made.file, unread);
    ASSERT_TRUE(openedHere);
    const polling::GroupSaveResult theirs =
        polling::saveGroup(*there,
                           {made.file, QStringLiteral("Котельні"),
                            contractGroup(QStringLiteral("Котельні"), QStringLiteral("10:00-12:00-00:00"))},
                           kRussian, kMade, {}, openedHere);
    ASSERT_TRUE(theirs.error.isEmpty()) << theirs.error.toStdString();
    const QByteArray theirBytes = this->backend_.rawBytes(made.file);

    const polling::GroupSaveResult mine =
        polling::saveGroup(here,
                           {made.file, QStringLiteral("Котельні"),
                            contractGroup(QStringLiteral("Котельні"), QStringLiteral("20:00-22:00-00:00"))},
                           kUkrainian, kMade, {}, openedHere);
    EXPECT_TRUE(mine.changedElsewhere);
    EXPECT_FALSE(mine.badName);
    EXPECT_EQ(mine.error, polling::changedElsewhereText(kUkrainian));
    EXPECT_TRUE(mine.error.contains(QStringLiteral("іншому робочому місці"))) << mine.error.toStdString();
    EXPECT_EQ(this->backend_.rawBytes(made.file), theirBytes);
    EXPECT_TRUE(theirBytes.contains("1*10:00-12:00-00:00\r\n"));

    // Opened again, it saves; a rename refused the same way when the group went meanwhile.
    const polling::GroupSaveResult again =
        polling::saveGroup(here,
                           {made.file, QStringLiteral("Котельні"),
                            contractGroup(QStringLiteral("Котельні"), QStringLiteral("20:00-22:00-00:00"))},
                           kRussian, kMade, {}, theirBytes);
    ASSERT_TRUE(again.error.isEmpty()) << again.error.toStdString();
    EXPECT_TRUE(this->backend_.rawBytes(made.file).contains("1*20:00-22:00-00:00\r\n"));

    // The other workstation adds a group; this console, with the list it read before, ticks its own
    // group: the new group stays, with its own mark.
    const polling::GroupSaveResult schools = polling::saveGroup(
        *there, {{}, {}, contractGroup(QStringLiteral("Школи"), QStringLiteral("06:00-08:00-00:00"))},
        kRussian, kMade.addSecs(5), {});
    ASSERT_TRUE(schools.error.isEmpty()) << schools.error.toStdString();
    QList<polling::GroupEntry> ticked = consoleList;
    ASSERT_EQ(ticked.size(), 1);
    ticked.first().mark = true;
    ASSERT_TRUE(polling::saveGroupMarks(here, ticked));
    const QList<polling::GroupEntry> after = polling::loadGroupList(*there);
    ASSERT_EQ(after.size(), 2);
    EXPECT_EQ(after.at(0).file, made.file);
    EXPECT_TRUE(after.at(0).mark);
    EXPECT_EQ(after.at(1).file, schools.file);
    EXPECT_FALSE(after.at(1).mark);

    // Deleted over there: a save of what this one opened is refused, and the group does not come back.
    const std::optional<QByteArray> openedSchools = here.read(schools.file, unread);
    ASSERT_TRUE(openedSchools);
    EXPECT_EQ(polling::deleteGroup(*there, schools.file, kRussian), QString());
    const polling::GroupSaveResult renamed = polling::saveGroup(
        here,
        {schools.file, QStringLiteral("Школи"),
         contractGroup(QStringLiteral("Школи міста"), QStringLiteral("06:00-08:00-00:00"))},
        kRussian, kMade.addSecs(9), [](const QString&) { return true; }, openedSchools);
    EXPECT_TRUE(renamed.changedElsewhere);
    EXPECT_EQ(renamed.error, polling::changedElsewhereText(kRussian));
    EXPECT_EQ(polling::loadGroupList(here).size(), 1);
    EXPECT_FALSE(polling::findGroupByName(here, QStringLiteral("Школи міста")));
}

REGISTER_TYPED_TEST_SUITE_P(GroupFilesContract, AFileComesBackByteForByteAndAMissingOneIsNotFound,
                            ANameThatIsNoPlainFileNameNamesNothing, TheStampMovesWithEveryChangeAndOnlyThen,
                            GroupsAreSavedRenamedAndDeletedAsTheConfiguratorDoes,
                            SavesAtOnceFromTwoWorkstationsKeepEveryGroup,
                            AGroupChangedElsewhereIsNotWrittenOverAndOtherChangesMerge);

} // namespace tarn::test::groupcontract
