// The archive graphs: the settings files, the parameter table and the series each ticked parameter
// takes, the curves of a point's records with their extremes and legend, the percentage scale, the
// flow classes, the group graph from a summary, the picture file's name and overwrite question, the
// graph window offscreen, the report and database windows' ways into the dialogs, and tarn-cli drawing a
// JPEG.
#include "common/Clock.h"
#include "common/Cp1251.h"
#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorTestSupport.h"
#include "corrector/DeviceValues.h"
#include "database/Registry.h"
#include "database/TableFile.h"
#include "database/windows/TBDquon.h"
#include "graphs/GraphSources.h"
#include "graphs/windows/GraphPanel.h"
#include "graphs/windows/TfGraf.h"
#include "graphs/windows/TfMakeGrafMK.h"
#include "polling/GroupSummary.h"
#include "polling/Groups.h"
#include "reports/windows/TPrint_ku.h"
#include "support/CliRunner.h"
#include "support/ParameterFileSupport.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPrinter>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::graphs;
using database::TableKind;

namespace {

const QString kModel = QStringLiteral("ТАРН-2.01");

QDateTime at(int day, int hour, int minute = 0) {
    return QDateTime(QDate(2024, 3, day), QTime(hour, minute));
}

struct Db {
    test::TempHome home;
    test::RecordingNotifier notifier;
    database::Schemas schemas;
    database::SqliteStorage storage{home.root(), schemas};

    Db() {
        database::writeMissingSchemaFiles(home.root());
        schemas = database::loadSchemas(home.root());
    }
    const DataRoot& root() const { return home.root(); }

    database::Point addPoint(int serial, bool parameterFile = false) {
        const QString number = QStringLiteral("%1").arg(serial, 5, 10, QLatin1Char('0'));
        database::Point p;
        p.identifier = QLatin1Char('t') + number;
        p.serial = number;
        p.model = kModel;
        p.organisation = QStringLiteral("Облгаз");
        p.config[database::config::Flags] = QStringLiteral("01100000000");
        EXPECT_TRUE(database::Registry(root(), schemas).add(p, at(1, 0)));
        if (parameterFile) writeParameterFile(p.identifier, serial);
        return p;
    }

    // The parameter file storing leaves (the group summary reads the members' files).
    void writeParameterFile(const QString& identifier, int serial) {
        ASSERT_TRUE(test::writeMemberParameterFile(root(), identifier, serial));
    }

    // A group "Юг" of every registered point.
    void saveGroup() {
        polling::Group group;
        group.name = QStringLiteral("Юг");
        group.flags = QStringLiteral("0110000000");
        for (const QString& line : database::Registry(root(), schemas).pollingList())
            group.members.append({true, line});
        EXPECT_EQ(polling::saveGroup(root(), {{}, {}, group}, kRussian, at(1, 0),
                                     [](const QString&) { return true; })
                      .error,
                  QString());
    }

    // A stored hourly, daily or monthly record with these values by field name (prefix left out).
    void addRecord(TableKind kind, const QString& id, const QDateTime& when, const QVariantMap& values) {
        const QChar p = database::tableInfo(kind).fieldPrefix;
        auto table = database::TableFile::open(database::tablePath(root(), kind, id), kind, schemas.of(kind));
        ASSERT_TRUE(table);
        QVariantMap row{{QStringLiteral("Identif"), id},
                        {QStringLiteral("SerialNum"), id.mid(1)},
                        {QStringLiteral("TypeQuon"), kModel},
                        {QStringLiteral("DateTime"), database::storedTimestamp(when)},
                        {QStringLiteral("NumWrCor"), 1},
                        {QStringLiteral("Date"), database::storedDate(when.date())},
                        {QStringLiteral("Time"), database::storedTime(when.time())},
                        {QStringLiteral("DT_Corr"), database::storedTimestamp(when)},
                        {QStringLiteral("Help"), QStringLiteral("---")}};
        for (auto it = values.begin(); it != values.end(); ++it)
            row.insert(it.key(), it.value());
        QVariantMap named;
        for (auto it = row.begin(); it != row.end(); ++it)
            named.insert(QString(p) + it.key(), it.value());
        ASSERT_TRUE(table->append(named)) << table->lastError().toStdString();
    }
};

PointGraphRequest hourlyRequest(const QList<int>& ticked) {
    PointGraphRequest r;
    r.archive = GraphArchive::Hourly;
    r.ticked = ticked;
    r.begin = at(1, 0);
    r.end = at(2, 23);
    r.language = kRussian;
    return r;
}

QList<qreal> ys(const GraphCurve& c) {
    QList<qreal> out;
    for (const QPointF& p : c.points)
        out.append(p.y());
    return out;
}

} // namespace

TEST(GraphSettings, MissingFilesGiveDefaultsAndEachUnreadableLineItsOwnDefault) {
    test::TempHome home;
    EXPECT_EQ(loadGraphStyle(home.root()), (GraphStyle{true, true, true, false, 1}));
    EXPECT_EQ(loadJpegQuality(home.root()), 50);
    const GraphColours colours = loadGraphColours(home.root());
    EXPECT_EQ(colours, GraphColours::defaults());
    // The default colours, as 0x00BBGGRR: slot 1 magenta, 3 navy, 6 red, 12 olive.
    EXPECT_EQ(colours.bgr(1), 0xFF00FFu);
    EXPECT_EQ(colours.bgr(3), 0x800000u);
    EXPECT_EQ(colours.colour(6), QColor(255, 0, 0));
    EXPECT_EQ(colours.bgr(12), 0x008080u);
    const GraphPeriod none = loadGraphPeriod(home.root());
    EXPECT_FALSE(none.beginDate || none.beginTime || none.endDate || none.endTime);

    home.write(folder::Current, QStringLiteral("GrStyle.000"), "0\r\nx\r\n0\r\n1\r\n9\r\n");
    EXPECT_EQ(loadGraphStyle(home.root()), (GraphStyle{false, true, false, true, 1}));
    home.write(folder::Current, QStringLiteral("GrStyle.000"), "1\r\n0\r\n");
    EXPECT_EQ(loadGraphStyle(home.root()), (GraphStyle{true, false, true, false, 1}));
    home.write(folder::Work, QStringLiteral("Compr.000"), "4\r\n");
    EXPECT_EQ(loadJpegQuality(home.root()), 50);
    home.write(folder::Work, QStringLiteral("Compr.000"), "100\r\n");
    EXPECT_EQ(loadJpegQuality(home.root()), 100);
    home.write(folder::Graph, QStringLiteral("ColorG.000"), "0\r\n16\r\nblue\r\n15\r\n");
    const GraphColours read = loadGraphColours(home.root());
    EXPECT_EQ(read.bgr(1), 0x000000u);  // black
    EXPECT_EQ(read.bgr(2), 0xFFFF00u);  // no such colour: aqua, the default
    EXPECT_EQ(read.bgr(3), 0x800000u);  // not a number: navy, the default
    EXPECT_EQ(read.bgr(4), 0xFFFFFFu);  // white
    EXPECT_EQ(read.bgr(14), 0x008080u); // missing line
    home.write(folder::Current, QStringLiteral("graph.000"), "05.03.2024\r\n25:00\r\n\r\n07:30\r\n");
    const GraphPeriod some = loadGraphPeriod(home.root());
    EXPECT_EQ(some.beginDate, QDate(2024, 3, 5));
    EXPECT_FALSE(some.beginTime);
    EXPECT_FALSE(some.endDate);
    EXPECT_EQ(some.endTime, QTime(7, 30));
}

TEST(GraphSettings, WrittenFilesReadBackAsTheyWereSaved) {
    test::TempHome home;
    ASSERT_TRUE(saveGraphStyle(home.root(), {false, false, true, true, 4}));
    EXPECT_EQ(home.read(folder::Current, QStringLiteral("GrStyle.000")),
              QByteArray("0\r\n0\r\n1\r\n1\r\n4\r\n"));
    EXPECT_EQ(loadGraphStyle(home.root()), (GraphStyle{false, false, true, true, 4}));
    ASSERT_TRUE(saveGraphPeriod(home.root(), at(5, 7, 30), at(6, 23, 0)));
    EXPECT_EQ(home.read(folder::Current, QStringLiteral("graph.000")),
              QByteArray("05.03.2024\r\n07:30\r\n06.03.2024\r\n23:00\r\n"));
    const GraphPeriod p = loadGraphPeriod(home.root());
    EXPECT_EQ(QDateTime(*p.beginDate, *p.beginTime), at(5, 7, 30));
    EXPECT_EQ(QDateTime(*p.endDate, *p.endTime), at(6, 23, 0));
    GraphColours c = GraphColours::defaults();
    c.index[13] = 8; // Батарея: silver
    ASSERT_TRUE(saveGraphColours(home.root(), c));
    EXPECT_EQ(home.read(folder::Graph, QStringLiteral("ColorG.000")).count("\r\n"), 14);
    EXPECT_EQ(loadGraphColours(home.root()), c);
    ASSERT_TRUE(saveJpegQuality(home.root(), 75));
    EXPECT_EQ(loadJpegQuality(home.root()), 75);
}

TEST(GraphTables, EveryParameterDrawsInTheSlotOfItsNameAndTheListsKeepTheirOrder) {
    for (int kind = 1; kind <= 5; ++kind)
        for (const GraphParameter& p : graphParameters(*graphArchiveOf(kind)))
            EXPECT_STREQ(colourSlots()[static_cast<std::size_t>(p.slot - 1)].name, p.name) << kind;
    auto names = [](GraphArchive a) {
        QStringList out;
        for (const GraphParameter& p : graphParameters(a))
            out.append(QString::fromUtf8(p.name) + QLatin1Char(':') + QLatin1String(p.field));
        return out;
    };
    EXPECT_EQ(
        names(GraphArchive::Daily),
        (QStringList{"Vраб:Vwrk", "Vстанд:Vst", "Vавр:Valwrk", "Vст.авр:Valst", "P:P", "T(град.С):T",
                     "Ксжим:Ksg", "Ккорр:Kkor", "Vобщ:Vmeter", "Vсум.раб:Vwrk_alwrk", "Vсум.ст.:Vst_alwrk"}));
    EXPECT_EQ(names(GraphArchive::Operative),
              (QStringList{"P:P", "T(град.С):T", "Ккорр:Kkor", "Q раб.:Qwrk", "Vобщ:Vmeter"}));
    EXPECT_EQ(graphParameters(GraphArchive::Measurement).size(), 7);
    EXPECT_TRUE(graphParameters(GraphArchive::FlowClasses).isEmpty());
    // Every parameter's field exists in its table.
    const auto schemas = [] {
        database::Schemas s;
        for (int k = 0; k < database::kTableKinds; ++k)
            s.fields[static_cast<std::size_t>(k)] = database::defaultFields(static_cast<TableKind>(k));
        return s;
    }();
    for (int kind = 1; kind <= 5; ++kind) {
        const TableKind table = graphTable(*graphArchiveOf(kind));
        for (const GraphParameter& p : graphParameters(*graphArchiveOf(kind))) {
            const QString field = QString(database::tableInfo(table).fieldPrefix) + QLatin1String(p.field);
            bool found = false;
            for (const database::FieldSpec& f : schemas.of(table))
                found = found || f.name == field;
            EXPECT_TRUE(found) << field.toStdString();
        }
    }
}

TEST(PointGraph, OneRecordIsNoGraphAndTickedParametersTakeTheSeriesInListOrder) {
    Db db;
    const database::Point point = db.addPoint(12345);
    db.addRecord(TableKind::Hourly, point.identifier, at(1, 10), {{"Vwrk", 5.0}, {"P", 0.3}, {"Kkor", 1.1}});
    PointGraphRequest request = hourlyRequest({7, 0, 4});
    EXPECT_EQ(selectPointRecords(db.storage, point, request).refusal, QStringLiteral("В БД нет данных!"));
    PointGraphRequest none = hourlyRequest({});
    EXPECT_EQ(selectPointRecords(db.storage, point, none).refusal, QStringLiteral("Не выбран график!"));
    database::Point unknown = point;
    unknown.identifier.clear();
    db.addRecord(TableKind::Hourly, point.identifier, at(1, 11), {{"Vwrk", 2.0}, {"P", 0.35}, {"Kkor", 1.2}});
    db.addRecord(TableKind::Hourly, point.identifier, at(1, 12), {{"Vwrk", 2.0}, {"P", 0.25}, {"Kkor", 1.2}});
    db.addRecord(TableKind::Hourly, point.identifier, at(3, 12), {{"Vwrk", 99.0}}); // after the period
    EXPECT_EQ(selectPointRecords(db.storage, unknown, request).refusal, QStringLiteral("В БД нет данных!"));

    const PointSelection s = selectPointRecords(db.storage, point, request);
    ASSERT_EQ(s.refusal, QString());
    ASSERT_EQ(s.records.rows.size(), 3);
    const GraphColours colours = GraphColours::defaults();
    const GraphPicture g = buildPointGraph(s.records, request, GraphStyle{}, colours);
    ASSERT_EQ(g.curves.size(), 3);
    EXPECT_EQ(g.curves.at(0).name, QStringLiteral("Vраб"));
    EXPECT_EQ(g.curves.at(1).name, QStringLiteral("P"));
    EXPECT_EQ(g.curves.at(2).name, QStringLiteral("Ккорр"));
    EXPECT_EQ(g.curves.at(1).colour, colours.colour(5));
    EXPECT_EQ(ys(g.curves.at(0)), (QList<qreal>{5.0, 2.0, 2.0}));
    EXPECT_EQ(g.curves.at(0).points.at(1).x(), static_cast<qreal>(at(1, 11).toMSecsSinceEpoch()));
    EXPECT_TRUE(g.scaleOffered);
    EXPECT_EQ(g.title,
              (QStringList{QStringLiteral("часовой архив с 01.03.2024 00:00 по 02.03.2024 23:00"),
                           QStringLiteral("корректор ТАРН-2.01 N 12345 / организация - \"Облгаз\"")}));
    // The smallest working volume occurs twice: the first time is kept.
    EXPECT_EQ(g.curves.at(0).extremes.minAt, at(1, 11));
    ASSERT_EQ(g.legend.size(), 4);
    EXPECT_EQ(g.legend.at(0).text,
              QStringLiteral("|имя       |min                           |max                           |"));
    EXPECT_EQ(g.legend.at(1).text, QStringLiteral("|Vраб      |01.03.2024 11:00 * 2          "
                                                  "|01.03.2024 10:00 * 5          |"));
    EXPECT_EQ(g.legend.at(2).text, QStringLiteral("|P         |01.03.2024 12:00 * 0.25       "
                                                  "|01.03.2024 11:00 * 0.35       |"));
    EXPECT_EQ(g.legend.at(2).colour, colours.colour(5));
    EXPECT_EQ(g.legendHeight, 63 + 14 * 3);

    PointGraphRequest daily = request;
    daily.archive = GraphArchive::Daily;
    EXPECT_EQ(buildPointGraph(s.records, daily, GraphStyle{}, colours).title.first(),
              QStringLiteral("суточный архив  с 01.03.2024 по 02.03.2024"));
}

TEST(PointGraph, PercentageScaleUsesTheFirstPassExtremesAndHoldsTheAxis) {
    Db db;
    const database::Point point = db.addPoint(12345);
    const double temperatures[] = {-6.0, -10.0, -2.0, -4.0};
    for (int i = 0; i < 4; ++i)
        db.addRecord(TableKind::Hourly, point.identifier, at(1, i), {{"T", temperatures[i]}, {"Ksg", 0.998}});
    PointGraphRequest request = hourlyRequest({5, 6});
    const PointSelection s = selectPointRecords(db.storage, point, request);
    ASSERT_EQ(s.refusal, QString());
    const GraphPicture absolute = buildPointGraph(s.records, request, GraphStyle{}, GraphColours::defaults());
    const GraphPicture percent =
        buildPointGraph(s.records, request, GraphStyle{}, GraphColours::defaults(), &absolute);
    EXPECT_TRUE(percent.percent);
    EXPECT_FALSE(percent.scaleOffered);
    EXPECT_EQ(ys(percent.curves.at(0)), (QList<qreal>{50.0, 0.0, 100.0, 75.0}));
    EXPECT_EQ(ys(percent.curves.at(1)), (QList<qreal>{0.0, 0.0, 0.0, 0.0})); // never changes
    ASSERT_EQ(percent.holders.size(), 2);
    EXPECT_EQ(ys(percent.holders.at(0)), (QList<qreal>{110.0, 110.0, 110.0, 110.0}));
    EXPECT_EQ(ys(percent.holders.at(1)), (QList<qreal>{-10.0, -10.0, -10.0, -10.0}));
    EXPECT_EQ(percent.holders.at(1).points.at(2).x(), percent.curves.at(0).points.at(2).x());
    EXPECT_TRUE(percent.legend.at(0).text.endsWith(QStringLiteral("|% ")));
    EXPECT_TRUE(percent.legend.at(1).text.endsWith(QStringLiteral("* -2         |0.08")));
    EXPECT_TRUE(percent.legend.at(2).text.endsWith(QStringLiteral("|0")));
    // The legend keeps the values as stored.
    EXPECT_TRUE(percent.legend.at(1).text.contains(QStringLiteral("01.03.2024 01:00 * -10")));
}

TEST(PointGraph, BrokenLinesStyleFiveSeriesAndBlackAndWhiteDrawsEverythingBlack) {
    Db db;
    const database::Point point = db.addPoint(12345);
    for (int i = 0; i < 2; ++i)
        db.addRecord(TableKind::Hourly, point.identifier, at(1, i), {{"Vwrk", 1.0 + i}});
    PointGraphRequest request = hourlyRequest({0, 1, 2, 3, 4, 5, 6});
    const PointSelection s = selectPointRecords(db.storage, point, request);
    GraphStyle broken;
    broken.solid = false;
    broken.width = 4;
    const GraphPicture g = buildPointGraph(s.records, request, broken, GraphColours::defaults());
    ASSERT_EQ(g.curves.size(), 7);
    const QList<Qt::PenStyle> expected = {Qt::SolidLine, Qt::DotLine,   Qt::DashDotLine, Qt::DashDotDotLine,
                                          Qt::DashLine,  Qt::SolidLine, Qt::SolidLine};
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(g.curves.at(k).style, expected.at(k)) << k;
        EXPECT_EQ(g.curves.at(k).width, 1) << k;
    }
    EXPECT_TRUE(g.legend.at(2).text.endsWith(QStringLiteral("| _ _ _ _ _ _ _ _")));
    EXPECT_TRUE(g.legend.at(4).text.endsWith(QStringLiteral("| ___ _ _ ___ _ _")));
    EXPECT_TRUE(g.legend.at(6).text.endsWith(QStringLiteral("| _______________")));
    EXPECT_TRUE(g.legend.at(7).text.endsWith(QStringLiteral("| _______________")));

    GraphStyle solid;
    solid.width = 3;
    solid.blackWhite = true;
    const GraphPicture bw = buildPointGraph(s.records, request, solid, GraphColours::defaults());
    for (const GraphCurve& c : bw.curves) {
        EXPECT_EQ(c.colour, QColor(Qt::black));
        EXPECT_EQ(c.width, 3);
        EXPECT_EQ(c.style, Qt::SolidLine);
    }
    for (const LegendLine& l : bw.legend) {
        EXPECT_EQ(l.colour, QColor(Qt::black));
        EXPECT_FALSE(l.text.endsWith(QLatin1Char('_')));
    }
}

TEST(PointGraph, FlowClassesComeFromTwelveStatusCharactersInFiveMinuteSteps) {
    Db db;
    const database::Point point = db.addPoint(12345);
    db.addRecord(TableKind::Hourly, point.identifier, at(1, 10),
                 {{"Help", QStringLiteral("-ИВ-x.oO?xxxxxxx")}});
    db.addRecord(TableKind::Hourly, point.identifier, at(1, 11),
                 {{"Help", QStringLiteral("---xxxxxxxxxxxx")}});
    PointGraphRequest request = hourlyRequest({});
    request.archive = GraphArchive::FlowClasses;
    const PointSelection s = selectPointRecords(db.storage, point, request);
    ASSERT_EQ(s.refusal, QString());
    const GraphPicture g = buildPointGraph(s.records, request, GraphStyle{}, GraphColours::defaults());
    ASSERT_EQ(g.curves.size(), 6);
    // The second record's status has 15 characters: no points.
    ASSERT_EQ(g.curves.at(0).points.size(), 12);
    EXPECT_EQ(ys(g.curves.at(0)).mid(0, 6), (QList<qreal>{0.0, 0.5, 1.5, 2.5, 0.0, 0.0}));
    EXPECT_EQ(g.curves.at(0).points.at(3).x(), static_cast<qreal>(at(1, 10, 15).toMSecsSinceEpoch()));
    EXPECT_EQ(g.curves.at(0).colour, QColor(Qt::blue));
    EXPECT_EQ(ys(g.curves.at(1)).first(), 3.0);
    EXPECT_EQ(ys(g.curves.at(3)).first(), 1.0);
    EXPECT_EQ(ys(g.curves.at(4)).first(), 3.5);
    EXPECT_EQ(ys(g.curves.at(5)).first(), -0.5);
    EXPECT_FALSE(g.curves.at(5).inLegend);
    EXPECT_TRUE(g.chartLegend);
    EXPECT_FALSE(g.marksOffered);
    EXPECT_FALSE(g.scaleOffered);
    EXPECT_EQ(g.printedParameters, 0);
    EXPECT_EQ(g.legendHeight, 119);
    ASSERT_EQ(g.legend.size(), 5);
    EXPECT_EQ(g.legend.at(2).text, QStringLiteral("\"2\" - Qперех "));
    EXPECT_EQ(g.legend.at(4).colour, QColor(192, 192, 192));
    EXPECT_EQ(g.title.first(), QStringLiteral("Расход по \"справке\" часового архива с 01.03.2024 00:00 по "
                                              "02.03.2024 23:00"));
}

TEST(GroupGraph, SumsOfTheSummaryRowsBecomeTheCurvesAndEmptyIntervalsAddNoPoint) {
    Db db;
    const database::Point a = db.addPoint(11111, true);
    const database::Point b = db.addPoint(22222, true);
    db.saveGroup();
    auto daily = [&](const QString& id, int day, double working, double alarmWorking) {
        db.addRecord(TableKind::Daily, id, at(day, 9),
                     {{"Vwrk", working},
                      {"Vst", working * 2},
                      {"Valwrk", alarmWorking},
                      {"Valst", 0.0},
                      {"Vwrk_alwrk", working + alarmWorking},
                      {"Vst_alwrk", working * 2}});
    };
    daily(a.identifier, 1, 10.0, 0.0);
    daily(b.identifier, 1, 2.5, 0.5);
    daily(a.identifier, 3, 4.0, 0.0);

    polling::GroupSummary summary(db.root(), db.storage, db.notifier, kRussian);
    polling::SummaryRequest request;
    request.groupName = QStringLiteral("Юг");
    request.from = at(1, 0);
    request.to = at(3, 0);
    request.caller = polling::SummaryCaller::Graph;
    ASSERT_EQ(polling::runGroupSummary(summary, request), QString());
    EXPECT_EQ(checkGroupRequest(QStringLiteral("  "), {0}), QStringLiteral("Не выбрана группа!"));
    EXPECT_EQ(checkGroupRequest(QStringLiteral("Юг"), {}), QStringLiteral("Не выбран график!"));

    const GraphPicture g = buildGroupGraph(summary, {0, 4}, GraphStyle{}, GraphColours::defaults());
    EXPECT_EQ(g.title,
              QStringList{QStringLiteral("график группы \"Юг\" суточный архив с 01.03.2024 по 03.03.2024")});
    ASSERT_EQ(g.curves.size(), 2);
    EXPECT_EQ(g.curves.at(0).name, QStringLiteral("Vраб"));
    EXPECT_EQ(g.curves.at(1).name, QStringLiteral("Vсум.раб"));
    EXPECT_EQ(g.curves.at(1).colour, GraphColours::defaults().colour(11));
    EXPECT_EQ(ys(g.curves.at(0)), (QList<qreal>{12.5, 4.0})); // nothing stored on the 2nd
    EXPECT_EQ(ys(g.curves.at(1)), (QList<qreal>{13.0, 4.0}));
    EXPECT_EQ(g.curves.at(0).points.at(1).x(), static_cast<qreal>(at(3, 0).toMSecsSinceEpoch()));
    EXPECT_FALSE(g.scaleOffered);
    EXPECT_EQ(g.legend.at(1).text, QStringLiteral("|Vраб      |03.03.2024 00:00 * 4          "
                                                  "|01.03.2024 00:00 * 12.5       |"));
}

TEST(GraphPicture, FileNameEndsInJpgOnceAndPrintedChartLeavesRoomForTheLegend) {
    EXPECT_EQ(jpegFileName(QStringLiteral("/home/u/Graph/day.jpg")), QStringLiteral("/home/u/Graph/day.jpg"));
    EXPECT_EQ(jpegFileName(QStringLiteral("/home/u/Graph/day")), QStringLiteral("/home/u/Graph/day.jpg"));
    EXPECT_EQ(jpegFileName(QStringLiteral("/home/u/Graph/day.march.jpeg")),
              QStringLiteral("/home/u/Graph/day.jpg"));
    // A dot in a folder's name is not the file's.
    EXPECT_EQ(jpegFileName(QStringLiteral("/home/u.v/Graph.1/day")),
              QStringLiteral("/home/u.v/Graph.1/day.jpg"));
    EXPECT_EQ(overwriteQuestion(QStringLiteral("/g/day.jpg")),
              QStringLiteral("Файл \"/g/day.jpg\"уже существует, перезаписать?"));

    const QSize page(1000, 1300);
    EXPECT_EQ(printedChartRect(page, 0), QRect(QPoint(100, 1300 / 17), QPoint(900, 1170)));
    EXPECT_EQ(printedChartRect(page, 7).top(), 1300 / 3);
    EXPECT_EQ(printedChartRect(page, 11).top(), 1300 / 3);
    EXPECT_EQ(printedLegendPitch(page), 20);
    // Eleven legend lines and the header end above the chart.
    EXPECT_LT(3 * 20 + 12 * 20, printedChartRect(page, 11).top());
}

// Shown, the window builds its curves on a worker: the build is asked whether to go on at its pauses
// while the window serves its own events, the picture shown is the build's, and a close mid-build stops
// the walk at that pause and shows nothing half built.
TEST(GraphWindow, TheCurvesAreBuiltBesideTheWindowAndACloseStopsTheWalk) {
    test::TempHome home;
    test::RecordingNotifier notifier;
    ManualClock clock;
    std::atomic<int> pauses{0};
    TfGraf::Input input;
    input.root = home.root();
    input.language = kRussian;
    // A walk of 40 pauses; the title says how far it got.
    input.build = [&pauses](const GraphStyle&, const GraphPicture*, const KeepGoing& keepGoing) {
        GraphPicture p;
        for (int i = 1; i <= 40; ++i) {
            ++pauses;
            if (!keepGoing()) {
                p.stopped = true;
                break;
            }
            p.title = QStringList{QStringLiteral("до %1").arg(i)};
        }
        p.scaleOffered = true;
        return p;
    };

    {
        TfGraf window(input, notifier);
        int built = 0, seen = 0;
        QObject::connect(&window, &TfGraf::built, [&built] { ++built; });
        QObject::connect(&window.run(), &BackgroundRun::progressed, [&] {
            ++seen;
            EXPECT_TRUE(window.building());
        });
        window.show();
        ASSERT_TRUE(clock.runUntil([&] { return built == 1; }));
        EXPECT_EQ(seen, 40) << "every pause reaches the window";
        EXPECT_EQ(window.picture().title, QStringList{QStringLiteral("до 40")});
        EXPECT_FALSE(window.picture().stopped);
        EXPECT_TRUE(window.scaleAction()->isVisible());
    }

    pauses = 0;
    TfGraf window(input, notifier);
    int built = 0;
    QObject::connect(&window, &TfGraf::built, [&built] { ++built; });
    QObject::connect(&window.run(), &BackgroundRun::progressed, [&] {
        if (pauses == 6) window.close();
    });
    window.show();
    ASSERT_TRUE(clock.runUntil([&] { return pauses > 0 && !window.building(); }));
    EXPECT_EQ(pauses, 6) << "the walk stops at the very pause where the window was closed";
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(built, 0);
    EXPECT_TRUE(window.picture().title.isEmpty()) << "nothing half built is shown";
}

TEST(GraphWindow, DialogOpensTheWindowWhichScalesOnceSavesAskingBeforeOverwritingAndPrints) {
    ASSERT_TRUE(jpegSupported());
    Db db;
    const database::Point point = db.addPoint(12345);
    for (int i = 0; i < 3; ++i)
        db.addRecord(TableKind::Hourly, point.identifier, at(1, i), {{"Vwrk", 1.0 + i}, {"T", -5.0 + i}});
    saveJpegQuality(db.root(), 80);

    TfMakeGrafMK::Input input;
    input.root = db.root();
    input.storage = &db.storage;
    input.language = kRussian;
    input.identifier = point.identifier;
    bool shown = false;
    input.runGraph = [&](TfGraf& window) {
        shown = true;
        // The curves are built beside the window's event loop and shown when the build has ended.
        ManualClock clock;
        int built = 0;
        QObject::connect(&window, &TfGraf::built, [&built] { ++built; });
        window.buildGraph();
        ASSERT_TRUE(clock.runUntil([&] { return built == 1; }));
        EXPECT_EQ(window.quality(), 80);
        EXPECT_TRUE(window.scaleAction()->isVisible());
        window.marksBox()->setChecked(true);
        EXPECT_TRUE(window.panel()->marks());
        EXPECT_FALSE(window.transparentBox()->isHidden());
        window.view3dBox()->setChecked(true);
        EXPECT_FALSE(window.rotateBox()->isHidden());
        window.rotateBox()->setChecked(true);
        EXPECT_EQ(window.rotationBar()->value(), 345);
        EXPECT_FALSE(window.rotationBar()->isHidden());

        EXPECT_TRUE(window.scaleToPercent());
        ASSERT_TRUE(clock.runUntil([&] { return built == 2; }));
        EXPECT_FALSE(window.scaleAction()->isVisible());
        EXPECT_FALSE(window.view3dBox()->isChecked()); // 3D and the marks are reset
        EXPECT_TRUE(window.picture().percent);
        EXPECT_FALSE(window.scaleToPercent()); // once per window

        window.resize(800, 600);
        const QString chosen = db.home.path(folder::Graph, QStringLiteral("day.jpg"));
        ASSERT_TRUE(window.savePictureAs(chosen, 60));
        EXPECT_EQ(loadJpegQuality(db.root()), 60);
        QImage picture(chosen);
        EXPECT_FALSE(picture.isNull());
        EXPECT_EQ(db.home.read(folder::Graph, QStringLiteral("day.jpg")).left(2), QByteArray("\xFF\xD8"));
        // Saved again under the same name: asked; No keeps the file.
        QFile::resize(chosen, 10);
        db.notifier.answer = false;
        EXPECT_FALSE(window.savePictureAs(db.home.path(folder::Graph, QStringLiteral("day")), 60));
        ASSERT_EQ(db.notifier.questions.size(), 1);
        EXPECT_EQ(db.notifier.questions.first(), overwriteQuestion(chosen));
        EXPECT_EQ(QFileInfo(chosen).size(), 10);
        db.notifier.answer = true;
        EXPECT_TRUE(window.savePictureAs(chosen, 60));
        EXPECT_GT(QFileInfo(chosen).size(), 10);

        const QString pdf = db.home.path(folder::Graph, QStringLiteral("print.pdf"));
        EXPECT_TRUE([&] {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return window.printOn(printer);
        }());
        EXPECT_GT(QFileInfo(pdf).size(), 1000);
    };
    TfMakeGrafMK dialog(std::move(input), db.notifier, nullptr);
    EXPECT_EQ(dialog.point()->identifier, point.identifier);
    dialog.setPeriod(at(1, 0), at(1, 23));
    EXPECT_FALSE(dialog.view());
    EXPECT_EQ(db.notifier.texts().value(0), QStringLiteral("Не выбран график!"));
    dialog.tick({0, 5});
    EXPECT_TRUE(dialog.view());
    EXPECT_TRUE(shown);
    dialog.setArchive(GraphArchive::Daily);
    dialog.tick({0});
    EXPECT_FALSE(dialog.view());
    EXPECT_EQ(db.notifier.texts().last(), QStringLiteral("В БД нет данных!"));
    dialog.reject();
    // Closing keeps the period for the next dialog.
    const GraphPeriod kept = loadGraphPeriod(db.root());
    EXPECT_EQ(kept.endDate, QDate(2024, 3, 1));
    EXPECT_EQ(kept.endTime, QTime(23, 0));
}

#ifdef TARN_CLI_PROGRAM
TEST(GraphCli, DrawsAPointsGraphIntoAJpegWithTheStoredQuality) {
    Db db;
    const database::Point point = db.addPoint(12345);
    for (int i = 0; i < 3; ++i)
        db.addRecord(TableKind::Hourly, point.identifier, at(1, i), {{"Vwrk", 1.0 + i}, {"P", 0.3}});
    saveJpegQuality(db.root(), 30);
    const QString out = db.home.path(folder::Graph, QStringLiteral("cli.jpg"));
    const tarn::test::CliResult cli = tarn::test::runCliIn(
        db.root().root(), {QStringLiteral("graph"), QStringLiteral("--point"), point.identifier,
                           QStringLiteral("--archive"), QStringLiteral("hourly"), QStringLiteral("--from"),
                           QStringLiteral("01.03.2024"), QStringLiteral("--to"), QStringLiteral("01.03.2024"),
                           QStringLiteral("--params"), QStringLiteral("Vраб,5"), QStringLiteral("--percent"),
                           QStringLiteral("--out"), out, QStringLiteral("--width"), QStringLiteral("640"),
                           QStringLiteral("--height"), QStringLiteral("480"), QStringLiteral("--json")});
    EXPECT_EQ(cli.code, 0) << cli.err.toStdString();
    const QJsonObject answer = cli.json();
    EXPECT_EQ(answer.value(QStringLiteral("quality")).toInt(), 30);
    EXPECT_TRUE(answer.value(QStringLiteral("percent")).toBool());
    const QJsonArray curves = answer.value(QStringLiteral("curves")).toArray();
    ASSERT_EQ(curves.size(), 2);
    EXPECT_EQ(curves.at(1).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("P"));
    const QImage image(out);
    EXPECT_EQ(image.size(), QSize(640, 480));
}

TEST(GraphCli, APictureAskedForUnderAnotherExtensionIsWrittenAsTheWindowNamesIt) {
    Db db;
    const database::Point point = db.addPoint(12345);
    for (int i = 0; i < 3; ++i)
        db.addRecord(TableKind::Hourly, point.identifier, at(1, i), {{"Vwrk", 1.0 + i}});
    for (const char* asked : {"day.png", "day.march.jpeg"}) {
        const QString out = db.home.path(folder::Graph, QString::fromLatin1(asked));
        const QString written = db.home.path(folder::Graph, QStringLiteral("day.jpg"));
        QFile::remove(written);
        const tarn::test::CliResult cli = tarn::test::runCliIn(
            db.root().root(),
            {QStringLiteral("--json"), QStringLiteral("graph"), QStringLiteral("--point"), point.identifier,
             QStringLiteral("--archive"), QStringLiteral("hourly"), QStringLiteral("--from"),
             QStringLiteral("01.03.2024"), QStringLiteral("--to"), QStringLiteral("01.03.2024"),
             QStringLiteral("--out"), out, QStringLiteral("--width"), QStringLiteral("640"),
             QStringLiteral("--height"), QStringLiteral("480")});
        ASSERT_EQ(cli.code, 0) << cli.err.toStdString();
        const QJsonObject answer = cli.json();
        EXPECT_EQ(answer.value(QStringLiteral("file")).toString(), written);
        EXPECT_FALSE(QFileInfo::exists(out)) << asked;
        // JPEG data in a file named so, read back by Qt's own reader.
        EXPECT_EQ(db.home.read(folder::Graph, QStringLiteral("day.jpg")).left(2), QByteArray("\xFF\xD8"));
        QImageReader reader(written);
        EXPECT_EQ(reader.format(), QByteArray("jpeg"));
        EXPECT_EQ(reader.read().size(), QSize(640, 480));
    }
}
#endif

TEST(GraphPicture, WrittenUnderTheChosenNameUpToItsFirstDotAndJpg) {
    ASSERT_TRUE(jpegSupported());
    QTemporaryDir dir;
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QString path = writeJpegAs(image, dir.filePath(QStringLiteral("pic.png")), 50);
    EXPECT_EQ(path, dir.filePath(QStringLiteral("pic.jpg")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("pic.png"))));
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), QByteArray("jpeg"));
    EXPECT_EQ(reader.read().size(), QSize(64, 48));
    // A folder that is not there: nothing written, no name given back.
    EXPECT_TRUE(writeJpegAs(image, dir.filePath(QStringLiteral("none/pic")), 50).isEmpty());
}

TEST(GraphHooks, ReportWindowAndDatabaseWindowOpenTheGraphDialogsOnTheirPoint) {
    Db db;
    const database::Point point = db.addPoint(12345);
    db.saveGroup();

    QList<std::pair<QString, TableKind>> opened;
    database::TBDquon::Options options;
    options.language = kRussian;
    options.openGraph = [&opened](const database::Point& p, TableKind kind) {
        opened.append({p.identifier, kind});
    };
    database::TBDquon tables(db.root(), db.schemas, db.notifier, options);
    EXPECT_FALSE(tables.openGraph(TableKind::Daily)); // no point selected yet
    tables.registryView()->selectRow(0);
    EXPECT_TRUE(tables.openGraph(TableKind::Daily));
    EXPECT_FALSE(tables.openGraph(TableKind::Alarm)); // the record menu offers no graph there
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), std::make_pair(point.identifier, TableKind::Daily));

    QStringList asked;
    reports::TPrint_ku::Input input;
    input.root = db.root();
    input.language = kRussian;
    input.databaseOnly = true;
    input.identifier = point.identifier;
    input.storage = &db.storage;
    input.openPointGraph = [&asked](const QString& id, QWidget*) {
        asked.append(QStringLiteral("point ") + id);
    };
    input.openGroupGraph = [&asked](const QString& group, QWidget*) {
        asked.append(QStringLiteral("group ") + group);
    };
    reports::TPrint_ku report(std::move(input), db.notifier);
    report.groupChoice()->setCurrentIndex(report.groupChoice()->findText(QStringLiteral("Юг")));
    for (QAction* a : report.findChildren<QAction*>())
        if (a->text() == QStringLiteral("КОРРЕКТОР") || a->text() == QStringLiteral("ГРУППА")) a->trigger();
    EXPECT_EQ(asked, (QStringList{QStringLiteral("point ") + point.identifier, QStringLiteral("group Юг")}));
}
