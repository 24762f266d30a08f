#pragma once
// What polling leaves in the database, as text for the operator: the exchanges of the day's join table
// (of one schedule row, or of the whole day), the poll protocol ("Опрос": per point, its storing runs or
// its modem connections from the request log) and the point lists ("Перечень": the registry rows in a
// short table or as cards, a group's members, the gas compositions). The report window writes the
// protocol and the lists into its work file after its title line; tarn-cli prints the same lines.
#include "common/DataRoot.h"
#include "database/GroupFiles.h"
#include "database/ProtocolQueries.h"
#include "database/Registry.h"
#include "polling/PollingRun.h"
#include "polling/Schedule.h"

#include <QDateTime>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

namespace tarn::polling {

// --- line primitives ---------------------------------------------------------------------------------

// "|" and the text padded with blanks to width; a longer text is not cut.
QString cell(const QString& text, int width);
// A run of the character as long as the line it frames.
QString ruleFor(const QString& line, QChar c = QLatin1Char('-'));
// Seconds as "HH:MM:SS", each part at least two digits (hours may run past 99).
QString durationText(qint64 seconds);

// --- the join table's views ----------------------------------------------------------------------------

struct ViewLine {
    QString text;
    LineColour colour = LineColour::Black;
};
struct ExchangesView {
    QString error; // "Немає даних" / "Нет данных": the view does not open
    QList<ViewLine> lines;
    bool ok() const { return error.isEmpty(); }
};
QString exchangesNoDataText(int languageIndex);

// The exchanges of one schedule row: only a row whose status is "норма" or "ошибка".
ExchangesView rowExchangesView(database::Storage& storage, const QDate& day, const ScheduleRow& row,
                               int languageIndex);
// Every point polled that day, in any mode.
ExchangesView dayExchangesView(database::Storage& storage, const QDate& day, int languageIndex);
// "Строка текущего опроса": the first row not polled yet ("--"), else the first row; -1 without rows.
int nextPendingRow(const DaySchedule& schedule);

// --- the poll protocol and the point lists --------------------------------------------------------------

enum class ProtocolObject { Points, Group, Gas }; // "Коррект", "Группа", "Газ"

// The report window's six search filters, in their order: "тип кор.", "сер.№", "орган.", "тел.орг.",
// "влад.", "тел.кор.". Only a ticked filter counts.
enum class PointFilter { Model, Serial, Organisation, OrgPhone, Owner, Phone };
inline constexpr int kPointFilters = 6;
struct PointFilters {
    std::array<bool, kPointFilters> on{};
    std::array<QString, kPointFilters> text;

    void set(PointFilter f, const QString& value);
    bool any() const;
    database::RegistrySearch search() const;
};

struct ProtocolOptions {
    ProtocolObject object = ProtocolObject::Points;
    int languageIndex = 1;
    PointFilters filters;
    // "Коррект" in the poll protocol: the report window's current registry row, which must be registered.
    // Left out: no such check (tarn-cli names its points itself).
    std::optional<QString> currentPoint;
    bool currentOnly = false; // the current point alone instead of the filters' selection
    QString group;            // "Группа": the group's name (blanks do not count)
    // Where "Группа" is looked for: the run's groups, which outlive the call; none: root's Group folder.
    const database::GroupFiles* groups = nullptr;
    // Asked before each point; true stops the protocol there (F10).
    std::function<bool()> stop;
};

struct PollProtocolOptions : ProtocolOptions {
    bool connections = false; // the modem connections ("модем БД") instead of the storing runs
    bool window = false;      // "Дата": every row stored within [from, to]; otherwise the latest only
    QDateTime from;
    QDateTime to;
    QString pollType; // "тип опроса" of the storing runs: "модем БД", "кабель БД", "ДТУ", "файл", "кабель"
};

struct PointListOptions : ProtocolOptions {
    bool full = false; // "Полный": a card per point; otherwise "Краткий", the short table
};

struct ProtocolText {
    bool ready = false; // false: nothing to write, message says why
    QString message;
    QStringList lines;
    bool stopped = false;
};

// "В АРХІВІ НЕМАЄ ІНФОРМАЦІЇ" / "В АРХИВЕ НЕТ ИНФОРМАЦИИ".
QString noInformationText(int languageIndex);

ProtocolText pollProtocol(const DataRoot& root, database::Storage& storage,
                          const PollProtocolOptions& options);
ProtocolText pointList(const DataRoot& root, database::Storage& storage, const PointListOptions& options);

// The work file's first line for a protocol or a list: "/" + object + "*опрос*" or "*перечень*" +
// " Составлен:" + now + "/". The object is "кор.* " + model + " N " + serial of the current point
// ("кор.*" without one), "груп.*" + the group's name, or "газ*".
QString protocolTitleLine(bool poll, const ProtocolOptions& options, const database::Point* current,
                          const QDateTime& now);

// The group of that name in the group list, blanks removed on both sides of the comparison; the
// registered members in file order (identifiers the registry does not know are left out).
std::optional<GroupEntry> findGroupIgnoringBlanks(const database::GroupFiles& groups, const QString& name);
QList<database::Point> registeredGroupMembers(const database::GroupFiles& groups, const GroupEntry& entry,
                                              const database::Registry& registry);

} // namespace tarn::polling
