// Table files with their seed records, and the registry of metering points.
#include "common/TextFile.h"
#include "database/Gases.h"
#include "database/Registry.h"
#include "support/DatabaseFaults.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::database;

namespace {

struct Db {
    test::TempHome home;
    Schemas schemas;
    Db() {
        writeMissingSchemaFiles(home.root());
        schemas = loadSchemas(home.root());
    }
};

Point point(const QString& id, const QString& serial, const QString& model = QStringLiteral("ТАРН-2.01  ")) {
    Point p;
    p.identifier = id;
    p.serial = serial;
    p.model = model;
    p.organisation = QStringLiteral("Облгаз");
    p.pipeline = QStringLiteral("Нитка 1");
    p.address = 3;
    p.config = {
        QStringLiteral("ТОВ \"Газ\""), QStringLiteral("0441234567"), QStringLiteral("прямое соединение"),
        QStringLiteral("COM1"),        QStringLiteral("1111"),       QString(),
        QStringLiteral("19200"),       QStringLiteral("6000"),       QStringLiteral("30"),
        QStringLiteral("6"),           QStringLiteral("60"),         QStringLiteral("10"),
        QStringLiteral("3"),           QStringLiteral("AT&FE0S0=0"), QStringLiteral("природный"),
        QStringLiteral("11100001000")};
    return p;
}

} // namespace

TEST(TableFiles, ANewTableHoldsOnlyItsSeedRecord) {
    Db db;
    ASSERT_TRUE(db.schemas.ok);
    const QString path = tablePath(db.home.root(), TableKind::Hourly, QStringLiteral("t12345"));
    const QDateTime now(QDate(2024, 3, 9), QTime(14, 5, 30));
    {
        QString error;
        auto t = TableFile::open(path, TableKind::Hourly, db.schemas.of(TableKind::Hourly), &error, now);
        ASSERT_TRUE(t) << error.toStdString();
        EXPECT_TRUE(QFile::exists(path));
        EXPECT_TRUE(t->select().isEmpty()); // the seed never shows
        ASSERT_TRUE(
            t->append({{QStringLiteral("hIdentif"), QStringLiteral("t12345")},
                       {QStringLiteral("hNumWrCor"), 15},
                       {QStringLiteral("hDate"), storedDate(QDate(2024, 3, 1))},
                       {QStringLiteral("hHelp"), QStringLiteral("xxx/xxxxxxxxxxxx-and-more-than-twenty")}}));
    }
    // Opened again: no second seed; the row keeps its number after the seed's.
    QString error;
    auto t = TableFile::open(path, TableKind::Hourly, db.schemas.of(TableKind::Hourly), &error, now);
    ASSERT_TRUE(t) << error.toStdString();
    const auto rows = t->select();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].value(0).toInt(), 2);
    EXPECT_EQ(rows[0].value(5).toInt(), 15);
    EXPECT_EQ(rows[0].value(6).toString(), QStringLiteral("2024-03-01"));
    EXPECT_EQ(rows[0].value(16).toString(), QStringLiteral("xxx/xxxxxxxxxxxx-and")); // cut to its 20
    EXPECT_TRUE(t->select(QStringLiteral("\"hNumWrCor\" = ?"), {16}).isEmpty());
    EXPECT_FALSE(t->append({{QStringLiteral("hNoSuchField"), 1}}));

    // The join table's seed: "--" texts and "00:00:00" times, in the day's folder.
    const QString join = tablePath(db.home.root(), TableKind::Join, {}, now.date());
    auto j = TableFile::open(join, TableKind::Join, db.schemas.of(TableKind::Join), nullptr, now);
    ASSERT_TRUE(j);
    EXPECT_TRUE(join.endsWith(QStringLiteral("/Join/j_2403/j_240309.db")));
    EXPECT_TRUE(j->select().isEmpty());
}

TEST(Registry, IdentifiersByFamilyAndSerial) {
    EXPECT_EQ(pointIdentifier(QLatin1Char('T'), QStringLiteral("T47a"), false, QStringLiteral("123456")),
              QStringLiteral("t12345"));
    EXPECT_EQ(pointIdentifier(QLatin1Char('T'), QStringLiteral("T47a"), false, QStringLiteral("1234")),
              QStringLiteral("t00000"));
    EXPECT_EQ(pointIdentifier(QLatin1Char('V'), QStringLiteral("V47a"), false, QStringLiteral("01234")),
              QStringLiteral("01234"));
    EXPECT_EQ(pointIdentifier(QLatin1Char('V'), QStringLiteral("V41a"), true, QStringLiteral("01234")),
              QStringLiteral("o01234"));
    EXPECT_EQ(pointIdentifier(QLatin1Char('W'), QString(), false, QStringLiteral("55555")),
              QStringLiteral("w55555"));
    EXPECT_EQ(pointIdentifier(QLatin1Char('R'), QStringLiteral("V46a"), false, QStringLiteral("55555")),
              QStringLiteral("R55555"));
    EXPECT_EQ(pointIdentifier(QLatin1Char('F'), QStringLiteral("F46a"), false, QStringLiteral("55555")),
              QStringLiteral("F55555"));
    EXPECT_EQ(pointIdentifier(QLatin1Char('F'), QStringLiteral("R46a"), false, QStringLiteral("55555")),
              QStringLiteral("S55555"));
    EXPECT_EQ(pointIdentifier(QLatin1Char('r'), QStringLiteral("V46a"), false, QStringLiteral("55555")),
              QStringLiteral("r55555"));
    EXPECT_EQ(pointIdentifier(QLatin1Char('f'), QStringLiteral("r46a"), false, QStringLiteral("55555")),
              QStringLiteral("s55555"));
    // Two families with the same serial digits are two points.
    EXPECT_NE(pointIdentifier(QLatin1Char('T'), {}, false, QStringLiteral("12345")),
              pointIdentifier(QLatin1Char('W'), {}, false, QStringLiteral("12345")));
}

TEST(Registry, AddFindAndChangeOnlyWhatDiffers) {
    Db db;
    Registry r(db.home.root(), db.schemas);
    ASSERT_TRUE(r.ok()) << r.error().toStdString();
    EXPECT_FALSE(r.find(QStringLiteral("t12345")));
    Point p = point(QStringLiteral("t12345"), QStringLiteral("12345"));
    p.config[config::Owner] = QString(40, QLatin1Char('W'));
    ASSERT_TRUE(r.add(p)) << r.error().toStdString();
    // The point's tables exist, each with its seed.
    for (TableKind kind : kPointTables)
        EXPECT_TRUE(QFile::exists(tablePath(db.home.root(), kind, QStringLiteral("t12345"))))
            << tableInfo(kind).schemaFile;
    const auto found = r.find(QStringLiteral("t12345"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->config[config::Owner], QString(32, QLatin1Char('W')));
    EXPECT_EQ(found->organisation, QStringLiteral("Облгаз"));
    EXPECT_EQ(found->address, 3);
    EXPECT_TRUE(found->flag(1));
    EXPECT_FALSE(found->flag(4));
    EXPECT_TRUE(found->flag(8));
    EXPECT_FALSE(found->flag(11));
    EXPECT_FALSE(found->flag(12));

    PointConfig changed = found->config;
    changed[config::Gas] = QStringLiteral("азот");
    EXPECT_EQ(r.updateConfig(QStringLiteral("t12345"), changed), 1);
    EXPECT_EQ(r.find(QStringLiteral("t12345"))->config[config::Gas], QStringLiteral("азот"));
    EXPECT_EQ(r.updateConfig(QStringLiteral("t12345"), changed), 0);
    EXPECT_TRUE(r.updateField(QStringLiteral("t12345"), 6, QStringLiteral("Облгаз-2")));
    EXPECT_EQ(r.find(QStringLiteral("t12345"))->organisation, QStringLiteral("Облгаз-2"));
    EXPECT_FALSE(r.updateField(QStringLiteral("t12345"), 2, QStringLiteral("x99999"))); // never the key

    // The point list and the polling console's line.
    EXPECT_EQ(readTextLines(db.home.path(folder::Current, QStringLiteral("SynCor.000"))),
              std::optional<QStringList>(QStringList{QStringLiteral("t12345")}));
    ASSERT_EQ(r.pollingList().size(), 1);
    EXPECT_EQ(r.pollingList().at(0), QStringLiteral("ТАРН-2.01   №12345  ") + QString(32, QLatin1Char('W')) +
                                         QStringLiteral("         t12345"));
}

// A configuration value never given (the corrector's telephone of a cable point) is empty text, so a
// search or a comparison with "" finds it.
TEST(Registry, AHeaderIsWrittenWholeOrNotAtAll) {
    Db db;
    const QString id = QStringLiteral("t12345");
    ASSERT_TRUE(Registry(db.home.root(), db.schemas).add(point(id, QStringLiteral("12345"))));
    const QString file = tablePath(db.home.root(), TableKind::Registry);
    const QList<std::pair<int, QString>> header = {
        {6, QStringLiteral("Нова організація")}, {7, QStringLiteral("Нитка 2")}, {8, QStringLiteral("5")}};
    const auto unchanged = [&] {
        const PointLookup p = Registry(db.home.root(), db.schemas).find(id);
        return p && p->organisation == QStringLiteral("Облгаз") && p->pipeline == QStringLiteral("Нитка 1") &&
               p->address == 3;
    };
    // The last field cannot be written: the two before it must not stay.
    ASSERT_TRUE(
        test::alterTableFile(file, {"CREATE TRIGGER refuse BEFORE UPDATE OF kArdQuon ON Bd_Quon BEGIN "
                                    "SELECT RAISE(ABORT, 'refused'); END"}));
    {
        Registry r(db.home.root(), db.schemas);
        EXPECT_FALSE(r.updateFields(id, header));
        EXPECT_TRUE(r.error().contains(QStringLiteral("refused"))) << r.error().toStdString();
    }
    EXPECT_TRUE(unchanged());
    ASSERT_TRUE(test::alterTableFile(file, {"DROP TRIGGER refuse"}));

    // Another program holds the registry: nothing is written, and the store that asked is told.
    qputenv("TARN_DB_BUSY_WAIT_MS", "20");
    {
        test::SqliteHolder holder(file);
        ASSERT_TRUE(holder.lockForWriting());
        Registry r(db.home.root(), db.schemas);
        EXPECT_FALSE(r.updateFields(id, header));
    }
    qunsetenv("TARN_DB_BUSY_WAIT_MS");
    EXPECT_TRUE(unchanged());

    Registry r(db.home.root(), db.schemas);
    ASSERT_TRUE(r.updateFields(id, header));
    const PointLookup p = r.find(id);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->organisation, QStringLiteral("Нова організація"));
    EXPECT_EQ(p->pipeline, QStringLiteral("Нитка 2"));
    EXPECT_EQ(p->address, 5);
}

TEST(Registry, TextsNeverGivenAreStoredAsEmptyTextNotNull) {
    Db db;
    {
        Registry r(db.home.root(), db.schemas);
        Point p = point(QStringLiteral("t12345"), QStringLiteral("12345"));
        ASSERT_TRUE(p.config[config::Phone].isNull());
        ASSERT_TRUE(r.add(p)) << r.error().toStdString();
    }
    {
        QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw-read"));
        raw.setDatabaseName(tablePath(db.home.root(), TableKind::Registry));
        ASSERT_TRUE(raw.open());
        QSqlQuery q(raw);
        ASSERT_TRUE(q.exec(QStringLiteral(
            "SELECT \"kTelQuon\" IS NULL, \"kTelQuon\" FROM \"Bd_Quon\" WHERE \"kIdentif\" = 't12345'")));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), 0);
        EXPECT_EQ(q.value(1).toString(), QString());
        q.finish();
        raw.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw-read"));
}

TEST(Registry, SearchBindsTheUsersTextAndFindsSerialsWithoutTheirZeros) {
    Db db;
    Registry r(db.home.root(), db.schemas);
    for (const char* serial : {"12345", "01234", "00123", "12399", "11234", "000123"})
        ASSERT_TRUE(r.add(
            point(QStringLiteral("t") + QString::fromLatin1(serial).left(5), QString::fromLatin1(serial))));
    auto serials = [](const QList<Point>& points) {
        QStringList s;
        for (const Point& p : points)
            s.append(p.serial);
        return s;
    };
    auto with = [](auto set) {
        RegistrySearch criteria;
        set(criteria);
        return criteria;
    };
    EXPECT_EQ(serials(r.search(with([](RegistrySearch& c) { c.serial = QStringLiteral("12345"); }))),
              QStringList{QStringLiteral("12345")});
    EXPECT_EQ(serials(r.search(with([](RegistrySearch& c) { c.serial = QStringLiteral("123"); }))),
              (QStringList{QStringLiteral("12345"), QStringLiteral("01234"), QStringLiteral("00123"),
                           QStringLiteral("12399"), QStringLiteral("000123")}));
    // Quotes and LIKE characters are plain text, never SQL.
    EXPECT_EQ(r.search(with([](RegistrySearch& c) { c.owner = QStringLiteral("ТОВ \"Газ\""); })).size(), 6);
    EXPECT_TRUE(r.search(with([](RegistrySearch& c) { c.owner = QStringLiteral("%"); })).isEmpty());
    EXPECT_TRUE(
        r.search(with([](RegistrySearch& c) { c.organisation = QStringLiteral("\" OR 1=1 --"); })).isEmpty());
    EXPECT_EQ(r.search(with([](RegistrySearch& c) { c.model = QStringLiteral("ТАРН-2.01  "); })).size(), 6);
    EXPECT_TRUE(r.search(with([](RegistrySearch& c) { c.model = QStringLiteral("КВОН"); })).isEmpty());
}

// The texts inside fields match in any letter case, Cyrillic as Latin; the model without its padding.
TEST(Registry, SearchIgnoresLetterCaseInCyrillicAndTheModelsPadding) {
    Db db;
    Registry r(db.home.root(), db.schemas);
    Point gas = point(QStringLiteral("t11111"), QStringLiteral("11111"));
    gas.organisation = QStringLiteral("ГАЗ-Сервис");
    gas.config[config::Owner] = QStringLiteral("Ёлкин и Partners");
    Point other = point(QStringLiteral("w22222"), QStringLiteral("22222"), QStringLiteral("ТАРН-1.02  "));
    other.organisation = QStringLiteral("Водоканал");
    ASSERT_TRUE(r.add(gas));
    ASSERT_TRUE(r.add(other));
    const struct {
        const char* what;
        QString RegistrySearch::*field;
        const char* text;
        QStringList found;
    } cases[] = {
        {"cyrillic lower", &RegistrySearch::organisation, "газ", {QStringLiteral("t11111")}},
        {"cyrillic mixed", &RegistrySearch::organisation, "гАз-сЕРВИС", {QStringLiteral("t11111")}},
        {"yo", &RegistrySearch::owner, "ёЛКИН", {QStringLiteral("t11111")}},
        {"latin", &RegistrySearch::owner, "PARTNERS", {QStringLiteral("t11111")}},
        {"no match", &RegistrySearch::organisation, "газпром", {}},
        {"model unpadded", &RegistrySearch::model, "ТАРН-1.02", {QStringLiteral("w22222")}},
        {"model padded", &RegistrySearch::model, "ТАРН-1.02  ", {QStringLiteral("w22222")}},
        {"model part", &RegistrySearch::model, "ТАРН-1", {}},
    };
    for (const auto& c : cases) {
        RegistrySearch criteria;
        criteria.*c.field = QString::fromUtf8(c.text);
        QStringList ids;
        for (const Point& p : r.search(criteria))
            ids.append(p.identifier);
        EXPECT_EQ(ids, c.found) << c.what;
    }
}

TEST(Registry, EraseRemovesFilesAndGroupLinesBeforeTheRowAndCanBeRetried) {
    Db db;
    Registry r(db.home.root(), db.schemas);
    ASSERT_TRUE(r.add(point(QStringLiteral("t12345"), QStringLiteral("12345"))));
    ASSERT_TRUE(r.add(point(QStringLiteral("t54321"), QStringLiteral("54321"))));
    // Two groups with the point in both.
    db.home.write(folder::Group, QStringLiteral("name_G.000"),
                  "0/240301120000/Північ\r\n1/240302120000/Південь\r\n");
    const QByteArray members =
        "0*Північ\r\n3*1ТАРН-2.01   №12345  owner                                   t12345\r\n"
        "3*1ТАРН-2.01   №54321  owner                                   t54321\r\n";
    db.home.write(folder::Group, QStringLiteral("240301120000"), members);
    db.home.write(folder::Group, QStringLiteral("240302120000"), members);
    db.home.write(folder::Param, QStringLiteral("p_t12345.000"), "params\r\n");

    // A table that cannot be deleted (a folder in its place) stops the erase: the point stays.
    const QString hourly = tablePath(db.home.root(), TableKind::Hourly, QStringLiteral("t12345"));
    ASSERT_TRUE(QFile::remove(hourly));
    ASSERT_TRUE(QDir().mkpath(hourly + QStringLiteral("/blocked")));
    EXPECT_EQ(r.erase(QStringLiteral("t12345")), QStringLiteral("Ошибка при удалении файла ") + hourly);
    EXPECT_TRUE(r.find(QStringLiteral("t12345")));
    // Tried again once the obstacle is gone; a file already missing counts as erased.
    ASSERT_TRUE(QDir(hourly).removeRecursively());
    EXPECT_TRUE(r.erase(QStringLiteral("t12345")).isEmpty());
    EXPECT_FALSE(r.find(QStringLiteral("t12345")));
    EXPECT_TRUE(r.find(QStringLiteral("t54321")));
    EXPECT_FALSE(QFile::exists(tablePath(db.home.root(), TableKind::Daily, QStringLiteral("t12345"))));
    EXPECT_TRUE(QFile::exists(tablePath(db.home.root(), TableKind::Daily, QStringLiteral("t54321"))));
    EXPECT_FALSE(db.home.exists(folder::Param, QStringLiteral("p_t12345.000")));
    for (const char* group : {"240301120000", "240302120000"}) {
        const auto lines = readTextLines(db.home.path(folder::Group, QString::fromLatin1(group)));
        ASSERT_TRUE(lines);
        EXPECT_EQ(lines->size(), 2) << group;
        EXPECT_TRUE(lines->last().endsWith(QStringLiteral("t54321")));
    }
    EXPECT_EQ(readTextLines(db.home.path(folder::Current, QStringLiteral("SynCor.000"))),
              std::optional<QStringList>(QStringList{QStringLiteral("t54321")}));
    // Nothing that is not an identifier reaches a file name.
    EXPECT_FALSE(r.erase(QStringLiteral("../t54321")).isEmpty());
    EXPECT_FALSE(isPointIdentifier(QStringLiteral("t1234/")));
    EXPECT_TRUE(isPointIdentifier(QStringLiteral("01234")));
}

TEST(GasCompositions, UniqueNamesAndTheCorrectorsRangeChecks) {
    Db db;
    Gases gases(db.home.root(), db.schemas);
    ASSERT_TRUE(gases.ok());
    EXPECT_TRUE(gases.names().isEmpty()); // the seed's "0" is no composition
    EXPECT_TRUE(gases
                    .add({QStringLiteral("природный"), QStringLiteral("0.68"), QStringLiteral("0.5"),
                          QStringLiteral("1.2")})
                    .isEmpty());
    EXPECT_EQ(gases.add({QStringLiteral("природный"), QStringLiteral("0.7"), QStringLiteral("0"),
                         QStringLiteral("0")}),
              QStringLiteral("в БД газ - \"природный\" уже есть!!!"));
    // A density the corrector would refuse (above 1.051) is refused here too.
    EXPECT_EQ(gases.add({QStringLiteral("тяжелый"), QStringLiteral("1.2"), QStringLiteral("0"),
                         QStringLiteral("0")}),
              QStringLiteral("проверь набор параметров!!!"));
    EXPECT_EQ(
        gasValueOutOfRange({QString(), QStringLiteral("0.7"), QStringLiteral("x"), QStringLiteral("0")}),
        std::optional<int>(1));
    EXPECT_TRUE(gases
                    .change(QStringLiteral("природный"), {QStringLiteral("природный"), QStringLiteral("0.7"),
                                                          QStringLiteral("0.5"), QStringLiteral("1.2")})
                    .isEmpty());
    ASSERT_EQ(gases.all().size(), 1);
    EXPECT_EQ(gases.all().at(0).density, QStringLiteral("0.7"));
    EXPECT_FALSE(gases.remove(QStringLiteral("0")));
    EXPECT_TRUE(gases.remove(QStringLiteral("природный")));
    EXPECT_TRUE(gases.names().isEmpty());
}

TEST(Registry, TheConfiguratorsRangesAndLists) {
    PointConfig c = point(QStringLiteral("t12345"), QStringLiteral("12345")).config;
    EXPECT_TRUE(checkConfig(c).isEmpty());
    auto with = [&c](int value, const char* text) {
        PointConfig changed = c;
        changed[value] = QString::fromUtf8(text);
        return checkConfig(changed);
    };
    EXPECT_EQ(with(config::LinkKind, "модем"), QStringLiteral("Не выбран \"Вид связи\"!!!"));
    EXPECT_FALSE(with(config::Port, "COM26").isEmpty());
    EXPECT_TRUE(with(config::Port, "COM25").isEmpty());
    EXPECT_FALSE(with(config::Speed, "14400").isEmpty());
    EXPECT_FALSE(with(config::TimeoutMs, "299").isEmpty());
    EXPECT_TRUE(with(config::TimeoutMs, "10000").isEmpty());
    EXPECT_FALSE(with(config::WaitS, "9").isEmpty());
    EXPECT_FALSE(with(config::Flags, "1110000100").isEmpty());
    EXPECT_FALSE(with(config::Phone, "012345678901234567890123456789012").isEmpty());
}

TEST(Registry, LastStoredSummaryIsTheLastRowWrittenOfEachKind) {
    Db db;
    Registry r(db.home.root(), db.schemas);
    ASSERT_TRUE(r.add(point(QStringLiteral("t12345"), QStringLiteral("12345"))));
    // A table the point never had is not created by looking at it.
    ASSERT_TRUE(QFile::remove(tablePath(db.home.root(), TableKind::Service, QStringLiteral("t12345"))));
    auto hourly = TableFile::open(tablePath(db.home.root(), TableKind::Hourly, QStringLiteral("t12345")),
                                  TableKind::Hourly, db.schemas.of(TableKind::Hourly));
    ASSERT_TRUE(hourly);
    // "Last" is the row written last, not the latest record time (a corrector's clock can go back).
    for (const auto& [number, stamp] : {std::pair{812, QDateTime(QDate(2024, 3, 7), QTime(9, 0))},
                                        std::pair{7, QDateTime(QDate(2024, 3, 6), QTime(23, 0))}})
        ASSERT_TRUE(hourly->append({{QStringLiteral("hIdentif"), QStringLiteral("t12345")},
                                    {QStringLiteral("hNumWrCor"), number},
                                    {QStringLiteral("hDT_Corr"), storedTimestamp(stamp)}}));
    hourly.reset();
    const LastStoredSummary summary = lastStoredSummary(db.home.root(), db.schemas, QStringLiteral("t12345"));
    EXPECT_EQ(summary[0].identifier, QStringLiteral("t12345"));
    EXPECT_EQ(summary[0].number, QStringLiteral("00007"));
    EXPECT_EQ(summary[0].date, QStringLiteral("06.03.2024"));
    EXPECT_EQ(summary[0].time, QStringLiteral("23:00"));
    for (std::size_t k = 1; k < summary.size(); ++k)
        EXPECT_TRUE(summary[k].identifier.isEmpty()) << k;
    EXPECT_FALSE(QFile::exists(tablePath(db.home.root(), TableKind::Service, QStringLiteral("t12345"))));
}

// The board's newest record time, read stamp by stamp, is the latest of the summary's stamps, on tables
// that hold a clock gone back, a repeated time, a gap, nothing but the seed record, a stamp that is no
// time, or no file at all; and looking creates nothing.
TEST(Registry, NewestStoredStampIsTheLatestOfTheSummarysStamps) {
    Db db;
    Registry r(db.home.root(), db.schemas);
    const QString id = QStringLiteral("t12345");
    ASSERT_TRUE(r.add(point(id, QStringLiteral("12345"))));
    SqliteStorage storage(db.home.root(), db.schemas);
    auto newestOfSummary = [&] {
        QDateTime latest;
        for (const LastStored& s : lastStoredSummary(storage, id))
            if (s.stamp.isValid() && (!latest.isValid() || s.stamp > latest)) latest = s.stamp;
        return latest;
    };
    // Every table holds only its seed record (stamped with the registration time): nothing stored.
    EXPECT_FALSE(newestStoredStamp(storage, id).isValid());
    EXPECT_FALSE(newestOfSummary().isValid());

    auto append = [&](TableKind kind, int number, const QString& stamp) {
        const QString prefix(tableInfo(kind).fieldPrefix);
        auto table = storage.openExistingPoint(kind, id);
        ASSERT_TRUE(table);
        QVariantMap row{{prefix + QStringLiteral("Identif"), id}};
        if (kind == TableKind::Measurement) {
            row.insert(prefix + QStringLiteral("DateTime"), stamp);
        } else {
            row.insert(prefix + QStringLiteral("NumWrCor"), number);
            row.insert(prefix + QStringLiteral("DT_Corr"), stamp);
        }
        ASSERT_TRUE(table->append(row)) << table->lastError().toStdString();
    };
    const QDateTime t0(QDate(2024, 3, 7), QTime(9, 0));
    // Hourly: the clock went back, so the last row is not the latest time; a repeated time.
    append(TableKind::Hourly, 812, storedTimestamp(t0.addDays(3)));
    append(TableKind::Hourly, 7, storedTimestamp(t0));
    append(TableKind::Hourly, 8, storedTimestamp(t0));
    EXPECT_EQ(newestStoredStamp(storage, id), t0);
    EXPECT_EQ(newestStoredStamp(storage, id), newestOfSummary());
    // Daily: a later time; its last row then taken away leaves a gap and the earlier row.
    append(TableKind::Daily, 1, storedTimestamp(t0.addDays(1)));
    append(TableKind::Daily, 2, storedTimestamp(t0.addDays(9)));
    EXPECT_EQ(newestStoredStamp(storage, id), t0.addDays(9));
    ASSERT_TRUE(
        storage.openExistingPoint(TableKind::Daily, id)
            ->remove(QString(tableInfo(TableKind::Daily).fieldPrefix) + QStringLiteral("NumWrCor"), 2));
    EXPECT_EQ(newestStoredStamp(storage, id), t0.addDays(1));
    EXPECT_EQ(newestStoredStamp(storage, id), newestOfSummary());
    // The measurement keeps its time in another field; a stamp that is no time counts as none.
    append(TableKind::Measurement, 0, storedTimestamp(t0.addDays(2)));
    EXPECT_EQ(newestStoredStamp(storage, id), t0.addDays(2));
    append(TableKind::Measurement, 0, QStringLiteral("not a time"));
    EXPECT_EQ(newestStoredStamp(storage, id), t0.addDays(1));
    EXPECT_EQ(newestStoredStamp(storage, id), newestOfSummary());
    // A table file gone is no stored record and is not made again by looking.
    const QString service = tablePath(db.home.root(), TableKind::Service, id);
    ASSERT_TRUE(QFile::remove(service));
    EXPECT_EQ(newestStoredStamp(storage, id), newestOfSummary());
    EXPECT_FALSE(QFile::exists(service));
    // No point at all, or no identifier of a point.
    EXPECT_FALSE(newestStoredStamp(storage, QStringLiteral("t99999")).isValid());
    EXPECT_FALSE(newestStoredStamp(storage, QStringLiteral("../x")).isValid());
}

// The console's point list, read four fields a row: every point in the order registered (an erased one
// gone), each line laid out from the stored, trimmed texts.
TEST(Registry, PollingListHasEveryPointInRegistrationOrder) {
    Db db;
    Registry r(db.home.root(), db.schemas);
    for (const auto& [id, serial, owner] :
         {std::tuple{"t30003", "30003", "  Юг  "}, std::tuple{"t10001", "10001", ""},
          std::tuple{"t20002", "20002", "Север"}}) {
        Point p =
            point(QString::fromLatin1(id), QString::fromLatin1(serial), QStringLiteral("ТАРН-2.01-ДЛИННЫЙ"));
        p.config[config::Owner] = QString::fromUtf8(owner);
        ASSERT_TRUE(r.add(p)) << r.error().toStdString();
    }
    ASSERT_TRUE(r.erase(QStringLiteral("t10001")).isEmpty());
    // The model cut to its 11 places, the owner padded to 32, the identifier right-aligned in 15.
    EXPECT_EQ(r.pollingList(),
              (QStringList{QStringLiteral("ТАРН-2.01-Д №30003  Юг") + QString(30, QLatin1Char(' ')) +
                               QString(9, QLatin1Char(' ')) + QStringLiteral("t30003"),
                           QStringLiteral("ТАРН-2.01-Д №20002  Север") + QString(27, QLatin1Char(' ')) +
                               QString(9, QLatin1Char(' ')) + QStringLiteral("t20002")}));
}
