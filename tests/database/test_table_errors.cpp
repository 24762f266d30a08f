// Why a table file or a settings file could not be used, as a kind the caller can act on: a file that is
// not there, one another connection holds, and one that is damaged are each told apart.
#include "common/Error.h"
#include "common/TextFile.h"
#include "database/TableFile.h"
#include "support/DatabaseFaults.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::database;

namespace {

const QDateTime kNow(QDate(2025, 3, 9), QTime(7, 15, 0));

QList<FieldSpec> fields() {
    return {{QStringLiteral("hIdentif"), FieldType::Text, 8},
            {QStringLiteral("hNumber"), FieldType::Integer, 0},
            {QStringLiteral("hNote"), FieldType::Text, 20}};
}

// A table file with its seed and a few rows, closed and with its journal folded in.
QString madeTable(const test::TempHome& home, const QString& name) {
    const QString path = home.path(folder::Work, name);
    {
        Error error;
        auto t = TableFile::open(path, TableKind::Hourly, fields(), error, kNow);
        EXPECT_TRUE(t) << error.detail.toStdString();
        if (!t) return path;
        EXPECT_TRUE(t->transaction());
        for (int i = 1; i <= 200; ++i)
            EXPECT_TRUE(t->append({{QStringLiteral("hIdentif"), QStringLiteral("t1")},
                                   {QStringLiteral("hNumber"), i},
                                   {QStringLiteral("hNote"), QStringLiteral("row %1").arg(i)}}));
        EXPECT_TRUE(t->commit());
    }
    EXPECT_TRUE(settleTableFile(path));
    return path;
}

// The engine's busy wait, for the tests of a held file: none at all, so nothing waits.
struct NoBusyWait {
    NoBusyWait() { qputenv("TARN_DB_BUSY_WAIT_MS", "0"); }
    ~NoBusyWait() { qunsetenv("TARN_DB_BUSY_WAIT_MS"); }
};

} // namespace

TEST(ErrorKinds, AMissingFileIsNotFound) {
    test::TempHome home;
    const QString missing = home.path(folder::Work, QStringLiteral("h_t99999.db"));
    const Error probed = probeTableFile(missing);
    EXPECT_EQ(probed.kind, ErrorKind::NotFound);
    EXPECT_TRUE(probed.detail.contains(missing));
    EXPECT_FALSE(QFileInfo::exists(missing)); // looking made nothing

    Error read;
    EXPECT_FALSE(readTextLines(home.path(folder::Work, QStringLiteral("missing.000")), read));
    EXPECT_EQ(read.kind, ErrorKind::NotFound);

    // A file that is there but is no file, and one over the size a settings file may have, are not
    // "missing": the caller must not create a fresh one over them.
    ASSERT_TRUE(QDir().mkpath(home.path(folder::Work, QStringLiteral("folder.000"))));
    EXPECT_FALSE(readTextLines(home.path(folder::Work, QStringLiteral("folder.000")), read));
    EXPECT_EQ(read.kind, ErrorKind::Io);
    home.write(folder::Work, QStringLiteral("big.000"), QByteArray(2000, 'x'));
    EXPECT_FALSE(readTextLines(home.path(folder::Work, QStringLiteral("big.000")), read, 1000));
    EXPECT_EQ(read.kind, ErrorKind::Invalid);
    home.write(folder::Work, QStringLiteral("ok.000"), "a\r\nb\r\n");
    EXPECT_EQ(readTextLines(home.path(folder::Work, QStringLiteral("ok.000")), read),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_TRUE(read.ok()); // a success clears what an earlier call left
}

TEST(ErrorKinds, AFileHeldInAnotherConnectionsTransactionIsLocked) {
    test::TempHome home;
    const QString path = madeTable(home, QStringLiteral("h_t12345.db"));
    EXPECT_TRUE(probeTableFile(path).ok());

    NoBusyWait noWait;
    Error error;
    auto ours = TableFile::open(path, TableKind::Hourly, fields(), error, kNow);
    ASSERT_TRUE(ours) << error.detail.toStdString();
    {
        test::SqliteHolder holder(path);
        ASSERT_TRUE(holder.lockForWriting());
        EXPECT_EQ(probeTableFile(path).kind, ErrorKind::Locked);
        EXPECT_FALSE(ours->append({{QStringLiteral("hIdentif"), QStringLiteral("t1")}}));
        EXPECT_EQ(ours->lastFailure().kind, ErrorKind::Locked);
        EXPECT_EQ(ours->lastError(), ours->lastFailure().detail);
    }
    // Held open by a connection that is still there, its companion files stay: settling says who.
    EXPECT_EQ(trySettleTableFile(path).kind, ErrorKind::Locked);
    EXPECT_FALSE(settleTableFile(path));
    ours.reset();
    EXPECT_TRUE(trySettleTableFile(path).ok());
    EXPECT_TRUE(probeTableFile(path).ok());
}

TEST(ErrorKinds, ACorruptedFileIsDamaged) {
    test::TempHome home;
    const QString path = madeTable(home, QStringLiteral("h_t12345.db"));
    ASSERT_TRUE(test::damageTableFile(path));
    const Error probed = probeTableFile(path);
    EXPECT_EQ(probed.kind, ErrorKind::Damaged) << probed.detail.toStdString();
    EXPECT_FALSE(probed.detail.isEmpty());

    // Bytes that were never a table file: the probe and the open both say damaged, not "not found",
    // so nobody creates a fresh table over what may be somebody's data.
    const QString garbage = home.path(folder::Work, QStringLiteral("h_t54321.db"));
    home.write(folder::Work, QStringLiteral("h_t54321.db"), QByteArray(8192, '\x5A'));
    EXPECT_EQ(probeTableFile(garbage).kind, ErrorKind::Damaged);
    Error opened;
    EXPECT_FALSE(TableFile::open(garbage, TableKind::Hourly, fields(), opened, kNow));
    EXPECT_EQ(opened.kind, ErrorKind::Damaged) << opened.detail.toStdString();
    QString text;
    EXPECT_FALSE(TableFile::open(garbage, TableKind::Hourly, fields(), &text, kNow));
    EXPECT_EQ(text, opened.detail); // the text callers had before is the detail of the kind
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("h_t54321.db")), QByteArray(8192, '\x5A'));
}

TEST(ErrorKinds, KindNamesAndTheEngineCodes) {
    EXPECT_EQ(errorKindName(ErrorKind::NotFound), QStringLiteral("not found"));
    EXPECT_EQ(errorKindName(ErrorKind::Locked), QStringLiteral("locked"));
    EXPECT_EQ(errorKindName(ErrorKind::Damaged), QStringLiteral("damaged"));
    EXPECT_TRUE(Error().ok());
    EXPECT_FALSE(Error().failed());
    EXPECT_TRUE(Error(ErrorKind::Io, QStringLiteral("x")).is(ErrorKind::Io));
    // Extended result codes keep the primary code in their low byte (busy recovery 261 is busy).
    auto kindOf = [](const char* code) {
        return tableError(QSqlError(QStringLiteral("driver"), QStringLiteral("db"), QSqlError::StatementError,
                                    QString::fromLatin1(code)))
            .kind;
    };
    EXPECT_EQ(kindOf("5"), ErrorKind::Locked);
    EXPECT_EQ(kindOf("261"), ErrorKind::Locked);
    EXPECT_EQ(kindOf("6"), ErrorKind::Locked);
    EXPECT_EQ(kindOf("11"), ErrorKind::Damaged);
    EXPECT_EQ(kindOf("26"), ErrorKind::Damaged);
    EXPECT_EQ(kindOf("14"), ErrorKind::Io);
    EXPECT_EQ(kindOf("disk I/O"), ErrorKind::Io);
    EXPECT_TRUE(tableError(QSqlError()).ok());
}

namespace {

// The first part of a table file, as a copy cut off in the middle leaves it.
QString truncatedCopy(const test::TempHome& home, const QString& source, const QString& name, qint64 keep) {
    const QString path = home.path(folder::Work, name);
    QFile::remove(path);
    EXPECT_TRUE(QFile::copy(source, path));
    QFile file(path);
    EXPECT_TRUE(file.resize(keep));
    return path;
}

} // namespace

TEST(TableFileCopies, ASnapshotSaysWhyItCouldNotBeTaken) {
    test::TempHome home;
    const QString source = madeTable(home, QStringLiteral("h_t12345.db"));
    const QString target = home.path(folder::Pack, QStringLiteral("h_t12345.db"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(target).absolutePath()));

    const Error missing = snapshotTableFile(home.path(folder::Work, QStringLiteral("h_t99999.db")), target);
    EXPECT_EQ(missing.kind, ErrorKind::NotFound) << missing.detail.toStdString();
    EXPECT_FALSE(QFileInfo::exists(target));

    // Bytes that were never a table file, and a file cut off after its first pages: damaged, not missing.
    home.write(folder::Work, QStringLiteral("h_t54321.db"), QByteArray(8192, '\x5A'));
    const Error garbage = snapshotTableFile(home.path(folder::Work, QStringLiteral("h_t54321.db")), target);
    EXPECT_EQ(garbage.kind, ErrorKind::Damaged) << garbage.detail.toStdString();
    const QString cut =
        truncatedCopy(home, source, QStringLiteral("h_t11111.db"), QFileInfo(source).size() / 2);
    const Error truncated = snapshotTableFile(cut, target);
    EXPECT_EQ(truncated.kind, ErrorKind::Damaged) << truncated.detail.toStdString();
    EXPECT_FALSE(QFileInfo::exists(target));

    // A target folder nothing can be written into.
    const QString nowhere = test::unwritableFolder(home.root().root()) + QStringLiteral("/h_t12345.db");
    const Error unwritable = snapshotTableFile(source, nowhere);
    EXPECT_EQ(unwritable.kind, ErrorKind::Io) << unwritable.detail.toStdString();

    // Another program's file with the older journal, held in its write transaction past the wait.
    ASSERT_TRUE(test::useRollbackJournal(source));
    {
        NoBusyWait noWait;
        test::SqliteHolder holder(source);
        ASSERT_TRUE(holder.lockForWriting());
        const Error held = snapshotTableFile(source, target);
        EXPECT_EQ(held.kind, ErrorKind::Locked) << held.detail.toStdString();
        EXPECT_FALSE(QFileInfo::exists(target));
    }
    // Let go, it is copied whole; a second copy to the same target is refused, the first one kept.
    EXPECT_TRUE(snapshotTableFile(source, target).ok());
    EXPECT_EQ(test::queryNumber(target, QStringLiteral("SELECT count(*) FROM h_t12345")), 201);
    EXPECT_EQ(snapshotTableFile(source, target).kind, ErrorKind::Invalid);
    EXPECT_EQ(test::queryNumber(target, QStringLiteral("SELECT count(*) FROM h_t12345")), 201);
}

TEST(TableFileCopies, CopyingRowsInTellsAMissingADamagedAForeignAndAnUnwritableFileApart) {
    test::TempHome home;
    const QString source = madeTable(home, QStringLiteral("h_t12345.db"));
    const QString target = home.path(folder::Hour, QStringLiteral("h_t12345.db"));

    EXPECT_EQ(copyRowsInto(home.path(folder::Work, QStringLiteral("none.db")), fields(), target).kind,
              ErrorKind::NotFound);
    const QString header = truncatedCopy(home, source, QStringLiteral("h_t22222.db"), 300);
    EXPECT_EQ(copyRowsInto(header, fields(), target).kind, ErrorKind::Damaged);
    const QString cut =
        truncatedCopy(home, source, QStringLiteral("h_t11111.db"), QFileInfo(source).size() / 2);
    const Error truncated = copyRowsInto(cut, fields(), target);
    EXPECT_EQ(truncated.kind, ErrorKind::Damaged) << truncated.detail.toStdString();
    EXPECT_FALSE(QFileInfo::exists(target));

    // Read well, but not a table our schema takes: a field gone, or one of another type.
    const QString foreign = home.path(folder::Work, QStringLiteral("foreign.db"));
    ASSERT_TRUE(QFile::copy(source, foreign));
    ASSERT_TRUE(test::alterTableFile(foreign, {"ALTER TABLE h_t12345 DROP COLUMN hNote"}));
    const Error refused = copyRowsInto(foreign, fields(), target);
    EXPECT_EQ(refused.kind, ErrorKind::Invalid) << refused.detail.toStdString();
    EXPECT_EQ(refused.detail, QStringLiteral("no field hNote in ") + foreign);
    QString text; // the text-only form says the same
    EXPECT_FALSE(copyRowsInto(foreign, fields(), target, &text));
    EXPECT_EQ(text, refused.detail);
    EXPECT_FALSE(QFileInfo::exists(target));

    const QString nowhere = test::unwritableFolder(home.root().root()) + QStringLiteral("/h_t12345.db");
    const Error unwritable = copyRowsInto(source, fields(), nowhere);
    EXPECT_EQ(unwritable.kind, ErrorKind::Io) << unwritable.detail.toStdString();
    EXPECT_EQ(copyRowsInto(source, {}, target).kind, ErrorKind::Invalid);

    EXPECT_TRUE(copyRowsInto(source, fields(), target).ok());
    EXPECT_EQ(test::queryNumber(target, QStringLiteral("SELECT count(*) FROM h_t12345")), 201);
}

TEST(TableFileCopies, ASalvageThatCannotBeginSaysWhy) {
    test::TempHome home;
    const QString source = madeTable(home, QStringLiteral("h_t12345.db"));
    const QString target = home.path(folder::Hour, QStringLiteral("h_t12345.db"));
    SalvageCount count;
    EXPECT_EQ(
        salvageRowsInto(home.path(folder::Work, QStringLiteral("none.db")), fields(), target, &count).kind,
        ErrorKind::NotFound);
    home.write(folder::Work, QStringLiteral("h_t54321.db"), QByteArray(8192, '\x5A'));
    const Error garbage =
        salvageRowsInto(home.path(folder::Work, QStringLiteral("h_t54321.db")), fields(), target);
    EXPECT_EQ(garbage.kind, ErrorKind::Damaged) << garbage.detail.toStdString();
    EXPECT_FALSE(QFileInfo::exists(target));

    const QString nowhere = test::unwritableFolder(home.root().root()) + QStringLiteral("/h_t12345.db");
    const Error unwritable = salvageRowsInto(source, fields(), nowhere, &count);
    EXPECT_EQ(unwritable.kind, ErrorKind::Io) << unwritable.detail.toStdString();

    // A file of our own whose rows are fine comes through whole.
    EXPECT_TRUE(salvageRowsInto(source, fields(), target, &count).ok());
    EXPECT_EQ(count.kept, 200);
}
