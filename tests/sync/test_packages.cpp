// Database packages: a point's data packed and unpacked into a second installation, hostile and
// damaged packages refused without a change, and the packages of a whole group.
#include "common/TextFile.h"
#include "database/Registry.h"
#include "support/DatabaseFaults.h"
#include "support/ParameterFileSupport.h"
#include "support/TestSupport.h"
#include "sync/GroupPackages.h"
#include "sync/Package.h"
#include "sync/PointPackage.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::database;

namespace {

const QString kId = QStringLiteral("12345");

struct Installation {
    test::TempHome home;
    Schemas schemas;
    SqliteStorage storage{home.root(), schemas};
    test::RecordingNotifier notifier;
    Installation() {
        writeMissingSchemaFiles(home.root());
        schemas = loadSchemas(home.root());
    }
    const DataRoot& root() const { return home.root(); }
    QString table(TableKind kind, const QString& id = kId) const { return tablePath(root(), kind, id); }
    QList<QVariantList> rows(TableKind kind, const QString& id = kId) const {
        auto t = TableFile::open(table(kind, id), kind, schemas.of(kind));
        return t ? t->select() : QList<QVariantList>();
    }
    // Everything under the data root with its bytes: "nothing changed" is this, compared.
    QMap<QString, QByteArray> snapshot() const {
        QMap<QString, QByteArray> files;
        QDirIterator it(root().root(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            files.insert(QDir(root().root()).relativeFilePath(path), f.readAll());
        }
        return files;
    }
    sync::UnpackOutcome unpack(const QString& package, bool answer = true, bool group = false) {
        sync::UnpackOptions o;
        o.groupMode = group;
        o.confirm = [this, answer](const QString& q) {
            notifier.questions.append(q);
            return answer;
        };
        return sync::unpackPoint(root(), schemas, package, notifier, o);
    }
};

Point point(const QString& id, const QString& serial, const QString& owner = QStringLiteral("Облгаз")) {
    Point p;
    p.identifier = id;
    p.serial = serial;
    p.model = QStringLiteral("ТАРН-2.01  ");
    p.config = {owner,
                QString(),
                QStringLiteral("прямое соединение"),
                QStringLiteral("COM1"),
                QString(),
                QString(),
                QStringLiteral("19200"),
                QStringLiteral("6000"),
                QStringLiteral("30"),
                QStringLiteral("6"),
                QStringLiteral("60"),
                QStringLiteral("10"),
                QStringLiteral("3"),
                QStringLiteral("AT&FE0S0=0"),
                QStringLiteral("природный"),
                QStringLiteral("11100001000")};
    return p;
}

void appendRows(const Installation& in, TableKind kind, const QString& id, int count) {
    auto t = TableFile::open(in.table(kind, id), kind, in.schemas.of(kind));
    ASSERT_TRUE(t);
    const QChar p = tableInfo(kind).fieldPrefix;
    for (int i = 1; i <= count; ++i) {
        QVariantMap row{
            {p + QStringLiteral("Identif"), id},
            {p + QStringLiteral("SerialNum"), id.right(5)},
            {p + QStringLiteral("TypeQuon"), QStringLiteral("ТАРН-2.01  ")},
            {p + QStringLiteral("NumWrCor"), i},
            {p + QStringLiteral("DT_Corr"), storedTimestamp(QDateTime(QDate(2024, 3, 1), QTime(i % 24, 0)))}};
        ASSERT_TRUE(t->append(row)) << t->lastError().toStdString();
    }
}

// A registered point with its parameter file, hourly and daily rows, and no monthly table.
void storePoint(Installation& in, const QString& id = kId, int serial = 12345) {
    Registry r(in.root(), in.schemas);
    ASSERT_TRUE(r.add(point(id, QString::number(serial))));
    ASSERT_TRUE(test::writeMemberParameterFile(in.root(), id, serial, QStringLiteral("Облгаз")));
    appendRows(in, TableKind::Hourly, id, 30);
    appendRows(in, TableKind::Daily, id, 3);
    ASSERT_TRUE(QFile::remove(in.table(TableKind::Monthly, id)));
}

QByteArray u16(quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    return QByteArray(b, 2);
}
QByteArray u32(quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    return QByteArray(b, 4);
}
// One zlib stream (qCompress puts the length in front of it).
QByteArray zlibStream(const QByteArray& data) {
    return qCompress(data, 9).mid(4);
}
QByteArray entry(const QByteArray& name, const QByteArray& stream) {
    return u16(static_cast<quint16>(name.size())) + name + u32(static_cast<quint32>(stream.size())) + stream;
}
QByteArray package(const QList<QByteArray>& entries) {
    QByteArray bytes = u32(sync::kPackageMagic) + u32(static_cast<quint32>(entries.size()));
    for (const QByteArray& e : entries)
        bytes += e;
    return bytes;
}

QString writeBytes(const test::TempHome& home, const QString& name, const QByteArray& bytes) {
    home.write(folder::MailBD, name, bytes);
    return home.path(folder::MailBD, name);
}

// A table file as someone else might make it: a copy of a good one with statements run on it.
QByteArray alteredTable(const QString& good, const QStringList& statements) {
    const QString path = good + QStringLiteral(".altered");
    QFile::remove(path);
    if (!QFile::copy(good, path)) return {};
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("altered"));
        db.setDatabaseName(path);
        if (!db.open()) return {};
        for (const QString& sql : statements) {
            QSqlQuery q(db);
            if (!q.exec(sql)) return {};
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("altered"));
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    f.close();
    QFile::remove(path);
    return bytes;
}

// The objects in a table file besides the engine's own.
QStringList objectsIn(const QString& path) {
    QStringList objects;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("objects"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(QStringLiteral("SELECT type, name FROM sqlite_master WHERE name NOT LIKE 'sqlite_%' "
                                   "ORDER BY name"),
                    db);
        while (q.next())
            objects.append(q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString());
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("objects"));
    return objects;
}

} // namespace

TEST(PointPackage, RoundTripIntoASecondInstallation) {
    Installation a;
    storePoint(a);
    const QString file = a.home.path(folder::MailBD, QStringLiteral("12345.tbd"));
    const sync::PackOutcome packed = sync::packPoint(a.root(), a.schemas, kId, file);
    ASSERT_TRUE(packed.ok) << packed.error.toStdString();
    EXPECT_EQ(packed.message, QStringLiteral("ФАЙЛ  \"12345.tbd\" ЗАПИСАН"));
    EXPECT_FALSE(QFileInfo::exists(sync::stagingFolder(a.root())));
    // The layout others read: the magic bytes first, and the files the point has.
    EXPECT_EQ(a.home.read(folder::MailBD, QStringLiteral("12345.tbd")).left(4), test::hex("88 19 06 18"));
    QStringList names;
    for (const auto& e : sync::inspectPackage(file).entries)
        names.append(e.name);
    EXPECT_EQ(names,
              (QStringList{"a_12345.db", "b_12345.db", "c_12345.db", "d_12345.db", "e_12345.db", "h_12345.db",
                           "id.000", "o_12345.db", "p_12345.000", "s_12345.db", "z_12345.db"}));

    Installation b;
    const sync::UnpackOutcome opened = b.unpack(file);
    ASSERT_TRUE(opened.ok) << opened.error.toStdString();
    EXPECT_TRUE(opened.added);
    EXPECT_TRUE(b.notifier.questions.isEmpty());
    const auto registered = Registry(b.root(), b.schemas).find(kId);
    ASSERT_TRUE(registered);
    EXPECT_TRUE(registered->serial.contains(QStringLiteral("12345"))) << registered->serial.toStdString();
    EXPECT_EQ(registered->organisation, QStringLiteral("Облгаз"));
    EXPECT_EQ(b.rows(TableKind::Hourly), a.rows(TableKind::Hourly));
    EXPECT_EQ(b.rows(TableKind::Hourly).size(), 30);
    EXPECT_EQ(b.rows(TableKind::Daily), a.rows(TableKind::Daily));
    EXPECT_EQ(b.home.read(folder::Param, QStringLiteral("p_12345.000")),
              a.home.read(folder::Param, QStringLiteral("p_12345.000")));
    EXPECT_EQ(readTextLines(b.home.path(folder::Current, QStringLiteral("SynCor.000"))),
              std::optional<QStringList>(QStringList{kId}));
    EXPECT_FALSE(QFileInfo::exists(sync::stagingFolder(b.root())));
}

TEST(PointPackage, AKnownPointIsAskedAboutAndTablesTheSenderLacksGo) {
    Installation a;
    storePoint(a);
    const QString file = a.home.path(folder::MailBD, QStringLiteral("12345.tbd"));
    ASSERT_TRUE(sync::packPoint(a.root(), a.schemas, kId, file).ok);

    Installation b;
    storePoint(b);
    appendRows(b, TableKind::Monthly, kId, 2); // the receiver has monthly rows, the sender none
    appendRows(b, TableKind::Hourly, kId, 5);
    const auto before = b.snapshot();
    // No: nothing changes.
    b.notifier.answer = false;
    const sync::UnpackOutcome kept = b.unpack(file, false);
    EXPECT_TRUE(kept.declined);
    EXPECT_FALSE(kept.ok);
    EXPECT_EQ(b.notifier.questions,
              QStringList{QStringLiteral("в БД есть данные на корректор ТАРН-2.01 №12345 переписать?")});
    EXPECT_EQ(b.snapshot(), before);
    // Yes: the sender's data, and the monthly table is gone.
    const sync::UnpackOutcome replaced = b.unpack(file, true);
    ASSERT_TRUE(replaced.ok) << replaced.error.toStdString();
    EXPECT_FALSE(replaced.added);
    EXPECT_EQ(replaced.message, QStringLiteral("В БД ЗАПИСАНО"));
    EXPECT_EQ(b.rows(TableKind::Hourly).size(), 30);
    EXPECT_FALSE(QFileInfo::exists(b.table(TableKind::Monthly)));
    // In a group run there is no question.
    b.notifier.questions.clear();
    EXPECT_EQ(b.unpack(file, false, true).message, QStringLiteral("норма"));
    EXPECT_TRUE(b.notifier.questions.isEmpty());
}

TEST(PointPackage, FileNamesAndWhatTheUserIsTold) {
    EXPECT_EQ(sync::packageFileName(QStringLiteral("/m/t12345.old.tbd")), QStringLiteral("/m/t12345.tbd"));
    EXPECT_EQ(sync::packageFileName(QStringLiteral("/m/t12345")), QStringLiteral("/m/t12345.tbd"));
    EXPECT_EQ(sync::packageOverwriteQuestion(QStringLiteral("x.tbd"), kUkrainian),
              QStringLiteral("Файл \"x.tbd\"вже існує перезаписати?"));
    EXPECT_EQ(sync::copyFailedText(kRussian, QStringLiteral("f"), 5),
              QStringLiteral("Ошибка! при копировании файла f- код ошибки:5"));
    EXPECT_EQ(sync::copyFailedText(kUkrainian, QStringLiteral("f"), 5),
              QStringLiteral("Помилка! при копіюванні файлу f- код помилки:5"));
    // A point that is not registered, or no identifier at all, writes nothing.
    Installation a;
    const QString file = a.home.path(folder::MailBD, QStringLiteral("x.tbd"));
    EXPECT_FALSE(sync::packPoint(a.root(), a.schemas, QStringLiteral("../x"), file).ok);
    EXPECT_FALSE(QFileInfo::exists(file));
}

TEST(PointPackage, DamagedAndHostilePackagesChangeNothing) {
    Installation a;
    storePoint(a);
    const QString good = a.home.path(folder::MailBD, QStringLiteral("12345.tbd"));
    ASSERT_TRUE(sync::packPoint(a.root(), a.schemas, kId, good).ok);
    const QByteArray bytes = a.home.read(folder::MailBD, QStringLiteral("12345.tbd"));

    Installation b;
    storePoint(b);
    appendRows(b, TableKind::Monthly, kId, 2);
    const auto before = b.snapshot();
    const QByteArray id = zlibStream("12345\r\n");
    QByteArray wrongMagic = bytes;
    wrongMagic[0] = '\x89';
    QByteArray trailing = package({entry("id.000", id + "junk")});
    const QList<std::pair<const char*, QByteArray>> cases = {
        {"wrong magic", wrongMagic},
        {"empty", QByteArray()},
        {"header only", bytes.left(6)},
        {"cut in a name", bytes.left(12)},
        {"cut in the data", bytes.left(bytes.size() / 2)},
        {"one byte short", bytes.left(bytes.size() - 1)},
        {"four billion entries", u32(sync::kPackageMagic) + u32(0xFFFFFFFFu) + QByteArray(64, '\0')},
        {"size beyond the file",
         u32(sync::kPackageMagic) + u32(1) + u16(6) + "id.000" + u32(0xFFFFFFF0u) + id},
        {"name length beyond the file", u32(sync::kPackageMagic) + u32(1) + u16(60000) + "id.000"},
        {"parent folder", package({entry("id.000", id), entry("..", zlibStream("x"))})},
        {"path up", package({entry("id.000", id), entry("..\\..\\evil.txt", zlibStream("x"))})},
        {"absolute", package({entry("id.000", id), entry("/tmp/evil.txt", zlibStream("x"))})},
        {"subfolder", package({entry("id.000", id), entry("Hour/h_12345.db", zlibStream("x"))})},
        {"drive", package({entry("id.000", id), entry("C:evil.txt", zlibStream("x"))})},
        {"repeated name", package({entry("id.000", id), entry("ID.000", id)})},
        {"not deflate", package({entry("id.000", QByteArray("not a zlib stream"))})},
        {"data after the stream", trailing},
        {"no identifier", package({entry("p_12345.000", zlibStream("x"))})},
        {"identifier that names a path", package({entry("id.000", zlibStream("../../x\r\n"))})},
        {"table that is no table", package({entry("id.000", id), entry("h_12345.db", zlibStream("rows"))})},
        {"a file that is not the point's",
         package({entry("id.000", id), entry("evil.exe", zlibStream("MZ"))})},
        {"two points' files", package({entry("id.000", id), entry("p_12345.000", zlibStream("x")),
                                       entry("p_54321.000", zlibStream("x"))})},
        {"a table packages do not carry",
         package({entry("id.000", id), entry("i_12345.db", zlibStream("x"))})},
        {"a parameter file with a table's suffix",
         package({entry("id.000", id), entry("p_12345.db", zlibStream("x"))})},
    };
    for (const auto& [what, content] : cases) {
        const QString file = writeBytes(b.home, QStringLiteral("bad.tbd"), content);
        const sync::UnpackOutcome r = b.unpack(file);
        EXPECT_FALSE(r.ok) << what;
        EXPECT_EQ(r.message, QStringLiteral("Ошибка")) << what;
        EXPECT_TRUE(b.unpack(file, true, true).message.startsWith(QStringLiteral("Ошибка данных: "))) << what;
        QFile::remove(file);
        EXPECT_EQ(b.snapshot(), before) << what;
        EXPECT_FALSE(QFileInfo::exists(QDir(b.root().root()).filePath(QStringLiteral("../evil.txt"))))
            << what;
    }
    EXPECT_FALSE(sync::isPackageEntryName(QStringLiteral("a\\b")));
    EXPECT_TRUE(sync::isPackageEntryName(QStringLiteral("h_12345.db")));
}

TEST(PointPackage, AReceivedTableBringsItsRowsAndNothingElse) {
    Installation a;
    storePoint(a);
    const QString good = a.table(TableKind::Hourly);
    const QByteArray id = zlibStream("12345\r\n");
    // Accepted: the rows come in, what the sender added stays behind.
    const QList<std::pair<const char*, QStringList>> stripped = {
        {"trigger that empties the table on the next store",
         {"CREATE TRIGGER wipe AFTER INSERT ON h_12345 BEGIN DELETE FROM h_12345; END"}},
        {"view", {"CREATE VIEW hv AS SELECT * FROM h_12345"}},
        {"extra index", {"CREATE INDEX hx ON h_12345 (hDT_Corr)"}},
        {"extra table", {"CREATE TABLE other (x)", "INSERT INTO other VALUES (1)"}},
    };
    for (const auto& [what, sql] : stripped) {
        const QByteArray table = alteredTable(good, sql);
        ASSERT_FALSE(table.isEmpty()) << what;
        Installation b;
        storePoint(b);
        const QString file =
            writeBytes(b.home, QStringLiteral("h.tbd"),
                       package({entry("id.000", id), entry("h_12345.db", zlibStream(table))}));
        const sync::UnpackOutcome r = b.unpack(file, true);
        ASSERT_TRUE(r.ok) << what << ": " << r.error.toStdString();
        EXPECT_EQ(objectsIn(b.table(TableKind::Hourly)), QStringList{QStringLiteral("table h_12345")})
            << what;
        EXPECT_EQ(b.rows(TableKind::Hourly), a.rows(TableKind::Hourly)) << what;
        // The next store keeps what is there.
        appendRows(b, TableKind::Hourly, kId, 1);
        EXPECT_EQ(b.rows(TableKind::Hourly).size(), 31) << what;
    }

    // Refused, and the receiver keeps everything.
    Installation b;
    storePoint(b);
    appendRows(b, TableKind::Monthly, kId, 2);
    const auto before = b.snapshot();
    QStringList columns;
    for (const FieldSpec& f : a.schemas.of(TableKind::Hourly))
        columns.append(f.name + (f.type == FieldType::AutoIncrement ? " INTEGER PRIMARY KEY" : " TEXT"));
    const QList<std::pair<const char*, QStringList>> refused = {
        {"column types differ",
         {"DROP TABLE h_12345", "CREATE TABLE h_12345 (" + columns.join(", ") + ")",
          "INSERT INTO h_12345 (hIdentif, hNumWrCor) VALUES ('12345', 'x')"}},
        {"a field missing", {"ALTER TABLE h_12345 DROP COLUMN hDT_Corr"}},
        {"a field more", {"ALTER TABLE h_12345 ADD COLUMN hExtra TEXT"}},
        {"a blob in a text field", {"UPDATE h_12345 SET hIdentif = x'00ff' WHERE hNumWrCor = 3"}},
        {"text in a number field", {"UPDATE h_12345 SET hNumWrCor = 'three' WHERE hNumWrCor = 3"}},
        {"the table is a view",
         {"ALTER TABLE h_12345 RENAME TO real_rows", "CREATE VIEW h_12345 AS SELECT * FROM real_rows"}},
        {"rows repeating a record number and time",
         {"INSERT INTO h_12345 (hIdentif, hNumWrCor, hDT_Corr) SELECT hIdentif, hNumWrCor, hDT_Corr FROM "
          "h_12345 WHERE hIdentif <> '0' LIMIT 1"}},
    };
    for (const auto& [what, sql] : refused) {
        const QByteArray table = alteredTable(good, sql);
        ASSERT_FALSE(table.isEmpty()) << what;
        const QString file =
            writeBytes(b.home, QStringLiteral("h.tbd"),
                       package({entry("id.000", id), entry("h_12345.db", zlibStream(table))}));
        EXPECT_FALSE(b.unpack(file, true).ok) << what;
        QFile::remove(file);
        EXPECT_EQ(b.snapshot(), before) << what;
    }
}

TEST(PointPackage, AStrangeEntryIsRefusedBeforeAnythingIsInflated) {
    Installation b;
    // Its data are no stream at all: had it been inflated, the error would say so.
    const QString file = writeBytes(b.home, QStringLiteral("odd.tbd"),
                                    package({entry("id.000", zlibStream("12345\r\n")),
                                             entry("h_12345.db", QByteArray("not a zlib stream")),
                                             entry("readme.txt", QByteArray("not a zlib stream"))}));
    const sync::PackageResult listed = sync::listPackage(file);
    ASSERT_TRUE(listed.ok) << listed.error.toStdString();
    ASSERT_EQ(listed.entries.size(), 3);
    EXPECT_EQ(listed.entries.at(2).name, QStringLiteral("readme.txt"));
    EXPECT_EQ(listed.entries.at(2).size, -1);
    const sync::UnpackOutcome r = b.unpack(file);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, QStringLiteral("not a file of a point's package: readme.txt"));
    EXPECT_FALSE(QFileInfo::exists(sync::stagingFolder(b.root())));
}

TEST(PointPackage, AStreamThatInflatesPastTheLimitIsStopped) {
    Installation b;
    // 4 MB of zeros squeezed into a few kilobytes: refused once it passes the limit, nothing written.
    const QByteArray bomb = package({entry("id.000", zlibStream("12345\r\n")),
                                     entry("p_12345.000", zlibStream(QByteArray(4 << 20, '\0')))});
    ASSERT_LT(bomb.size(), 10000);
    const QString file = writeBytes(b.home, QStringLiteral("bomb.tbd"), bomb);
    sync::PackageLimits limits;
    limits.maxEntryBytes = 1 << 20;
    EXPECT_FALSE(sync::inspectPackage(file, limits).ok);
    sync::UnpackOptions o;
    o.limits = limits;
    EXPECT_FALSE(sync::unpackPoint(b.root(), b.schemas, file, b.notifier, o).ok);
    limits.maxEntryBytes = qint64(8) << 20;
    limits.maxTotalBytes = 1 << 20;
    EXPECT_FALSE(sync::inspectPackage(file, limits).ok);
    limits.maxTotalBytes = qint64(8) << 20;
    const sync::PackageResult fine = sync::inspectPackage(file, limits);
    ASSERT_TRUE(fine.ok) << fine.error.toStdString();
    EXPECT_EQ(fine.entries.at(1).size, 4 << 20);
    EXPECT_FALSE(Registry(b.root(), b.schemas).find(kId));
}

TEST(PointPackage, ATableInUseStopsTheUnpackBeforeAnythingIsReplaced) {
    Installation a;
    storePoint(a);
    const QString file = a.home.path(folder::MailBD, QStringLiteral("12345.tbd"));
    ASSERT_TRUE(sync::packPoint(a.root(), a.schemas, kId, file).ok);
    Installation b;
    storePoint(b);
    appendRows(b, TableKind::Hourly, kId, 1);
    const QByteArray daily = b.home.read(folder::Day, QStringLiteral("d_12345.db"));
    {
        // A window still showing the point's hourly table.
        auto open =
            TableFile::open(b.table(TableKind::Hourly), TableKind::Hourly, b.schemas.of(TableKind::Hourly));
        ASSERT_TRUE(open);
        EXPECT_EQ(open->select().size(), 31);
        const sync::UnpackOutcome r = b.unpack(file, true);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.error.contains(QStringLiteral("in use"))) << r.error.toStdString();
    }
    EXPECT_EQ(b.rows(TableKind::Hourly).size(), 31);
    EXPECT_EQ(b.home.read(folder::Day, QStringLiteral("d_12345.db")), daily);
    // Once it is let go, the package goes in.
    EXPECT_TRUE(b.unpack(file, true).ok);
    EXPECT_EQ(b.rows(TableKind::Hourly).size(), 30);
}

TEST(GroupPackages, SaveEveryMemberThenOpenThemElsewhere) {
    Installation a;
    storePoint(a, QStringLiteral("12345"), 12345);
    storePoint(a, QStringLiteral("54321"), 54321);
    const QString lineA = Registry(a.root(), a.schemas).pollingList().at(0);
    const QString lineB = Registry(a.root(), a.schemas).pollingList().at(1);
    a.home.write(folder::Group, QStringLiteral("name_G.000"),
                 toCp1251(QStringLiteral("0/240301120000/Північ\r\n")));
    a.home.write(folder::Group, QStringLiteral("240301120000"),
                 toCp1251(QStringLiteral("0*Північ\r\n3*1") + lineA + QStringLiteral("\r\n3*1") + lineB +
                          QStringLiteral("\r\n")));
    QStringList log;
    const auto record = [&log](const QString& line, sync::LogColour colour) {
        log.append(QString::number(static_cast<int>(colour)) + QLatin1Char(' ') + line);
    };
    const auto clock = [] { return QTime(10, 20, 30); };
    sync::GroupSaveRun save(a.root(), a.storage, QStringLiteral("Північ"), kRussian, record, clock);
    ASSERT_TRUE(save.start());
    while (save.step()) {
    }
    EXPECT_TRUE(save.succeeded());
    const QString folderPath = a.home.path(folder::MailBD, QStringLiteral("Північ"));
    const QString shown = QDir::toNativeSeparators(folderPath);
    EXPECT_EQ(log.value(0), QStringLiteral("1 СОХРАНИТЬ ДАННЫЕ ГРУППЫ ПРИБОРОВ: \"Північ\""));
    EXPECT_EQ(log.value(1),
              QStringLiteral("1 ДИРЕКТОРИЯ: \"") + shown + QDir::separator() + QLatin1Char('"'));
    EXPECT_EQ(log.value(2), QStringLiteral("2 10:20:30*1* старт: \"ТАРН-2.01    N12345     Облгаз") +
                                QString(26, QLatin1Char(' ')) + QLatin1Char('"'));
    EXPECT_EQ(log.value(3), QStringLiteral("3 10:20:30*1* норма: \"") +
                                QDir::toNativeSeparators(folderPath + QStringLiteral("/12345.tbd")) +
                                QLatin1Char('"'));
    EXPECT_EQ(log.last(), QStringLiteral("1 ДАННЫЕ ПРИБОРОВ ГРУППЫ СОХРАНЕНЫ!!!"));
    EXPECT_EQ(sync::packagesInFolder(folderPath), (QStringList{"12345.tbd", "54321.tbd"}));

    // A group name that would lead out of Mail_BD makes no folder and packs nothing.
    log.clear();
    sync::GroupSaveRun bad(a.root(), a.storage, QStringLiteral(".."), kRussian, record, clock);
    EXPECT_FALSE(bad.start());
    EXPECT_TRUE(log.last().startsWith(QStringLiteral("4 ОШИБКА!!! При создании директории: \"")));
    EXPECT_TRUE(log.last().endsWith(QStringLiteral("\" - произошла ошибка")));

    // Opened elsewhere, with one damaged package among them: the others go in, the run says it failed.
    Installation b;
    const QString from = b.root().dir(folder::Report) + QStringLiteral("/in");
    QDir().mkpath(from);
    for (const QString& name : sync::packagesInFolder(folderPath))
        ASSERT_TRUE(QFile::copy(QDir(folderPath).filePath(name), QDir(from).filePath(name)));
    QFile bad1(QDir(from).filePath(QStringLiteral("00000.tbd")));
    ASSERT_TRUE(bad1.open(QIODevice::WriteOnly));
    bad1.write("not a package");
    bad1.close();
    log.clear();
    sync::GroupOpenRun open(b.root(), b.schemas, b.notifier, link::LinkSettings{}, from,
                            sync::packagesInFolder(from), kRussian, record, clock);
    ASSERT_TRUE(open.start());
    while (open.step()) {
    }
    EXPECT_FALSE(open.succeeded());
    EXPECT_EQ(open.opened(), 2);
    EXPECT_TRUE(log.contains(QStringLiteral("4 Ошибка данных: 00000.tbd")));
    EXPECT_TRUE(log.contains(QStringLiteral("3 10:20:30*2* норма: \"12345.tbd\"")));
    EXPECT_EQ(log.last(), QStringLiteral("4 ОШИБКА!!! не выполнено: 1 из 3"));
    EXPECT_TRUE(Registry(b.root(), b.schemas).find(QStringLiteral("54321")));
    EXPECT_EQ(sync::lastGroupFolder(b.root()), QDir::toNativeSeparators(from));

    // The stop flag ends a run before its next point; no ticked package is an error of its own.
    log.clear();
    sync::GroupOpenRun stopped(b.root(), b.schemas, b.notifier, link::LinkSettings{}, from,
                               sync::packagesInFolder(from), kRussian, record, clock);
    ASSERT_TRUE(stopped.start());
    stopped.stop();
    EXPECT_FALSE(stopped.step());
    EXPECT_EQ(log.last(), QStringLiteral("4 АВАРИЙНЫЙ ОСТАНОВ!!!"));
    sync::GroupOpenRun none(b.root(), b.schemas, b.notifier, link::LinkSettings{}, from, {}, kRussian,
                            record);
    EXPECT_FALSE(none.start());
    EXPECT_EQ(b.notifier.texts().last(), QStringLiteral("ОШИБКА!!! нет данных"));
}

TEST(PointPackage, AFailureSaysWhetherThePackageIsDamagedForeignHeldOrCannotBeWritten) {
    Installation a;
    storePoint(a);
    const QString file = a.home.path(folder::MailBD, QStringLiteral("12345.tbd"));
    ASSERT_TRUE(sync::packPoint(a.root(), a.schemas, kId, file).ok);

    // Written where nothing can be written: the user's text as before, the kind says why.
    const QString nowhere = test::unwritableFolder(a.root().root()) + QStringLiteral("/12345.tbd");
    const sync::PackOutcome unwritten = sync::packPoint(a.root(), a.schemas, kId, nowhere);
    EXPECT_FALSE(unwritten.ok);
    EXPECT_EQ(unwritten.kind, ErrorKind::Io) << unwritten.error.toStdString();
    EXPECT_EQ(unwritten.message, sync::packageWriteFailedText(QStringLiteral("12345.tbd")));

    Installation b;
    // Cut short in the middle of its data.
    const QByteArray whole = a.home.read(folder::MailBD, QStringLiteral("12345.tbd"));
    const QString cut = writeBytes(b.home, QStringLiteral("cut.tbd"), whole.left(whole.size() / 2));
    const sync::UnpackOutcome damaged = b.unpack(cut);
    EXPECT_FALSE(damaged.ok);
    EXPECT_EQ(damaged.kind, ErrorKind::Damaged) << damaged.error.toStdString();
    EXPECT_EQ(damaged.message, sync::unpackFailedText());
    EXPECT_EQ(sync::inspectPackage(cut).kind, ErrorKind::Damaged);
    // No package of ours at all, or one carrying a file of no point: refused as foreign.
    const QString text = writeBytes(b.home, QStringLiteral("letter.tbd"), QByteArray("Dear colleagues, ..."));
    EXPECT_EQ(b.unpack(text).kind, ErrorKind::Invalid);
    const QString strange = writeBytes(
        b.home, QStringLiteral("odd.tbd"),
        package({entry("id.000", zlibStream("12345\r\n")), entry("readme.txt", zlibStream("hello"))}));
    const sync::UnpackOutcome foreign = b.unpack(strange);
    EXPECT_EQ(foreign.kind, ErrorKind::Invalid) << foreign.error.toStdString();
    // A table in it whose fields are not ours.
    const QByteArray odd =
        alteredTable(a.table(TableKind::Hourly), {"ALTER TABLE h_12345 DROP COLUMN hDT_Corr"});
    ASSERT_FALSE(odd.isEmpty());
    const QString oddTable =
        writeBytes(b.home, QStringLiteral("table.tbd"),
                   package({entry("h_12345.db", zlibStream(odd)), entry("id.000", zlibStream("12345\r\n"))}));
    const sync::UnpackOutcome refused = b.unpack(oddTable);
    EXPECT_EQ(refused.kind, ErrorKind::Invalid) << refused.error.toStdString();
    EXPECT_EQ(sync::unpackPoint(b.root(), b.schemas, b.home.path(folder::MailBD, QStringLiteral("none.tbd")),
                                b.notifier, {})
                  .kind,
              ErrorKind::NotFound);
    EXPECT_FALSE(Registry(b.root(), b.schemas).find(kId));
    // A group's run keeps each cause with its kind beside the log's user texts.
    QStringList log;
    sync::GroupOpenRun group(b.root(), b.schemas, b.notifier, link::LinkSettings{},
                             b.root().dir(folder::MailBD),
                             {QStringLiteral("cut.tbd"), QStringLiteral("letter.tbd")}, kRussian,
                             [&log](const QString& line, sync::LogColour) { log.append(line); });
    ASSERT_TRUE(group.start());
    while (group.step()) {
    }
    ASSERT_EQ(group.causes().size(), 2);
    EXPECT_EQ(group.causes().at(0).kind, ErrorKind::Damaged);
    EXPECT_EQ(group.causes().at(1).kind, ErrorKind::Invalid);
    EXPECT_TRUE(log.contains(sync::dataErrorText(QStringLiteral("letter.tbd"))));

    // A table of the point open in a window here: held, not broken.
    storePoint(b);
    auto window =
        TableFile::open(b.table(TableKind::Hourly), TableKind::Hourly, b.schemas.of(TableKind::Hourly));
    ASSERT_TRUE(window);
    const sync::UnpackOutcome held = b.unpack(file, true);
    EXPECT_FALSE(held.ok);
    EXPECT_EQ(held.kind, ErrorKind::Locked) << held.error.toStdString();
    EXPECT_TRUE(held.error.contains(QStringLiteral("in use")));
}
