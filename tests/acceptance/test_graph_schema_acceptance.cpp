// Acceptance checks of the archive graphs and of the database's tables as a metering engineer meets them:
// the curves of a stored point's archives and of a group's sums, the picture, the schema files of a new
// installation, the tables a registered point gets, and the database check with its repair. tarn-cli and
// corrector-sim run as processes only; every hourly record is built byte by byte here, the rows of the
// other archives are put into the point's table files here, and every expected value is worked out here.
#include "acceptance/AcceptanceReaders.h"
#include "acceptance/AcceptanceRecords.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUuid>
#include <QVariant>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>

namespace {

const QString kSimProgram = QStringLiteral(TARN_SIM_PROGRAM);
const QString kStamp = QStringLiteral("dd.MM.yyyy HH:mm");

// ---------------------------------------------------------------- hourly records, byte by byte

using acceptance::deviceMinutes;
using acceptance::floatLe;
using acceptance::le;
using acceptance::sealed;

// One hour as the corrector keeps it. Every value is exact in binary and at the decimals the read
// shows, so the stored numbers are these numbers.
struct Hour {
    QDateTime at;
    float working, standard, alarmWorking, alarmStandard;
    quint16 pressure1000; // below 6000: the correction factor is kept in ten-thousandths
    qint16 temperature100;
    quint16 compress10000, correction10000;
};

QByteArray hourBytes(const Hour& h) {
    QByteArray r = deviceMinutes(h.at);
    r += floatLe(h.working) + floatLe(h.standard) + floatLe(h.alarmWorking) + floatLe(h.alarmStandard);
    r += le(h.pressure1000, 2) + le(quint16(h.temperature100), 2) + le(h.compress10000, 2) +
         le(h.correction10000, 2);
    r += le(0, 2) + le(0, 2); // no abnormal situation, no intervention
    r += '\0';
    return sealed(r);
}

constexpr int kHourlyFirstPage = 52; // the low bank's first hourly page

QByteArray scenarioOf(int serial, const QList<Hour>& hours) {
    QByteArray page;
    for (const Hour& h : hours)
        page += hourBytes(h);
    const QJsonObject device{
        {"role", "corrector"},
        {"address", 1},
        {"serial", serial},
        {"identification", "V Tarn-sim V47a 2.01"},
        {"passwords", QJsonArray{"1111", "2222", "3333", "4444", "5555", "6666", "7777"}},
        {"archiveBytes", QJsonArray{QJsonObject{{"bank", "low"},
                                                {"offset", kHourlyFirstPage * 256},
                                                {"hex", QString::fromLatin1(page.toHex())}}}}};
    return QJsonDocument(QJsonObject{{"devices", QJsonArray{device}}}).toJson();
}

// ---------------------------------------------------------------- the table files, read and written here

// A table file opened with SQLite under a connection of its own, closed with the object.
class TableFile {
public:
    explicit TableFile(const QString& path) : name_(QUuid::createUuid().toString(QUuid::WithoutBraces)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READWRITE"));
        open_ = db.open();
    }
    ~TableFile() {
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    bool isOpen() const { return open_; }
    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }

    // The one user table of the file (the engine's own bookkeeping tables aside).
    QString table() const {
        QSqlQuery q(db());
        q.exec(QStringLiteral(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'"));
        return q.next() ? q.value(0).toString() : QString();
    }
    // Column names and declared types in table order.
    QList<QPair<QString, QString>> columns() const {
        QList<QPair<QString, QString>> out;
        QSqlQuery q(db());
        q.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table()));
        while (q.next())
            out.append({q.value(1).toString(), q.value(2).toString().toUpper()});
        return out;
    }
    // Every row as column → value, in the table's row order.
    QList<QVariantMap> rows() const {
        QList<QVariantMap> out;
        QSqlQuery q(db());
        q.exec(QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table()));
        while (q.next()) {
            QVariantMap row;
            const QSqlRecord rec = q.record();
            for (int i = 0; i < rec.count(); ++i)
                row.insert(rec.fieldName(i), q.value(i));
            out.append(row);
        }
        return out;
    }
    bool exec(const QString& sql) const {
        QSqlQuery q(db());
        const bool ok = q.exec(sql);
        if (!ok) ADD_FAILURE() << sql.toStdString() << ": " << q.lastError().text().toStdString();
        return ok;
    }
    // A row with the values given; every other column "0" (text) or 0 (numbers), the record number left
    // to the table.
    bool insert(const QVariantMap& values) const {
        QStringList names, marks;
        QVariantList bound;
        const auto all = columns();
        // The first column is the auto-increment record number.
        for (qsizetype i = 1; i < all.size(); ++i) {
            const auto& [column, type] = all[i];
            names.append(QLatin1Char('"') + column + QLatin1Char('"'));
            marks.append(QStringLiteral("?"));
            if (values.contains(column))
                bound.append(values.value(column));
            else if (type == QStringLiteral("TEXT"))
                bound.append(QStringLiteral("0"));
            else
                bound.append(0);
        }
        QSqlQuery q(db());
        q.prepare(QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                      .arg(table(), names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        for (const QVariant& v : bound)
            q.addBindValue(v);
        const bool ok = q.exec();
        if (!ok) ADD_FAILURE() << q.lastError().text().toStdString();
        return ok;
    }

private:
    QString name_;
    bool open_ = false;
};

QString iso(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// ---------------------------------------------------------------- installations and processes

using Result = tarn::test::CliText;

class Installation {
public:
    Installation() {
        home_ = dir_.path() + QStringLiteral("/home");
        QDir().mkpath(home_);
        initialised_ = cli({QStringLiteral("init")}).code == 0;
        // Russian texts: the graphs speak Russian whatever the language, the messages by the setting.
        write(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
    }
    // A copy of another installation's folder, so that one can be broken without touching the other.
    explicit Installation(const Installation& from) {
        home_ = dir_.path() + QStringLiteral("/home");
        initialised_ = copyTree(from.home_, home_);
    }
    bool initialised() const { return initialised_; }
    QString home() const { return home_; }
    QString path(const QString& relative) const { return home_ + QLatin1Char('/') + relative; }
    QString scratch(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }

    void write(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile f(path(relative));
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }

    bool store(int serial, const QList<Hour>& hours) {
        const QString link = scratch(QStringLiteral("com1"));
        write(QStringLiteral("Work/PortMap.000"), "COM1 " + link.toLocal8Bit() + "\r\n");
        tarn::test::SimProcess sim;
        if (!sim.start(kSimProgram, scratch(QStringLiteral("scenario.json")), scenarioOf(serial, hours),
                       link))
            return false;
        const Result r = cli({QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("--address"),
                              QStringLiteral("1"), QStringLiteral("store"), QStringLiteral("--archives"),
                              QStringLiteral("hourly"), QStringLiteral("--until-empty")});
        if (r.code != 0) ADD_FAILURE() << r.all().toStdString();
        return r.code == 0;
    }

    Result cli(const QStringList& args) const { return tarn::test::runCliIn(home_, args).text(); }

private:
    static bool copyTree(const QString& from, const QString& to) {
        QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        QDir().mkpath(to);
        while (it.hasNext()) {
            const QString source = it.next();
            const QString target = to + source.mid(from.size());
            if (it.fileInfo().isDir())
                QDir().mkpath(target);
            else if (!QFile::copy(source, target))
                return false;
        }
        return true;
    }

    QTemporaryDir dir_;
    QString home_;
    bool initialised_ = false;
};

QJsonObject jsonOf(const Result& r) {
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

// ---------------------------------------------------------------- what a graph should show

// The number as the legend writes it: the parameter's decimals, trailing zeros and a bare point cut.
QString legendNumber(double v, int decimals) {
    QString s = QString::number(v, 'f', decimals);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.'))) s.chop(1);
    }
    if (s == QStringLiteral("-0")) s = QStringLiteral("0");
    return s;
}

// The fourteen colour slots' default colours as 0x00BBGGRR, and as "#rrggbb".
constexpr quint32 kSlotColour[15] = {0,        0xFF00FF, 0xFFFF00, 0x800000, 0x00FFFF,
                                     0xFF0000, 0x0000FF, 0x800080, 0x00FF00, 0x008000,
                                     0x808000, 0x000080, 0x008080, 0x000080, 0x008080};

QString rgbOf(quint32 bgr) {
    return QStringLiteral("#%1%2%3")
        .arg(bgr & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((bgr >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((bgr >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
}

struct Parameter {
    QString name;
    QString field; // the value's field of the archive table
    int decimals;
    int slot;
};

const QList<Parameter> kHourlyParameters = {{QStringLiteral("Vраб"), QStringLiteral("Vwrk"), 1, 1},
                                            {QStringLiteral("Vстанд"), QStringLiteral("Vst"), 1, 2},
                                            {QStringLiteral("Vавр"), QStringLiteral("Valwrk"), 1, 3},
                                            {QStringLiteral("Vст.авр"), QStringLiteral("Valst"), 1, 4},
                                            {QStringLiteral("P"), QStringLiteral("P"), 4, 5},
                                            {QStringLiteral("T(град.С)"), QStringLiteral("T"), 2, 6},
                                            {QStringLiteral("Ксжим"), QStringLiteral("Ksg"), 5, 7},
                                            {QStringLiteral("Ккорр"), QStringLiteral("Kkor"), 5, 8},
                                            {QStringLiteral("Vсум.раб"), QStringLiteral("Vwrk_alwrk"), 1, 11},
                                            {QStringLiteral("Vсум.ст."), QStringLiteral("Vst_alwrk"), 1, 12}};

QList<Parameter> dayParameters() {
    QList<Parameter> list = kHourlyParameters.mid(0, 8);
    list += {{QStringLiteral("Vобщ"), QStringLiteral("Vmeter"), 1, 9},
             {QStringLiteral("Vсум.раб"), QStringLiteral("Vwrk_alwrk"), 1, 11},
             {QStringLiteral("Vсум.ст."), QStringLiteral("Vst_alwrk"), 1, 12}};
    return list;
}

const QList<Parameter> kOperativeParameters = {{QStringLiteral("P"), QStringLiteral("P"), 4, 5},
                                               {QStringLiteral("T(град.С)"), QStringLiteral("T"), 2, 6},
                                               {QStringLiteral("Ккорр"), QStringLiteral("Kkor"), 4, 8},
                                               {QStringLiteral("Q раб."), QStringLiteral("Qwrk"), 3, 10},
                                               {QStringLiteral("Vобщ"), QStringLiteral("Vmeter"), 1, 9}};

const QList<Parameter> kMeasurementParameters = {
    {QStringLiteral("P"), QStringLiteral("P"), 4, 5},
    {QStringLiteral("T(град.С)"), QStringLiteral("T"), 2, 6},
    {QStringLiteral("Ккорр"), QStringLiteral("Kkor"), 4, 8},
    {QStringLiteral("Ксжим"), QStringLiteral("Ksg"), 4, 7},
    {QStringLiteral("Q раб."), QStringLiteral("Qwrk"), 3, 10},
    {QStringLiteral("Q стд."), QStringLiteral("Qstd"), 3, 13},
    {QStringLiteral("Батарея"), QStringLiteral("Battery"), 1, 14}};

// A record as the graph reads it: its time stamp (X) and its values by field (without the prefix).
struct Sample {
    QDateTime at;
    QMap<QString, double> values;
};

struct ExpectedCurve {
    QString name, colour;
    int points = 0;
    double min = 0, max = 0;
    QDateTime minAt, maxAt;
};

// The walk over the records in their order: the first value sets both extremes, a later one replaces
// the minimum only when smaller and the maximum only when larger.
QList<ExpectedCurve> expectedCurves(const QList<Parameter>& ticked, const QList<Sample>& samples) {
    QList<ExpectedCurve> curves;
    for (const Parameter& p : ticked) {
        ExpectedCurve c;
        c.name = p.name;
        c.colour = rgbOf(kSlotColour[p.slot]);
        for (const Sample& s : samples) {
            const double v = s.values.value(p.field);
            if (c.points == 0 || v < c.min) {
                c.minAt = s.at;
                c.min = v;
            }
            if (c.points == 0 || v > c.max) {
                c.maxAt = s.at;
                c.max = v;
            }
            ++c.points;
        }
        curves.append(c);
    }
    return curves;
}

QStringList expectedLegend(const QList<Parameter>& ticked, const QList<ExpectedCurve>& curves, bool percent) {
    QStringList lines{
        QStringLiteral("|имя       |min                           |max                           |") +
        (percent ? QStringLiteral("% ") : QString())};
    for (qsizetype i = 0; i < ticked.size(); ++i) {
        const ExpectedCurve& c = curves[i];
        const int d = ticked[i].decimals;
        QString line =
            QLatin1Char('|') + c.name.leftJustified(10) + QLatin1Char('|') +
            (c.minAt.toString(kStamp) + QStringLiteral(" * ") + legendNumber(c.min, d)).leftJustified(30) +
            QLatin1Char('|') +
            (c.maxAt.toString(kStamp) + QStringLiteral(" * ") + legendNumber(c.max, d)).leftJustified(30) +
            QLatin1Char('|');
        if (percent) line += legendNumber((c.max - c.min) / 100.0, 5);
        lines.append(line);
    }
    return lines;
}

QStringList stringsOf(const QJsonValue& v) {
    QStringList out;
    for (const QJsonValue& s : v.toArray())
        out.append(s.toString());
    return out;
}

void expectCurves(const QJsonObject& answer, const QList<ExpectedCurve>& expected) {
    const QJsonArray curves = answer.value(QStringLiteral("curves")).toArray();
    ASSERT_EQ(curves.size(), expected.size()) << QJsonDocument(answer).toJson().toStdString();
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const QJsonObject c = curves[i].toObject();
        const ExpectedCurve& e = expected[i];
        SCOPED_TRACE(e.name.toStdString());
        EXPECT_EQ(c.value(QStringLiteral("name")).toString(), e.name);
        EXPECT_EQ(c.value(QStringLiteral("colour")).toString(), e.colour);
        EXPECT_EQ(c.value(QStringLiteral("points")).toInt(-1), e.points);
        EXPECT_NEAR(c.value(QStringLiteral("min")).toDouble(NAN), e.min, 1e-9);
        EXPECT_NEAR(c.value(QStringLiteral("max")).toDouble(NAN), e.max, 1e-9);
        EXPECT_EQ(c.value(QStringLiteral("minAt")).toString(), e.minAt.toString(kStamp));
        EXPECT_EQ(c.value(QStringLiteral("maxAt")).toString(), e.maxAt.toString(kStamp));
    }
}

// ---------------------------------------------------------------- the records of the graphed points

const QDate kDay(2024, 3, 1);
QDateTime at(const QDate& d, int hour, int minute = 0) {
    return QDateTime(d, QTime(hour, minute));
}

// Point one: no 13:00 record (a gap); the temperature runs −10 .. −2 with its maximum twice; the
// correction factor never changes.
const QList<Hour> kPointOne = {
    {at(kDay, 10), 1.5f, 3.0f, 0.0f, 0.0f, 1250, -1000, 9990, 20000},
    {at(kDay, 11), 2.5f, 5.0f, 0.25f, 0.5f, 1300, -600, 9980, 20000},
    {at(kDay, 12), 4.0f, 8.0f, 0.5f, 1.0f, 1200, -200, 9995, 20000},
    {at(kDay, 14), 0.5f, 1.0f, 0.0f, 0.0f, 1350, -200, 9970, 20000},
    {at(kDay, 15), 3.0f, 6.5f, 0.75f, 1.5f, 1275, -450, 9985, 20000},
    {at(kDay, 16), 6.0f, 12.0f, 0.5f, 1.0f, 1225, -800, 9990, 20000},
};
// Point two: the group's second member, with the 13:00 record and without 16:00.
const QList<Hour> kPointTwo = {
    {at(kDay, 10), 1.0f, 2.0f, 0.5f, 1.0f, 1100, 500, 9990, 15000},
    {at(kDay, 11), 2.0f, 4.0f, 0.25f, 0.5f, 1100, 500, 9990, 15000},
    {at(kDay, 12), 3.0f, 6.0f, 0.5f, 1.0f, 1100, 500, 9990, 15000},
    {at(kDay, 13), 4.0f, 8.0f, 0.5f, 1.0f, 1100, 500, 9990, 15000},
    {at(kDay, 14), 5.0f, 10.0f, 0.5f, 1.0f, 1100, 500, 9990, 15000},
    {at(kDay, 15), 6.0f, 12.0f, 0.25f, 0.5f, 1100, 500, 9990, 15000},
};

Sample sampleOf(const Hour& h) {
    return {h.at,
            {{QStringLiteral("Vwrk"), h.working},
             {QStringLiteral("Vst"), h.standard},
             {QStringLiteral("Valwrk"), h.alarmWorking},
             {QStringLiteral("Valst"), h.alarmStandard},
             {QStringLiteral("P"), h.pressure1000 / 1000.0},
             {QStringLiteral("T"), h.temperature100 / 100.0},
             {QStringLiteral("Ksg"), h.compress10000 / 10000.0},
             {QStringLiteral("Kkor"), h.correction10000 / 10000.0},
             {QStringLiteral("Vwrk_alwrk"), double(h.working) + double(h.alarmWorking)},
             {QStringLiteral("Vst_alwrk"), double(h.standard) + double(h.alarmStandard)}}};
}

// Daily and monthly rows put into the tables here: record date, time stamp, values.
struct DayRow {
    QDate date;
    QDateTime stamp;
    QMap<QString, double> values;
};

DayRow dayRow(const QDate& date, double working, double pressure, double temperature, double meter) {
    return {date,
            QDateTime(date, QTime(9, 0)),
            {{QStringLiteral("Vwrk"), working},
             {QStringLiteral("Vst"), working * 2},
             {QStringLiteral("Valwrk"), 0.5},
             {QStringLiteral("Valst"), 1.0},
             {QStringLiteral("P"), pressure},
             {QStringLiteral("T"), temperature},
             {QStringLiteral("Ksg"), 0.9975},
             {QStringLiteral("Kkor"), 2.0},
             {QStringLiteral("Vmeter"), meter},
             {QStringLiteral("Vwrk_alwrk"), working + 0.5},
             {QStringLiteral("Vst_alwrk"), working * 2 + 1.0}}};
}

const QList<DayRow> kDays = {dayRow(QDate(2024, 3, 1), 24.5, 1.2345, -3.25, 1000.5),
                             dayRow(QDate(2024, 3, 2), 30.0, 1.25, -1.5, 1030.5),
                             dayRow(QDate(2024, 3, 3), 12.5, 1.2, 2.75, 1043.0),
                             dayRow(QDate(2024, 3, 4), 40.0, 1.3, 0.25, 1083.0)};
const QList<DayRow> kMonths = {dayRow(QDate(2024, 1, 1), 700.5, 1.21, -5.5, 5000.0),
                               dayRow(QDate(2024, 2, 1), 650.0, 1.22, -2.25, 5650.0),
                               dayRow(QDate(2024, 3, 1), 720.0, 1.2, 1.5, 6370.0),
                               dayRow(QDate(2024, 4, 1), 500.0, 1.25, 6.75, 6870.0)};

struct Moment {
    QDateTime at;
    QMap<QString, double> values;
};
const QList<Moment> kOperative = {
    {at(QDate(2024, 3, 5), 10, 5),
     {{"P", 1.2375}, {"T", 4.5}, {"Kkor", 2.0125}, {"Qwrk", 12.125}, {"Vmeter", 900.5}}},
    {at(QDate(2024, 3, 5), 10, 10),
     {{"P", 1.25}, {"T", 4.25}, {"Kkor", 2.0}, {"Qwrk", 15.5}, {"Vmeter", 901.5}}},
    {at(QDate(2024, 3, 5), 10, 15),
     {{"P", 1.2}, {"T", 4.75}, {"Kkor", 2.025}, {"Qwrk", 9.75}, {"Vmeter", 903.0}}},
    {at(QDate(2024, 3, 5), 10, 20),
     {{"P", 1.5}, {"T", 9.0}, {"Kkor", 3.0}, {"Qwrk", 99.0}, {"Vmeter", 999.0}}}};
const QList<Moment> kMeasurements = {{at(QDate(2024, 3, 6), 8, 0),
                                      {{"P", 1.1},
                                       {"T", -0.5},
                                       {"Kkor", 2.0},
                                       {"Ksg", 0.998},
                                       {"Qwrk", 10.5},
                                       {"Qstd", 21.0},
                                       {"Battery", 3.5}}},
                                     {at(QDate(2024, 3, 6), 9, 30),
                                      {{"P", 1.15},
                                       {"T", -1.25},
                                       {"Kkor", 2.0625},
                                       {"Ksg", 0.9975},
                                       {"Qwrk", 8.0},
                                       {"Qstd", 16.5},
                                       {"Battery", 3.5}}},
                                     {at(QDate(2024, 3, 6), 11, 0),
                                      {{"P", 1.05},
                                       {"T", 0.75},
                                       {"Kkor", 1.9375},
                                       {"Ksg", 0.999},
                                       {"Qwrk", 12.25},
                                       {"Qstd", 23.75},
                                       {"Battery", 3.0}}}};

// Hourly rows with status texts of their own, for the flow classes: the third one's text is too short.
struct FlowRow {
    QDateTime at;
    QString help;
};
const QList<FlowRow> kFlowRows = {{at(QDate(2024, 3, 5), 8), QStringLiteral("xxx/x.oOx.oOx.oO")},
                                  {at(QDate(2024, 3, 5), 9), QStringLiteral("xИВ/Oo.xOo.xOo.x")},
                                  {at(QDate(2024, 3, 5), 10), QStringLiteral("xxx/x.oOx.o")}};

QString fieldOf(QChar prefix, const QString& field) {
    return prefix + field;
}

// ---------------------------------------------------------------- the graphed installation

class Graphs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        inst_ = new Installation;
        if (!inst_->initialised()) return;
        stored_ = inst_->store(41234, kPointOne) && inst_->store(41235, kPointTwo);
        if (!stored_) return;
        const Result list =
            inst_->cli({QStringLiteral("points"), QStringLiteral("list"), QStringLiteral("--json")});
        for (const QJsonValue& p : jsonOf(list).value(QStringLiteral("points")).toArray()) {
            const QJsonObject o = p.toObject();
            // A family "V" corrector has no model letter: its identifier is the serial's five characters.
            if (o.value(QStringLiteral("serial")).toString() == QStringLiteral("41234")) {
                one_ = o.value(QStringLiteral("point")).toString();
                model_ = o.value(QStringLiteral("model")).toString();
            }
            if (o.value(QStringLiteral("serial")).toString() == QStringLiteral("41235"))
                two_ = o.value(QStringLiteral("point")).toString();
        }
        filled_ = !one_.isEmpty() && !two_.isEmpty() && fillTables() &&
                  inst_->cli({QStringLiteral("group"), QStringLiteral("save"), QStringLiteral("Г1"),
                              QStringLiteral("--points"), one_ + QLatin1Char(',') + two_})
                          .code == 0;
    }
    static void TearDownTestSuite() {
        delete inst_;
        inst_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(inst_ && inst_->initialised());
        ASSERT_TRUE(stored_);
        ASSERT_TRUE(filled_);
    }

    static QVariantMap common(QChar prefix, const QString& serial) {
        return {{fieldOf(prefix, QStringLiteral("Identif")), one_},
                {fieldOf(prefix, QStringLiteral("SerialNum")), serial},
                {fieldOf(prefix, QStringLiteral("TypeQuon")), QStringLiteral("ТАРН-1.01  ")},
                {fieldOf(prefix, QStringLiteral("DateTime")), iso(QDateTime::currentDateTime())}};
    }

    // The daily, monthly, operative and measurement rows and the flow-class hours go straight into
    // point one's table files, as a store would have left them.
    static bool fillTables() {
        bool ok = true;
        auto dayRows = [&](const QString& file, QChar prefix, const QList<DayRow>& rows) {
            TableFile t(inst_->path(file));
            if (!t.isOpen() || t.table().isEmpty()) {
                ok = false;
                return;
            }
            int number = 200;
            for (const DayRow& r : rows) {
                QVariantMap v = common(prefix, QStringLiteral("41234"));
                v.insert(fieldOf(prefix, QStringLiteral("NumWrCor")), number++);
                v.insert(fieldOf(prefix, QStringLiteral("Date")), r.date.toString(Qt::ISODate));
                v.insert(fieldOf(prefix, QStringLiteral("Time")), QStringLiteral("09:00:00"));
                v.insert(fieldOf(prefix, QStringLiteral("DT_Corr")), iso(r.stamp));
                v.insert(fieldOf(prefix, QStringLiteral("Help")), QStringLiteral("xxx/xxxxxxxxxxxx"));
                v.insert(fieldOf(prefix, QStringLiteral("Comment")), QStringLiteral("--"));
                for (auto it = r.values.begin(); it != r.values.end(); ++it)
                    v.insert(fieldOf(prefix, it.key()), it.value());
                ok = t.insert(v) && ok;
            }
        };
        dayRows(QStringLiteral("Day/d_%1.db").arg(one_), QLatin1Char('d'), kDays);
        dayRows(QStringLiteral("Mon/m_%1.db").arg(one_), QLatin1Char('m'), kMonths);
        {
            TableFile t(inst_->path(QStringLiteral("Oper/o_%1.db").arg(one_)));
            int number = 300;
            for (const Moment& m : kOperative) {
                QVariantMap v = common(QLatin1Char('o'), QStringLiteral("41234"));
                v.insert(QStringLiteral("oNumWrCor"), number++);
                v.insert(QStringLiteral("oDate"), m.at.date().toString(Qt::ISODate));
                v.insert(QStringLiteral("oTime"), m.at.time().toString(QStringLiteral("HH:mm:ss")));
                v.insert(QStringLiteral("oDT_Corr"), iso(m.at));
                for (auto it = m.values.begin(); it != m.values.end(); ++it)
                    v.insert(fieldOf(QLatin1Char('o'), it.key()), it.value());
                ok = t.isOpen() && t.insert(v) && ok;
            }
        }
        {
            TableFile t(inst_->path(QStringLiteral("Meas/i_%1.db").arg(one_)));
            for (const Moment& m : kMeasurements) {
                QVariantMap v = common(QLatin1Char('i'), QStringLiteral("41234"));
                v.insert(QStringLiteral("iDateTime"), iso(m.at));
                for (auto it = m.values.begin(); it != m.values.end(); ++it)
                    v.insert(fieldOf(QLatin1Char('i'), it.key()), it.value());
                ok = t.isOpen() && t.insert(v) && ok;
            }
        }
        {
            TableFile t(inst_->path(QStringLiteral("Hour/h_%1.db").arg(one_)));
            int number = 100;
            for (const FlowRow& f : kFlowRows) {
                QVariantMap v = common(QLatin1Char('h'), QStringLiteral("41234"));
                v.insert(QStringLiteral("hNumWrCor"), number++);
                v.insert(QStringLiteral("hDate"), f.at.date().toString(Qt::ISODate));
                v.insert(QStringLiteral("hTime"), f.at.time().toString(QStringLiteral("HH:mm:ss")));
                v.insert(QStringLiteral("hDT_Corr"), iso(f.at));
                v.insert(QStringLiteral("hHelp"), f.help);
                ok = t.isOpen() && t.insert(v) && ok;
            }
        }
        return ok;
    }

    static Result graph(const QStringList& args) {
        return inst_->cli(QStringList{QStringLiteral("graph")} + args);
    }
    static Result pointGraph(const QString& archive, const QString& from, const QString& to,
                             const QStringList& more = {}) {
        return graph(QStringList{QStringLiteral("--point"), one_, QStringLiteral("--archive"), archive,
                                 QStringLiteral("--from"), from, QStringLiteral("--to"), to,
                                 QStringLiteral("--out"), inst_->scratch(QStringLiteral("g.jpg")),
                                 QStringLiteral("--width"), QStringLiteral("320"), QStringLiteral("--height"),
                                 QStringLiteral("240"), QStringLiteral("--json")} +
                     more);
    }
    QString secondTitleLine() const {
        return QStringLiteral("корректор %1 N 41234 / организация - \"\"").arg(model_);
    }

    static Installation* inst_;
    static bool stored_, filled_;
    static QString one_, two_, model_;
};
Installation* Graphs::inst_ = nullptr;
bool Graphs::stored_ = false;
bool Graphs::filled_ = false;
QString Graphs::one_;
QString Graphs::two_;
QString Graphs::model_;

QList<Sample> hourlySamples(const QList<Hour>& hours, const QDateTime& from, const QDateTime& to) {
    QList<Sample> out;
    for (const Hour& h : hours)
        if (h.at >= from && h.at <= to) out.append(sampleOf(h));
    return out;
}

TEST_F(Graphs, HourlyCurvesHoldTheRecordsOfThePeriodWithBothBoundsIncluded) {
    // 11:00 and 15:00 are records: both ends belong to the period; 13:00 has no record and no point.
    const QDateTime from = at(kDay, 11), to = at(kDay, 15);
    const Result r = pointGraph(QStringLiteral("hourly"), from.toString(kStamp), to.toString(kStamp));
    ASSERT_EQ(r.code, 0) << r.all().toStdString();
    const QJsonObject answer = jsonOf(r);
    const QList<ExpectedCurve> curves = expectedCurves(kHourlyParameters, hourlySamples(kPointOne, from, to));
    ASSERT_EQ(curves.first().points, 4);
    expectCurves(answer, curves);
    EXPECT_EQ(stringsOf(answer.value(QStringLiteral("legend"))),
              expectedLegend(kHourlyParameters, curves, false));
    EXPECT_EQ(stringsOf(answer.value(QStringLiteral("title"))),
              (QStringList{QStringLiteral("часовой архив с 01.03.2024 11:00 по 01.03.2024 15:00"),
                           secondTitleLine()}));
    EXPECT_FALSE(answer.value(QStringLiteral("percent")).toBool(true));

    // A minute inside each bound leaves the bound's records out.
    const Result inner =
        pointGraph(QStringLiteral("hourly"), QStringLiteral("01.03.2024 11:01"),
                   QStringLiteral("01.03.2024 14:59"), {QStringLiteral("--params"), QStringLiteral("1")});
    ASSERT_EQ(inner.code, 0) << inner.all().toStdString();
    expectCurves(jsonOf(inner), expectedCurves(kHourlyParameters.mid(0, 1),
                                               hourlySamples(kPointOne, at(kDay, 12), at(kDay, 14))));
}

TEST_F(Graphs, ChosenParametersByNameOrNumberKeepTheListOrder) {
    // Asked out of order, by name and by number: drawn in the list's order.
    const Result r =
        pointGraph(QStringLiteral("hourly"), QStringLiteral("01.03.2024"), QStringLiteral("01.03.2024"),
                   {QStringLiteral("--params"), QStringLiteral("Vсум.ст.,5,Vраб")});
    ASSERT_EQ(r.code, 0) << r.all().toStdString();
    const QList<Parameter> ticked = {kHourlyParameters[0], kHourlyParameters[4], kHourlyParameters[9]};
    // Without a time the day runs from 00:00 to 23:59: every record of the day.
    const QList<ExpectedCurve> curves =
        expectedCurves(ticked, hourlySamples(kPointOne, at(kDay, 0), at(kDay, 23, 59)));
    ASSERT_EQ(curves.first().points, kPointOne.size());
    expectCurves(jsonOf(r), curves);
    EXPECT_EQ(stringsOf(jsonOf(r).value(QStringLiteral("legend"))), expectedLegend(ticked, curves, false));
}

TEST_F(Graphs, PercentageScaleAddsTheValueOfOnePercent) {
    // The temperature runs −10 .. −2: one percent is 0.08; the correction factor never changes: 0.
    const Result r = pointGraph(
        QStringLiteral("hourly"), QStringLiteral("01.03.2024 10:00"), QStringLiteral("01.03.2024 16:00"),
        {QStringLiteral("--params"), QStringLiteral("T(град.С),Ккорр,Vраб"), QStringLiteral("--percent")});
    ASSERT_EQ(r.code, 0) << r.all().toStdString();
    const QJsonObject answer = jsonOf(r);
    EXPECT_TRUE(answer.value(QStringLiteral("percent")).toBool(false));
    const QList<Parameter> ticked = {kHourlyParameters[0], kHourlyParameters[5], kHourlyParameters[7]};
    const QList<ExpectedCurve> curves =
        expectedCurves(ticked, hourlySamples(kPointOne, at(kDay, 10), at(kDay, 16)));
    EXPECT_DOUBLE_EQ(curves[1].min, -10.0);
    EXPECT_DOUBLE_EQ(curves[1].max, -2.0);
    // The maximum −2 occurs at 12:00 and again at 14:00: the first time is kept.
    EXPECT_EQ(curves[1].maxAt, at(kDay, 12));
    expectCurves(answer, curves);
    const QStringList legend = stringsOf(answer.value(QStringLiteral("legend")));
    EXPECT_EQ(legend, expectedLegend(ticked, curves, true));
    ASSERT_EQ(legend.size(), 4);
    EXPECT_TRUE(legend[2].endsWith(QStringLiteral("|0.08"))) << legend[2].toStdString();
    EXPECT_TRUE(legend[3].endsWith(QStringLiteral("|0"))) << legend[3].toStdString();
}

TEST_F(Graphs, DailyAndMonthlyPeriodsAreWholeDates) {
    // Daily: 02.03 .. 03.03, both days in, whatever time is given.
    Result r = pointGraph(QStringLiteral("daily"), QStringLiteral("02.03.2024 12:00"),
                          QStringLiteral("03.03.2024 08:00"));
    ASSERT_EQ(r.code, 0) << r.all().toStdString();
    auto samples = [](const QList<DayRow>& rows, const QDate& from, const QDate& to) {
        QList<Sample> out;
        for (const DayRow& d : rows)
            if (d.date >= from && d.date <= to) out.append({d.stamp, d.values});
        return out;
    };
    QList<ExpectedCurve> curves =
        expectedCurves(dayParameters(), samples(kDays, QDate(2024, 3, 2), QDate(2024, 3, 3)));
    ASSERT_EQ(curves.first().points, 2);
    expectCurves(jsonOf(r), curves);
    EXPECT_EQ(stringsOf(jsonOf(r).value(QStringLiteral("legend"))),
              expectedLegend(dayParameters(), curves, false));
    EXPECT_EQ(stringsOf(jsonOf(r).value(QStringLiteral("title"))),
              (QStringList{QStringLiteral("суточный архив  с 02.03.2024 по 03.03.2024"), secondTitleLine()}));

    r = pointGraph(QStringLiteral("monthly"), QStringLiteral("01.02.2024"), QStringLiteral("01.04.2024"));
    ASSERT_EQ(r.code, 0) << r.all().toStdString();
    curves = expectedCurves(dayParameters(), samples(kMonths, QDate(2024, 2, 1), QDate(2024, 4, 1)));
    ASSERT_EQ(curves.first().points, 3);
    expectCurves(jsonOf(r), curves);
    EXPECT_EQ(stringsOf(jsonOf(r).value(QStringLiteral("legend"))),
              expectedLegend(dayParameters(), curves, false));
    EXPECT_EQ(stringsOf(jsonOf(r).value(QStringLiteral("title"))),
              (QStringList{QStringLiteral("месячный архив  с 01.02.2024 по 01.04.2024"), secondTitleLine()}));
}

TEST_F(Graphs, OperativeAndMeasurementCurves) {
    auto samples = [](const QList<Moment>& rows, const QDateTime& from, const QDateTime& to) {
        QList<Sample> out;
        for (const Moment& m : rows)
            if (m.at >= from && m.at <= to) out.append({m.at, m.values});
        return out;
    };
    Result r = pointGraph(QStringLiteral("operative"), QStringLiteral("05.03.2024 10:05"),
                          QStringLiteral("05.03.2024 10:15"));
    ASSERT_EQ(r.code, 0) << r.all().toStdString();
    QList<ExpectedCurve> curves =
        expectedCurves(kOperativeParameters,
                       samples(kOperative, at(QDate(2024, 3, 5), 10, 5), at(QDate(2024, 3, 5), 10, 15)));
    ASSERT_EQ(curves.first().points, 3);
    expectCurves(jsonOf(r), curves);
    EXPECT_EQ(stringsOf(jsonOf(r).value(QStringLiteral("legend"))),
              expectedLegend(kOperativeParameters, curves, false));
    EXPECT_EQ(stringsOf(jsonOf(r).value(QStringLiteral("title"))).value(0),
              QStringLiteral("оперативный архив  с 05.03.2024 10:05 по 05.03.2024 10:15"));

    r = pointGraph(QStringLiteral("measurement"), QStringLiteral("06.03.2024 08:00"),
                   QStringLiteral("06.03.2024 10:59"));
    ASSERT_EQ(r.code, 0) << r.all().toStdString();
    curves = expectedCurves(kMeasurementParameters,
                            samples(kMeasurements, at(QDate(2024, 3, 6), 8), at(QDate(2024, 3, 6), 10, 59)));
    ASSERT_EQ(curves.first().points, 2);
    expectCurves(jsonOf(r), curves);
    EXPECT_EQ(stringsOf(jsonOf(r).value(QStringLiteral("legend"))),
              expectedLegend(kMeasurementParameters, curves, false));
    EXPECT_EQ(stringsOf(jsonOf(r).value(QStringLiteral("title"))).value(0),
              QStringLiteral("мгновенные  с 06.03.2024 08:00 по 06.03.2024 10:59"));
}

TEST_F(Graphs, FlowClassesTakeTwelveFiveMinuteStepsOfEachStatusText) {
    const Result r = pointGraph(QStringLiteral("flow"), QStringLiteral("05.03.2024 08:00"),
                                QStringLiteral("05.03.2024 10:00"));
    ASSERT_EQ(r.code, 0) << r.all().toStdString();
    const QJsonObject answer = jsonOf(r);
    // Two status texts of sixteen characters give twelve steps each; the short one gives none, not even
    // to the level lines.
    int steps = 0;
    for (const FlowRow& f : kFlowRows)
        if (f.help.size() >= 16) steps += 12;
    ASSERT_EQ(steps, 24);
    const QJsonArray curves = answer.value(QStringLiteral("curves")).toArray();
    const QStringList names = {QStringLiteral("Q"), QStringLiteral("Qmax"), QStringLiteral("Qперех"),
                               QStringLiteral("Qmin")};
    const QStringList colours = {rgbOf(0xFF0000), rgbOf(0x0000FF), rgbOf(0x008080), rgbOf(0x000080)};
    ASSERT_EQ(curves.size(), names.size()) << r.out.toStdString();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QJsonObject c = curves[i].toObject();
        EXPECT_EQ(c.value(QStringLiteral("name")).toString(), names[i]);
        EXPECT_EQ(c.value(QStringLiteral("colour")).toString(), colours[i]);
        EXPECT_EQ(c.value(QStringLiteral("points")).toInt(-1), steps) << names[i].toStdString();
    }
    EXPECT_EQ(stringsOf(answer.value(QStringLiteral("legend"))),
              (QStringList{
                  QStringLiteral("Q  /\"x\" Q=0 / \".\" 0<Q<Qmin / \"o\" Qmin<Q<Qперех /\"O\" Qперех<Q<Qmax"),
                  QStringLiteral("\"3\" - Qmax   "), QStringLiteral("\"2\" - Qперех "),
                  QStringLiteral("\"1\" - Qmin   "), QStringLiteral("\"0\" - Q = 0  ")}));
    EXPECT_EQ(
        stringsOf(answer.value(QStringLiteral("title"))),
        (QStringList{
            QStringLiteral("Расход по \"справке\" часового архива с 05.03.2024 08:00 по 05.03.2024 10:00"),
            secondTitleLine()}));
}

TEST_F(Graphs, PeriodsWithoutTwoRecordsDrawNothing) {
    const QString message = QStringLiteral("В БД нет данных!");
    struct Case {
        QString archive, from, to;
    };
    const QList<Case> cases = {
        {QStringLiteral("hourly"), QStringLiteral("01.03.2024 11:30"),
         QStringLiteral("01.03.2024 13:59")},                                                    // one
        {QStringLiteral("hourly"), QStringLiteral("02.02.2024"), QStringLiteral("03.02.2024")},  // none
        {QStringLiteral("daily"), QStringLiteral("04.03.2024"), QStringLiteral("10.03.2024")},   // one
        {QStringLiteral("monthly"), QStringLiteral("01.05.2024"), QStringLiteral("01.06.2024")}, // none
        {QStringLiteral("operative"), QStringLiteral("05.03.2024 10:20"), QStringLiteral("05.03.2024 11:00")},
        {QStringLiteral("measurement"), QStringLiteral("06.03.2024 10:00"),
         QStringLiteral("06.03.2024 12:00")},
        {QStringLiteral("flow"), QStringLiteral("05.03.2024 09:30"), QStringLiteral("05.03.2024 10:30")}};
    for (const Case& c : cases) {
        SCOPED_TRACE((c.archive + QLatin1Char(' ') + c.from).toStdString());
        QFile::remove(inst_->scratch(QStringLiteral("g.jpg")));
        const Result r = pointGraph(c.archive, c.from, c.to);
        EXPECT_NE(r.code, 0);
        EXPECT_TRUE(r.err.contains(message)) << r.all().toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_FALSE(QFile::exists(inst_->scratch(QStringLiteral("g.jpg"))));
    }
    // A point that is not registered has no data either.
    const Result unknown =
        graph({QStringLiteral("--point"), QStringLiteral("99999"), QStringLiteral("--archive"),
               QStringLiteral("hourly"), QStringLiteral("--from"), QStringLiteral("01.03.2024"),
               QStringLiteral("--to"), QStringLiteral("01.03.2024"), QStringLiteral("--out"),
               inst_->scratch(QStringLiteral("u.jpg"))});
    EXPECT_NE(unknown.code, 0);
    EXPECT_TRUE(unknown.err.contains(message)) << unknown.all().toStdString();
}

// The group's sums per hour over the members' records, as the group's six parameters.
struct GroupHour {
    QDateTime at;
    double v[6] = {0, 0, 0, 0, 0, 0};
};

QList<GroupHour> groupHours(const QDateTime& from, const QDateTime& to) {
    QMap<QDateTime, GroupHour> by;
    for (const QList<Hour>* member : {&kPointOne, &kPointTwo})
        for (const Hour& h : *member) {
            if (h.at < from || h.at > to) continue;
            GroupHour& g = by[h.at];
            g.at = h.at;
            const double add[6] = {h.working,
                                   h.standard,
                                   h.alarmWorking,
                                   h.alarmStandard,
                                   double(h.working) + double(h.alarmWorking),
                                   double(h.standard) + double(h.alarmStandard)};
            for (int k = 0; k < 6; ++k)
                g.v[k] += add[k];
        }
    return by.values();
}

TEST_F(Graphs, GroupGraphDrawsTheSumsOfEachHourWithRecords) {
    // 10:00 .. 17:00: every hour from 10 to 16 has a record of at least one member, 17:00 has none.
    const Result r =
        graph({QStringLiteral("--group"), QStringLiteral("Г1"), QStringLiteral("--archive"),
               QStringLiteral("hourly"), QStringLiteral("--from"), QStringLiteral("01.03.2024 10:00"),
               QStringLiteral("--to"), QStringLiteral("01.03.2024 17:00"), QStringLiteral("--out"),
               inst_->scratch(QStringLiteral("group.jpg")), QStringLiteral("--json")});
    ASSERT_EQ(r.code, 0) << r.all().toStdString();
    const QList<GroupHour> hours = groupHours(at(kDay, 10), at(kDay, 17));
    ASSERT_EQ(hours.size(), 7);
    const QStringList names = {QStringLiteral("Vраб"),     QStringLiteral("Vстд"),
                               QStringLiteral("Vавр"),     QStringLiteral("Vстд.авр"),
                               QStringLiteral("Vсум.раб"), QStringLiteral("Vсум.ст.")};
    const int colourSlots[6] = {1, 2, 3, 4, 11, 12};
    QList<Parameter> ticked;
    QList<Sample> samples;
    for (int k = 0; k < 6; ++k)
        ticked.append({names[k], QString::number(k), 1, colourSlots[k]});
    for (const GroupHour& g : hours) {
        Sample s{g.at, {}};
        for (int k = 0; k < 6; ++k)
            s.values.insert(QString::number(k), g.v[k]);
        samples.append(s);
    }
    const QList<ExpectedCurve> curves = expectedCurves(ticked, samples);
    const QJsonObject answer = jsonOf(r);
    expectCurves(answer, curves);
    EXPECT_EQ(stringsOf(answer.value(QStringLiteral("legend"))), expectedLegend(ticked, curves, false));
    EXPECT_EQ(stringsOf(answer.value(QStringLiteral("title"))),
              QStringList{QStringLiteral(
                  "график группы \"Г1\" часовой архив с 01.03.2024 10:00 по 01.03.2024 17:00")});
    EXPECT_FALSE(answer.value(QStringLiteral("percent")).toBool(true));
}

TEST_F(Graphs, DailyGroupGraphDrawsEachDayAtItsDate) {
    // Only point one has daily records: the group's day sums are its own, each drawn at the day's date.
    const Result r = graph({QStringLiteral("--group"), QStringLiteral("Г1"), QStringLiteral("--archive"),
                            QStringLiteral("daily"), QStringLiteral("--from"), QStringLiteral("02.03.2024"),
                            QStringLiteral("--to"), QStringLiteral("04.03.2024"), QStringLiteral("--params"),
                            QStringLiteral("1,2,5,6"), QStringLiteral("--out"),
                            inst_->scratch(QStringLiteral("groupdays.jpg")), QStringLiteral("--json")});
    ASSERT_EQ(r.code, 0) << r.all().toStdString();
    const QList<Parameter> ticked = {{QStringLiteral("Vраб"), QStringLiteral("Vwrk"), 1, 1},
                                     {QStringLiteral("Vстд"), QStringLiteral("Vst"), 1, 2},
                                     {QStringLiteral("Vсум.раб"), QStringLiteral("Vwrk_alwrk"), 1, 11},
                                     {QStringLiteral("Vсум.ст."), QStringLiteral("Vst_alwrk"), 1, 12}};
    QList<Sample> samples;
    for (const DayRow& d : kDays)
        if (d.date >= QDate(2024, 3, 2) && d.date <= QDate(2024, 3, 4))
            samples.append({QDateTime(d.date, QTime(0, 0)), d.values});
    const QList<ExpectedCurve> curves = expectedCurves(ticked, samples);
    ASSERT_EQ(curves.first().points, 3);
    expectCurves(jsonOf(r), curves);
    EXPECT_EQ(stringsOf(jsonOf(r).value(QStringLiteral("legend"))), expectedLegend(ticked, curves, false));
    EXPECT_EQ(stringsOf(jsonOf(r).value(QStringLiteral("title"))),
              QStringList{QStringLiteral("график группы \"Г1\" суточный архив с 02.03.2024 по 04.03.2024")});
}

TEST_F(Graphs, GroupGraphRefusals) {
    auto groupGraph = [](const QString& name, const QString& from, const QString& to,
                         const QStringList& more = {}) {
        return graph(QStringList{QStringLiteral("--group"), name, QStringLiteral("--archive"),
                                 QStringLiteral("hourly"), QStringLiteral("--from"), from,
                                 QStringLiteral("--to"), to, QStringLiteral("--out"),
                                 inst_->scratch(QStringLiteral("refused.jpg"))} +
                     more);
    };
    const Result noName = groupGraph(QString(), QStringLiteral("01.03.2024"), QStringLiteral("01.03.2024"));
    EXPECT_NE(noName.code, 0);
    EXPECT_TRUE(noName.err.contains(QStringLiteral("Не выбрана группа!"))) << noName.all().toStdString();

    const Result backwards =
        groupGraph(QStringLiteral("Г1"), QStringLiteral("02.03.2024"), QStringLiteral("01.03.2024"));
    EXPECT_NE(backwards.code, 0);
    EXPECT_TRUE(backwards.err.contains(QStringLiteral("Ошибка выбранного периода")))
        << backwards.all().toStdString();

    const Result none = groupGraph(QStringLiteral("Г1"), QStringLiteral("01.03.2024"),
                                   QStringLiteral("01.03.2024"), {QStringLiteral("--params"), QString()});
    EXPECT_NE(none.code, 0);
    EXPECT_TRUE(none.err.contains(QStringLiteral("Не выбран график!"))) << none.all().toStdString();

    // Group graphs have no percentage scale.
    const Result percent = groupGraph(QStringLiteral("Г1"), QStringLiteral("01.03.2024"),
                                      QStringLiteral("01.03.2024"), {QStringLiteral("--percent")});
    EXPECT_NE(percent.code, 0);
    EXPECT_FALSE(QFile::exists(inst_->scratch(QStringLiteral("refused.jpg"))));
}

// The graph windows speak Russian whatever the program's language, but for the hourly archive's name in
// the title and the group summary's refusal of a period.
TEST_F(Graphs, UkrainianProgramKeepsTheGraphsRussianButTheHourlyArchivesName) {
    inst_->write(QStringLiteral("Work/Type_Leng.000"), "UA\r\n");
    const Result hourly =
        pointGraph(QStringLiteral("hourly"), QStringLiteral("01.03.2024 10:00"),
                   QStringLiteral("01.03.2024 12:00"), {QStringLiteral("--params"), QStringLiteral("1")});
    const Result daily =
        pointGraph(QStringLiteral("daily"), QStringLiteral("01.03.2024"), QStringLiteral("04.03.2024"),
                   {QStringLiteral("--params"), QStringLiteral("1")});
    const Result nothing = pointGraph(QStringLiteral("hourly"), QStringLiteral("01.03.2024"),
                                      QStringLiteral("01.03.2024"), {QStringLiteral("--params"), QString()});
    const Result backwards =
        graph({QStringLiteral("--group"), QStringLiteral("Г1"), QStringLiteral("--archive"),
               QStringLiteral("hourly"), QStringLiteral("--from"), QStringLiteral("02.03.2024"),
               QStringLiteral("--to"), QStringLiteral("01.03.2024"), QStringLiteral("--out"),
               inst_->scratch(QStringLiteral("ua.jpg"))});
    inst_->write(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
    ASSERT_EQ(hourly.code, 0) << hourly.all().toStdString();
    EXPECT_EQ(stringsOf(jsonOf(hourly).value(QStringLiteral("title"))).value(0),
              QStringLiteral("часовий архів с 01.03.2024 10:00 по 01.03.2024 12:00"));
    ASSERT_EQ(daily.code, 0) << daily.all().toStdString();
    EXPECT_EQ(stringsOf(jsonOf(daily).value(QStringLiteral("title"))),
              (QStringList{QStringLiteral("суточный архив  с 01.03.2024 по 04.03.2024"), secondTitleLine()}));
    EXPECT_EQ(stringsOf(jsonOf(daily).value(QStringLiteral("legend"))).value(0),
              QStringLiteral("|имя       |min                           |max                           |"));
    EXPECT_NE(nothing.code, 0);
    EXPECT_TRUE(nothing.err.contains(QStringLiteral("Не выбран график!"))) << nothing.all().toStdString();
    EXPECT_NE(backwards.code, 0);
    EXPECT_TRUE(backwards.err.contains(QStringLiteral("Помилка вибраного періоду")))
        << backwards.all().toStdString();
}

// A group graph of a group that was never made is refused with the graph's words for it, "Не выбрана
// группа!!!" (in Ukrainian "Не вибрано групу!!!"), not the report's "НЕ ОПРЕДЕЛЕНА ГРУППА".
TEST_F(Graphs, GroupThatDoesNotExistIsRefusedWithTheGraphsWords) {
    auto refusal = [](const QByteArray& language) {
        inst_->write(QStringLiteral("Work/Type_Leng.000"), language + "\r\n");
        const Result r =
            graph({QStringLiteral("--group"), QStringLiteral("Нет такой"), QStringLiteral("--archive"),
                   QStringLiteral("hourly"), QStringLiteral("--from"), QStringLiteral("01.03.2024"),
                   QStringLiteral("--to"), QStringLiteral("01.03.2024"), QStringLiteral("--out"),
                   inst_->scratch(QStringLiteral("nogroup.jpg"))});
        inst_->write(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
        return r;
    };
    const Result russian = refusal("RU");
    EXPECT_NE(russian.code, 0);
    EXPECT_TRUE(russian.err.contains(QStringLiteral("Не выбрана группа!!!"))) << russian.all().toStdString();
    const Result ukrainian = refusal("UA");
    EXPECT_NE(ukrainian.code, 0);
    EXPECT_TRUE(ukrainian.err.contains(QStringLiteral("Не вибрано групу!!!")))
        << ukrainian.all().toStdString();
}

TEST_F(Graphs, PointGraphRefusals) {
    const QString out = inst_->scratch(QStringLiteral("bad.jpg"));
    struct Case {
        QStringList args;
        QString text; // the words of the refusal, when the dialog has them
    };
    auto point = [&](const QString& archive, const QStringList& more) {
        return QStringList{QStringLiteral("--point"),   one_,
                           QStringLiteral("--archive"), archive,
                           QStringLiteral("--from"),    QStringLiteral("01.03.2024"),
                           QStringLiteral("--to"),      QStringLiteral("01.03.2024")} +
               more;
    };
    const QList<Case> cases = {
        {point(QStringLiteral("hourly"),
               {QStringLiteral("--params"), QString(), QStringLiteral("--out"), out}),
         QStringLiteral("Не выбран график!")},
        {point(QStringLiteral("hourly"),
               {QStringLiteral("--params"), QStringLiteral("Q раб."), QStringLiteral("--out"), out}),
         QString()},
        {point(QStringLiteral("hourly"),
               {QStringLiteral("--params"), QStringLiteral("11"), QStringLiteral("--out"), out}),
         QString()},
        {point(QStringLiteral("flow"), {QStringLiteral("--percent"), QStringLiteral("--out"), out}),
         QString()},
        {point(QStringLiteral("yearly"), {QStringLiteral("--out"), out}), QString()},
        {point(QStringLiteral("hourly"), {}), QString()},
        {point(QStringLiteral("hourly"),
               {QStringLiteral("--out"), out, QStringLiteral("--width"), QStringLiteral("0")}),
         QString()},
        {QStringList{QStringLiteral("--point"), one_, QStringLiteral("--archive"), QStringLiteral("hourly"),
                     QStringLiteral("--from"), QStringLiteral("32.01.2024"), QStringLiteral("--to"),
                     QStringLiteral("01.03.2024"), QStringLiteral("--out"), out},
         QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const Result r = graph(c.args);
        EXPECT_NE(r.code, 0);
        EXPECT_TRUE(r.out.isEmpty());
        if (!c.text.isEmpty()) {
            EXPECT_TRUE(r.err.contains(c.text)) << r.all().toStdString();
        }
        EXPECT_FALSE(QFile::exists(out));
    }
}

// The picture: a JPEG of the asked size under the asked name up to its first dot, with the curves in it.
TEST_F(Graphs, PictureIsAJpegOfTheAskedSizeWithTheCurvesDrawn) {
    inst_->write(QStringLiteral("Work/Compr.000"), "80\r\n");
    const QString asked = inst_->scratch(QStringLiteral("hours.day.png"));
    const QString written = inst_->scratch(QStringLiteral("hours.jpg"));
    const Result r =
        graph({QStringLiteral("--point"), one_, QStringLiteral("--archive"), QStringLiteral("hourly"),
               QStringLiteral("--from"), QStringLiteral("01.03.2024"), QStringLiteral("--to"),
               QStringLiteral("01.03.2024"), QStringLiteral("--params"), QStringLiteral("Vраб"),
               QStringLiteral("--out"), asked, QStringLiteral("--width"), QStringLiteral("640"),
               QStringLiteral("--height"), QStringLiteral("360"), QStringLiteral("--json")});
    QFile::remove(inst_->path(QStringLiteral("Work/Compr.000")));
    ASSERT_EQ(r.code, 0) << r.all().toStdString();
    EXPECT_EQ(jsonOf(r).value(QStringLiteral("quality")).toInt(-1), 80);
    EXPECT_FALSE(QFile::exists(asked));
    EXPECT_FALSE(QFile::exists(inst_->scratch(QStringLiteral("hours.day.jpg"))));
    const QByteArray bytes = fileBytes(written);
    ASSERT_GE(bytes.size(), 4);
    EXPECT_EQ(quint8(bytes[0]), 0xFF);
    EXPECT_EQ(quint8(bytes[1]), 0xD8);
    QImage picture;
    ASSERT_TRUE(picture.loadFromData(bytes, "JPG"));
    EXPECT_EQ(picture.size(), QSize(640, 360));

    // Not blank: many colours, and some of them the magenta of "Vраб".
    QSet<QRgb> colours;
    int magenta = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            colours.insert(c.rgb());
            if (c.red() > 180 && c.blue() > 180 && c.green() < 90) ++magenta;
        }
    EXPECT_GT(colours.size(), 16);
    EXPECT_GT(magenta, 20);

    // Without a quality setting the picture is written at 50.
    const Result plain =
        pointGraph(QStringLiteral("hourly"), QStringLiteral("01.03.2024"), QStringLiteral("01.03.2024"));
    ASSERT_EQ(plain.code, 0) << plain.all().toStdString();
    EXPECT_EQ(jsonOf(plain).value(QStringLiteral("quality")).toInt(-1), 50);
}

// The style file: broken lines give the first five curves their drawings in the legend and the rest the
// solid one; black-and-white draws every curve black.
TEST_F(Graphs, LineStyleAndBlackAndWhiteFromTheStyleFile) {
    inst_->write(QStringLiteral("Current/GrStyle.000"), "0\r\n1\r\n1\r\n1\r\n1\r\n");
    const Result r =
        pointGraph(QStringLiteral("hourly"), QStringLiteral("01.03.2024"), QStringLiteral("01.03.2024"),
                   {QStringLiteral("--params"), QStringLiteral("1,2,3,4,5,6,7")});
    QFile::remove(inst_->path(QStringLiteral("Current/GrStyle.000")));
    ASSERT_EQ(r.code, 0) << r.all().toStdString();
    const QList<Parameter> ticked = kHourlyParameters.mid(0, 7);
    QList<ExpectedCurve> curves =
        expectedCurves(ticked, hourlySamples(kPointOne, at(kDay, 0), at(kDay, 23, 59)));
    QStringList legend = expectedLegend(ticked, curves, false);
    const QStringList drawings = {QStringLiteral(" _______________"), QStringLiteral(" _ _ _ _ _ _ _ _"),
                                  QStringLiteral(" ___ _ ___ _ ___"), QStringLiteral(" ___ _ _ ___ _ _"),
                                  QStringLiteral(" ___ ___ ___ ___"), QStringLiteral(" _______________"),
                                  QStringLiteral(" _______________")};
    for (int i = 0; i < 7; ++i) {
        legend[i + 1] += drawings[i];
        curves[i].colour = QStringLiteral("#000000");
    }
    expectCurves(jsonOf(r), curves);
    EXPECT_EQ(stringsOf(jsonOf(r).value(QStringLiteral("legend"))), legend);
}

// ---------------------------------------------------------------- the schema files of a new installation

struct SchemaField {
    QString name;
    QChar type;
    int width;
};

// Characters 5 to 24 the name, 25 to 26 the type, 27 to 28 the width, each without its blanks; empty
// lines skipped. Nothing when a line is not CR LF ended.
std::optional<QList<SchemaField>> readSchema(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QString text = acceptance::fromCp1251(f.readAll());
    if (!text.endsWith(QStringLiteral("\r\n"))) return std::nullopt;
    QList<SchemaField> fields;
    const QStringList lines = text.left(text.size() - 2).split(QStringLiteral("\r\n"));
    for (const QString& line : lines) {
        if (line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r'))) return std::nullopt;
        if (line.trimmed().isEmpty()) continue;
        auto part = [&](int from, int to) {
            return line.mid(from - 1, to - from + 1).remove(QLatin1Char(' '));
        };
        const QString type = part(25, 26);
        fields.append({part(5, 24), type.isEmpty() ? QChar() : type.at(0), part(27, 28).toInt()});
    }
    return fields;
}

struct TableKind {
    QString schema; // Work/Bd_<…>.txt
    QChar prefix;
    QStringList fields; // without the prefix
};

const QStringList kCommon = {"Num", "Identif", "SerialNum", "TypeQuon", "DateTime"};
const QStringList kRecord = kCommon + QStringList{"NumWrCor", "Date", "Time"};

QList<TableKind> tableKinds() {
    QStringList log = kCommon + QStringList{"Quest", "StrQuest", "CurFlRdWr", "CurFlWrBD", "DT_Param"};
    for (const char* kind : {"Hour", "Day", "Mon", "Chang", "Alarm", "Oper", "Spec"})
        log += {QStringLiteral("Dbeg") + kind, QStringLiteral("Nbeg") + kind, QStringLiteral("Dend") + kind,
                QStringLiteral("Nend") + kind};
    log += {"ContrWrGas", "ContrWrTime", "Meas",     "TmBebConnM", "TmEndConnM",
            "TmConnect",  "ErrConnect",  "NameFile", "Comment"};
    const QStringList dayValues = {
        "Vwrk",    "Vst",     "Valwrk",     "Valst",     "P",    "T",      "Ksg",  "Kkor", "Vmeter", "Help",
        "OldData", "DT_Corr", "Vwrk_alwrk", "Vst_alwrk", "Flag", "fKgMPa", "fKgV", "Gas",  "Comment"};
    return {
        {QStringLiteral("Bd_Quon"), QLatin1Char('k'),
         kCommon + QStringList{"NameOrg",   "NameTube",     "ArdQuon",    "AddrOrg",     "TelOrg",
                               "TyConnect", "NumPort",      "Parole",     "TelQuon",     "SpeedRS",
                               "TimeCorr",  "BreakConnect", "RepOutCorr", "TimeConnect", "RepTaimOutMod",
                               "RepOutMod", "LineInMod",    "Gas",        "FlagRdWrRS",  "ResultRS",
                               "Comment",   "DateTimeRS"}},
        {QStringLiteral("Bd_Hour"), QLatin1Char('h'),
         kRecord + QStringList{"Vwrk", "Vst", "Valwrk", "Valst", "P", "T", "Ksg", "Kkor", "Help", "DT_Corr",
                               "Vwrk_alwrk", "Vst_alwrk", "Flag", "fKgMPa", "fKgV", "Gas", "Comment"}},
        {QStringLiteral("Bd_Day"), QLatin1Char('d'), kRecord + dayValues},
        {QStringLiteral("Bd_Mon"), QLatin1Char('m'), kRecord + dayValues},
        {QStringLiteral("Bd_Chang"), QLatin1Char('c'),
         kRecord + QStringList{"Who", "NamePar", "ThereWas", "Became", "P_hex", "DT_Corr", "Comment"}},
        {QStringLiteral("Bd_Alarm"), QLatin1Char('a'),
         kRecord + QStringList{"CodeCur", "CodePrec", "Valwrk", "Valst", "DT_Corr", "fKgMPa", "fKgV", "Gas",
                               "Comment"}},
        {QStringLiteral("Bd_Oper"), QLatin1Char('o'),
         kRecord +
             QStringList{"P", "T", "Kkor", "Qwrk", "Vmeter", "DT_Corr", "fKgMPa", "fKgV", "Gas", "Comment"}},
        {QStringLiteral("Bd_Spec"), QLatin1Char('s'),
         kRecord + QStringList{"CodeCur", "CodePrec", "DT_Corr", "Comment"}},
        {QStringLiteral("Bd_Meas"), QLatin1Char('i'),
         kCommon +
             QStringList{"P", "T", "Kkor", "Ksg", "Qwrk", "Qstd", "Battery", "Error", "fKgMPa", "Comment"}},
        {QStringLiteral("Bd_Gas"),
         QLatin1Char('g'),
         {"Num", "DateTime", "NameGas", "Den", "CO2", "N2", "Comment"}},
        {QStringLiteral("Bd_BookQ"), QLatin1Char('b'), log},
        {QStringLiteral("Bd_Join"),
         QLatin1Char('j'),
         {"Num", "Group", "Identif", "TypeQuon", "SerialNum", "DateTime", "nRegWrkCh", "sRegWrkCh", "BegCh",
          "EndCh", "NumStrT", "FlagModif", "DateModif", "Result", "IdJoin", "Comment"}},
        {QStringLiteral("Bd_Ed"), QLatin1Char('e'), kRecord + QStringList{"fE", "Ed", "DT_Corr", "Comment"}},
        {QStringLiteral("Bd_Em"), QLatin1Char('z'), kRecord + QStringList{"fE", "Em", "DT_Corr", "Comment"}},
    };
}

// The type a field's content needs: auto-increment numbers, record dates and times, time stamps; the
// rest may be text, integer or floating point.
QString typesFor(const TableKind& kind, const QString& field) {
    if (field == QStringLiteral("Num")) return QStringLiteral("+");
    if (kind.prefix == QLatin1Char('j') &&
        (field == QStringLiteral("BegCh") || field == QStringLiteral("EndCh") ||
         field == QStringLiteral("DateModif")))
        return QStringLiteral("TA");
    if (field == QStringLiteral("Date")) return QStringLiteral("D");
    if (field == QStringLiteral("Time")) return QStringLiteral("T");
    if (field.startsWith(QStringLiteral("DateTime")) || field == QStringLiteral("DT_Corr") ||
        field == QStringLiteral("DT_Param") ||
        (kind.prefix == QLatin1Char('b') &&
         (field.startsWith(QStringLiteral("Dbeg")) || field.startsWith(QStringLiteral("Dend")) ||
          field.startsWith(QStringLiteral("Contr")) || field == QStringLiteral("Meas") ||
          field == QStringLiteral("TmBebConnM") || field == QStringLiteral("TmEndConnM"))))
        return QStringLiteral("@");
    return QStringLiteral("ANFC");
}

// The least text width that holds the longest value a field gets.
int leastWidth(const QString& field) {
    if (field == QStringLiteral("TypeQuon")) return 11;
    if (field == QStringLiteral("AddrOrg")) return 32;
    if (field == QStringLiteral("FlagRdWrRS") || field == QStringLiteral("CurFlRdWr") ||
        field == QStringLiteral("CurFlWrBD"))
        return 20;
    if (field == QStringLiteral("Identif")) return 6;
    if (field == QStringLiteral("NumPort")) return 5;    // "COM25"
    if (field == QStringLiteral("Help")) return 16;      // the status text
    if (field == QStringLiteral("LineInMod")) return 10; // "AT&FE0S0=0"
    if (field == QStringLiteral("TyConnect")) return 17; // "прямое соединение"
    return 1;
}

TEST(Schema, NewInstallationsSchemaFilesListTheFieldsInTheirOrder) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const QList<TableKind> kinds = tableKinds();
    ASSERT_EQ(kinds.size(), 14);
    const QMap<QString, int> counts = {{"Bd_Quon", 27},  {"Bd_Hour", 25},  {"Bd_Day", 27},   {"Bd_Mon", 27},
                                       {"Bd_Chang", 15}, {"Bd_Alarm", 17}, {"Bd_Oper", 18},  {"Bd_Spec", 12},
                                       {"Bd_Meas", 15},  {"Bd_Gas", 7},    {"Bd_BookQ", 47}, {"Bd_Join", 16},
                                       {"Bd_Ed", 12},    {"Bd_Em", 12}};
    for (const TableKind& kind : kinds) {
        SCOPED_TRACE(kind.schema.toStdString());
        ASSERT_EQ(kind.fields.size(), counts.value(kind.schema));
        const auto fields = readSchema(inst.path(QStringLiteral("Work/%1.txt").arg(kind.schema)));
        ASSERT_TRUE(fields.has_value());
        ASSERT_EQ(fields->size(), kind.fields.size());
        for (qsizetype i = 0; i < fields->size(); ++i) {
            const SchemaField& f = fields->at(i);
            const QString field = kind.fields[i];
            SCOPED_TRACE(field.toStdString());
            EXPECT_EQ(f.name, kind.prefix + field);
            EXPECT_TRUE(typesFor(kind, field).contains(f.type)) << QString(f.type).toStdString();
            if (f.type == QLatin1Char('A')) {
                EXPECT_GE(f.width, leastWidth(field));
            }
        }
    }
}

// ---------------------------------------------------------------- a registered point's tables and the check

// One point stored through the programs; each check below breaks a copy of its installation.
// The name a repaired table's original is kept under, as a pattern.
QString stampPattern(const QString& file) {
    return QRegularExpression::escape(file) + QStringLiteral("\\.damaged-\\d{8}-\\d{6}");
}

class StoredTables : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        inst_ = new Installation;
        stored_ = inst_->initialised() && inst_->store(41234, kPointOne);
    }
    static void TearDownTestSuite() {
        delete inst_;
        inst_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(inst_ && stored_); }
    static Result check(const Installation& inst, bool repair) {
        QStringList args{QStringLiteral("db"), QStringLiteral("check"), QStringLiteral("--json")};
        if (repair) args.append(QStringLiteral("--repair"));
        return inst.cli(args);
    }
    static QList<QJsonObject> findings(const Result& r) {
        QList<QJsonObject> out;
        for (const QJsonValue& v : jsonOf(r).value(QStringLiteral("findings")).toArray())
            out.append(v.toObject());
        return out;
    }
    // The one finding of a check that ended with code, of kind and for file when they are given; nothing
    // (the test failed) when there is not exactly one.
    static std::optional<QJsonObject> soleFinding(const Result& r, int code, const QString& kind = {},
                                                  const QString& file = {}) {
        EXPECT_EQ(r.code, code) << r.all().toStdString();
        const QList<QJsonObject> list = findings(r);
        EXPECT_EQ(list.size(), 1) << r.out.toStdString();
        if (list.size() != 1) return std::nullopt;
        if (!kind.isEmpty()) {
            EXPECT_EQ(list[0].value(QStringLiteral("kind")).toString(), kind);
        }
        if (!file.isEmpty()) {
            EXPECT_EQ(list[0].value(QStringLiteral("file")).toString(), file);
        }
        return list[0];
    }
    // Where a repair kept the original of file: beside it, under its name and the repair's time.
    static QString keptBeside(const QJsonObject& repaired, const QString& file) {
        const QString keptAs = repaired.value(QStringLiteral("keptAs")).toString();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^") + stampPattern(file) + QStringLiteral("$"))
                        .match(keptAs)
                        .hasMatch())
            << keptAs.toStdString();
        return keptAs;
    }
    static Installation* inst_;
    static bool stored_;
};
Installation* StoredTables::inst_ = nullptr;
bool StoredTables::stored_ = false;

// A stored date and time, whichever of the engine's text forms holds it.
QDateTime storedStamp(const QVariant& v) {
    const QString text = v.toString();
    QDateTime t = QDateTime::fromString(text, Qt::ISODate);
    if (!t.isValid()) t = QDateTime::fromString(text, kStamp);
    return t;
}

const QString kPoint = QStringLiteral("41234");
const QString kHourFile = QStringLiteral("Hour/h_41234.db");

TEST_F(StoredTables, RegisteredPointsHourlyTableHoldsTheSchemasFieldsAndTheSeedRecord) {
    TableFile t(inst_->path(kHourFile));
    ASSERT_TRUE(t.isOpen());
    EXPECT_EQ(t.table(), QStringLiteral("h_41234"));
    const auto schema = readSchema(inst_->path(QStringLiteral("Work/Bd_Hour.txt")));
    ASSERT_TRUE(schema.has_value());
    const auto columns = t.columns();
    ASSERT_EQ(columns.size(), schema->size());
    for (qsizetype i = 0; i < columns.size(); ++i)
        EXPECT_EQ(columns[i].first, schema->at(i).name);
    const QList<QVariantMap> rows = t.rows();
    ASSERT_EQ(rows.size(), kPointOne.size() + 1);
    // The seed record first: identifier and text fields "0".
    EXPECT_EQ(rows[0].value(QStringLiteral("hIdentif")).toString(), QStringLiteral("0"));
    EXPECT_EQ(rows[0].value(QStringLiteral("hSerialNum")).toString(), QStringLiteral("0"));
    EXPECT_EQ(rows[0].value(QStringLiteral("hHelp")).toString(), QStringLiteral("0"));
    EXPECT_EQ(rows[0].value(QStringLiteral("hGas")).toString(), QStringLiteral("0"));
    // Its record date is the day it was made, the day of its own time stamps.
    const QDateTime made = storedStamp(rows[0].value(QStringLiteral("hDT_Corr")));
    ASSERT_TRUE(made.isValid());
    EXPECT_EQ(storedStamp(rows[0].value(QStringLiteral("hDateTime"))).date(), made.date());
    EXPECT_EQ(QDate::fromString(rows[0].value(QStringLiteral("hDate")).toString(), Qt::ISODate), made.date());
    int seeds = 0;
    for (const QVariantMap& row : rows)
        seeds += row.value(QStringLiteral("hIdentif")).toString() == QStringLiteral("0");
    EXPECT_EQ(seeds, 1);
    for (qsizetype i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].value(QStringLiteral("hIdentif")).toString(), kPoint);
        EXPECT_DOUBLE_EQ(rows[i].value(QStringLiteral("hVwrk")).toDouble(), kPointOne[i - 1].working);
        EXPECT_DOUBLE_EQ(rows[i].value(QStringLiteral("hVwrk_alwrk")).toDouble(),
                         double(kPointOne[i - 1].working) + double(kPointOne[i - 1].alarmWorking));
    }
    // The seed record never shows in a listing of the stored rows.
    const Result listed =
        inst_->cli({QStringLiteral("rows"), QStringLiteral("--point"), kPoint, QStringLiteral("--archive"),
                    QStringLiteral("hourly"), QStringLiteral("--json")});
    ASSERT_EQ(listed.code, 0) << listed.all().toStdString();
    EXPECT_EQ(jsonOf(listed).value(QStringLiteral("rows")).toArray().size(), kPointOne.size());

    // Every table of the point's kinds, where there is one, has its schema's fields and one seed record.
    const QMap<QString, QString> files = {{"Day/d_41234.db", "Bd_Day"},     {"Mon/m_41234.db", "Bd_Mon"},
                                          {"Chang/c_41234.db", "Bd_Chang"}, {"Alarm/a_41234.db", "Bd_Alarm"},
                                          {"Oper/o_41234.db", "Bd_Oper"},   {"Spec/s_41234.db", "Bd_Spec"},
                                          {"Meas/i_41234.db", "Bd_Meas"},   {"BookQ/b_41234.db", "Bd_BookQ"},
                                          {"Ed/e_41234.db", "Bd_Ed"},       {"Em/z_41234.db", "Bd_Em"}};
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (!QFile::exists(inst_->path(it.key()))) continue;
        SCOPED_TRACE(it.key().toStdString());
        TableFile other(inst_->path(it.key()));
        const auto otherSchema = readSchema(inst_->path(QStringLiteral("Work/%1.txt").arg(it.value())));
        ASSERT_TRUE(otherSchema.has_value());
        const auto otherColumns = other.columns();
        ASSERT_EQ(otherColumns.size(), otherSchema->size());
        for (qsizetype i = 0; i < otherColumns.size(); ++i)
            EXPECT_EQ(otherColumns[i].first, otherSchema->at(i).name);
        const QString identif = it.value() == QStringLiteral("Bd_BookQ") ? QStringLiteral("bIdentif")
                                                                         : otherColumns.value(1).first;
        int otherSeeds = 0;
        for (const QVariantMap& row : other.rows())
            otherSeeds += row.value(identif).toString() == QStringLiteral("0");
        EXPECT_EQ(otherSeeds, 1);
    }
}

TEST_F(StoredTables, RegistryHoldsTheSchemasFieldsTheSeedAndThePointsRow) {
    TableFile t(inst_->path(QStringLiteral("Data/Bd_Quon.DB")));
    ASSERT_TRUE(t.isOpen());
    const auto schema = readSchema(inst_->path(QStringLiteral("Work/Bd_Quon.txt")));
    ASSERT_TRUE(schema.has_value());
    const auto columns = t.columns();
    ASSERT_EQ(columns.size(), schema->size());
    for (qsizetype i = 0; i < columns.size(); ++i)
        EXPECT_EQ(columns[i].first, schema->at(i).name);
    const QList<QVariantMap> rows = t.rows();
    ASSERT_EQ(rows.size(), 2);
    // The seed: identifier and texts "0", the last poll "never".
    EXPECT_EQ(rows[0].value(QStringLiteral("kIdentif")).toString(), QStringLiteral("0"));
    EXPECT_EQ(rows[0].value(QStringLiteral("kTypeQuon")).toString(), QStringLiteral("0"));
    EXPECT_EQ(rows[0].value(QStringLiteral("kFlagRdWrRS")).toString(), QStringLiteral("0"));
    EXPECT_EQ(storedStamp(rows[0].value(QStringLiteral("kDateTimeRS"))),
              QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
    // The point's row: result "0" and last poll "never" from the start, eleven polling flags.
    const QVariantMap& point = rows[1];
    EXPECT_EQ(point.value(QStringLiteral("kIdentif")).toString(), kPoint);
    EXPECT_EQ(point.value(QStringLiteral("kSerialNum")).toString(), kPoint);
    EXPECT_EQ(point.value(QStringLiteral("kResultRS")).toString(), QStringLiteral("0"));
    EXPECT_EQ(storedStamp(point.value(QStringLiteral("kDateTimeRS"))),
              QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[01]{11}$"))
                    .match(point.value(QStringLiteral("kFlagRdWrRS")).toString())
                    .hasMatch());
    EXPECT_EQ(point.value(QStringLiteral("kTypeQuon")).toString().size(), 11);
}

// ---------------------------------------------------------------- schema files that do not fit

// What the database says when a schema file of a copy is changed: the listing of the point's hourly rows.
Result hourlyRowsWith(const Installation& from, const std::function<void(Installation&)>& change) {
    Installation copy(from);
    change(copy);
    return copy.cli({QStringLiteral("rows"), QStringLiteral("--point"), kPoint, QStringLiteral("--archive"),
                     QStringLiteral("hourly")});
}

QByteArray schemaText(const Installation& inst) {
    return fileBytes(inst.path(QStringLiteral("Work/Bd_Hour.txt")));
}

TEST_F(StoredTables, SchemaFileWithAnExtraFieldStopsTheDatabase) {
    const Result r = hourlyRowsWith(*inst_, [](Installation& i) {
        i.write(QStringLiteral("Work/Bd_Hour.txt"), schemaText(i) + " 26 hExtra              A 10\r\n");
    });
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("ОШИБКА !!! ФОРМАТА ФАЙЛА : ")) &&
                r.err.contains(QStringLiteral("Bd_Hour.txt")))
        << r.all().toStdString();
    EXPECT_TRUE(r.out.isEmpty());
}

TEST_F(StoredTables, EmptyLinesBetweenSchemaLinesAreSkipped) {
    const Result r = hourlyRowsWith(*inst_, [](Installation& i) {
        QByteArray text = schemaText(i);
        const qsizetype second = text.indexOf("\r\n") + 2;
        text.insert(second, "\r\n    \r\n");
        i.write(QStringLiteral("Work/Bd_Hour.txt"), text);
    });
    EXPECT_EQ(r.code, 0) << r.all().toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("ОШИБКА")));
}

// Empty lines are skipped wherever they stand, after the last field's line too: a file saved by an editor
// that ends it with an empty line is not taken for one with a field too many.
TEST_F(StoredTables, EmptyLineAfterTheLastFieldIsSkipped) {
    const Result r = hourlyRowsWith(
        *inst_, [](Installation& i) { i.write(QStringLiteral("Work/Bd_Hour.txt"), schemaText(i) + "\r\n"); });
    EXPECT_EQ(r.code, 0) << r.all().toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("ОШИБКА")));
}

// A schema file cut short by its last line stops the database with the format error, as the manual says:
// tables made without a field the storing writes would lose what the corrector sent for it.
TEST_F(StoredTables, SchemaFileWithFewerLinesIsAFormatError) {
    const Result r = hourlyRowsWith(*inst_, [](Installation& i) {
        QByteArray text = schemaText(i);
        text.chop(2);
        text = text.left(text.lastIndexOf("\r\n") + 2); // without "hComment"
        i.write(QStringLiteral("Work/Bd_Hour.txt"), text);
    });
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("ОШИБКА !!! ФОРМАТА ФАЙЛА : ")) &&
                r.err.contains(QStringLiteral("Bd_Hour.txt")))
        << r.all().toStdString();
}

// A schema file that is missing is written anew with the shipped fields, as the manual says, and the
// database works on: the installation's own files are what a new one is laid out with.
TEST_F(StoredTables, MissingSchemaFileIsWrittenAnew) {
    Installation copy(*inst_);
    QFile::remove(copy.path(QStringLiteral("Work/Bd_Hour.txt")));
    const Result r = copy.cli({QStringLiteral("rows"), QStringLiteral("--point"), kPoint,
                               QStringLiteral("--archive"), QStringLiteral("hourly")});
    EXPECT_EQ(r.code, 0) << r.all().toStdString();
    EXPECT_EQ(schemaText(copy), schemaText(*inst_));
}

TEST_F(StoredTables, SoundDatabaseHasNoFindings) {
    const Result r = check(*inst_, false);
    EXPECT_EQ(r.code, 0) << r.all().toStdString();
    const QJsonObject answer = jsonOf(r);
    EXPECT_TRUE(answer.value(QStringLiteral("findings")).toArray().isEmpty()) << r.out.toStdString();
    EXPECT_EQ(answer.value(QStringLiteral("left")).toInt(-1), 0);
    EXPECT_FALSE(answer.value(QStringLiteral("repair")).toBool(true));
    EXPECT_GT(answer.value(QStringLiteral("tables")).toInt(0), 2);
}

// The repaired table: the schema's fields in order, and every original row (seed included) that fits,
// field by field, the broken field aside.
void expectRowsCarried(const QList<QVariantMap>& before, const QString& path, const QString& schemaPath,
                       const QSet<QString>& leftAside, const QSet<int>& rowsLeftOut) {
    TableFile t(path);
    ASSERT_TRUE(t.isOpen());
    const auto schema = readSchema(schemaPath);
    ASSERT_TRUE(schema.has_value());
    const auto columns = t.columns();
    ASSERT_EQ(columns.size(), schema->size());
    for (qsizetype i = 0; i < columns.size(); ++i)
        EXPECT_EQ(columns[i].first, schema->at(i).name);
    const QList<QVariantMap> after = t.rows();
    ASSERT_EQ(after.size(), before.size() - rowsLeftOut.size());
    qsizetype k = 0;
    for (qsizetype i = 0; i < before.size(); ++i) {
        if (rowsLeftOut.contains(int(i))) continue;
        const QVariantMap& was = before[i];
        const QVariantMap& now = after[k++];
        for (auto it = was.begin(); it != was.end(); ++it) {
            if (leftAside.contains(it.key()) || !now.contains(it.key())) continue;
            EXPECT_EQ(now.value(it.key()).toString(), it.value().toString())
                << it.key().toStdString() << " row " << i;
        }
    }
}

TEST_F(StoredTables, TableMissingAFieldIsRebuiltWithEveryRowThatFits) {
    Installation broken(*inst_);
    ASSERT_TRUE(broken.initialised());
    QList<QVariantMap> before;
    {
        TableFile t(broken.path(kHourFile));
        // One record's pressure is no number: that row cannot go into the rebuilt table.
        ASSERT_TRUE(
            t.exec(QStringLiteral("UPDATE h_41234 SET hP = 'abc' WHERE hNumWrCor = 3 AND hIdentif <> '0'")));
        ASSERT_TRUE(t.exec(QStringLiteral("ALTER TABLE h_41234 DROP COLUMN hKsg")));
        before = t.rows();
    }
    int spoilt = -1;
    for (qsizetype i = 0; i < before.size(); ++i)
        if (before[i].value(QStringLiteral("hP")).toString() == QStringLiteral("abc")) spoilt = int(i);
    ASSERT_GT(spoilt, 0);
    const QByteArray original = fileBytes(broken.path(kHourFile));

    const Result found = check(broken, false);
    const auto fault = soleFinding(found, 1, QStringLiteral("missing-field"), kHourFile);
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->value(QStringLiteral("table")).toString(), QStringLiteral("h_41234"));
    EXPECT_TRUE(fault->value(QStringLiteral("detail")).toString().contains(QStringLiteral("hKsg")));
    EXPECT_FALSE(fault->value(QStringLiteral("repaired")).toBool(true));
    EXPECT_EQ(jsonOf(found).value(QStringLiteral("left")).toInt(-1), 1);
    // A check alone changes nothing.
    EXPECT_EQ(fileBytes(broken.path(kHourFile)), original);

    const Result repaired = check(broken, true);
    const auto fixed = soleFinding(repaired, 0);
    ASSERT_TRUE(fixed);
    EXPECT_TRUE(fixed->value(QStringLiteral("repaired")).toBool(false));
    EXPECT_TRUE(jsonOf(repaired).value(QStringLiteral("repair")).toBool(false));
    EXPECT_EQ(jsonOf(repaired).value(QStringLiteral("left")).toInt(-1), 0);
    EXPECT_EQ(fixed->value(QStringLiteral("rowsLeftOut")).toInt(-1), 1);
    EXPECT_EQ(fixed->value(QStringLiteral("rowsKept")).toInt(-1), kPointOne.size() - 1);
    EXPECT_EQ(fileBytes(broken.path(keptBeside(*fixed, kHourFile))), original);
    expectRowsCarried(before, broken.path(kHourFile), broken.path(QStringLiteral("Work/Bd_Hour.txt")),
                      {QStringLiteral("hKsg")}, {spoilt});
    // The point's rows that fitted read as before, and a second check is clean.
    const Result listed =
        broken.cli({QStringLiteral("rows"), QStringLiteral("--point"), kPoint, QStringLiteral("--archive"),
                    QStringLiteral("hourly"), QStringLiteral("--json")});
    EXPECT_EQ(jsonOf(listed).value(QStringLiteral("rows")).toArray().size(), kPointOne.size() - 1);
    const Result again = check(broken, false);
    EXPECT_EQ(again.code, 0) << again.out.toStdString();
}

TEST_F(StoredTables, ExtraFieldAndRepeatedRecordsAreFoundAndRepaired) {
    Installation broken(*inst_);
    ASSERT_TRUE(broken.initialised());
    QList<QVariantMap> before;
    {
        TableFile t(broken.path(kHourFile));
        ASSERT_TRUE(t.exec(QStringLiteral("ALTER TABLE h_41234 ADD COLUMN hExtra TEXT")));
        // The third stored record once more: the same record number and time.
        QStringList columns;
        for (const auto& c : t.columns())
            if (c.first != QStringLiteral("hNum")) columns.append(c.first);
        ASSERT_TRUE(
            t.exec(QStringLiteral("INSERT INTO h_41234 (%1) SELECT %1 FROM h_41234 WHERE hNumWrCor = 2 AND "
                                  "hIdentif <> '0'")
                       .arg(columns.join(QLatin1Char(',')))));
        before = t.rows();
    }
    ASSERT_EQ(before.size(), kPointOne.size() + 2);
    const Result found = check(broken, false);
    EXPECT_EQ(found.code, 1) << found.all().toStdString();
    QStringList kinds;
    for (const QJsonObject& f : findings(found)) {
        EXPECT_EQ(f.value(QStringLiteral("file")).toString(), kHourFile);
        kinds.append(f.value(QStringLiteral("kind")).toString());
    }
    EXPECT_TRUE(kinds.contains(QStringLiteral("extra-field"))) << found.out.toStdString();
    EXPECT_TRUE(kinds.contains(QStringLiteral("duplicate-rows"))) << found.out.toStdString();

    const Result repaired = check(broken, true);
    EXPECT_EQ(repaired.code, 0) << repaired.all().toStdString();
    int leftOut = 0;
    QString keptAs;
    for (const QJsonObject& f : findings(repaired)) {
        EXPECT_TRUE(f.value(QStringLiteral("repaired")).toBool(false));
        leftOut = std::max(leftOut, f.value(QStringLiteral("rowsLeftOut")).toInt(0));
        if (keptAs.isEmpty()) keptAs = f.value(QStringLiteral("keptAs")).toString();
    }
    // The repeat goes; every other row stays.
    EXPECT_EQ(leftOut, 1);
    EXPECT_TRUE(QFile::exists(broken.path(keptAs))) << keptAs.toStdString();
    expectRowsCarried(before, broken.path(kHourFile), broken.path(QStringLiteral("Work/Bd_Hour.txt")), {},
                      {int(before.size() - 1)});
    EXPECT_EQ(check(broken, false).code, 0);
}

TEST_F(StoredTables, ExtraObjectIsFoundAndOneTablesCheckLooksAtItsPointOnly) {
    Installation broken(*inst_);
    ASSERT_TRUE(broken.initialised());
    QList<QVariantMap> before;
    {
        TableFile t(broken.path(kHourFile));
        ASSERT_TRUE(t.exec(QStringLiteral("CREATE INDEX byStamp ON h_41234 (hDT_Corr)")));
        before = t.rows();
    }
    // A table of no registered point beside it: seen by the whole check, not by the point's.
    const QString orphan = QStringLiteral("Day/d_99999.db");
    ASSERT_TRUE(QFile::copy(broken.path(QStringLiteral("Day/d_41234.db")), broken.path(orphan)));

    const Result one = broken.cli({QStringLiteral("db"), QStringLiteral("check"), QStringLiteral("--point"),
                                   kPoint, QStringLiteral("--json")});
    EXPECT_EQ(one.code, 1) << one.all().toStdString();
    QList<QJsonObject> list = findings(one);
    ASSERT_EQ(list.size(), 1) << one.out.toStdString();
    EXPECT_EQ(list[0].value(QStringLiteral("kind")).toString(), QStringLiteral("extra-object"));
    EXPECT_EQ(list[0].value(QStringLiteral("file")).toString(), kHourFile);
    EXPECT_TRUE(list[0].value(QStringLiteral("detail")).toString().contains(QStringLiteral("byStamp")));

    QStringList kinds;
    for (const QJsonObject& f : findings(check(broken, false)))
        kinds.append(f.value(QStringLiteral("kind")).toString());
    kinds.sort();
    EXPECT_EQ(kinds, (QStringList{QStringLiteral("extra-object"), QStringLiteral("orphan-table")}));

    const Result repaired =
        broken.cli({QStringLiteral("db"), QStringLiteral("check"), QStringLiteral("--point"), kPoint,
                    QStringLiteral("--repair"), QStringLiteral("--json")});
    EXPECT_EQ(repaired.code, 0) << repaired.all().toStdString();
    list = findings(repaired);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].value(QStringLiteral("rowsKept")).toInt(-1), kPointOne.size());
    expectRowsCarried(before, broken.path(kHourFile), broken.path(QStringLiteral("Work/Bd_Hour.txt")), {},
                      {});
    TableFile t(broken.path(kHourFile));
    QSqlQuery q(t.db());
    ASSERT_TRUE(
        q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type IN ('index', 'trigger', 'view') "
                              "AND sql IS NOT NULL")));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 0);
}

TEST_F(StoredTables, FileThatIsNoTableIsReplacedByAnEmptyTableBesideTheOriginal) {
    Installation broken(*inst_);
    ASSERT_TRUE(broken.initialised());
    const QString file = QStringLiteral("Day/d_41234.db");
    const QByteArray garbage = QByteArray("this is no table file\r\n").repeated(40);
    broken.write(file, garbage);

    ASSERT_TRUE(soleFinding(check(broken, false), 1, QStringLiteral("not-a-table-file"), file));

    const auto fixed = soleFinding(check(broken, true), 0);
    ASSERT_TRUE(fixed);
    EXPECT_TRUE(fixed->value(QStringLiteral("repaired")).toBool(false));
    EXPECT_EQ(fixed->value(QStringLiteral("rowsKept")).toInt(-1), 0);
    EXPECT_EQ(fileBytes(broken.path(keptBeside(*fixed, file))), garbage);
    // The new table is the schema's, and holds no stored row.
    TableFile t(broken.path(file));
    ASSERT_TRUE(t.isOpen());
    const auto schema = readSchema(broken.path(QStringLiteral("Work/Bd_Day.txt")));
    ASSERT_TRUE(schema.has_value());
    ASSERT_EQ(t.columns().size(), schema->size());
    for (const QVariantMap& row : t.rows())
        EXPECT_EQ(row.value(QStringLiteral("dIdentif")).toString(), QStringLiteral("0"));
}

TEST_F(StoredTables, TruncatedTableIsFoundAndRepairedWithTheOriginalBeside) {
    Installation broken(*inst_);
    ASSERT_TRUE(broken.initialised());
    const QByteArray whole = fileBytes(broken.path(kHourFile));
    ASSERT_GT(whole.size(), 1024);
    const QByteArray cut = whole.left(whole.size() / 2 + 100);
    broken.write(kHourFile, cut);

    const Result found = check(broken, false);
    EXPECT_EQ(found.code, 1) << found.all().toStdString();
    QList<QJsonObject> list = findings(found);
    ASSERT_FALSE(list.isEmpty()) << found.out.toStdString();
    const QString kind = list[0].value(QStringLiteral("kind")).toString();
    EXPECT_TRUE(kind == QStringLiteral("not-a-table-file") || kind == QStringLiteral("damaged"))
        << kind.toStdString();
    EXPECT_EQ(list[0].value(QStringLiteral("file")).toString(), kHourFile);

    const Result repaired = check(broken, true);
    EXPECT_EQ(repaired.code, 0) << repaired.all().toStdString();
    list = findings(repaired);
    ASSERT_FALSE(list.isEmpty());
    EXPECT_TRUE(list[0].value(QStringLiteral("repaired")).toBool(false));
    const QString keptAs = list[0].value(QStringLiteral("keptAs")).toString();
    EXPECT_EQ(fileBytes(broken.path(keptAs)), cut);
    EXPECT_EQ(check(broken, false).code, 0);
}

// The hourly table's file with the second record's cell pointer sent past its page: the engine's own
// check fails on it, while every other record is still found by its number. Returns the numbers of the
// stored records (not the seed) that a lookup by number still reads, or nothing when the file is not laid
// out as expected.
std::optional<QList<int>> spoilSecondRecord(const Installation& inst) {
    int root = 0;
    QList<int> numbers;
    {
        TableFile t(inst.path(kHourFile));
        QSqlQuery q(t.db());
        if (!q.exec(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = 'h_41234'")) || !q.next())
            return std::nullopt;
        root = q.value(0).toInt();
        for (const QVariantMap& row : t.rows())
            numbers.append(row.value(QStringLiteral("hNum")).toInt());
        // The engine's journal folded into the file, so that the file alone holds the table.
        q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    QByteArray bytes = fileBytes(inst.path(kHourFile));
    if (bytes.size() < 100) return std::nullopt;
    int pageSize = (quint8(bytes[16]) << 8) | quint8(bytes[17]);
    if (pageSize == 1) pageSize = 65536;
    const qsizetype page = qsizetype(root - 1) * pageSize;
    // A leaf page of a table, wholly in the file, with at least two cells.
    if (root < 2 || page + pageSize > bytes.size() || quint8(bytes[page]) != 0x0D) return std::nullopt;
    if (((quint8(bytes[page + 3]) << 8) | quint8(bytes[page + 4])) < 2) return std::nullopt;
    bytes[page + 10] = char(0xFF);
    bytes[page + 11] = char(0xF0);
    inst.write(kHourFile, bytes);
    QFile::remove(inst.path(kHourFile) + QStringLiteral("-wal"));
    QFile::remove(inst.path(kHourFile) + QStringLiteral("-shm"));

    QList<int> readable;
    TableFile t(inst.path(kHourFile));
    for (int n : numbers) {
        QSqlQuery q(t.db());
        if (q.exec(QStringLiteral("SELECT hIdentif FROM h_41234 WHERE hNum = %1").arg(n)) && q.next() &&
            q.value(0).toString() == kPoint)
            readable.append(n);
    }
    return readable;
}

TEST_F(StoredTables, DamagedTableIsFoundAndRepairedWithTheOriginalBeside) {
    Installation broken(*inst_);
    ASSERT_TRUE(broken.initialised());
    const auto readable = spoilSecondRecord(broken);
    ASSERT_TRUE(readable.has_value());
    const QByteArray spoilt = fileBytes(broken.path(kHourFile));

    ASSERT_TRUE(soleFinding(check(broken, false), 1, QStringLiteral("damaged"), kHourFile));

    const auto fixed = soleFinding(check(broken, true), 0);
    ASSERT_TRUE(fixed);
    EXPECT_TRUE(fixed->value(QStringLiteral("repaired")).toBool(false));
    EXPECT_EQ(fileBytes(broken.path(fixed->value(QStringLiteral("keptAs")).toString())), spoilt);
    EXPECT_EQ(check(broken, false).code, 0);
}

// The repair carries every record that can still be read (the manual says so): of a table whose one
// record is spoilt, the others, found by their numbers past the page that cannot be read.
TEST_F(StoredTables, RepairOfADamagedTableCarriesTheRecordsThatCanBeRead) {
    Installation broken(*inst_);
    ASSERT_TRUE(broken.initialised());
    const auto readable = spoilSecondRecord(broken);
    ASSERT_TRUE(readable.has_value());
    ASSERT_GE(readable->size(), kPointOne.size() - 2);

    const Result repaired = check(broken, true);
    EXPECT_EQ(repaired.code, 0) << repaired.all().toStdString();
    const QList<QJsonObject> list = findings(repaired);
    ASSERT_EQ(list.size(), 1);
    EXPECT_GE(list[0].value(QStringLiteral("rowsKept")).toInt(-1), readable->size())
        << repaired.out.toStdString();
    TableFile t(broken.path(kHourFile));
    QSet<int> numbers;
    for (const QVariantMap& row : t.rows())
        numbers.insert(row.value(QStringLiteral("hNum")).toInt());
    for (int n : *readable)
        EXPECT_TRUE(numbers.contains(n)) << n;
}

TEST_F(StoredTables, PointWithoutItsTablesGetsThemEmpty) {
    Installation broken(*inst_);
    ASSERT_TRUE(broken.initialised());
    const QString file = QStringLiteral("Mon/m_41234.db");
    ASSERT_TRUE(QFile::remove(broken.path(file)));
    ASSERT_TRUE(QFile::remove(broken.path(kHourFile)));

    const Result found = check(broken, false);
    EXPECT_EQ(found.code, 1) << found.all().toStdString();
    QSet<QString> files;
    for (const QJsonObject& f : findings(found)) {
        EXPECT_EQ(f.value(QStringLiteral("kind")).toString(), QStringLiteral("missing-table"));
        files.insert(f.value(QStringLiteral("file")).toString());
    }
    EXPECT_EQ(files, (QSet<QString>{file, kHourFile})) << found.out.toStdString();
    EXPECT_FALSE(QFile::exists(broken.path(file)));

    const Result repaired = check(broken, true);
    EXPECT_EQ(repaired.code, 0) << repaired.all().toStdString();
    for (const QJsonObject& f : findings(repaired))
        EXPECT_TRUE(f.value(QStringLiteral("repaired")).toBool(false));
    for (const QString& created : {file, kHourFile}) {
        SCOPED_TRACE(created.toStdString());
        TableFile t(broken.path(created));
        ASSERT_TRUE(t.isOpen());
        EXPECT_FALSE(t.table().isEmpty());
        for (const QVariantMap& row : t.rows())
            EXPECT_EQ(row.value(t.columns().value(1).first).toString(), QStringLiteral("0"));
    }
    EXPECT_EQ(check(broken, false).code, 0);
}

TEST_F(StoredTables, TableOfNoRegisteredPointIsReportedAndLeftAlone) {
    Installation broken(*inst_);
    ASSERT_TRUE(broken.initialised());
    const QString orphan = QStringLiteral("Hour/h_99999.db");
    ASSERT_TRUE(QFile::copy(broken.path(kHourFile), broken.path(orphan)));
    const QByteArray bytes = fileBytes(broken.path(orphan));

    const Result repaired = check(broken, true);
    EXPECT_EQ(repaired.code, 1) << repaired.all().toStdString();
    const QList<QJsonObject> list = findings(repaired);
    ASSERT_EQ(list.size(), 1) << repaired.out.toStdString();
    EXPECT_EQ(list[0].value(QStringLiteral("kind")).toString(), QStringLiteral("orphan-table"));
    EXPECT_EQ(list[0].value(QStringLiteral("file")).toString(), orphan);
    EXPECT_FALSE(list[0].value(QStringLiteral("repaired")).toBool(true));
    EXPECT_EQ(jsonOf(repaired).value(QStringLiteral("left")).toInt(-1), 1);
    EXPECT_EQ(fileBytes(broken.path(orphan)), bytes);
}

} // namespace
