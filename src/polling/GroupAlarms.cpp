#include "polling/GroupAlarms.h"
#include "polling/TextCells.h"

#include "common/Language.h"
#include "common/TextFile.h"
#include "corrector/TwoDigits.h"
#include "database/GroupQueries.h"
#include "polling/GroupMembers.h"
#include "reports/AlarmCodes.h"

namespace tarn::polling {

namespace {

using corrector::twoDigits;
using reports::kAlarmSituations;
using reports::kDayClosingSituation;

QString padded(const QString& text, int width) {
    return text.leftJustified(width, QLatin1Char(' '));
}

QString frameOf(const QString& line) {
    return QLatin1Char('|') + QString(std::max<qsizetype>(0, line.size() - 2), QLatin1Char('-')) +
           QLatin1Char('|');
}

} // namespace

bool AlarmMask::chosen(int situation) const {
    return situation >= 1 && situation <= kAlarmSituations && situation != kDayClosingSituation &&
           situations[situation - 1];
}

QList<int> AlarmMask::chosenSituations() const {
    QList<int> out;
    for (int s = 1; s <= kAlarmSituations; ++s)
        if (chosen(s)) out.append(s);
    return out;
}

AlarmMask defaultAlarmMask() {
    AlarmMask m;
    m.situations.fill(true);
    m.situations[kDayClosingSituation - 1] = false;
    return m;
}

QString alarmMaskPath(const DataRoot& root) {
    return root.file(folder::Current, QStringLiteral("mask_nhs.000"));
}

AlarmMask loadAlarmMask(const DataRoot& root) {
    const auto lines = readTextLines(alarmMaskPath(root));
    if (!lines) return defaultAlarmMask();
    AlarmMask m;
    m.fullList = lines->value(0).trimmed() == QLatin1String("1");
    m.legend = lines->value(1).trimmed() == QLatin1String("1");
    const QString bits = lines->value(2);
    if (bits.size() == kAlarmSituations)
        for (int s = 1; s <= kAlarmSituations; ++s)
            m.situations[s - 1] = s != kDayClosingSituation && bits.at(s - 1) == QLatin1Char('1');
    return m;
}

bool saveAlarmMask(const DataRoot& root, const AlarmMask& mask) {
    QString bits;
    for (int s = 1; s <= kAlarmSituations; ++s)
        bits += mask.chosen(s) ? QLatin1Char('1') : QLatin1Char('0');
    return writeTextLines(alarmMaskPath(root),
                          {mask.fullList ? QStringLiteral("1") : QStringLiteral("0"),
                           mask.legend ? QStringLiteral("1") : QStringLiteral("0"), bits});
}

QStringList alarmMaskChoices(int languageIndex) {
    QStringList out;
    for (int s = 1; s <= kAlarmSituations; ++s)
        if (s != kDayClosingSituation)
            out.append(twoDigits(s) + QLatin1Char(' ') +
                       reports::alarmName(s, languageIndex == kUkrainian, false));
    return out;
}

QStringList alarmNumberLegend(const AlarmMask& mask, int languageIndex) {
    QStringList out{uaRu(languageIndex, "           Номера аварійної ситуації в таблиці:",
                         "           Номера аварийной ситуации в таблице:")};
    for (int s : mask.chosenSituations()) {
        const QString name = reports::alarmName(s, languageIndex == kUkrainian, false);
        out.append(name + QString(std::max<qsizetype>(0, 53 - name.size()), QLatin1Char('.')) +
                   QStringLiteral(" - ") + twoDigits(s));
    }
    return out;
}

GroupAlarmTable groupAlarmTable(const DataRoot& root, database::Storage& storage, Notifier& notifier,
                                int languageIndex, const QString& groupName, const QDateTime& from,
                                const QDateTime& to, const AlarmMask& mask, const AlarmProgress& progress) {
    return groupAlarmTable(root, database::FolderGroupFiles(root), storage, notifier, languageIndex,
                           groupName, from, to, mask, progress);
}

GroupAlarmTable groupAlarmTable(const DataRoot& root, const database::GroupFiles& groups,
                                database::Storage& storage, Notifier& notifier, int languageIndex,
                                const QString& groupName, const QDateTime& from, const QDateTime& to,
                                const AlarmMask& mask, const AlarmProgress& progress) {
    GroupAlarmTable out;
    if (groupName.trimmed().isEmpty()) {
        out.refused = uaRu(languageIndex, "Не вибрано групу!!!", "Не выбрана группа!!!");
        return out;
    }
    if (!from.isValid() || !to.isValid() || from > to) {
        out.refused = uaRu(languageIndex, "ПОМИЛКА! ПОЧАТОК > КІНЦЯ", "ОШИБКА!!! НАЧАЛО > КОНЦА");
        return out;
    }
    const auto entry = findGroupByName(groups, groupName);
    if (!entry) {
        out.refused = uaRu(languageIndex, "НЕ ВИЗНАЧЕНА ГРУПА", "НЕ ОПРЕДЕЛЕНА ГРУППА");
        return out;
    }
    const database::Registry registry(root, storage);
    const QList<NumberedMember> members = registeredMembers(loadGroup(groups, entry->file), registry);
    const QList<int> chosen = mask.chosenSituations();

    if (mask.legend) out.lines += alarmNumberLegend(mask, languageIndex);
    QString header = padded(QStringLiteral("корректор"), 12) + padded(QStringLiteral(" N "), 6) +
                     padded(QStringLiteral("организация"), 25) + padded(QStringLiteral("ветка"), 15);
    for (int s : chosen)
        header += twoDigits(s);
    header += QLatin1Char('|');
    const QString frame = frameOf(header);
    out.lines << frame << header << frame;

    int written = 0;
    for (int i = 0; i < members.size(); ++i) {
        if (progress && !progress(i, static_cast<int>(members.size()))) {
            out.stopped = true;
            return out;
        }
        const database::Point& point = members.at(i).point;
        const auto parameters = loadMemberParameters(root, point.identifier, notifier, languageIndex);
        if (!parameters) {
            out.failure = missingParameterFileText(&point);
            out.stopped = true;
            notifier.message(MessageKind::Warning, out.failure);
            return out;
        }
        // The record's date and time lie in the period.
        const database::StoredRecords rows =
            database::recordsBetween(storage, database::TableKind::Alarm, point.identifier, from, to);
        const int cDate = rows.column("Date"), cCurrent = rows.column("CodeCur"),
                  cPrevious = rows.column("CodePrec");
        quint16 occurred = 0;
        for (const QVariantList& row : rows.rows) {
            if (!database::storedDateValue(row.value(cDate)).isValid()) continue;
            const uint current = row.value(cCurrent).toString().trimmed().toUInt(nullptr, 16);
            const uint previous = row.value(cPrevious).toString().trimmed().toUInt(nullptr, 16);
            occurred |= static_cast<quint16>(current | previous);
        }
        bool any = false;
        QString cells;
        for (int s : chosen) {
            const bool hit = (occurred & reports::alarmMask(s)) != 0;
            any = any || hit;
            cells += hit ? QStringLiteral("* ") : QStringLiteral("- ");
        }
        if (!mask.fullList && !any) continue;
        out.lines << padded(parameters->model, 12) + padded(parameters->serial, 6) +
                         cut(parameters->organisation, 25) + cut(parameters->pipeline, 15) + cells +
                         QLatin1Char('|')
                  << frame;
        ++written;
    }
    if (written == 0) out.lines << uaRu(languageIndex, " **записів не було**", " **записей не было**");
    return out;
}

} // namespace tarn::polling
