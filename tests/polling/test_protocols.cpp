// The polling protocols and lists: the join table's views, the poll protocol ("Опрос") over the request
// logs and the point lists ("Перечень"), built from rows written through the database's own API.
#include "common/Language.h"
#include "database/Gases.h"
#include "database/JoinTable.h"
#include "database/Registry.h"
#include "database/TableFile.h"
#include "polling/Groups.h"
#include "polling/PollingProtocols.h"
#include "reports/windows/TPrint_ku.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QRadioButton>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::polling;
using database::Point;
using reports::ReportOptions;

namespace {

const QDate kDay(2024, 3, 10);

QDateTime at(int h, int m, int s = 0) {
    return QDateTime(kDay, QTime(h, m, s));
}

struct Db {
    test::TempHome home;
    database::Schemas schemas;
    database::SqliteStorage storage{home.root(), schemas};
    Db() {
        database::writeMissingSchemaFiles(home.root());
        schemas = database::loadSchemas(home.root());
    }
    const DataRoot& root() const { return home.root(); }

    Point addPoint(const QString& serial, const QString& link = QStringLiteral("телефон"),
                   const QString& password = QStringLiteral("7351")) {
        Point p;
        p.identifier = QStringLiteral("t") + serial;
        p.serial = serial;
        p.model = QStringLiteral("ТАРН-2.01  ");
        p.organisation = QStringLiteral("Облгаз");
        p.pipeline = QStringLiteral("Нитка 1");
        p.address = 3;
        p.config = {QStringLiteral("ТОВ Газ"),
                    QStringLiteral("0441234567"),
                    link,
                    QStringLiteral("COM1"),
                    password,
                    QStringLiteral("0501112233"),
                    QStringLiteral("19200"),
                    QStringLiteral("6000"),
                    QStringLiteral("30"),
                    QStringLiteral("6"),
                    QStringLiteral("60"),
                    QStringLiteral("10"),
                    QStringLiteral("3"),
                    QStringLiteral("ATZ"),
                    QStringLiteral("природный"),
                    QStringLiteral("11100001000")};
        database::Registry registry(root(), schemas);
        EXPECT_TRUE(registry.add(p, at(7, 0)));
        return *registry.find(p.identifier);
    }

    // One request-log row, as storing or a poll leaves it.
    void log(const QString& id, const QDateTime& when, const QVariantMap& values) {
        auto table = database::TableFile::open(
            database::tablePath(root(), database::TableKind::RequestLog, id), database::TableKind::RequestLog,
            schemas.of(database::TableKind::RequestLog));
        ASSERT_TRUE(table);
        QVariantMap row{{QStringLiteral("bIdentif"), id},
                        {QStringLiteral("bSerialNum"), id.mid(1)},
                        {QStringLiteral("bTypeQuon"), QStringLiteral("ТАРН-2.01")},
                        {QStringLiteral("bDateTime"), database::storedTimestamp(when)},
                        {QStringLiteral("bErrConnect"), QStringLiteral("--")}};
        for (auto it = values.begin(); it != values.end(); ++it)
            row.insert(it.key(), it.value());
        ASSERT_TRUE(table->append(row)) << table->lastError().toStdString();
    }
    void connection(const QString& id, const QDateTime& begin, int seconds, const QString& error = "--") {
        log(id, begin.addSecs(seconds + 5),
            {{QStringLiteral("bQuest"), 1},
             {QStringLiteral("bStrQuest"), QStringLiteral("модем БД")},
             {QStringLiteral("bTmBebConnM"), database::storedTimestamp(begin)},
             {QStringLiteral("bTmEndConnM"), database::storedTimestamp(begin.addSecs(seconds))},
             {QStringLiteral("bTmConnect"), seconds},
             {QStringLiteral("bErrConnect"), error}});
    }

    void group(const QString& name, const QStringList& memberLines) {
        Group g;
        g.name = name;
        g.schedule = {QStringLiteral("08:00-12:00-01:00")};
        for (const QString& line : memberLines)
            g.members.append({true, line});
        ASSERT_TRUE(saveGroup(root(), {QString(), QString(), g}, kRussian, at(6, 0), {}).error.isEmpty());
    }
};

QString memberLine(const QString& id) {
    return QStringLiteral("ТАРН-2.01   №") + id.mid(1) + QStringLiteral("  ТОВ Газ") +
           QString(33, QLatin1Char(' ')) + id.rightJustified(15);
}

PollProtocolOptions pollOptions(bool connections, bool window) {
    PollProtocolOptions o;
    o.languageIndex = kRussian;
    o.connections = connections;
    o.window = window;
    o.from = at(0, 0);
    o.to = at(23, 59);
    return o;
}

} // namespace

TEST(ProtocolLines, DurationAndCells) {
    EXPECT_EQ(durationText(65 + 70 + 5), QStringLiteral("00:02:20"));
    EXPECT_EQ(durationText(3600 * 100 + 61), QStringLiteral("100:01:01"));
    EXPECT_EQ(durationText(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(cell(QStringLiteral("abc"), 5), QStringLiteral("|abc  "));
    EXPECT_EQ(cell(QStringLiteral("abcdef"), 3), QStringLiteral("|abcdef")); // never cut
}

TEST(PollProtocol, ModemConnectionsCountAndTotalPerPointAndOverall) {
    Db db;
    db.addPoint(QStringLiteral("12345"));
    db.addPoint(QStringLiteral("54321"));
    db.addPoint(QStringLiteral("11111")); // never connected
    db.connection(QStringLiteral("t12345"), at(8, 0), 65);
    db.connection(QStringLiteral("t12345"), at(9, 0), 70);
    db.connection(QStringLiteral("t12345"), at(10, 0), 5, QStringLiteral("нет связи с прибором"));
    db.connection(QStringLiteral("t54321"), at(8, 30), 40);
    db.log(QStringLiteral("t54321"), at(11, 0), {{QStringLiteral("bStrQuest"), QStringLiteral("кабель БД")}});
    db.connection(QStringLiteral("t54321"), at(23, 59, 30), 1); // after the window's last minute

    ProtocolText r = pollProtocol(db.root(), db.storage, pollOptions(true, true));
    ASSERT_TRUE(r.ready);
    const QString rule(110, '-');
    EXPECT_EQ(
        r.lines.mid(0, 4),
        (QStringList{QStringLiteral("**ПРОТОКОЛ  - /Cоед.\"модем БД\" за время c 10.03.2024 00:00 по "
                                    "10.03.2024 23:59/"),
                     rule,
                     QStringLiteral("|прибор     |сер.н.|кол.соед.|д/в начало         |д/в конец          "
                                    "|вр.соед.|ошибки                        |"),
                     rule}));
    QStringList counts, durations;
    for (const QString& l : r.lines) {
        if (!l.startsWith(QStringLiteral("|ТАРН"))) continue;
        counts << l.section('|', 3, 3).trimmed();
        durations << l.section('|', 6, 6).trimmed();
    }
    EXPECT_EQ(counts, (QStringList{"1", "2", "3", "1"}));
    EXPECT_EQ(durations, (QStringList{"00:01:05", "00:01:10", "00:00:05", "00:00:40"}));
    EXPECT_TRUE(
        r.lines.contains(QStringLiteral("|ТАРН-2.01  |12345 |1        |10.03.2024 08:00:00|10.03.2024 "
                                        "08:01:05|00:01:05|--                            |")));
    // The point's total carries its last row's error; the overall total its own "--".
    EXPECT_TRUE(
        r.lines.contains(QStringLiteral("|итого прибор      |3        |-\"\"-               |-\"\"-     "
                                        "          |00:02:20|нет связи с прибором          |")));
    EXPECT_EQ(r.lines.at(r.lines.size() - 2),
              QStringLiteral("|итог общий        |4        |-\"\"-               |-\"\"-               "
                             "|00:02:20|--                            |")
                  .replace("00:02:20", "00:03:00"));
    EXPECT_EQ(r.lines.last(), rule);

    // Without "Дата": each point's last connection, counted 1; the overall count is the points written.
    r = pollProtocol(db.root(), db.storage, pollOptions(true, false));
    EXPECT_EQ(r.lines.first(), QStringLiteral("**ПРОТОКОЛ  - /Последнее соединение \"модем БД\"/"));
    EXPECT_EQ(r.lines.filter(QStringLiteral("|итого прибор")).size(), 0);
    EXPECT_EQ(r.lines.filter(QStringLiteral("|ТАРН")).size(), 2);
    EXPECT_TRUE(r.lines.filter(QStringLiteral("|ТАРН")).first().contains(QStringLiteral("|00:00:05|")));
    EXPECT_TRUE(r.lines.filter(QStringLiteral("|итог общий"))
                    .first()
                    .startsWith(QStringLiteral("|итог общий        |2        |")));

    // Ukrainian, and nothing at all in the window.
    PollProtocolOptions ua = pollOptions(true, true);
    ua.languageIndex = kUkrainian;
    ua.from = at(0, 0).addDays(1);
    ua.to = ua.from.addDays(1);
    r = pollProtocol(db.root(), db.storage, ua);
    EXPECT_EQ(
        r.lines.mid(2),
        (QStringList{QStringLiteral("|прибор     |сер.н.|кол.з’єдн|д/в початок        |д/в кiнец          "
                                    "|вр.з’єдн|помилки                       |"),
                     rule, QStringLiteral("--------- в БД нет данных --------")}));
}

TEST(PollProtocol, StoringRunsShowWhatWasAskedAndWhatWasStored) {
    Db db;
    db.addPoint(QStringLiteral("12345"));
    db.addPoint(QStringLiteral("22222")); // no request-log rows
    db.log(QStringLiteral("t12345"), at(8, 0),
           {{QStringLiteral("bQuest"), 2},
            {QStringLiteral("bStrQuest"), QStringLiteral("кабель БД")},
            {QStringLiteral("bCurFlRdWr"), QStringLiteral("00110001000")},
            {QStringLiteral("bCurFlWrBD"), QStringLiteral("00100001000")}, // the clock was set
            {QStringLiteral("bDbegDay"), database::storedTimestamp(at(7, 0).addDays(-2))},
            {QStringLiteral("bNbegDay"), 41},
            {QStringLiteral("bDendDay"), database::storedTimestamp(at(7, 0).addDays(-1))},
            {QStringLiteral("bNendDay"), 42},
            {QStringLiteral("bContrWrTime"), database::storedTimestamp(at(8, 0, 12))}});
    db.log(QStringLiteral("t12345"), at(9, 0),
           {{QStringLiteral("bQuest"), 4},
            {QStringLiteral("bStrQuest"), QStringLiteral("файл")},
            {QStringLiteral("bNameFile"), QStringLiteral("t12345.prt")},
            {QStringLiteral("bCurFlRdWr"), QStringLiteral("00000001000")},
            {QStringLiteral("bCurFlWrBD"), QStringLiteral("00000000000")},
            {QStringLiteral("bContrWrTime"), database::storedTimestamp(database::noTimestamp())},
            {QStringLiteral("bErrConnect"), QStringLiteral("нет ответа")}});

    const QString stars(72, '*');
    const QString rule(72, '-');
    const QStringList header{
        QStringLiteral("корректор..... ТАРН-2.01 N12345"),
        QStringLiteral("организация... Облгаз                           ветка...Нитка 1")};
    const QStringList cableRun{
        QStringLiteral("** время зап. в БД : 10.03.2024 08:00:00"),
        QStringLiteral("** тип опроса      : кабель БД"),
        rule,
        QStringLiteral("|название опроса   |  зап.н.|д/в начало      |  зап.к.|д/в конец       |"),
        rule,
        QStringLiteral("|суточный архив    |41      |08.03.2024 07:00|42      |09.03.2024 07:00|"),
        QStringLiteral("|месячный архив    |-\"\"-    |-\"\"-            |-\"\"-    |-\"\"-            |"),
        rule,
        QStringLiteral("\"корр.текущ.времени\" - 10.03.2024 08:00:12 /время коррекции/")};
    // The clock alone asked: no archive table; a clock never checked shows "--".
    const QStringList fileRun{QStringLiteral("** время зап. в БД : 10.03.2024 09:00:00"),
                              QStringLiteral("** тип опроса      : файл - \"t12345.prt\""),
                              QStringLiteral("\"корр.текущ.времени\" - -- /время коррекции/"),
                              QStringLiteral("ошибка - \"нет ответа\"")};

    ProtocolText r = pollProtocol(db.root(), db.storage, pollOptions(false, true));
    ASSERT_TRUE(r.ready);
    EXPECT_EQ(r.lines, (QStringList{QStringLiteral("**ПРОТОКОЛ  - /Опрос за время c 10.03.2024 00:00 по "
                                                   "10.03.2024 23:59/")} +
                        header + cableRun + fileRun + QStringList{stars, stars}));

    // The latest only, and a type chosen.
    r = pollProtocol(db.root(), db.storage, pollOptions(false, false));
    EXPECT_EQ(r.lines, (QStringList{QStringLiteral("**ПРОТОКОЛ  - /Последний опрос    /")} + header +
                        fileRun + QStringList{stars, stars}));
    PollProtocolOptions cable = pollOptions(false, false);
    cable.pollType = QStringLiteral("кабель БД");
    r = pollProtocol(db.root(), db.storage, cable);
    EXPECT_EQ(r.lines.mid(1), (header + cableRun + QStringList{stars, stars}));

    // No run in the window at all: the star rules and the empty listing's line.
    cable.pollType = QStringLiteral("ДТУ");
    r = pollProtocol(db.root(), db.storage, cable);
    EXPECT_EQ(r.lines.mid(1), (QStringList{stars, stars, QStringLiteral(" **записей не было**")}));
}

TEST(PollProtocol, ChecksSelectionLinesAndGroups) {
    Db db;
    db.addPoint(QStringLiteral("12345"));
    db.addPoint(QStringLiteral("54321"));
    db.connection(QStringLiteral("t54321"), at(8, 0), 10);
    // A member the registry does not know is left out; names are compared without their blanks.
    db.group(QStringLiteral("Котельні Півн"),
             {memberLine(QStringLiteral("t99999")), memberLine(QStringLiteral("t54321"))});

    PollProtocolOptions o = pollOptions(true, false);
    o.currentPoint = QStringLiteral("t77777"); // the window's row is not registered
    ProtocolText r = pollProtocol(db.root(), db.storage, o);
    EXPECT_FALSE(r.ready);
    EXPECT_EQ(r.message, QStringLiteral("В АРХИВЕ НЕТ ИНФОРМАЦИИ"));
    EXPECT_TRUE(r.lines.isEmpty());

    o.currentPoint = QStringLiteral("t12345");
    o.filters.set(PointFilter::Owner, QStringLiteral("Газ"));
    r = pollProtocol(db.root(), db.storage, o);
    ASSERT_TRUE(r.ready);
    EXPECT_EQ(r.lines.mid(1, 2), (QStringList{QStringLiteral("протокол составлен с селекцией : "),
                                              QStringLiteral(" - владелец Газ")}));
    EXPECT_EQ(r.lines.filter(QStringLiteral("|ТАРН")).size(), 1);
    // The user's text is a value, never SQL.
    o.filters.set(PointFilter::Organisation, QStringLiteral("\" OR 1=1 --"));
    r = pollProtocol(db.root(), db.storage, o);
    EXPECT_TRUE(r.lines.filter(QStringLiteral("|ТАРН")).isEmpty());
    EXPECT_EQ(r.lines.last(), QStringLiteral("--------- в БД нет данных --------"));

    PollProtocolOptions g = pollOptions(true, false);
    g.object = ProtocolObject::Group;
    g.group = QStringLiteral(" КотельніПівн ");
    r = pollProtocol(db.root(), db.storage, g);
    ASSERT_TRUE(r.ready);
    EXPECT_EQ(r.lines.at(1), QStringLiteral("группа \"Котельні Півн\" :"));
    EXPECT_EQ(r.lines.filter(QStringLiteral("|ТАРН")).size(), 1);
    g.group = QStringLiteral("Школи");
    EXPECT_FALSE(pollProtocol(db.root(), db.storage, g).ready);
}

TEST(PointList, ShortTableCardsGroupsAndGases) {
    Db db;
    db.addPoint(QStringLiteral("12345"));
    db.addPoint(QStringLiteral("54321"), QStringLiteral("прямое соединение"), QString());
    db.addPoint(QStringLiteral("11111"), QStringLiteral("нет связи"));

    PointListOptions o;
    o.languageIndex = kRussian;
    ProtocolText r = pointList(db.root(), db.storage, o);
    ASSERT_TRUE(r.ready);
    const QString rule(73, '-');
    EXPECT_EQ(
        r.lines.mid(0, 6),
        (QStringList{
            QStringLiteral("**ПРОТОКОЛ  - /Перечень/все корректора БД/"), rule,
            QStringLiteral("| н.п.|тип         |сер.  |организация                     |телефон     |"),
            QStringLiteral("|     |прибора     |номер |                                |            |"), rule,
            QStringLiteral("|1    |ТАРН-2.01   |12345 |Облгаз                          |0441234567  |")}));
    EXPECT_EQ(r.lines.size(), 5 + 3 * 2);

    o.full = true;
    o.filters.set(PointFilter::Serial, QStringLiteral("54321"));
    r = pointList(db.root(), db.storage, o);
    const QString dashes(75, '-');
    EXPECT_EQ(r.lines,
              (QStringList{QStringLiteral("**ПРОТОКОЛ  - /Перечень/все корректора БД/"),
                           QStringLiteral("протокол составлен с селекцией : "),
                           QStringLiteral(" - сер.ном. корректора 54321"), dashes,
                           QStringLiteral("тип прибора........... ТАРН-2.01   серийный номер........ 54321"),
                           QStringLiteral("организация........... Облгаз"),
                           QStringLiteral("ветка................. Нитка 1"),
                           QStringLiteral("адрес организации..... ТОВ Газ"),
                           QStringLiteral("телефон организации... 0441234567"),
                           QStringLiteral("пароль................ "),
                           QStringLiteral("номер порта........... COM1        вид связи............. "
                                          "прямое соединение"),
                           QStringLiteral("скорость RS-232....... 19200       адрес корректора...... 3"),
                           QStringLiteral("газ................... природный"),
                           QStringLiteral("дата регистрации в БД. 10.03.2024 07:00:00"), dashes}));

    // A telephone point: the password hidden, the three telephone lines and the gas; no link: neither.
    o.languageIndex = kUkrainian;
    o.filters = {};
    r = pointList(db.root(), db.storage, o);
    EXPECT_EQ(r.lines.filter(QStringLiteral("пароль................ XXXX")).size(), 2);
    EXPECT_FALSE(r.lines.join('\n').contains(QStringLiteral("7351")));
    EXPECT_EQ(
        r.lines.filter(QStringLiteral("розривши з’єднання.... 30          повтор.запит кор...... 6")).size(),
        1);
    EXPECT_EQ(r.lines.filter(QStringLiteral("телефон коректора..... 0501112233  чекати відповідь...... 6000"))
                  .size(),
              1);
    EXPECT_EQ(r.lines.filter(QStringLiteral("газ................... ")).size(), 2);
    EXPECT_EQ(r.lines.filter(QStringLiteral("розривши")).size(), 1);

    // No point passes the filters: nothing is written.
    o.filters.set(PointFilter::Model, QStringLiteral("КВОН"));
    r = pointList(db.root(), db.storage, o);
    EXPECT_FALSE(r.ready);
    EXPECT_EQ(r.message, QStringLiteral("В АРХІВІ НЕМАЄ ІНФОРМАЦІЇ"));
    o.filters.set(PointFilter::Model, QStringLiteral("ТАРН-2.01")); // stored padded
    EXPECT_TRUE(pointList(db.root(), db.storage, o).ready);

    // A group: numbered by the registered members only; a group of none ends with the empty listing line.
    db.group(QStringLiteral("Школи"),
             {memberLine(QStringLiteral("t99999")), memberLine(QStringLiteral("t11111"))});
    db.group(QStringLiteral("Порожня"), {memberLine(QStringLiteral("t99999"))});
    PointListOptions g;
    g.languageIndex = kRussian;
    g.object = ProtocolObject::Group;
    g.group = QStringLiteral("Школи");
    r = pointList(db.root(), db.storage, g);
    EXPECT_EQ(r.lines.at(0), QStringLiteral("**ПРОТОКОЛ  - /Перечень/группа корректоров/"));
    EXPECT_EQ(r.lines.at(1), QStringLiteral("группа \"Школи\" :"));
    EXPECT_TRUE(r.lines.at(6).startsWith(QStringLiteral("|1    |ТАРН-2.01   |11111 |")));
    g.group = QStringLiteral("Порожня");
    r = pointList(db.root(), db.storage, g);
    EXPECT_EQ(r.lines.last(), QStringLiteral(" **записей не было**"));

    // Gases: none besides the seed record is no list; then five lines and a rule each.
    PointListOptions gas;
    gas.languageIndex = kRussian;
    gas.object = ProtocolObject::Gas;
    EXPECT_FALSE(pointList(db.root(), db.storage, gas).ready);
    database::Gases gases(db.root(), db.schemas);
    ASSERT_EQ(gases.add({QStringLiteral("природный"), QStringLiteral("0.68"), QStringLiteral("0.1"),
                         QStringLiteral("1.2")},
                        at(12, 30)),
              QString());
    r = pointList(db.root(), db.storage, gas);
    EXPECT_EQ(
        r.lines,
        (QStringList{QStringLiteral("**ПРОТОКОЛ  - /Перечень/газ/"), QString(40, '-'),
                     QStringLiteral("название газа.........природный"),
                     QStringLiteral("плотность.............0.68"),
                     QStringLiteral("концентрация CO2......0.1"), QStringLiteral("концентрация N2.......1.2"),
                     QStringLiteral("дата регистрации в БД.10.03.2024 12:30:00"), QString(40, '-')}));
}

TEST(JoinViews, RowAndDayExchangesAndTheNextPendingRow) {
    Db db;
    auto join = [&](int row, int mode, const char* id, const char* result, const char* flag = "0",
                    const char* idJoin = "1") {
        database::JoinRow j;
        j.group = QStringLiteral("Котельні").leftJustified(20);
        j.identifier = QString::fromLatin1(id);
        j.model = QStringLiteral("ТАРН-2.01");
        j.serial = QString::fromLatin1(id).mid(1);
        j.when = at(8, 10);
        j.modified = QTime(8, 10, 5);
        j.mode = mode;
        j.begin = QTime(8, 0);
        j.end = QTime(9, 0);
        j.scheduleRow = row;
        j.flagModif = QString::fromLatin1(flag);
        j.result = QString::fromUtf8(result);
        j.idJoin = QString::fromLatin1(idJoin);
        ASSERT_EQ(database::appendJoinRow(db.root(), db.schemas, j), QString());
    };
    ScheduleRow row;
    row.number = 2;
    row.group = QStringLiteral("Котельні").leftJustified(20);
    row.begin = QStringLiteral("08:00");
    row.end = QStringLiteral("09:00");
    row.status = QStringLiteral("норма");
    EXPECT_EQ(rowExchangesView(db.storage, kDay, row, kUkrainian).error, QStringLiteral("Немає даних"));
    EXPECT_EQ(dayExchangesView(db.storage, kDay, kRussian).error, QStringLiteral("Нет данных"));

    join(2, 3, "t12345", "норма");
    join(2, 3, "t54321", "нет связи с прибором");
    join(2, 3, "t11111", "норма", "1");  // replaced since: no longer this row's
    join(2, 3, "--", "норма", "0", "2"); // the group's summary row
    join(0, 1, "t22222", "норма", "2");

    ExchangesView v = rowExchangesView(db.storage, kDay, row, kRussian);
    ASSERT_TRUE(v.ok());
    QStringList texts;
    for (const ViewLine& l : v.lines)
        texts << l.text;
    const QString rule(57, '-');
    EXPECT_EQ(texts, (QStringList{
                         QStringLiteral("Группа \"Котельні\" / строка 2  / начало (08:00) / конец (09:00)/"),
                         rule, QStringLiteral("|Время   |Тип прибора |№ приб.|Результат                |"),
                         rule, QStringLiteral("|08:10:05|ТАРН-2.01   |12345  |норма                    |"),
                         QStringLiteral("|08:10:05|ТАРН-2.01   |54321  |нет связи с прибором     |"), rule}));
    EXPECT_EQ(v.lines.at(0).colour, LineColour::Blue);
    EXPECT_EQ(v.lines.at(4).colour, LineColour::Black);
    EXPECT_EQ(v.lines.at(5).colour, LineColour::Red);
    row.status = QStringLiteral("--"); // not polled yet
    EXPECT_FALSE(rowExchangesView(db.storage, kDay, row, kRussian).ok());

    v = dayExchangesView(db.storage, kDay, kRussian);
    texts.clear();
    for (const ViewLine& l : v.lines)
        texts << l.text;
    EXPECT_EQ(texts.size(), 3 + 4 + 1); // the summary row left out
    EXPECT_EQ(texts.at(1),
              QStringLiteral("|Время   |Тип опрос|№ стр.|Тип прибора |№ приб.|Начало|Конец |Результат     "
                             "           |"));
    EXPECT_EQ(texts.at(6),
              QStringLiteral("|08:10:05|опр.корр.|0     |ТАРН-2.01   |22222  |08:00 |09:00 |норма         "
                             "           |"));
    EXPECT_EQ(texts.at(3).section('|', 2, 2), QStringLiteral("опр.врем."));

    DaySchedule s;
    EXPECT_EQ(nextPendingRow(s), -1);
    s.rows = {ScheduleRow{}, ScheduleRow{}, ScheduleRow{}};
    s.rows[0].status = QStringLiteral("норма");
    s.rows[1].status = QStringLiteral("пропущ.");
    EXPECT_EQ(nextPendingRow(s), 2);
    s.rows[2].status = QStringLiteral("ошибка");
    EXPECT_EQ(nextPendingRow(s), 0);
}

TEST(ProtocolTitle, NamesTheObjectAndTheKind) {
    PollProtocolOptions o;
    o.languageIndex = kRussian;
    Point p;
    p.model = QStringLiteral("ТАРН-2.01");
    p.serial = QStringLiteral("12345");
    const QDateTime now = at(14, 5, 9);
    EXPECT_EQ(protocolTitleLine(true, o, &p, now),
              QStringLiteral("/кор.* ТАРН-2.01 N 12345*опрос* Составлен:10.03.2024 14:05:09/"));
    o.object = ProtocolObject::Group;
    o.group = QStringLiteral("Школи   ");
    o.languageIndex = kUkrainian;
    EXPECT_EQ(protocolTitleLine(false, o, nullptr, now),
              QStringLiteral("/груп.*Школи*перелік* Складений:10.03.2024 14:05:09/"));
}

TEST(ReportWindow, ListsAndProtocolGoIntoTheWorkFileAfterTheTitleLine) {
    Db db;
    db.addPoint(QStringLiteral("12345"));
    db.connection(QStringLiteral("t12345"), at(8, 0), 65);
    test::RecordingNotifier notifier;
    reports::TPrint_ku::Input input;
    input.root = db.root();
    input.language = kRussian;
    input.databaseOnly = true;
    input.identifier = QStringLiteral("t12345");
    input.storage = &db.storage;
    reports::TPrint_ku window(std::move(input), notifier);

    window.setProtocolKind(3, 3); // "Перечень" of "Газ": no composition yet
    EXPECT_FALSE(window.buildAndShow());
    EXPECT_EQ(notifier.texts(), QStringList{QStringLiteral("В АРХИВЕ НЕТ ИНФОРМАЦИИ")});

    window.setProtocolKind(4, 3); // "Опрос" has no "Газ": the point selection instead
    window.connectionsChoice()->setChecked(true);
    EXPECT_EQ(window.connectionsChoice()->text(), QStringLiteral("Последнее соед.\"модем БД\""));
    ASSERT_TRUE(window.buildAndShow());
    const QStringList lines = window.workLines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.at(0).startsWith(QStringLiteral("/кор.* ТАРН-2.01 N 12345*опрос* Составлен:")));
    EXPECT_EQ(lines.at(1), QStringLiteral("**ПРОТОКОЛ  - /Последнее соединение \"модем БД\"/"));
    EXPECT_EQ(lines.filter(QStringLiteral("|ТАРН-2.01  |12345 |1        |")).size(), 1);

    // "Дата" with the end before the beginning is refused before anything is read.
    window.pollWindowBox()->setChecked(true);
    EXPECT_EQ(window.connectionsChoice()->text(), QStringLiteral("Cоед.\"модем БД\" за время..."));
    ReportOptions o;
    o.begin = kDay;
    o.end = kDay.addDays(-1);
    window.setOptions(o);
    EXPECT_FALSE(window.buildAndShow());
    EXPECT_EQ(notifier.texts().last(), QStringLiteral("ОШИБКА!!! НАЧАЛО > КОНЦА"));
}
