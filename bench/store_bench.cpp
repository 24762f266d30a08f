// Benchmark, not a test: a year of hourly records (8760) and its days (365) of one metering point go
// through storeReading() into fresh tables, and the same rows through one bare prepared INSERT in one
// transaction per file, in the same run, so that the ratio says what the storing adds to what the
// engine itself costs. A second storeReading() of the same reading finds every record already stored:
// its time is the cost of the duplicate check. Each measure is taken on fresh files several times, the
// storing and the bare INSERT in turns; the best counts (the others mostly measure the machine's other
// work).
//
// Usage: store-bench [repeats]. The files go under the temporary folder (TMPDIR).
#include "database/Registry.h"
#include "database/Storing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <numbers>

using namespace tarn;
using namespace tarn::database;

namespace {

constexpr int kHours = 8760;
constexpr int kDays = 365;

struct Reading final : ArchiveRows {
    std::array<QList<QStringList>, 7> tables;
    int rowCount(int archive) const override { return static_cast<int>(tables[archive - 1].size()); }
    QString cell(int archive, int column, int row) const override {
        return tables[archive - 1].value(row).value(column);
    }
};

QString fixed(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

// A year of a small boiler house's gas, newest first as the corrector gives it: a daily cycle of flow
// and temperature, pressure wandering around its set point, a standard volume from the correction
// factor.
Reading yearOfRecords() {
    Reading r;
    const QDateTime start(QDate(2023, 1, 1), QTime(1, 0), Qt::UTC);
    QList<QStringList> days(kDays);
    for (int h = 0; h < kHours; ++h) {
        const QDateTime t = start.addSecs(3600LL * h);
        const double phase = 2 * std::numbers::pi * (h % 24) / 24.0;
        const double season = std::cos(2 * std::numbers::pi * h / kHours);
        const double work = 12.0 + 6.0 * season + 3.0 * std::sin(phase);
        const double pressure = 1.033 + 0.004 * std::sin(h * 0.37);
        const double temperature = 5.0 - 12.0 * season + 4.0 * std::sin(phase);
        const double compressibility = 0.9980 - 0.0002 * std::sin(h * 0.11);
        const double factor = pressure / 1.033 * 293.15 / (273.15 + temperature) / compressibility;
        r.tables[0].prepend(
            {QStringLiteral("%1").arg(h, 5, 10, QLatin1Char('0')), t.toString(QStringLiteral("dd.MM.yyyy")),
             t.toString(QStringLiteral("HH:mm")), fixed(work, 2), fixed(work * factor, 2),
             QStringLiteral("0.00"), QStringLiteral("0.00"), fixed(pressure, 3), fixed(temperature, 2),
             fixed(compressibility, 4), fixed(factor, 4), QStringLiteral("xxx/xxxxxxxxxxxx")});
    }
    double meter = 120000.0;
    double total = 150000.0;
    for (int d = 0; d < kDays; ++d) {
        const QDate date = QDate(2023, 1, 1).addDays(d);
        const double season = std::cos(2 * std::numbers::pi * d / kDays);
        const double work = 24 * (12.0 + 6.0 * season);
        const double factor = 1.0 + 0.04 * season;
        meter += work;
        total += work * factor;
        days[kDays - 1 - d] = {QStringLiteral("%1").arg(d, 5, 10, QLatin1Char('0')),
                               date.toString(QStringLiteral("dd.MM.yyyy")),
                               QStringLiteral("09:00"),
                               fixed(work, 2),
                               fixed(work * factor, 2),
                               QStringLiteral("0.00"),
                               QStringLiteral("0.00"),
                               fixed(1.033 + 0.002 * season, 3),
                               fixed(5.0 - 12.0 * season, 2),
                               QStringLiteral("0.9980"),
                               fixed(factor, 4),
                               fixed(meter, 2),
                               QStringLiteral("xxx"),
                               QString(32, QLatin1Char('0')),
                               QString(),
                               fixed(total, 2)};
    }
    r.tables[1] = days;
    return r;
}

StoreContext pointContext() {
    StoreContext c;
    c.identifier = QStringLiteral("t12345");
    c.serial = QStringLiteral("12345");
    c.model = QStringLiteral("ТАРН-2.01  ");
    c.gasName = QStringLiteral("природный");
    return c;
}

// A fresh installation with its schema files and the point registered (its tables made, with their
// seed records), as before the first reading of a new corrector.
struct Installation {
    QTemporaryDir dir;
    DataRoot root{dir.path()};
    Schemas schemas;
    bool ok = false;
    explicit Installation(const QDateTime& now) {
        if (!dir.isValid() || !root.createFolders() || !writeMissingSchemaFiles(root)) return;
        schemas = loadSchemas(root);
        if (!schemas.ok) return;
        const StoreContext c = pointContext();
        Point p;
        p.identifier = c.identifier;
        p.serial = c.serial;
        p.model = c.model;
        Registry registry(root, schemas);
        ok = registry.ok() && registry.add(p, now);
    }
};

// The values the storing writes for a row, in field order after the number: what the bare INSERT
// binds. They are made before the clock starts, so the bare rate is the engine's own.
QList<QVariantList> boundRows(const Reading& r, int archive, int lastColumn, const StoreContext& c,
                              const QDateTime& now) {
    QList<QVariantList> out;
    for (int row = 0; row < r.rowCount(archive); ++row) {
        const QDateTime t =
            QDateTime::fromString(r.cell(archive, 1, row) + QLatin1Char(' ') + r.cell(archive, 2, row),
                                  QStringLiteral("dd.MM.yyyy HH:mm"));
        QVariantList v{c.identifier, c.serial, c.model, storedTimestamp(now)};
        for (int col = 0; col <= lastColumn; ++col)
            v.append(col == 1   ? storedDate(t.date())
                     : col == 2 ? storedTime(t.time())
                                : r.cell(archive, col, row));
        const double work = r.cell(archive, 3, row).toDouble() + r.cell(archive, 5, row).toDouble();
        const double standard = r.cell(archive, 4, row).toDouble() + r.cell(archive, 6, row).toDouble();
        v << storedTimestamp(t) << QString::number(work) << QString::number(standard) << QStringLiteral("0")
          << c.pressureUnit << c.volumeUnit << c.gasName
          << (archive == 1 ? QStringLiteral("0") : QLatin1Char('v') + r.cell(archive, 15, row));
        out.append(v);
    }
    return out;
}

// One connection, one transaction, one prepared INSERT with bound values, as bare as the engine
// allows; the file made beforehand with the table's own layout and journal.
bool bareInsert(const QString& path, const QString& table, const QList<FieldSpec>& fields,
                const QList<QVariantList>& rows, QString* error) {
    const QString connection = QStringLiteral("bare");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
            q.finish();
            QStringList names, marks;
            for (qsizetype i = 1; i < fields.size(); ++i) {
                names.append(QLatin1Char('"') + fields.at(i).name + QLatin1Char('"'));
                marks.append(QStringLiteral("?"));
            }
            db.transaction();
            ok = q.prepare(QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                               .arg(table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
            for (const QVariantList& row : rows) {
                if (!ok) break;
                for (int i = 0; i < row.size(); ++i)
                    q.bindValue(i, row.at(i));
                ok = q.exec();
            }
            if (!ok) *error = q.lastError().text();
            q.finish();
            ok = ok && db.commit();
            db.close();
        } else {
            *error = db.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

double seconds(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

int fail(const QString& why) {
    std::fprintf(stderr, "store-bench: %s\n", qPrintable(why));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    // The records are consecutive hours, as a corrector that knows no summer time keeps them: read in a
    // zone with a clock change, one of them would fall into the missing hour.
    qputenv("TZ", "UTC");
    tzset();
    QCoreApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 3;

    const QDateTime now(QDate(2024, 1, 2), QTime(12, 0));
    const Reading reading = yearOfRecords();
    const StoreContext context = pointContext();
    const int rows = kHours + kDays;

    const QList<QVariantList> hourRows = boundRows(reading, 1, 11, context, now);
    const QList<QVariantList> dayRows = boundRows(reading, 2, 13, context, now);
    double store = std::numeric_limits<double>::max();
    double again = std::numeric_limits<double>::max();
    double bare = std::numeric_limits<double>::max();
    // The storing and its baseline take turns, each round on fresh files: the machine's other work
    // then weighs on both alike instead of on whichever ran while it was busiest.
    for (int i = 0; i < repeats; ++i) {
        {
            Installation home(now);
            if (!home.ok) return fail(QStringLiteral("cannot make an installation"));
            QElapsedTimer timer;
            timer.start();
            const StoreResult first = storeReading(home.root, home.schemas, reading, context, {}, now);
            store = std::min(store, seconds(timer));
            if (!first.ok) return fail(first.error);
            if (first.kinds[0].stored != kHours || first.kinds[1].stored != kDays)
                return fail(QStringLiteral("stored %1 hours and %2 days")
                                .arg(first.kinds[0].stored)
                                .arg(first.kinds[1].stored));
            timer.start();
            const StoreResult second = storeReading(home.root, home.schemas, reading, context, {}, now);
            again = std::min(again, seconds(timer));
            if (!second.ok) return fail(second.error);
            if (second.kinds[0].stored + second.kinds[1].stored != 0)
                return fail(QStringLiteral("the second store wrote records"));
        }
        Installation home(now);
        if (!home.ok) return fail(QStringLiteral("cannot make an installation"));
        const QString hourPath = tablePath(home.root, TableKind::Hourly, QStringLiteral("bare1"));
        const QString dayPath = tablePath(home.root, TableKind::Daily, QStringLiteral("bare1"));
        const QList<FieldSpec>& hourFields = home.schemas.of(TableKind::Hourly);
        const QList<FieldSpec>& dayFields = home.schemas.of(TableKind::Daily);
        QString why;
        // The files with their layout, seed and journal, as the storing finds them.
        if (!TableFile::open(hourPath, TableKind::Hourly, hourFields, &why, now) ||
            !TableFile::open(dayPath, TableKind::Daily, dayFields, &why, now))
            return fail(why);
        QElapsedTimer timer;
        timer.start();
        if (!bareInsert(hourPath, QStringLiteral("h_bare1"), hourFields, hourRows, &why) ||
            !bareInsert(dayPath, QStringLiteral("d_bare1"), dayFields, dayRows, &why))
            return fail(why);
        bare = std::min(bare, seconds(timer));
    }

    const double storeRate = rows / store;
    const double bareRate = rows / bare;
    const double ratio = storeRate / bareRate;
    std::printf("%-6s %9s %11s %9s %11s %7s %9s %11s %11s\n", "rows", "store_s", "store_r/s", "bare_s",
                "bare_r/s", "ratio", "again_s", "again_r/s", "again/store");
    std::printf("%-6d %9.3f %11.0f %9.3f %11.0f %7.3f %9.3f %11.0f %11.3f\n", rows, store, storeRate, bare,
                bareRate, ratio, again, rows / again, again / store);
    const bool met = ratio >= 0.8 && again <= store;
    std::printf("goal (ratio >= 0.8, second store no slower than the first): %s\n", met ? "met" : "NOT met");
    return 0;
}
