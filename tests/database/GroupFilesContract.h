#pragma once
// What every keeper of the polling groups must do the same way, the Group folder and the server's table
// alike: each test program instantiates these cases with its backend. A backend makes fresh, empty
// group files (start() says why it cannot, for a case to skip) and reads a kept file's bytes its own way
// (rawBytes: the file itself, or the table's row), so that what the program wrote is checked by a reader
// that is not the program's.
#include "database/GroupFiles.h"
#include "polling/GroupMembers.h"
#include "polling/Groups.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

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

REGISTER_TYPED_TEST_SUITE_P(GroupFilesContract, AFileComesBackByteForByteAndAMissingOneIsNotFound,
                            ANameThatIsNoPlainFileNameNamesNothing, TheStampMovesWithEveryChangeAndOnlyThen,
                            GroupsAreSavedRenamedAndDeletedAsTheConfiguratorDoes);

} // namespace tarn::test::groupcontract
