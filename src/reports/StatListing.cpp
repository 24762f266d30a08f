#include "reports/StatListing.h"

#include "common/Csv.h"
#include "common/DateTimeText.h"
#include "common/DisplayNumber.h"
#include "common/Language.h"
#include "common/TextFile.h"
#include "reports/ReportText.h"

#include <charconv>
#include <optional>

namespace tarn::reports {

using corrector::Archive;

namespace {

struct ColumnSpec {
    const char* russian;
    const char* ukrainian;
    int width;
};
constexpr ColumnSpec kColumns[kStatColumns] = {
    {"ном.", "ном.", 5},
    {"дата", "дата", 10},
    {"время", "час", 5},
    {"Vраб", "Vроб", 12},
    {"Vстд", "Vстд", 12},
    {"Vавр", "Vавр", 12},
    {"Vстд.авр", "Vстд.авр", 12},
    {"P", "P", 8},
    {"T", "T", 8},
    {"Kсжим", "Kстис", 8},
    {"Kкорр", "Kкорр", 8},
    {"Vсчетч.", "Vліч.", 12},
    {"Vраб+авр", "Vроб+авр", 12},
    {"Vстд.+ст.авр", "Vстд.+ст.авр", 12},
    {"Vраб.н.итог", "Vроб.н.підс", 12},
    {"Vстд.н.итог", "Vстд.н.підс", 12},
    {"И/В", "И/В", 3},
    {"Справка", "Довідка", 12},
};
enum Column {
    Number,
    Date,
    Time,
    Work,
    Standard,
    Alarm,
    AlarmStandard,
    Pressure,
    Temperature,
    Compressibility,
    Correction,
    Counter,
    WorkTotal,
    StandardTotal,
    WorkRunning,
    StandardRunning,
    Flags,
    Help
};

QString listingFlags(bool intervention, bool abnormal) {
    return QString(intervention ? QStringLiteral("*") : QStringLiteral("-")) + QLatin1Char('|') +
           QString(abnormal ? QStringLiteral("*") : QStringLiteral("-"));
}

// Lays a table line out in place: each cell written straight into the line's text and padded there to
// its column's width, where it ends noted for the CSV copy. A year of hours is 8760 lines of up to
// eighteen cells: no cell gets a string of its own.
class TableLineWriter {
public:
    TableLineWriter(ListingLine::Kind kind, qsizetype room, qsizetype cells) {
        line_.kind = kind;
        line_.text.reserve(room);
        line_.text += QLatin1Char('|');
        line_.cellEnds.reserve(cells);
    }
    void text(QStringView cell, int width) {
        const qsizetype start = line_.text.size();
        line_.text += cell;
        close(start, width);
    }
    void text(QLatin1String cell, int width) {
        const qsizetype start = line_.text.size();
        line_.text += cell;
        close(start, width);
    }
    void number(double value, int decimals, int width) {
        const qsizetype start = line_.text.size();
        appendDisplayNumber(line_.text, value, decimals);
        close(start, width);
    }
    void number(const std::optional<double>& value, int decimals, int width) {
        if (value)
            number(*value, decimals, width);
        else
            text(QLatin1String("--"), width);
    }
    void integer(qint64 value, int width) {
        char digits[24];
        const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
        text(QLatin1String(digits, error == std::errc() ? end - digits : 0), width);
    }
    ListingLine take() { return std::move(line_); }

private:
    // Pads the cell begun at start as pad() does (blanks after it, nothing cut) and closes it with a bar.
    void close(qsizetype start, int width) {
        const qsizetype written = line_.text.size() - start;
        if (written < width) line_.text.resize(start + width, QLatin1Char(' '));
        line_.cellEnds.append(static_cast<int>(line_.text.size()));
        line_.text += QLatin1Char('|');
    }

    ListingLine line_;
};

class ListingBuilder {
public:
    ListingBuilder(const ReportSource& s, const ReportHeader& h, const ListingOptions& o,
                   const QDateTime& now, const std::function<bool()>& stop)
        : s_(s), h_(h), o_(o), now_(now), stop_(stop), ua_(o.ukrainian), language_(languageOf(o.ukrainian)) {}
    Listing build();
    // The group's form: the member's two lines and its records, no title; the period's days are given.
    Listing memberBody(const QDate& first, const QDate& last);
    const MemberListingTotals& totals() const { return totals_; }

private:
    void add(ListingLine::Kind kind, const QString& text) { out_.lines.append({kind, text, {}}); }
    void add(ListingLine&& line) { out_.lines.append(std::move(line)); }
    bool stopped() const { return stop_ && stop_(); }
    QString vol(double v) const { return displayNumber(v, h_.volumeDecimals); }
    QString opt(const std::optional<double>& v, int decimals) const {
        return v ? displayNumber(*v, decimals) : QStringLiteral("--");
    }
    QString pressure(const std::optional<double>& v, const QString& unit) const {
        return v ? displayNumber(shownPressure(*v, unit, h_.pressureUnit), 3) : QStringLiteral("--");
    }
    void header(const QStringList& cells, const QList<int>& widths);
    void fixedHeader(const QString& header);
    void periodRecords();
    void operative();
    void service();
    void measurements();
    void setPeriod(const QDate& first, const QDate& last);
    void body();

    const ReportSource& s_;
    ReportHeader h_;
    const ListingOptions& o_;
    QDateTime now_;
    std::function<bool()> stop_;
    bool ua_;
    int language_;
    int ch_ = 9;
    QDate first_, last_;
    QDateTime from_, to_;
    Listing out_;
    MemberListingTotals totals_;
};

void ListingBuilder::header(const QStringList& titles, const QList<int>& widths) {
    const ListingLine line = tableLine(ListingLine::Header, titles, widths);
    add(ListingLine::Rule, dashes(static_cast<int>(line.text.size())));
    add(ListingLine(line));
    add(ListingLine::Rule, dashes(static_cast<int>(line.text.size())));
}

void ListingBuilder::fixedHeader(const QString& line) {
    add(ListingLine::Rule, dashes(static_cast<int>(line.size())));
    add(ListingLine::Header, line);
    add(ListingLine::Rule, dashes(static_cast<int>(line.size())));
}

void ListingBuilder::periodRecords() {
    QList<int> chosen;
    for (int c = 0; c < kStatColumns; ++c)
        if (o_.columns.on[static_cast<std::size_t>(c)]) chosen.append(c);
    QStringList titles;
    QList<int> widths;
    for (int c : chosen) {
        titles.append(StatColumns::title(c, ua_));
        widths.append(StatColumns::width(c));
    }
    header(titles, widths);
    qsizetype rowRoom = 1;
    for (int width : widths)
        rowRoom += width + 1;
    const Archive archive = o_.archive == ListingArchive::Hourly ? Archive::Hourly : Archive::Daily;
    const QList<PeriodRecord> records = s_.periodRecords(archive, from_, to_);
    // The meter counter carried from the reading at the start: the daily record before the period.
    const QList<PeriodRecord> before =
        s_.periodRecords(Archive::Daily, from_.addDays(-1), from_.addSecs(-60));
    double counter = before.isEmpty() ? 0.0 : before.last().counter.value_or(0.0);
    double workRunning = 0, standardRunning = 0;
    RecordSums sums;
    for (const PeriodRecord& r : records) {
        if (stopped()) break;
        counter += r.working + r.alarmWorking;
        workRunning += r.working + r.alarmWorking;
        standardRunning += r.standard + r.alarmStandard;
        sums.add(r, h_.pressureUnit);
        ++totals_.records;
        TableLineWriter line(ListingLine::Row, rowRoom, chosen.size());
        for (int c : chosen) {
            const int width = StatColumns::width(c);
            switch (c) {
            case Number:
                line.integer(r.number, width);
                break;
            case Date:
                // A day is listed under its gas day, an hour under the time its record closes.
                line.text(formatDate(archive == Archive::Daily ? gasDayOf(r.end, ch_) : r.end.date()), width);
                break;
            case Time:
                line.text(formatShortTime(r.end.time()), width);
                break;
            case Work:
                line.number(r.working, h_.volumeDecimals, width);
                break;
            case Standard:
                line.number(r.standard, h_.volumeDecimals, width);
                break;
            case Alarm:
                line.number(r.alarmWorking, h_.volumeDecimals, width);
                break;
            case AlarmStandard:
                line.number(r.alarmStandard, h_.volumeDecimals, width);
                break;
            case Pressure:
                line.number(r.pressure
                                ? std::optional(shownPressure(*r.pressure, r.pressureUnit, h_.pressureUnit))
                                : std::nullopt,
                            3, width);
                break;
            case Temperature:
                line.number(r.temperature, 2, width);
                break;
            case Compressibility:
                line.number(r.compressibility, 4, width);
                break;
            case Correction:
                line.number(r.correction, 4, width);
                break;
            case Counter:
                line.number(counter, h_.volumeDecimals, width);
                break;
            case WorkTotal:
                line.number(r.working + r.alarmWorking, h_.volumeDecimals, width);
                break;
            case StandardTotal:
                line.number(r.standard + r.alarmStandard, h_.volumeDecimals, width);
                break;
            case WorkRunning:
                line.number(workRunning, h_.volumeDecimals, width);
                break;
            case StandardRunning:
                line.number(standardRunning, h_.volumeDecimals, width);
                break;
            case Flags: {
                const char flags[] = {r.intervention() ? '*' : '-', '|', r.abnormal() ? '*' : '-'};
                line.text(QLatin1String(flags, 3), width);
                break;
            }
            case Help: {
                // The status's twelve characters from the fifth, as mid(4, 12) takes them.
                const QStringView help =
                    r.status.size() > 4 ? QStringView(r.status).sliced(4).left(12) : QStringView();
                line.text(help.isEmpty() ? QStringView(u"--") : help, width);
                break;
            }
            }
        }
        add(line.take());
    }
    if (records.isEmpty()) {
        add(ListingLine::Note, QStringLiteral("-- нет данных --"));
        return;
    }
    // The period's totals under the same columns: sums of volumes, averages of the measured values.
    auto average = [](double sum, int n, int decimals) {
        return n == 0 ? QStringLiteral("*****") : displayNumber(sum / n, decimals);
    };
    QStringList cells;
    bool labelled = false;
    for (int c : chosen) {
        QString cell;
        switch (c) {
        case Work:
            cell = vol(sums.working);
            break;
        case Standard:
            cell = vol(sums.standard);
            break;
        case Alarm:
            cell = vol(sums.alarmWorking);
            break;
        case AlarmStandard:
            cell = vol(sums.alarmStandard);
            break;
        case Pressure:
            cell = average(sums.pressure, sums.pressures, isMpa(h_.pressureUnit) ? 4 : 3);
            break;
        case Temperature:
            cell = average(sums.temperature, sums.temperatures, 2);
            break;
        case Compressibility:
            cell = average(sums.compressibility, sums.compressibilities, 4);
            break;
        case Correction:
            cell = average(sums.correction, sums.corrections, 4);
            break;
        case Counter:
            cell = vol(counter);
            break;
        case WorkTotal:
        case WorkRunning:
            cell = vol(workRunning);
            break;
        case StandardTotal:
        case StandardRunning:
            cell = vol(standardRunning);
            break;
        case Flags:
            cell = listingFlags(sums.intervention, sums.abnormal);
            break;
        default:
            break;
        }
        if (!labelled && cell.isEmpty()) {
            cell = uaRu(language_, "Разом", "Итого");
            labelled = true;
        }
        cells.append(cell);
    }
    ListingLine totals = tableLine(ListingLine::Totals, cells, widths);
    add(ListingLine::Rule, dashes(static_cast<int>(totals.text.size())));
    add(std::move(totals));
}

void ListingBuilder::operative() {
    fixedHeader(uaRu(language_,
                     "| н.п.|Дата      |Время|P         |T(град.С) |Ккорр     |Qвитрата  |Vлічильник  |",
                     "| н.п.|Дата      |Время|P         |T(град.С) |Ккорр     |Qрасход   |Vсчетчик    |"));
    const QList<OperativeRecord> records = s_.operative(from_, to_);
    for (const OperativeRecord& r : records) {
        if (stopped()) break;
        ++totals_.records;
        add(tableLine(ListingLine::Row,
                      {QString::number(r.number), formatDate(r.when.date()), formatShortTime(r.when.time()),
                       pressure(r.pressure, r.pressureUnit), opt(r.temperature, 2), opt(r.correction, 4),
                       opt(r.flow, 3), r.counter ? vol(*r.counter) : QStringLiteral("--")},
                      {5, 10, 5, 10, 10, 10, 10, 12}));
    }
    if (records.isEmpty()) add(ListingLine::Note, QStringLiteral("-- нет данных --"));
}

void ListingBuilder::service() {
    fixedHeader(uaRu(language_, "| н.п.|Дата      |Время|поточний код  |попередній код|",
                     "| н.п.|Дата      |Время|текущий код   |предыдущий код|"));
    const QList<ServiceRecord> records = s_.service(from_, to_);
    for (const ServiceRecord& r : records) {
        if (stopped()) break;
        ++totals_.records;
        add(tableLine(ListingLine::Row,
                      {QString::number(r.number), formatDate(r.when.date()), formatShortTime(r.when.time()),
                       r.current, r.previous},
                      {5, 10, 5, 14, 14}));
    }
    if (records.isEmpty()) add(ListingLine::Note, QStringLiteral("-- нет данных --"));
}

void ListingBuilder::measurements() {
    fixedHeader(uaRu(
        language_,
        "|Дата               |P       |T       |Ккорр   |Ксжим   |Qраб    |Qстд    |Батарея |стан     |",
        "|Дата               |P       |T       |Ккорр   |Ксжим   |Qраб    |Qстд    |Батарея |Состояние|"));
    const QList<MeasurementRecord> records = s_.measurements(from_, to_);
    for (const MeasurementRecord& r : records) {
        if (stopped()) break;
        ++totals_.records;
        add(tableLine(ListingLine::Row,
                      {r.when.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")),
                       pressure(r.pressure, r.pressureUnit), opt(r.temperature, 2), opt(r.correction, 4),
                       opt(r.compressibility, 4), opt(r.flow, 3), opt(r.standardFlow, 3), opt(r.battery, 2),
                       r.state.isEmpty() ? QStringLiteral("--") : r.state},
                      {19, 8, 8, 8, 8, 8, 8, 8, 9}));
    }
    if (records.isEmpty()) add(ListingLine::Note, QStringLiteral("-- нет данных --"));
}

void ListingBuilder::setPeriod(const QDate& first, const QDate& last) {
    first_ = first;
    last_ = last;
    ch_ = contractHourFor(s_, first_, h_.contractHour);
    from_ = QDateTime(first_, QTime(ch_, 0)).addSecs(60);
    to_ = QDateTime(last_.addDays(1), QTime(ch_, 0));
}

Listing ListingBuilder::build() {
    const ReportDays days = reportDays(o_.period, o_.begin, o_.end, ua_);
    if (!days.error.isEmpty()) return {{}, days.error};
    const bool withColumns = o_.archive == ListingArchive::Hourly || o_.archive == ListingArchive::Daily;
    if (withColumns && !o_.columns.any())
        return {{}, uaRu(language_, "не визначено параметри!", "не определены параметры!!!")};
    setPeriod(days.first, days.last);
    add(ListingLine::Title,
        listingTitle(QStringLiteral("кор.* ") + h_.model + QStringLiteral(" N ") + h_.serial, o_.archive,
                     o_.period, first_, last_, now_, ua_));
    body();
    return out_;
}

Listing ListingBuilder::memberBody(const QDate& first, const QDate& last) {
    setPeriod(first, last);
    body();
    return out_;
}

void ListingBuilder::body() {
    add(ListingLine::Point,
        uaRu(language_, "коректор...... ", "корректор..... ") + h_.model + QStringLiteral(" N") + h_.serial);
    add(ListingLine::Point, uaRu(language_, "організація... ", "организация... ") + pad(h_.organisation, 32) +
                                uaRu(language_, " нитка...", " ветка...") + h_.pipeline);
    switch (o_.archive) {
    case ListingArchive::Daily:
    case ListingArchive::Hourly:
        periodRecords();
        break;
    case ListingArchive::Operative:
        operative();
        break;
    case ListingArchive::Service:
        service();
        break;
    case ListingArchive::Measurement:
        measurements();
        break;
    case ListingArchive::Alarm: {
        ReportOptions alarmOptions;
        alarmOptions.period = o_.period;
        alarmOptions.begin = first_;
        alarmOptions.end = last_;
        alarmOptions.ukrainian = ua_;
        alarmOptions.closedDaysOnly = !o_.unclosedDays;
        AlarmSectionTotals alarmTotals;
        const QStringList section = buildAlarmSection(s_, h_, alarmOptions, now_, &alarmTotals);
        for (const QString& line : section)
            add(line.startsWith(QLatin1Char('-')) || line.startsWith(QStringLiteral("|-")) ? ListingLine::Rule
                                                                                           : ListingLine::Row,
                line);
        totals_.records = alarmTotals.records;
        totals_.alarmWorking = alarmTotals.working;
        totals_.alarmStandard = alarmTotals.standard;
        totals_.alarmMinutes = alarmTotals.minutes;
        break;
    }
    }
}

} // namespace

ListingLine tableLine(ListingLine::Kind kind, const QStringList& cells, const QList<int>& widths) {
    qsizetype room = 1;
    for (qsizetype i = 0; i < cells.size(); ++i)
        room += std::max<qsizetype>(cells.at(i).size(), widths.value(i)) + 1;
    TableLineWriter line(kind, room, cells.size());
    for (qsizetype i = 0; i < cells.size(); ++i)
        line.text(QStringView(cells.at(i)), widths.value(i));
    return line.take();
}

QList<QStringView> ListingLine::cells() const {
    QList<QStringView> out;
    out.reserve(cellEnds.size());
    qsizetype begin = 1;
    for (int end : cellEnds) {
        out.append(QStringView(text).sliced(begin, end - begin));
        begin = end + 1;
    }
    return out;
}

QString listingTitle(const QString& object, ListingArchive archive, ReportPeriod period, const QDate& first,
                     const QDate& last, const QDateTime& now, bool ukrainian) {
    const int language = languageOf(ukrainian);
    static constexpr const char* kWordsRu[] = {
        "",          "/суточ.архив*", "/часов.архив*", "/авар.архив *", "/опер.архив*", "/служеб.архив*",
        "/мгновен.*"};
    static constexpr const char* kWordsUa[] = {
        "", "/добов.архів*", "/годин.архів*", "/авар.архів *", "/опер.архів*", "/служб.архів*", "/миттєв.*"};
    const int a = static_cast<int>(archive);
    QString named = object;
    QString part;
    switch (period) {
    case ReportPeriod::Month:
        named += uaRu(language, "/місяць", "/месяц");
        part = QStringLiteral("* за ") + first.toString(QStringLiteral("MM.yyyy"));
        break;
    case ReportPeriod::Day:
        named += uaRu(language, "/доба", "/сутки");
        part = QStringLiteral("* за ") + first.toString(QStringLiteral("dd.MM.yyyy")) +
               uaRu(language, " р.", " г.");
        break;
    case ReportPeriod::Range:
        named += uaRu(language, "/період", "/период");
        part = uaRu(language, "* з ", "* с ") + first.toString(QStringLiteral("dd.MM.yyyy")) +
               QStringLiteral(" по ") + last.toString(QStringLiteral("dd.MM.yyyy"));
        break;
    }
    return QLatin1Char('/') + named + uaRu(language, kWordsUa[a], kWordsRu[a]) + part +
           uaRu(language, " Складений:", " Составлен:") +
           now.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) + QLatin1Char('/');
}

bool StatColumns::any() const {
    return std::any_of(on.begin(), on.end(), [](bool b) { return b; });
}

QString StatColumns::title(int column, bool ukrainian) {
    if (column < 0 || column >= kStatColumns) return {};
    return uaRu(languageOf(ukrainian), kColumns[column].ukrainian, kColumns[column].russian);
}

int StatColumns::width(int column) {
    return column < 0 || column >= kStatColumns ? 0 : kColumns[column].width;
}

StatColumns loadStatColumns(const DataRoot& root) {
    StatColumns c;
    const auto lines = readTextLines(root.file(folder::Current, QStringLiteral("PutSet.000")));
    if (!lines || lines->isEmpty()) {
        for (int column : {Number, Date, Time, Work, Standard, Pressure, Temperature, Flags})
            c.on[static_cast<std::size_t>(column)] = true;
        return c;
    }
    const QString line = removeSpaces(lines->first());
    for (int i = 0; i < kStatColumns; ++i)
        c.on[static_cast<std::size_t>(i)] = i < line.size() && line.at(i) == QLatin1Char('1');
    return c;
}

bool saveStatColumns(const DataRoot& root, const StatColumns& columns) {
    QString line;
    for (bool on : columns.on)
        line += on ? QLatin1Char('1') : QLatin1Char('0');
    return writeTextLines(root.file(folder::Current, QStringLiteral("PutSet.000")), {line});
}

QStringList Listing::text() const {
    QStringList out;
    for (const ListingLine& l : lines)
        out.append(l.text);
    return out;
}

Listing buildPointListing(const ReportSource& source, const ReportHeader& header,
                          const ListingOptions& options, const QDateTime& now,
                          const std::function<bool()>& stop) {
    return ListingBuilder(source, header, options, now, stop).build();
}

Listing buildMembersListing(const QString& groupName, const QList<ListingMember>& members,
                            const ListingOptions& options, const QDateTime& now,
                            const std::function<bool()>& stop) {
    const bool ua = options.ukrainian;
    const int language = languageOf(ua);
    const ReportDays days = reportDays(options.period, options.begin, options.end, ua);
    if (!days.error.isEmpty()) return {{}, days.error};
    const bool withColumns =
        options.archive == ListingArchive::Hourly || options.archive == ListingArchive::Daily;
    if (withColumns && !options.columns.any())
        return {{}, uaRu(language, "не визначено параметри!", "не определены параметры!!!")};
    Listing out;
    out.lines.append({ListingLine::Title,
                      listingTitle(QStringLiteral("груп.*") + groupName.trimmed(), options.archive,
                                   options.period, days.first, days.last, now, ua),
                      {}});
    MemberListingTotals sum;
    int listed = 0;
    int decimals = 0;
    for (const ListingMember& member : members) {
        if (stop && stop()) break;
        ListingBuilder builder(*member.source, member.header, options, now, stop);
        out.lines += builder.memberBody(days.first, days.last).lines;
        const MemberListingTotals& own = builder.totals();
        sum.records += own.records;
        sum.alarmWorking += own.alarmWorking;
        sum.alarmStandard += own.alarmStandard;
        sum.alarmMinutes += own.alarmMinutes;
        decimals = std::max(decimals, member.header.volumeDecimals);
        ++listed;
    }
    // A group's listing closes with how many points and records it holds; the alarm archive adds the
    // abnormal-situation volumes of the closed gas days and how long situations lasted.
    QString totals = uaRu(language, "Підсумок: коректорів - ", "Итог: корректоров - ") +
                     QString::number(listed) + uaRu(language, ", записів - ", ", записей - ") +
                     QString::number(sum.records);
    if (options.archive == ListingArchive::Alarm)
        totals += uaRu(language, ", Vроб.авр. - ", ", Vраб.авр. - ") +
                  displayNumber(sum.alarmWorking, decimals) + QStringLiteral(", Vст.у.авр. - ") +
                  displayNumber(sum.alarmStandard, decimals) +
                  uaRu(language, ", тривал. - ", ", продолж. - ") + durationText(sum.alarmMinutes);
    out.lines.append({ListingLine::Rule, dashes(static_cast<int>(totals.size())), {}});
    out.lines.append({ListingLine::Totals, totals, {}});
    return out;
}

namespace {

// A table line's fields, each followed by the delimiter. The text is "|" + cell + "|" + ... + cell + "|",
// so when no field needs quotes the CSV line is the text after its first bar with each cell's closing
// bar turned into the delimiter (a bar inside a cell stays).
QString tableLineCsv(const ListingLine& l, QChar delimiter) {
    const QStringView fields = QStringView(l.text).sliced(1);
    if (!csvFieldNeedsQuotes(fields, delimiter)) {
        QString line = fields.toString();
        QChar* const chars = line.data();
        for (int end : l.cellEnds)
            chars[end - 1] = delimiter;
        return line;
    }
    QString line;
    line.reserve(l.text.size() + 2 * l.cellEnds.size());
    qsizetype begin = 1;
    for (int end : l.cellEnds) {
        appendCsvField(line, QStringView(l.text).sliced(begin, end - begin), delimiter);
        line += delimiter;
        begin = end + 1;
    }
    return line;
}

} // namespace

QStringList listingCsv(const Listing& listing, QChar delimiter, bool totals) {
    QStringList out;
    for (const ListingLine& l : listing.lines) {
        switch (l.kind) {
        case ListingLine::Title:
            out.append(csvField(l.text, delimiter));
            break;
        case ListingLine::Totals:
            if (!totals) break;
            [[fallthrough]];
        case ListingLine::Header:
        case ListingLine::Row: {
            if (!l.cellEnds.isEmpty()) {
                out.append(tableLineCsv(l, delimiter));
                break;
            }
            // A line of fixed words and values with no bar inside a value (the abnormal-situation
            // lines, a member's heading, "Итог:"): its bars are the column bounds.
            const QString text = l.text.startsWith(QLatin1Char('|')) ? l.text.mid(1) : l.text;
            QStringList fields = text.split(QLatin1Char('|'));
            if (text.endsWith(QLatin1Char('|'))) {
                fields.removeLast();
                out.append(csvLine(fields, delimiter));
            } else {
                for (QString& f : fields)
                    f = csvField(f, delimiter);
                out.append(fields.join(delimiter));
            }
            break;
        }
        default:
            break;
        }
    }
    return out;
}

QString defaultListingCsvName(const QString& identifier, ListingArchive archive, const QDate& today) {
    const QString letter = archive == ListingArchive::Hourly        ? QStringLiteral("h")
                           : archive == ListingArchive::Operative   ? QStringLiteral("o")
                           : archive == ListingArchive::Measurement ? QStringLiteral("i")
                                                                    : QStringLiteral("d");
    return identifier + QLatin1Char('_') + letter + today.toString(QStringLiteral("yyMMdd")) +
           QStringLiteral(".csv");
}

} // namespace tarn::reports
