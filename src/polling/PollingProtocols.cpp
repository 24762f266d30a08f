#include "polling/PollingProtocols.h"

#include "common/Language.h"
#include "corrector/SourceKind.h"
#include "polling/Groups.h"

namespace tarn::polling {

namespace {

using database::LogKind;
using database::Point;
using database::RequestLogEntry;

QString u(const char* text) {
    return QString::fromUtf8(text);
}

// Stored times as the protocols print them where no other form is asked for.
QString stampText(const QDateTime& t) {
    return t.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

QString withoutBlanks(QString text) {
    return text.remove(QLatin1Char(' '));
}

const QString kDitto = QStringLiteral("|-\"\"-    |-\"\"-            |-\"\"-    |-\"\"-            |");
const QString kDittoConnection = QStringLiteral("|-\"\"-               |-\"\"-               ");
constexpr int kRunHeaderLength = 72;

// The archive items of a storing run in the order of the polling flags, each with the request log's pair
// of records (none for the measurement).
struct ArchiveItem {
    PollItem item;
    std::optional<LogKind> pair;
};
const ArchiveItem kArchiveItems[] = {
    {PollItem::Hourly, LogKind::Hourly},       {PollItem::Daily, LogKind::Daily},
    {PollItem::Monthly, LogKind::Monthly},     {PollItem::Alarm, LogKind::Alarm},
    {PollItem::Operative, LogKind::Operative}, {PollItem::Interference, LogKind::Interference},
    {PollItem::Measurement, std::nullopt},     {PollItem::Service, LogKind::Service},
};

class Writer {
public:
    explicit Writer(const ProtocolOptions& o) : o_(o) {}

    int language() const { return o_.languageIndex; }

    // The per-point header of the report window's listings.
    void pointHeader(const Point& p) {
        lines << uaRu(language(), "коректор...... ", "корректор..... ") + p.model + QStringLiteral(" N") +
                     p.serial;
        lines << uaRu(language(), "організація... ", "организация... ") + p.organisation.leftJustified(32) +
                     uaRu(language(), " нитка...", " ветка...") + p.pipeline;
    }

    void selectionLines() {
        if (o_.object != ProtocolObject::Points || o_.currentOnly || !o_.filters.any()) return;
        static constexpr const char* kRu[] = {" - тип корректора      ",
                                              " - сер.ном. корректора ",
                                              " - организация         ",
                                              " - телефон организации ",
                                              " - владелец ",
                                              " - телефон корректора "};
        static constexpr const char* kUa[] = {" - тип коректора       ",
                                              " - сер.ном.коректора   ",
                                              " - організація         ",
                                              " - телефон організації ",
                                              " - власник ",
                                              " - телефон коректора "};
        lines << uaRu(language(), "протокол складений з селекцією :", "протокол составлен с селекцией : ");
        for (int f = 0; f < kPointFilters; ++f)
            if (o_.filters.on[f]) lines << uaRu(language(), kUa[f], kRu[f]) + o_.filters.text[f];
    }

    void groupLine(const QString& name) {
        lines << uaRu(language(), "група \"", "группа \"") + name + QStringLiteral("\" :");
    }

    bool stopped() {
        if (!wasStopped && o_.stop && o_.stop()) wasStopped = true;
        return wasStopped;
    }

    QStringList lines;
    bool wasStopped = false;

protected:
    const ProtocolOptions& o_;
};

// The points a protocol or list goes over, or why there are none to go over.
struct Selection {
    bool ok = false;
    QList<Point> points;
    QString groupName;
};

Selection selectPoints(const DataRoot& root, const database::Registry& registry, const ProtocolOptions& o) {
    Selection s;
    if (o.object == ProtocolObject::Group) {
        const database::FolderGroupFiles folder(root);
        const database::GroupFiles& groups = o.groups ? *o.groups : folder;
        const auto entry = findGroupIgnoringBlanks(groups, o.group);
        if (!entry) return s;
        s.groupName = entry->name.trimmed();
        s.points = registeredGroupMembers(groups, *entry, registry);
        s.ok = true;
        return s;
    }
    if (o.currentPoint) {
        const auto current = registry.find(*o.currentPoint);
        if (!current) return s;
        if (o.currentOnly) {
            s.points = {*current};
            s.ok = true;
            return s;
        }
    }
    // Stored model names carry the blanks the detection pads them with: the model is compared without
    // them, the other filters go to the registry's search.
    database::RegistrySearch search = o.filters.search();
    const QString model = search.model;
    search.model.clear();
    for (const Point& p : registry.search(search))
        if (model.isEmpty() || p.model.trimmed() == model) s.points.append(p);
    s.ok = true;
    return s;
}

class PollWriter final : public Writer {
public:
    explicit PollWriter(const PollProtocolOptions& o) : Writer(o), p_(o) {}

    void title() {
        QString text;
        const QString b = p_.from.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
        const QString e = p_.to.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
        if (!p_.window)
            text = p_.connections ? uaRu(language(), "Останнє з’єднання \"модем БД\"",
                                         "Последнее соединение \"модем БД\"")
                                  : uaRu(language(), "Останнє опитування ", "Последний опрос    ");
        else
            text = (p_.connections ? uaRu(language(), "З’єднання \"модем БД\" за время з ",
                                          "Cоед.\"модем БД\" за время c ")
                                   : uaRu(language(), "Опитування за час з ", "Опрос за время c ")) +
                   b + QStringLiteral(" по ") + e;
        lines << QStringLiteral("**ПРОТОКОЛ  - /") + text + QLatin1Char('/');
    }

    // --- storing runs ---

    void storingRuns(const QList<RequestLogEntry>& entries, const Point& point) {
        if (!entries.isEmpty()) {
            pointHeader(point);
            if (p_.window)
                for (const RequestLogEntry& e : entries)
                    runBlock(e);
            else
                runBlock(entries.last());
        }
        lines << QString(kRunHeaderLength, QLatin1Char('*'));
    }

    void runBlock(const RequestLogEntry& e) {
        ++runs;
        lines << QStringLiteral("** время зап. в БД : ") + stampText(e.stored);
        QString kind = QStringLiteral("** тип опроса      : ") + e.sourceText;
        if (e.source == corrector::sourceKindNumber(corrector::SourceKind::File))
            kind += QStringLiteral(" - \"") + e.fileName + QLatin1Char('"');
        lines << kind;
        bool anyArchive = false;
        for (const ArchiveItem& item : kArchiveItems)
            anyArchive = anyArchive || itemFlagged(e.asked, item.item);
        if (anyArchive) {
            const QString header =
                uaRu(language(), "|назва  опросу     |  зап.п.|д/в початок     |  зап.к.|д/в кiнец       |",
                     "|название опроса   |  зап.н.|д/в начало      |  зап.к.|д/в конец       |");
            lines << ruleFor(header) << header << ruleFor(header);
            for (const ArchiveItem& item : kArchiveItems) {
                if (!itemFlagged(e.asked, item.item)) continue;
                const bool stored = itemFlagged(e.storedItems, item.item);
                QString line = QLatin1Char('|') + itemFixedName(item.item);
                if (!item.pair) {
                    // The measurement has no records to count.
                    if (!stored) line += kDitto;
                } else if (stored) {
                    const RequestLogEntry::Pair& r = e.pairs[static_cast<std::size_t>(*item.pair)];
                    const QString form = QStringLiteral("dd.MM.yyyy HH:mm");
                    line += cell(QString::number(r.firstNumber), 8) + cell(r.first.toString(form), 16) +
                            cell(QString::number(r.lastNumber), 8) + cell(r.last.toString(form), 16) +
                            QLatin1Char('|');
                } else {
                    line += kDitto;
                }
                lines << line;
            }
            lines << ruleFor(header);
        }
        for (const auto& [item, when] :
             {std::pair{PollItem::Gas, e.gasChecked}, std::pair{PollItem::Clock, e.clockChecked}}) {
            if (!itemFlagged(e.asked, item)) continue;
            // A time only when the gas was written or the clock set: a check that changed nothing shows "--",
            // so the line never names a correction that did not happen.
            const bool done = itemFlagged(e.storedItems, item);
            lines << QLatin1Char('"') + itemFixedName(item) + QStringLiteral("\" - ") +
                         (done && when.isValid() ? stampText(when) : QStringLiteral("--")) +
                         QStringLiteral(" /время коррекции/");
        }
        if (!e.error.isEmpty() && e.error != QLatin1String("--"))
            lines << QStringLiteral("ошибка - \"") + e.error + QLatin1Char('"');
    }

    // --- modem connections ---

    QString connectionHeader() const {
        return uaRu(
            language(),
            "|прибор     |сер.н.|кол.з’єдн|д/в початок        |д/в кiнец          |вр.з’єдн|помилки        "
            "               |",
            "|прибор     |сер.н.|кол.соед.|д/в начало         |д/в конец          |вр.соед.|ошибки         "
            "               |");
    }

    void connectionsHeader() {
        const QString header = connectionHeader();
        lines << ruleFor(header) << header << ruleFor(header);
    }

    void connections(const QList<RequestLogEntry>& entries) {
        if (entries.isEmpty()) return;
        const QString form = QStringLiteral("dd.MM.yyyy HH:mm:ss");
        int count = 0;
        qint64 seconds = 0;
        const QList<RequestLogEntry> written = p_.window ? entries : QList<RequestLogEntry>{entries.last()};
        for (const RequestLogEntry& e : written) {
            ++count;
            ++totalCount_;
            seconds += e.connectionSeconds;
            totalSeconds_ += e.connectionSeconds;
            lines << cell(e.model, 11) + cell(e.serial, 6) + cell(QString::number(count), 9) +
                         cell(e.connectionBegin.toString(form), 19) +
                         cell(e.connectionEnd.toString(form), 19) +
                         cell(durationText(e.connectionSeconds), 8) + cell(e.error, 30) + QLatin1Char('|');
        }
        const QString rule = ruleFor(connectionHeader());
        lines << rule;
        if (p_.window) {
            const QString lastError =
                written.last().error.isEmpty() ? QStringLiteral("--") : written.last().error;
            lines << uaRu(language(), "|того прибор       ", "|итого прибор      ") +
                         cell(QString::number(count), 9) + kDittoConnection + cell(durationText(seconds), 8) +
                         cell(lastError, 30) + QLatin1Char('|');
            lines << rule;
        }
    }

    void connectionsTotal() {
        if (totalCount_ == 0) {
            lines << QStringLiteral("--------- в БД нет данных --------");
            return;
        }
        lines << uaRu(language(), "|того загальний    ", "|итог общий        ") +
                     cell(QString::number(totalCount_), 9) + kDittoConnection +
                     cell(durationText(totalSeconds_), 8) + cell(QStringLiteral("--"), 30) + QLatin1Char('|');
        lines << ruleFor(connectionHeader());
    }

    int runs = 0;

private:
    const PollProtocolOptions& p_;
    int totalCount_ = 0;
    qint64 totalSeconds_ = 0;
};

// --- the point lists ---

class ListWriter final : public Writer {
public:
    explicit ListWriter(const PointListOptions& o) : Writer(o), l_(o) {}

    void title() {
        QString what;
        switch (l_.object) {
        case ProtocolObject::Points:
            what = uaRu(language(), "/все коректора БД", "/все корректора БД");
            break;
        case ProtocolObject::Group:
            what = uaRu(language(), "/група коректорів", "/группа корректоров");
            break;
        case ProtocolObject::Gas:
            what = QStringLiteral("/газ");
            break;
        }
        lines << uaRu(language(), "**ПРОТОКОЛ  - /Перелік", "**ПРОТОКОЛ  - /Перечень") + what +
                     QLatin1Char('/');
    }

    void shortTable(const QList<Point>& points) {
        const QString first =
            uaRu(language(), "| н.п.|тип         |сер.  |організація                     |телефон     |",
                 "| н.п.|тип         |сер.  |организация                     |телефон     |");
        const QString second =
            uaRu(language(), "|     |приладу     |номер |                                |            |",
                 "|     |прибора     |номер |                                |            |");
        lines << ruleFor(first) << first << second << ruleFor(first);
        int number = 0;
        for (const Point& p : points) {
            if (stopped()) return;
            const QString row = cell(QString::number(++number), 5) + cell(p.model, 12) + cell(p.serial, 6) +
                                cell(p.organisation, 32) + cell(p.config[database::config::OrgPhone], 12) +
                                QLatin1Char('|');
            lines << row << ruleFor(row);
        }
    }

    void cards(const QList<Point>& points) {
        const QString rule = QString(75, QLatin1Char('-'));
        lines << rule;
        for (const Point& p : points) {
            if (stopped()) return;
            card(p);
            lines << rule;
        }
    }

    void card(const Point& p) {
        namespace c = database::config;
        auto pair = [](const QString& label1, const QString& value1, const QString& label2,
                       const QString& value2) { return label1 + value1.leftJustified(12) + label2 + value2; };
        const QString link = p.config[c::LinkKind];
        lines << pair(uaRu(language(), "тип приладу........... ", "тип прибора........... "), p.model,
                      uaRu(language(), "серійний номер........ ", "серийный номер........ "), p.serial);
        lines << uaRu(language(), "організація........... ", "организация........... ") + p.organisation;
        lines << uaRu(language(), "вітка................. ", "ветка................. ") + p.pipeline;
        lines << uaRu(language(), "адреса організації.... ", "адрес организации..... ") + p.config[c::Owner];
        lines << uaRu(language(), "телефон організації... ", "телефон организации... ") +
                     p.config[c::OrgPhone];
        // The password itself is never printed.
        lines << QStringLiteral("пароль................ ") +
                     (p.config[c::Password].isEmpty() ? QString() : QStringLiteral("XXXX"));
        lines << pair(uaRu(language(), "номер порту........... ", "номер порта........... "),
                      p.config[c::Port],
                      uaRu(language(), "вигляд зв’язку........ ", "вид связи............. "), link);
        lines << pair(uaRu(language(), "швидкість RS-232...... ", "скорость RS-232....... "),
                      p.config[c::Speed],
                      uaRu(language(), "адреса коректора...... ", "адрес корректора...... "),
                      QString::number(p.address));
        const bool phone = link == QStringLiteral("телефон");
        if (phone) {
            lines << pair(
                uaRu(language(), "розривши з’єднання.... ", "разрыв соединения..... "), p.config[c::BreakS],
                uaRu(language(), "повтор.запит кор...... ", "повтор.запрос корр.... "), p.config[c::Repeats]);
            lines << pair(uaRu(language(), "повтор.запит модему... ", "повтор запрос модема.. "),
                          p.config[c::ModemRepeats],
                          uaRu(language(), "стр.ініціалізації мод. ", "стр.инициализации мод. "),
                          p.config[c::InitString]);
            lines << pair(uaRu(language(), "телефон коректора..... ", "телефон корректора.... "),
                          p.config[c::Phone],
                          uaRu(language(), "чекати відповідь...... ", "ожидать ответ......... "),
                          p.config[c::TimeoutMs]);
        }
        if (phone || link == QStringLiteral("прямое соединение"))
            lines << QStringLiteral("газ................... ") + p.config[c::Gas];
        lines << uaRu(language(), "дата реєстрації в БД.. ", "дата регистрации в БД. ") +
                     stampText(p.created);
    }

    void gases(const QList<database::GasRecord>& records) {
        const QString rule = QString(40, QLatin1Char('-'));
        lines << rule;
        for (const database::GasRecord& g : records) {
            lines << uaRu(language(), "назва газу............", "название газа.........") + g.name;
            lines << uaRu(language(), "густина...............", "плотность.............") + g.density;
            lines << uaRu(language(), "концентрація CO2......", "концентрация CO2......") + g.co2;
            lines << uaRu(language(), "концентрація N2.......", "концентрация N2.......") + g.n2;
            lines << uaRu(language(), "дата реєстрації в БД..", "дата регистрации в БД.") +
                         stampText(g.registered);
            lines << rule;
        }
    }

private:
    const PointListOptions& l_;
};

const QString kNoRecords = QStringLiteral(" **записей не было**");

} // namespace

QString cell(const QString& text, int width) {
    return QLatin1Char('|') + text.leftJustified(width, QLatin1Char(' '), false);
}

QString ruleFor(const QString& line, QChar c) {
    return QString(line.size(), c);
}

QString durationText(qint64 seconds) {
    if (seconds < 0) seconds = 0;
    const qint64 hours = seconds / 3600;
    const qint64 minutes = (seconds - hours * 3600) / 60;
    const qint64 rest = seconds - hours * 3600 - minutes * 60;
    return QStringLiteral("%1:%2:%3")
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(rest, 2, 10, QLatin1Char('0'));
}

// --- the join table's views ------------------------------------------------------------------------------

QString exchangesNoDataText(int languageIndex) {
    return uaRu(languageIndex, "Немає даних", "Нет данных");
}

ExchangesView rowExchangesView(database::Storage& storage, const QDate& day, const ScheduleRow& row,
                               int languageIndex) {
    ExchangesView view;
    const QString status = row.status.trimmed();
    const QList<database::JoinRow> rows =
        status == QStringLiteral("норма") || status == QStringLiteral("ошибка")
            ? database::scheduleRowExchanges(storage, day, row.number)
            : QList<database::JoinRow>{};
    if (rows.isEmpty()) {
        view.error = exchangesNoDataText(languageIndex);
        return view;
    }
    view.lines.append({QStringLiteral("Группа \"") + row.group.trimmed() + QStringLiteral("\" / строка ") +
                           QString::number(row.number) + QStringLiteral("  / начало (") + row.begin +
                           QStringLiteral(") / конец (") + row.end + QStringLiteral(")/"),
                       LineColour::Blue});
    const QString header = cell(QStringLiteral("Время"), 8) + cell(QStringLiteral("Тип прибора"), 12) +
                           cell(QStringLiteral("№ приб."), 7) + cell(QStringLiteral("Результат"), 25) +
                           QLatin1Char('|');
    view.lines.append({ruleFor(header)});
    view.lines.append({header});
    view.lines.append({ruleFor(header)});
    for (const database::JoinRow& j : rows) {
        const QString result = j.result.trimmed();
        view.lines.append({cell(j.modified.toString(QStringLiteral("HH:mm:ss")), 8) +
                               cell(j.model.trimmed(), 12) + cell(j.serial.trimmed(), 7) + cell(result, 25) +
                               QLatin1Char('|'),
                           result == QStringLiteral("норма") ? LineColour::Black : LineColour::Red});
    }
    view.lines.append({ruleFor(header)});
    return view;
}

ExchangesView dayExchangesView(database::Storage& storage, const QDate& day, int languageIndex) {
    ExchangesView view;
    const QList<database::JoinRow> rows = database::dayExchanges(storage, day);
    if (rows.isEmpty()) {
        view.error = exchangesNoDataText(languageIndex);
        return view;
    }
    static constexpr const char* kModes[] = {"опр.выкл.", "опр.корр.", "опр.груп.", "опр.врем."};
    const QString header = cell(QStringLiteral("Время"), 8) + cell(QStringLiteral("Тип опрос"), 9) +
                           cell(QStringLiteral("№ стр."), 6) + cell(QStringLiteral("Тип прибора"), 12) +
                           cell(QStringLiteral("№ приб."), 7) + cell(QStringLiteral("Начало"), 6) +
                           cell(QStringLiteral("Конец"), 6) + cell(QStringLiteral("Результат"), 25) +
                           QLatin1Char('|');
    view.lines.append({ruleFor(header)});
    view.lines.append({header});
    view.lines.append({ruleFor(header)});
    const QString timeForm = QStringLiteral("HH:mm:ss");
    for (const database::JoinRow& j : rows) {
        const QString result = j.result.trimmed();
        const QString mode = j.mode >= 0 && j.mode <= 3 ? u(kModes[j.mode]) : QString::number(j.mode);
        view.lines.append({cell(j.modified.toString(timeForm), 8) + cell(mode, 9) +
                               cell(QString::number(j.scheduleRow), 6) + cell(j.model.trimmed(), 12) +
                               cell(j.serial.trimmed(), 7) + cell(j.begin.toString(timeForm).left(5), 6) +
                               cell(j.end.toString(timeForm).left(5), 6) + cell(result, 25) +
                               QLatin1Char('|'),
                           result == QStringLiteral("норма") ? LineColour::Black : LineColour::Red});
    }
    view.lines.append({ruleFor(header)});
    return view;
}

int nextPendingRow(const DaySchedule& schedule) {
    if (schedule.rows.isEmpty()) return -1;
    for (int r = 0; r < schedule.rows.size(); ++r)
        if (schedule.rows.at(r).status.trimmed() == QLatin1String("--")) return r;
    return 0;
}

// --- options ---------------------------------------------------------------------------------------------

void PointFilters::set(PointFilter f, const QString& value) {
    on[static_cast<std::size_t>(f)] = true;
    text[static_cast<std::size_t>(f)] = value;
}

bool PointFilters::any() const {
    for (bool b : on)
        if (b) return true;
    return false;
}

database::RegistrySearch PointFilters::search() const {
    database::RegistrySearch s;
    QString* fields[] = {&s.model, &s.serial, &s.organisation, &s.orgPhone, &s.owner, &s.phone};
    for (int f = 0; f < kPointFilters; ++f)
        if (on[f]) *fields[f] = text[f].trimmed();
    return s;
}

QString noInformationText(int languageIndex) {
    return uaRu(languageIndex, "В АРХІВІ НЕМАЄ ІНФОРМАЦІЇ", "В АРХИВЕ НЕТ ИНФОРМАЦИИ");
}

QString protocolTitleLine(bool poll, const ProtocolOptions& o, const database::Point* current,
                          const QDateTime& now) {
    QString object;
    switch (o.object) {
    case ProtocolObject::Points:
        object = QStringLiteral("кор.*");
        if (current) object += QLatin1Char(' ') + current->model + QStringLiteral(" N ") + current->serial;
        break;
    case ProtocolObject::Group:
        object = QStringLiteral("груп.*") + o.group.trimmed();
        break;
    case ProtocolObject::Gas:
        object = QStringLiteral("газ*");
        break;
    }
    const QString kind =
        poll ? uaRu(o.languageIndex, "*запит*", "*опрос*") : uaRu(o.languageIndex, "*перелік*", "*перечень*");
    return QLatin1Char('/') + object + kind + uaRu(o.languageIndex, " Складений:", " Составлен:") +
           now.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) + QLatin1Char('/');
}

std::optional<GroupEntry> findGroupIgnoringBlanks(const database::GroupFiles& groups, const QString& name) {
    const QString wanted = withoutBlanks(name);
    if (wanted.isEmpty()) return std::nullopt;
    for (const GroupEntry& e : loadGroupList(groups))
        if (withoutBlanks(e.name) == wanted) return e;
    return std::nullopt;
}

QList<database::Point> registeredGroupMembers(const database::GroupFiles& groups, const GroupEntry& entry,
                                              const database::Registry& registry) {
    QList<database::Point> out;
    for (const GroupMember& m : loadGroup(groups, entry.file).members) {
        if (!m.member) continue;
        if (const auto p = registry.find(withoutBlanks(m.line.right(10)))) out.append(*p);
    }
    return out;
}

// --- the poll protocol -----------------------------------------------------------------------------------

ProtocolText pollProtocol(const DataRoot& root, database::Storage& storage, const PollProtocolOptions& o) {
    ProtocolText out;
    const database::Registry registry(root, storage);
    const Selection s = o.object == ProtocolObject::Gas ? Selection{} : selectPoints(root, registry, o);
    // "Коррект" needs the window's current row (selectPoints looks it up), "Группа" a known group.
    if (!s.ok) {
        out.message = noInformationText(o.languageIndex);
        return out;
    }
    PollWriter w(o);
    w.title();
    w.selectionLines();
    if (o.object == ProtocolObject::Group) w.groupLine(s.groupName);
    database::RequestLogFilter filter;
    filter.source = o.connections ? QStringLiteral("модем БД") : o.pollType.trimmed();
    filter.window = o.window;
    filter.from = o.from;
    filter.to = o.to;
    if (o.connections) w.connectionsHeader();
    for (const Point& p : s.points) {
        if (w.stopped()) break;
        const QList<RequestLogEntry> entries = database::requestLogEntries(storage, p.identifier, filter);
        if (o.connections)
            w.connections(entries);
        else
            w.storingRuns(entries, p);
    }
    if (o.connections)
        w.connectionsTotal();
    else if (w.runs == 0)
        w.lines << kNoRecords;
    out.ready = true;
    out.stopped = w.wasStopped;
    out.lines = w.lines;
    return out;
}

// --- the point lists -------------------------------------------------------------------------------------

ProtocolText pointList(const DataRoot& root, database::Storage& storage, const PointListOptions& o) {
    ProtocolText out;
    out.message = noInformationText(o.languageIndex);
    ListWriter w(o);
    if (o.object == ProtocolObject::Gas) {
        const QList<database::GasRecord> records = database::gasRecords(storage);
        if (records.isEmpty()) return out;
        w.title();
        w.gases(records);
    } else {
        const database::Registry registry(root, storage);
        const Selection s = selectPoints(root, registry, o);
        if (!s.ok || (o.object == ProtocolObject::Points && s.points.isEmpty())) return out;
        w.title();
        w.selectionLines();
        if (o.object == ProtocolObject::Group) w.groupLine(s.groupName);
        if (o.full)
            w.cards(s.points);
        else
            w.shortTable(s.points);
        if (s.points.isEmpty()) w.lines << kNoRecords;
        out.stopped = w.wasStopped;
    }
    out.message.clear();
    out.ready = true;
    out.lines = w.lines;
    return out;
}

} // namespace tarn::polling
