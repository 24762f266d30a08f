// The database's tables: where their files lie, and the schema files that declare their fields.
#include "common/TextFile.h"
#include "database/Schema.h"
#include "support/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::database;

TEST(DatabaseTables, FilesLieWhereTheInstallationKeepsThem) {
    test::TempHome home;
    const DataRoot& root = home.root();
    EXPECT_EQ(tablePath(root, TableKind::Hourly, QStringLiteral("t12345")),
              root.root() + QStringLiteral("/Hour/h_t12345.db"));
    EXPECT_EQ(tablePath(root, TableKind::HeatMonth, QStringLiteral("t12345")),
              root.root() + QStringLiteral("/Em/z_t12345.db"));
    EXPECT_EQ(tablePath(root, TableKind::Registry), root.root() + QStringLiteral("/Data/Bd_Quon.DB"));
    EXPECT_EQ(tablePath(root, TableKind::Gas), root.root() + QStringLiteral("/Data/Bd_Gas.DB"));
    // The join table is the day's, in the month's folder.
    EXPECT_EQ(tablePath(root, TableKind::Join, {}, QDate(2024, 3, 9)),
              root.root() + QStringLiteral("/Join/j_2403/j_240309.db"));
    EXPECT_EQ(tablePath(root, TableKind::Join, {}, QDate(2031, 12, 31)),
              root.root() + QStringLiteral("/Join/j_3112/j_311231.db"));
    EXPECT_EQ(tableInfo(TableKind::RequestLog).mask, 1024u);
    for (TableKind kind : kSchemaLoadOrder)
        EXPECT_EQ(defaultFields(kind).size(), tableInfo(kind).fieldCount) << tableInfo(kind).schemaFile;
}

TEST(DatabaseTables, FieldsTheProgramAddressesByPosition) {
    const QList<FieldSpec> hourly = defaultFields(TableKind::Hourly);
    EXPECT_EQ(hourly.at(0), (FieldSpec{QStringLiteral("hNum"), FieldType::AutoIncrement, 0}));
    EXPECT_EQ(hourly.at(6).name, QStringLiteral("hDate"));
    EXPECT_EQ(hourly.at(16).name, QStringLiteral("hHelp"));
    EXPECT_EQ(hourly.at(17), (FieldSpec{QStringLiteral("hDT_Corr"), FieldType::Timestamp, 0}));
    EXPECT_EQ(hourly.at(24).name, QStringLiteral("hComment"));
    EXPECT_EQ(defaultFields(TableKind::Monthly).at(18).name, QStringLiteral("mOldData"));
    EXPECT_EQ(defaultFields(TableKind::Registry).at(23).name, QStringLiteral("kFlagRdWrRS"));
    EXPECT_EQ(defaultFields(TableKind::Registry).at(26).name, QStringLiteral("kDateTimeRS"));
    const QList<FieldSpec> log = defaultFields(TableKind::RequestLog);
    EXPECT_EQ(log.at(10).name, QStringLiteral("bDbegHour"));
    EXPECT_EQ(log.at(37).name, QStringLiteral("bNendSpec"));
    EXPECT_EQ(log.at(46).name, QStringLiteral("bComment"));
    EXPECT_EQ(defaultFields(TableKind::Join).at(14).name, QStringLiteral("jIdJoin"));
    EXPECT_EQ(defaultFields(TableKind::HeatMonth).at(9).name, QStringLiteral("zEm"));
}

TEST(SchemaFiles, TheShippedFilesLoadAndReadBackTheirFields) {
    test::TempHome home;
    ASSERT_TRUE(writeMissingSchemaFiles(home.root()));
    const Schemas s = loadSchemas(home.root());
    ASSERT_TRUE(s.ok) << s.error.toStdString();
    for (TableKind kind : kSchemaLoadOrder)
        EXPECT_EQ(s.of(kind), defaultFields(kind));
    // Characters 5..24 the name, 25..26 the code, 27..28 the width.
    const QStringList lines = schemaFileLines(TableKind::Hourly);
    EXPECT_EQ(lines.at(1).mid(4, 20).trimmed(), QStringLiteral("hIdentif"));
    EXPECT_EQ(lines.at(1).mid(24, 2).trimmed(), QStringLiteral("A"));
    EXPECT_EQ(lines.at(1).mid(26, 2).trimmed(), QStringLiteral("10"));
    // A file already there is kept as it is.
    home.write(folder::Work, QStringLiteral("Bd_Gas.txt"), QByteArray("custom\r\n"));
    ASSERT_TRUE(writeMissingSchemaFiles(home.root()));
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("Bd_Gas.txt")), QByteArray("custom\r\n"));
}

TEST(SchemaFiles, AnythingButTheExpectedFieldsIsAFormatError) {
    const QStringList good = schemaFileLines(TableKind::Service);
    const QString name = QStringLiteral("Bd_Spec.txt");
    // Empty lines between the fields are skipped.
    QStringList spaced = good;
    spaced.insert(3, QString());
    spaced.append(QStringLiteral("   "));
    EXPECT_TRUE(parseSchema(TableKind::Service, spaced, name).ok);

    const QString error = QStringLiteral("ОШИБКА !!! ФОРМАТА ФАЙЛА : Bd_Spec.txt");
    QStringList extra = good;
    extra.append(good.last());
    EXPECT_EQ(parseSchema(TableKind::Service, extra, name).error, error);
    // A missing field, two swapped, a wrong type, an unknown code, a text without width: never a shift.
    QStringList missing = good;
    missing.removeAt(5);
    EXPECT_EQ(parseSchema(TableKind::Service, missing, name).error, error);
    EXPECT_FALSE(parseSchema(TableKind::Service, good.mid(0, good.size() - 1), name).ok);
    QStringList swapped = good;
    swapped.swapItemsAt(8, 9);
    EXPECT_FALSE(parseSchema(TableKind::Service, swapped, name).ok);
    QStringList retyped = good;
    retyped[6] = retyped[6].left(24) + QStringLiteral("A 10");
    EXPECT_FALSE(parseSchema(TableKind::Service, retyped, name).ok);
    QStringList unknown = good;
    unknown[8] = unknown[8].left(24) + QStringLiteral("X 8");
    EXPECT_FALSE(parseSchema(TableKind::Service, unknown, name).ok);
    QStringList noWidth = good;
    noWidth[8] = noWidth[8].left(26);
    EXPECT_FALSE(parseSchema(TableKind::Service, noWidth, name).ok);
    // Case does not matter in a name; the width of a text field is the file's.
    QStringList widened = good;
    widened[11] = QStringLiteral("12  SCOMMENT            A 80");
    const SchemaLoad w = parseSchema(TableKind::Service, widened, name);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.fields.at(11), (FieldSpec{QStringLiteral("sComment"), FieldType::Text, 80}));

    // A file that is not there: the opening error, and loading stops at the first failure.
    test::TempHome home;
    ASSERT_TRUE(writeMissingSchemaFiles(home.root()));
    QFile::remove(home.path(folder::Work, QStringLiteral("Bd_Alarm.txt")));
    EXPECT_EQ(loadSchemas(home.root()).error, QStringLiteral("ОШИБКА !!! ОТКРЫТИЯ ФАЙЛА : Bd_Alarm.txt"));
}
