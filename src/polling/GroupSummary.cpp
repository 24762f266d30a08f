#include "polling/GroupSummary.h"
#include "polling/TextCells.h"

#include "common/DisplayNumber.h"
#include "common/Language.h"
#include "common/TextFile.h"
#include "database/GroupQueries.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace tarn::polling {

namespace {

const QString kDateFormat = QStringLiteral("dd.MM.yyyy");
const QString kTimeFormat = QStringLiteral("HH:mm");

// A stored volume; an empty or unreadable value counts as 0.
double volumeOf(const QVariant& v) {
    if (v.isNull()) return 0.0;
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok && std::isfinite(d) ? d : 0.0;
}

double rounded(double value, int decimals) {
    const double scale = std::pow(10.0, std::clamp(decimals, 0, 6));
    return std::round(value * scale) / scale;
}

// A stored value as the member's own table shows it.
QString storedText(double value, int decimals) {
    return displayNumber(value, decimals);
}

} // namespace

RecordFlags RecordFlags::ofStatus(const QString& status) {
    RecordFlags f;
    f.intervention = status.size() > 1 && status.at(1) == QChar(u'И');
    f.alarm = status.size() > 2 && status.at(2) == QChar(u'В');
    return f;
}

QString RecordFlags::text() const {
    return (intervention ? QStringLiteral("И") : QStringLiteral("-")) + QLatin1Char('/') +
           (alarm ? QStringLiteral("В") : QStringLiteral("-"));
}

QString sumText(double value) {
    // Padding to the width is undone by the blanks' removal: what stays is the number itself.
    return displayNumber(value, 1);
}

void Sums::add(const std::array<double, kSummarySums>& v, const RecordFlags& f) {
    for (int i = 0; i < kSummarySums; ++i)
        values[i] += v[i];
    flags |= f;
    filled = true;
}

QStringList Sums::cells() const {
    QStringList c;
    for (double v : values)
        c.append(filled ? sumText(v) : kNone);
    c.append(filled ? flags.text() : kNone);
    return c;
}

QStringList IntervalRow::cells(bool hourly) const {
    return QStringList{date.toString(kDateFormat), hourly ? time.toString(kTimeFormat) : kNone} +
           sums.cells();
}

QStringList MemberStatus::cells() const {
    return {QString::number(number), identifier, serial, model, organisation, pipeline, begin, end, comment};
}

QStringList MemberTotal::cells() const {
    return QStringList{QString::number(number), identifier, serial, model} + sums.cells();
}

QStringList intervalHeadings() {
    return {QStringLiteral("дата"),     QStringLiteral("время"),        QStringLiteral("Vраб"),
            QStringLiteral("Vстд"),     QStringLiteral("Vвнш"),         QStringLiteral("Vстд.внш"),
            QStringLiteral("Vраб+внш"), QStringLiteral("Vстд.+ст.внш"), QStringLiteral("флаги")};
}

QStringList memberStatusHeadings() {
    return {QStringLiteral("ном."),   QStringLiteral("идентиф."),    QStringLiteral("сер. номер"),
            QStringLiteral("тип"),    QStringLiteral("организация"), QStringLiteral("ветка"),
            QStringLiteral("начало"), QStringLiteral("конец"),       QStringLiteral("коментарий")};
}

QStringList memberTotalHeadings() {
    return QStringList{QStringLiteral("ном."), QStringLiteral("идентиф."), QStringLiteral("сер. номер"),
                       QStringLiteral("тип")} +
           intervalHeadings().mid(2);
}

GroupSummary::GroupSummary(const DataRoot& root, database::Storage& storage, Notifier& notifier,
                           int languageIndex)
    : root_(root), ownGroups_(std::make_shared<database::FolderGroupFiles>(root)), groups_(ownGroups_.get()),
      storage_(storage), notifier_(notifier), languageIndex_(languageIndex) {}

GroupSummary::GroupSummary(const DataRoot& root, const database::GroupFiles& groups,
                           database::Storage& storage, Notifier& notifier, int languageIndex)
    : root_(root), groups_(&groups), storage_(storage), notifier_(notifier), languageIndex_(languageIndex) {}

QString GroupSummary::open(const SummaryRequest& request) {
    request_ = request;
    opened_ = false;
    finished_ = false;
    cancelled_ = false;
    failure_.clear();
    next_ = 0;
    members_.clear();
    intervals_.clear();
    statuses_.clear();
    totals_.clear();
    memberTables_.clear();

    const bool byHour = hourly();
    const bool backwards = byHour ? request.from > request.to : request.from.date() > request.to.date();
    if (!request.from.isValid() || !request.to.isValid() || backwards)
        return uaRu(languageIndex_, "Помилка вибраного періоду", "Ошибка выбранного периода");
    if (request.groupName.trimmed().isEmpty())
        return uaRu(languageIndex_, "Не вибрано групу!!!", "Не выбрана группа!!!");
    const auto entry = findGroupByName(*groups_, request.groupName);
    // The graph names a group that is not there as one not chosen; the report as one not defined.
    if (!entry)
        return request.caller == SummaryCaller::Graph
                   ? uaRu(languageIndex_, "Не вибрано групу!!!", "Не выбрана группа!!!")
                   : uaRu(languageIndex_, "НЕ ВИЗНАЧЕНА ГРУПА", "НЕ ОПРЕДЕЛЕНА ГРУППА");
    const database::Registry registry(root_, storage_);
    members_ = registeredMembers(loadGroup(*groups_, entry->file), registry);

    for (const NumberedMember& m : members_) {
        MemberStatus s;
        s.number = m.number;
        s.identifier = m.point.identifier;
        statuses_.append(s);
        MemberTotal t;
        t.number = m.number;
        t.identifier = m.point.identifier;
        totals_.append(t);
    }
    // The intervals: an hour (from the begin's minute) or a day each, while not later than the end.
    if (byHour) {
        periodBegin_ = request.from.toString(kDateFormat + QLatin1Char(' ') + kTimeFormat);
        periodEnd_ = request.to.toString(kDateFormat + QLatin1Char(' ') + kTimeFormat);
        const QDateTime from(request.from.date(),
                             QTime(request.from.time().hour(), request.from.time().minute()));
        for (QDateTime t = from; t <= request.to; t = t.addSecs(3600))
            intervals_.append({t.date(), t.time(), {}});
    } else {
        periodBegin_ = request.from.date().toString(kDateFormat);
        periodEnd_ = request.to.date().toString(kDateFormat);
        for (QDate d = request.from.date(); d <= request.to.date(); d = d.addDays(1))
            intervals_.append({d, QTime(), {}});
    }
    const bool ownTables = request.caller == SummaryCaller::Graph || request.memberTables;
    if (ownTables) {
        const QList<QStringList> empty(intervals_.size(), QStringList(intervalHeadings().size(), kNone));
        for (int i = 0; i < std::min(kMemberTables, memberCount()); ++i)
            memberTables_.append(empty);
    }
    opened_ = true;
    finished_ = members_.isEmpty();
    return {};
}

QString GroupSummary::title() const {
    const QString word =
        request_.caller == SummaryCaller::Graph ? QStringLiteral("график") : QStringLiteral("отчет");
    return QLatin1Char('"') + word + QStringLiteral("\" - подготовка данных группы  : \"") +
           request_.groupName.trimmed() + QLatin1Char('"');
}

bool GroupSummary::step() {
    if (!opened_ || finished_ || cancelled_ || !failure_.isEmpty()) return false;
    const NumberedMember& m = members_.at(next_);
    const auto parameters = loadMemberParameters(root_, m.point.identifier, notifier_, languageIndex_);
    if (!parameters) {
        failure_ = missingParameterFileText(&m.point);
        notifier_.message(MessageKind::Warning, failure_);
        return false;
    }
    MemberStatus& s = statuses_[next_];
    s.serial = parameters->serial;
    s.model = parameters->model;
    s.organisation = parameters->organisation;
    s.pipeline = parameters->pipeline;
    totals_[next_].serial = parameters->serial;
    totals_[next_].model = parameters->model;
    takeRecords(next_, parameters->volumeDecimals);
    ++next_;
    finished_ = next_ >= memberCount();
    return !finished_;
}

void GroupSummary::takeRecords(int index, int volumeDecimals) {
    using database::TableKind;
    const bool byHour = hourly();
    const QString& id = members_.at(index).point.identifier;
    const database::StoredRecords s =
        byHour ? database::recordsBetween(storage_, TableKind::Hourly, id, request_.from, request_.to)
               : database::recordsOfDays(storage_, TableKind::Daily, id, request_.from.date(),
                                         request_.to.date());
    const int cDate = s.column("Date"), cTime = s.column("Time"), cStatus = s.column("Help"),
              cWorkingTotal = s.column("Vwrk_alwrk"), cStandardTotal = s.column("Vst_alwrk");
    const std::array<int, 4> cVolumes{s.column("Vwrk"), s.column("Vst"), s.column("Valwrk"),
                                      s.column("Valst")};
    // A record is known again by its identity, its time and its volumes.
    const std::array<int, 9> cKey{
        s.column("Identif"), s.column("SerialNum"), s.column("TypeQuon"), cDate,      cTime,
        cVolumes[0],         cVolumes[1],           cVolumes[2],          cVolumes[3]};
    auto at = [](const QVariantList& row, int column) { return column < 0 ? QVariant() : row.value(column); };

    // Records come in time order, so a repeat is among the last ones accepted. The last kRepeatMemory
    // keys are kept in order, and counted in a hash, so that a year of hours is not compared key by key
    // against every one of them.
    QList<QStringList> memory;
    QHash<QStringList, int> remembered;
    qsizetype oldest = 0;
    MemberStatus& status = statuses_[index];
    MemberTotal& total = totals_[index];
    QList<QStringList>* own = index < memberTables_.size() ? &memberTables_[index] : nullptr;
    QList<RecordFlags> ownFlags(own ? intervals_.size() : 0);
    // A member's own rows show the interval's date (the record's own), made once per interval.
    QStringList ownDates(own ? intervals_.size() : 0);
    auto dateText = [&](int interval) -> const QString& {
        QString& text = ownDates[interval];
        if (text.isEmpty()) text = intervals_.at(interval).date.toString(kDateFormat);
        return text;
    };
    // The first and the last record taken; their texts are made once, at the end.
    QDate firstDate, lastDate;
    QTime firstTime, lastTime;
    int from = 0;
    QStringList key;
    for (const QVariantList& row : s.rows) {
        const QDate date = database::storedDateValue(at(row, cDate));
        const QTime time = database::storedTimeValue(at(row, cTime));
        if (!date.isValid() || (byHour && !time.isValid())) continue;
        key.clear();
        for (int c : cKey)
            key.append(at(row, c).toString());
        if (remembered.contains(key)) continue;
        if (memory.size() - oldest >= kRepeatMemory) {
            const auto forgotten = remembered.find(memory.at(oldest));
            if (--*forgotten == 0) remembered.erase(forgotten);
            memory[oldest++].clear();
        }
        memory.append(key);
        ++remembered[key];
        // What was forgotten is dropped in one go now and then rather than moved for every record.
        if (oldest >= 4 * kRepeatMemory) {
            memory.remove(0, oldest);
            oldest = 0;
        }

        if (!firstDate.isValid()) {
            firstDate = date;
            firstTime = time;
        }
        lastDate = date;
        lastTime = time;

        // The interval: the same day, and for hours the same hour of it.
        int found = -1;
        for (int r = from; r < intervals_.size(); ++r) {
            const IntervalRow& i = intervals_.at(r);
            if (i.date == date && (!byHour || i.time.hour() == time.hour())) {
                found = r;
                break;
            }
        }
        if (found < 0) continue;
        from = found;

        std::array<double, 4> volumes{};
        for (int v = 0; v < 4; ++v)
            volumes[v] = volumeOf(at(row, cVolumes[v]));
        std::array<double, kSummarySums> values{};
        for (int v = 0; v < 4; ++v)
            values[v] = byHour ? rounded(volumes[v], volumeDecimals) : volumes[v];
        values[4] = volumes[0] + volumes[2];
        values[5] = volumes[1] + volumes[3];
        const RecordFlags flags = RecordFlags::ofStatus(at(row, cStatus).toString());
        intervals_[found].sums.add(values, flags);
        total.sums.add(values, flags);

        if (own) {
            ownFlags[found] |= flags;
            const int decimals = byHour ? volumeDecimals : 6;
            QStringList cells{dateText(found), time.isValid() ? time.toString(kTimeFormat) : kNone};
            for (int v = 0; v < 4; ++v)
                cells.append(storedText(values[v], decimals));
            cells.append(storedText(volumeOf(at(row, cWorkingTotal)), 6));
            cells.append(storedText(volumeOf(at(row, cStandardTotal)), 6));
            cells.append(ownFlags[found].text());
            (*own)[found] = cells;
        }
    }
    if (!firstDate.isValid()) {
        status.comment = QStringLiteral("нет данных");
        return;
    }
    auto when = [byHour](const QDate& date, const QTime& time) {
        return byHour ? date.toString(kDateFormat) + QLatin1Char(' ') + time.toString(kTimeFormat)
                      : date.toString(kDateFormat);
    };
    const QString begin = when(firstDate, firstTime), end = when(lastDate, lastTime);
    status.begin = begin;
    status.end = end;
    status.comment =
        begin == periodBegin_ && end == periodEnd_ ? QStringLiteral("норма") : QStringLiteral("мало данных");
}

SummaryPanelSizes loadSummaryPanelSizes(const DataRoot& root) {
    SummaryPanelSizes sizes;
    const auto lines = readTextLines(root.file(folder::Current, QStringLiteral("tr_gr.000")));
    if (!lines) return sizes;
    bool ok = false;
    if (const int h = lines->value(0).trimmed().toInt(&ok); ok && h > 0) sizes.statusHeight = h;
    if (const int h = lines->value(1).trimmed().toInt(&ok); ok && h > 0) sizes.totalsHeight = h;
    return sizes;
}

bool saveSummaryPanelSizes(const DataRoot& root, const SummaryPanelSizes& sizes) {
    return writeTextLines(root.file(folder::Current, QStringLiteral("tr_gr.000")),
                          {QString::number(sizes.statusHeight), QString::number(sizes.totalsHeight)});
}

QString runGroupSummary(GroupSummary& summary, const SummaryRequest& request) {
    if (QString refused = summary.open(request); !refused.isEmpty()) return refused;
    while (summary.step()) {
    }
    return summary.failure();
}

} // namespace tarn::polling
