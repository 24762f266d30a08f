#pragma once
// A demo-like installation for the copies between storages, and a reader of table files of the test's
// own (plain QSqlDatabase, none of the program's table code) that says what the files hold, value by
// value with the engine's own type of each value.
#include "database/Storage.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <cmath>
#include <limits>

namespace tarn::test::migration {

using namespace tarn::database;

// When the tables of the installation were made (their seed records' stamps).
inline const QDateTime kMadeAt(QDate(2025, 3, 9), QTime(7, 15, 0));

// The fields of every kind as a new installation's schema files declare them.
inline Schemas shippedSchemas() {
    Schemas schemas;
    schemas.ok = true;
    for (TableKind kind : kSchemaLoadOrder)
        schemas.fields[static_cast<int>(kind)] = defaultFields(kind);
    return schemas;
}

// Doubles whose printed forms are easy to lose a digit of.
inline const double kHardDoubles[] = {
    0.1,     1.0 / 3.0, -0.0, 1e-300, 123456.78901234567, 2.5e15, -7.25, std::numeric_limits<double>::max(),
    4.9e-324};

// Three points: t00001 with rows of every kind, t00002 with Cyrillic texts and fields never written,
// t00003 with only its hourly and daily tables, the hourly one holding no row. Two gases, join tables of
// three days (one of them made but empty).
inline const QStringList kPoints = {QStringLiteral("t00001"), QStringLiteral("t00002"),
                                    QStringLiteral("t00003")};
inline const QList<QDate> kJoinDays = {QDate(2025, 2, 27), QDate(2025, 3, 1), QDate(2025, 3, 30)};

// The value of field in row r of a point's (or a day's) table, as varied as the field allows; some are
// left out (never written), which the caller sees as an invalid QVariant.
inline QVariant valueFor(const FieldSpec& f, int r, const QString& owner, bool cyrillic) {
    const QString base = f.name.mid(1);
    if (base == QLatin1String("Identif")) return owner;
    if (base == QLatin1String("NameGas")) return cyrillic ? QStringLiteral("Газ №%1").arg(r) : owner;
    if (base == QLatin1String("NumWrCor")) return r + 1; // a corrector record is one by its number
    const bool leaveOut = (r % 3) == 2;
    switch (f.type) {
    case FieldType::AutoIncrement:
        return {};
    case FieldType::Text:
        if (leaveOut) return {};
        if (r % 3 == 1) return QStringLiteral("");
        return cyrillic ? QStringLiteral("Ґаз «їжак» ёЁ №%1 %2").arg(r).arg(f.name)
                        : QStringLiteral("%1 %2").arg(f.name).arg(r);
    case FieldType::Integer:
        if (leaveOut) return {};
        return qlonglong(r * 1000003) - 5;
    case FieldType::Float:
    case FieldType::Currency:
        if (leaveOut && cyrillic) return {};
        return kHardDoubles[(r + f.name.size()) % std::size(kHardDoubles)];
    case FieldType::Date:
        if (leaveOut) return {};
        return QStringLiteral("2025-03-%1").arg(1 + r % 28, 2, 10, QLatin1Char('0'));
    case FieldType::Time:
        if (leaveOut) return {};
        return QStringLiteral("%1:%2:59")
            .arg(r % 24, 2, 10, QLatin1Char('0'))
            .arg(r % 60, 2, 10, QLatin1Char('0'));
    case FieldType::Timestamp:
        if (leaveOut && !f.name.endsWith(QLatin1String("DT_Corr"))) return {};
        // The last Sunday of March at half past three: an hour that does not exist where summer time
        // starts then, and must arrive as it is.
        if (r == 0) return QStringLiteral("2025-03-30T03:30:00");
        return QStringLiteral("2025-03-%1T%2:00:07")
            .arg(1 + r % 28, 2, 10, QLatin1Char('0'))
            .arg(r % 24, 2, 10, QLatin1Char('0'));
    }
    return {};
}

inline void appendRows(Storage& storage, const TableId& id, int rows, const QString& owner, bool cyrillic) {
    Error why;
    auto table = storage.openTable(id, why, kMadeAt);
    ASSERT_TRUE(table) << why.detail.toStdString();
    ASSERT_TRUE(table->transaction());
    for (int r = 0; r < rows; ++r) {
        QVariantMap values;
        for (const FieldSpec& f : table->fields()) {
            const QVariant v = valueFor(f, r, owner, cyrillic);
            if (v.isValid()) values.insert(f.name, v);
        }
        ASSERT_TRUE(table->append(values)) << table->lastError().toStdString();
    }
    ASSERT_TRUE(table->commit());
}

inline void fillInstallation(Storage& storage) {
    for (qsizetype p = 0; p < kPoints.size(); ++p)
        appendRows(storage, {TableKind::Registry, {}, {}}, 1, kPoints.at(p), p == 1);
    appendRows(storage, {TableKind::Gas, {}, {}}, 2, QStringLiteral("natural"), true);
    for (TableKind kind : kPointTables) {
        appendRows(storage, {kind, kPoints.at(0), {}}, kind == TableKind::Hourly ? 30 : 4, kPoints.at(0),
                   false);
        appendRows(storage, {kind, kPoints.at(1), {}}, 5, kPoints.at(1), true);
    }
    appendRows(storage, {TableKind::Hourly, kPoints.at(2), {}}, 0, kPoints.at(2), false);
    appendRows(storage, {TableKind::Daily, kPoints.at(2), {}}, 3, kPoints.at(2), false);
    appendRows(storage, {TableKind::Join, {}, kJoinDays.at(0)}, 3, kPoints.at(0), true);
    appendRows(storage, {TableKind::Join, {}, kJoinDays.at(1)}, 0, kPoints.at(0), false);
    appendRows(storage, {TableKind::Join, {}, kJoinDays.at(2)}, 2, kPoints.at(1), false);
}

// Every table file under root, by its path under root: each row but the seed record (whose stamp is
// the moment the file was made) as "type:value" of every column but the first (the table's number),
// in the order of that number. A value's type is the engine's own: an integer that came back as a
// double or a text, or a NULL that came back as "", shows.
inline QMap<QString, QStringList> readTableFiles(const QString& root) {
    QMap<QString, QStringList> out;
    QDirIterator files(root, {QStringLiteral("*.db"), QStringLiteral("*.DB")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString name = QStringLiteral("independent-") + QUuid::createUuid().toString(QUuid::Id128);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            EXPECT_TRUE(db.open()) << path.toStdString();
            QSqlQuery tables(db);
            EXPECT_TRUE(tables.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                                   "AND name NOT LIKE 'sqlite_%'")));
            QStringList names;
            while (tables.next())
                names.append(tables.value(0).toString());
            EXPECT_EQ(names.size(), 1) << path.toStdString();
            QStringList rows;
            QSqlQuery q(db);
            const QString table = names.value(0);
            EXPECT_TRUE(q.exec(QStringLiteral("SELECT * FROM \"%1\" ORDER BY 1").arg(table)));
            while (q.next()) {
                const QSqlRecord record = q.record();
                QStringList row;
                bool seed = false;
                for (int i = 1; i < record.count(); ++i) {
                    const QString field = record.fieldName(i);
                    const QVariant v = q.value(i);
                    if ((field.mid(1) == QLatin1String("Identif") || field == QLatin1String("gNameGas")) &&
                        v.toString() == QLatin1String("0"))
                        seed = true;
                    QString shown;
                    if (v.isNull())
                        shown = QStringLiteral("null");
                    else if (v.typeId() == QMetaType::Double)
                        shown = QStringLiteral("real:") + QString::number(v.toDouble(), 'g', 17) +
                                (std::signbit(v.toDouble()) ? QStringLiteral("(-)") : QString());
                    else if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
                        shown = QStringLiteral("int:") + v.toString();
                    else
                        shown = QStringLiteral("text:") + v.toString();
                    row.append(field + QLatin1Char('=') + shown);
                }
                if (!seed) rows.append(row.join(QLatin1Char('|')));
            }
            out.insert(QDir(root).relativeFilePath(path), rows);
        }
        QSqlDatabase::removeDatabase(name);
    }
    return out;
}

// What the files hold once their texts never written have become empty: the server keeps no NULL
// text, and a copy writes every field, so a NULL text arrives as "" (numbers, dates and times keep their
// NULL).
inline QMap<QString, QStringList> withTextNullsEmpty(QMap<QString, QStringList> files,
                                                     const Schemas& schemas) {
    QSet<QString> texts;
    for (TableKind kind : kSchemaLoadOrder)
        for (const FieldSpec& f : schemas.of(kind))
            if (f.type == FieldType::Text) texts.insert(f.name);
    for (QStringList& rows : files) {
        for (QString& row : rows) {
            QStringList fields = row.split(QLatin1Char('|'));
            for (QString& field : fields)
                if (field.endsWith(QLatin1String("=null")) &&
                    texts.contains(field.section(QLatin1Char('='), 0, 0)))
                    field = field.section(QLatin1Char('='), 0, 0) + QStringLiteral("=text:");
            row = fields.join(QLatin1Char('|'));
        }
    }
    return files;
}

// The two sets of files compared file by file, so that a failure names the file.
inline void expectSameFiles(const QMap<QString, QStringList>& actual,
                            const QMap<QString, QStringList>& expected) {
    EXPECT_EQ(actual.keys(), expected.keys());
    for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
        EXPECT_EQ(actual.value(it.key()), it.value()) << it.key().toStdString();
}

} // namespace tarn::test::migration
