// The group files' contract on a server schema, and what only the server's table has to get right: a
// change is all or none, and a group saved at one workstation is seen, and noticed, at another.
#include "database/GroupFilesContract.h"
#include "database/PgTestSupport.h"
#include "database/Registry.h"
#include "database/StorageContract.h"
#include "database/postgres/PgGroupFiles.h"
#include "database/postgres/PgStorage.h"

#include <QThread>

using namespace tarn;
using namespace tarn::database;
using namespace tarn::test::groupcontract;
using namespace tarn::database::postgres;

namespace {

class PgGroupBackend {
public:
    QString start() {
        if (const QString unavailable = server_.connect(); !unavailable.isEmpty()) return unavailable;
        url_ = server_.freshSchema();
        Error why;
        files_ = PgGroupFiles::open(url_, &why);
        if (!files_) {
            ADD_FAILURE() << "cannot open the group files: " << why.detail.toStdString();
            return why.detail;
        }
        return {};
    }
    GroupFiles& files() { return *files_; }
    std::unique_ptr<GroupFiles> another() const {
        Error why;
        auto own = PgGroupFiles::open(url_, &why);
        EXPECT_TRUE(own) << why.detail.toStdString();
        return own;
    }
    // The table's row, read on the test's own connection.
    QByteArray rawBytes(const QString& name) {
        QSqlQuery q(server_.admin());
        q.prepare(QStringLiteral("SELECT bytes FROM ") + quotedIdentifier(url_.schema) +
                  QStringLiteral(".group_files WHERE name = ?"));
        q.addBindValue(name);
        EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
        return q.next() ? q.value(0).toByteArray() : QByteArray();
    }
    bool admin(const QString& sql) {
        QSqlQuery q(server_.admin());
        const bool done = q.exec(sql);
        EXPECT_TRUE(done) << sql.toStdString() << ": " << q.lastError().text().toStdString();
        return done;
    }
    const DatabaseUrl& url() const { return url_; }

private:
    test::PgServer server_;
    DatabaseUrl url_;
    std::unique_ptr<PgGroupFiles> files_;
};

class PgGroupFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const QString unavailable = backend_.start(); !unavailable.isEmpty())
            GTEST_SKIP() << unavailable.toStdString();
    }
    PgGroupBackend backend_;
};

polling::Group groupOf(const QString& name, const QStringList& memberLines) {
    polling::Group g;
    g.name = name;
    g.schedule = {QStringLiteral("00:00-24:00-01:00")};
    g.flags = QStringLiteral("0110000000");
    for (const QString& line : memberLines)
        g.members.append({true, line});
    return g;
}

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Postgres, GroupFilesContract, PgGroupBackend);

// The list and a group's file change in one transaction: a failure half way leaves neither changed, and
// the change count where it was.
TEST_F(PgGroupFilesTest, AChangeIsAllOrNone) {
    GroupFiles& files = backend_.files();
    ASSERT_TRUE(files.write(QString(kGroupListName), QByteArray("before\r\n")).ok());
    const QByteArray stamp = polling::groupFilesStamp(files);
    // A rule of the server's that refuses the second file, as a full disk or a lost line would.
    ASSERT_TRUE(
        backend_.admin(QStringLiteral("ALTER TABLE ") + quotedIdentifier(backend_.url().schema) +
                       QStringLiteral(".group_files ADD CONSTRAINT refused CHECK (name <> 'poison')")));
    QString failed;
    const Error why = files.change(
        {{QString(kGroupListName), QByteArray("after\r\n")}, {QStringLiteral("poison"), QByteArray("x")}},
        &failed);
    EXPECT_TRUE(why.failed());
    EXPECT_EQ(failed, QStringLiteral("poison"));
    EXPECT_FALSE(why.detail.isEmpty());
    EXPECT_EQ(backend_.rawBytes(QString(kGroupListName)), QByteArray("before\r\n"));
    EXPECT_EQ(polling::groupFilesStamp(files), stamp);

    // The configurator's save names the file and the server's reason, and changes nothing.
    polling::Group g = groupOf(QStringLiteral("Юг"), {});
    const polling::GroupSaveResult saved =
        polling::saveGroup(files, {QStringLiteral("poison"), QStringLiteral("Юг"), g}, kRussian,
                           QDateTime(QDate(2026, 12, 10), QTime(8, 0)), {});
    EXPECT_TRUE(saved.error.startsWith(QStringLiteral("Ошибка! при копировании файла ") +
                                       backend_.url().toString() + QStringLiteral(": group file poison")))
        << saved.error.toStdString();
    EXPECT_EQ(backend_.rawBytes(QString(kGroupListName)), QByteArray("before\r\n"));
}

// Two workstations on one schema: what one saves the other lists, its stamp moves so a waiting console
// rebuilds its schedule, a report's worker thread reads it too, and an erased point leaves the groups of
// both.
TEST_F(PgGroupFilesTest, AnotherWorkstationSeesAndNoticesEveryChange) {
    Error why;
    auto other = PgGroupFiles::open(backend_.url(), &why);
    ASSERT_TRUE(other) << why.detail.toStdString();
    const QByteArray seen = polling::groupFilesStamp(*other);

    const QString member = QStringLiteral("ТАРН-2.01    №12345  Облгаз                               t12345");
    const polling::GroupSaveResult saved =
        polling::saveGroup(backend_.files(), {{}, {}, groupOf(QStringLiteral("Північ"), {member})}, kRussian,
                           QDateTime(QDate(2026, 12, 10), QTime(8, 0)), {});
    ASSERT_TRUE(saved.error.isEmpty()) << saved.error.toStdString();
    EXPECT_NE(polling::groupFilesStamp(*other), seen);
    const auto entry = polling::findGroupByName(*other, QStringLiteral("Північ"));
    ASSERT_TRUE(entry);
    EXPECT_EQ(polling::loadGroup(*other, entry->file).memberIdentifiers(),
              QStringList{QStringLiteral("t12345")});

    QStringList fromWorker;
    QThread* worker = QThread::create([&] {
        for (const polling::GroupEntry& e : polling::loadGroupList(*other))
            fromWorker.append(e.name.trimmed());
    });
    worker->start();
    ASSERT_TRUE(worker->wait(30000));
    delete worker;
    EXPECT_EQ(fromWorker, QStringList{QStringLiteral("Північ")});

    // The point erased at the second workstation goes from the group the first one saved.
    const test::contract::NoBusyWait noWait;
    const Schemas schemas = test::contract::shippedSchemas();
    auto storage = PgStorage::open(backend_.url(), schemas, why);
    ASSERT_TRUE(storage) << why.detail.toStdString();
    test::TempHome home;
    ASSERT_TRUE(home.root().createFolders());
    Registry registry(home.root(), *storage);
    Point p;
    p.identifier = QStringLiteral("t12345");
    p.serial = QStringLiteral("12345");
    p.model = QStringLiteral("ТАРН-2.01");
    ASSERT_TRUE(registry.add(p, test::contract::kNow)) << registry.error().toStdString();
    EXPECT_EQ(registry.erase(p.identifier, *other), QString());
    EXPECT_TRUE(polling::loadGroup(backend_.files(), saved.file).members.isEmpty());
    // Nothing of the groups was left in the installation's folder.
    EXPECT_FALSE(home.exists(folder::Group, QString(kGroupListName)));

    // Deleted at the second, gone at the first.
    EXPECT_EQ(polling::deleteGroup(*other, saved.file, kRussian), QString());
    EXPECT_TRUE(polling::loadGroupList(backend_.files()).isEmpty());
    EXPECT_FALSE(backend_.files().exists(saved.file));
}
