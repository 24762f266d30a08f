#include "database/Registry.h"

#include "common/TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <utility>

namespace tarn::database {

namespace {

constexpr int kSerialDigits = 5;
constexpr int kModelWidth = 11;
constexpr int kIdentifierWidth = 15;

// A text searched for inside a field: the user's % and _ are plain characters.
QString likeEscaped(QString text) {
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    text.replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return text;
}

QString fieldName(int position) {
    return defaultFields(TableKind::Registry).value(position - 1).name;
}

} // namespace

QString pointIdentifier(QChar family, const QString& versionString, bool olderFirmware,
                        const QString& serial) {
    QString letter;
    if (olderFirmware) letter = QStringLiteral("o");
    const QChar f = family;
    if (f == QLatin1Char('T')) letter = QStringLiteral("t");
    if (f == QLatin1Char('W')) letter = QStringLiteral("w");
    if (f == QLatin1Char('R') || f == QLatin1Char('F')) letter = QStringLiteral("R");
    if (f == QLatin1Char('r') || f == QLatin1Char('f')) letter = QStringLiteral("r");
    if (f == QLatin1Char('F')) letter = QStringLiteral("F");
    if (f == QLatin1Char('f')) letter = QStringLiteral("f");
    if ((f == QLatin1Char('R') || f == QLatin1Char('F')) && versionString.startsWith(QLatin1Char('R')))
        letter = QStringLiteral("S");
    if ((f == QLatin1Char('r') || f == QLatin1Char('f')) && versionString.startsWith(QLatin1Char('r')))
        letter = QStringLiteral("s");
    const QString digits = serial.trimmed();
    return letter + (digits.size() < kSerialDigits ? QStringLiteral("00000") : digits.left(kSerialDigits));
}

bool isPointIdentifier(const QString& text) {
    static const QRegularExpression kIdentifier(QStringLiteral("^[A-Za-z]?[0-9]{5}$"));
    return kIdentifier.match(text).hasMatch();
}

QString checkConfig(const PointConfig& c) {
    auto within = [](const QString& text, int low, int high) {
        bool ok = false;
        const int v = text.toInt(&ok);
        return ok && v >= low && v <= high;
    };
    static const QStringList kKinds{QStringLiteral("нет связи"), QStringLiteral("прямое соединение"),
                                    QStringLiteral("телефон")};
    static const QStringList kSpeeds{
        QStringLiteral("1200"),  QStringLiteral("2400"),  QStringLiteral("4800"),  QStringLiteral("9600"),
        QStringLiteral("19200"), QStringLiteral("38400"), QStringLiteral("57600"), QStringLiteral("115200")};
    static const QRegularExpression kPort(QStringLiteral("^COM([1-9]|1[0-9]|2[0-5])$"));
    static const QRegularExpression kFlags(QStringLiteral("^[01]{11}$"));
    if (!kKinds.contains(c[config::LinkKind])) return QStringLiteral("Не выбран \"Вид связи\"!!!");
    if (!kPort.match(c[config::Port]).hasMatch()) return QStringLiteral("порт: COM1 … COM25");
    if (!kSpeeds.contains(c[config::Speed])) return QStringLiteral("скорость: 1200 … 115200");
    if (!within(c[config::TimeoutMs], 300, 10000)) return QStringLiteral("ожидать ответ: 300 … 10000 мс");
    if (!within(c[config::BreakS], 1, 250)) return QStringLiteral("разрыв связи: 1 … 250 с");
    if (!within(c[config::Repeats], 1, 200)) return QStringLiteral("повторов обмена: 1 … 200");
    if (!within(c[config::WaitS], 10, 250)) return QStringLiteral("ожидать связь: 10 … 250 с");
    if (!within(c[config::PauseS], 1, 250)) return QStringLiteral("пауза повтора: 1 … 250 с");
    if (!within(c[config::ModemRepeats], 1, 200)) return QStringLiteral("повторов связи: 1 … 200");
    if (!kFlags.match(c[config::Flags]).hasMatch()) return QStringLiteral("флаги опроса: 11 знаков 0/1");
    // A modem dials what it is given: only what a dial string holds, and something when the link is
    // the telephone.
    const QString& phone = c[config::Phone];
    if (!phone.isEmpty() || c[config::LinkKind] == QStringLiteral("телефон"))
        if (const PhoneRefusal refused = checkPhoneNumber(phone); refused.refused())
            return phoneRefusalText(refused);
    for (const QString& v : c)
        if (v.size() > 32) return QStringLiteral("не более 32 знаков: ") + v;
    return {};
}

QString phoneRefusalText(const PhoneRefusal& refusal, int languageIndex) {
    if (!refusal.refused()) return {};
    const QString head =
        uaRu(languageIndex, "Неприпустимий номер телефону \"", "Недопустимый номер телефона \"") +
        refusal.number + QStringLiteral("\": ");
    if (refusal.kind == PhoneRefusalKind::NoDigits)
        return head + uaRu(languageIndex, "немає цифр номера", "нет цифр номера");
    const QChar c = refusal.character;
    // A control character would not show: its code is named instead.
    const QString shown = c.unicode() < 0x20
                              ? QStringLiteral("U+") + QString::number(static_cast<uint>(c.unicode()), 16)
                                                           .rightJustified(4, QLatin1Char('0'))
                                                           .toUpper()
                              : QStringLiteral("\"") + c + QLatin1Char('"');
    return head + QStringLiteral("символ ") + shown;
}

bool acceptPhoneField(const QString& number, Notifier& notifier, int languageIndex) {
    const QString refused = phoneRefusalText(checkPhoneField(number), languageIndex);
    if (!refused.isEmpty()) notifier.message(MessageKind::Error, refused);
    return refused.isEmpty();
}

bool Point::flag(int n) const {
    const QString& flags = config[config::Flags];
    return n >= 1 && n <= flags.size() && flags.at(n - 1) == QLatin1Char('1');
}

Registry::Registry(const DataRoot& root, const Schemas& schemas)
    : root_(root), ownStorage_(std::make_unique<SqliteStorage>(root, schemas)), storage_(*ownStorage_) {
    openTable();
}

Registry::Registry(const DataRoot& root, Storage& storage) : root_(root), storage_(storage) {
    openTable();
}

Registry::~Registry() = default;

void Registry::openTable() {
    Error why;
    table_ = storage_.openShared(TableKind::Registry, why);
    if (!table_) error_ = why.detail;
}

Point Registry::pointOf(const QVariantList& row) const {
    Point p;
    auto text = [&row](int position) { return row.value(position - 1).toString().trimmed(); };
    p.identifier = text(2);
    p.serial = text(3);
    p.model = text(4);
    p.created = QDateTime::fromString(text(5), Qt::ISODate);
    p.organisation = text(6);
    p.pipeline = text(7);
    p.address = row.value(7).toInt();
    for (int i = 0; i < kConfigValues; ++i)
        p.config[i] = text(kFirstConfigPosition + i);
    return p;
}

PointLookup Registry::find(const QString& identifier) const {
    if (!table_) return PointLookup::failed(error_);
    const auto rows = table_->trySelect(QStringLiteral("\"kIdentif\" = ?"), {identifier});
    if (!rows) return PointLookup::failed(table_->lastError());
    if (rows->isEmpty()) return PointLookup::notFound();
    return PointLookup::found(pointOf(rows->first()));
}

QList<Point> Registry::all() const {
    return search({});
}

QList<Point> Registry::search(const RegistrySearch& c) const {
    QList<Point> points;
    if (!table_) return points;
    QStringList where;
    QVariantList values;
    // The model as the user types it: the stored name carries the detection's padding.
    if (!c.model.trimmed().isEmpty()) {
        where.append(QStringLiteral("TRIM(\"kTypeQuon\") = ?"));
        values.append(c.model.trimmed());
    }
    if (c.serial.size() == kSerialDigits) {
        where.append(QStringLiteral("\"kSerialNum\" = ?"));
        values.append(c.serial);
    } else if (!c.serial.isEmpty()) {
        // A serial number typed without its leading zeros still matches.
        QStringList any;
        for (const char* zeros : {"", "0", "00", "000"}) {
            any.append(QStringLiteral("\"kSerialNum\" LIKE ? ESCAPE '\\'"));
            values.append(QString::fromLatin1(zeros) + likeEscaped(c.serial) + QLatin1Char('%'));
        }
        where.append(QLatin1Char('(') + any.join(QStringLiteral(" OR ")) + QLatin1Char(')'));
    }
    // Texts inside a field match in any letter case, Cyrillic as Latin. The engine's LIKE folds ASCII
    // only (and PostgreSQL's not at all), so the rows the bound conditions leave are folded here.
    const std::pair<QString, int> inside[] = {
        {c.organisation.toCaseFolded(), 6},
        {c.orgPhone.toCaseFolded(), kFirstConfigPosition + config::OrgPhone},
        {c.owner.toCaseFolded(), kFirstConfigPosition + config::Owner},
        {c.phone.toCaseFolded(), kFirstConfigPosition + config::Phone}};
    for (const QVariantList& row : table_->select(where.join(QStringLiteral(" AND ")), values)) {
        bool all = true;
        for (const auto& [text, position] : inside)
            if (!text.isEmpty() && !row.value(position - 1).toString().toCaseFolded().contains(text))
                all = false;
        if (all) points.append(pointOf(row));
    }
    return points;
}

QList<Point> Registry::matching(const QString& model, const QString& serial) const {
    QList<Point> points;
    if (!table_) return points;
    QStringList where;
    QVariantList values;
    for (const auto& [field, text] : {std::pair{"kTypeQuon", model}, std::pair{"kSerialNum", serial}}) {
        if (text.trimmed().isEmpty()) continue;
        where.append(QStringLiteral("TRIM(\"") + QLatin1String(field) + QStringLiteral("\") = ?"));
        values.append(text.trimmed());
    }
    for (const QVariantList& row : table_->select(where.join(QStringLiteral(" AND ")), values))
        points.append(pointOf(row));
    return points;
}

bool Registry::add(const Point& point, const QDateTime& now) {
    if (!table_) return false;
    QVariantMap row{{QStringLiteral("kIdentif"), point.identifier},
                    {QStringLiteral("kSerialNum"), point.serial},
                    {QStringLiteral("kTypeQuon"), point.model},
                    {QStringLiteral("kDateTime"), storedTimestamp(now)},
                    {QStringLiteral("kNameOrg"), point.organisation},
                    {QStringLiteral("kNameTube"), point.pipeline},
                    {QStringLiteral("kArdQuon"), point.address},
                    {QStringLiteral("kResultRS"), QStringLiteral("0")},
                    {QStringLiteral("kComment"), QStringLiteral("0")},
                    {QStringLiteral("kDateTimeRS"), storedTimestamp(noTimestamp())}};
    for (int i = 0; i < kConfigValues; ++i) {
        const QString value = i == config::Owner ? point.config[i].left(kOwnerWidth) : point.config[i];
        row.insert(fieldName(kFirstConfigPosition + i), value);
    }
    if (!table_->append(row)) {
        error_ = table_->lastError();
        return false;
    }
    // The point's own tables, each with its seed record.
    if (const Error why = storage_.createPointTables(point.identifier, now); why.failed()) {
        error_ = why.detail;
        return false;
    }
    return writePointList();
}

bool Registry::updateField(const QString& identifier, int position, const QString& text) {
    if (!table_) return false;
    const QString field = fieldName(position);
    if (field.isEmpty() || position <= 2) return false; // the number and the identifier stay
    const QString value = field == QLatin1String("kAddrOrg") ? text.left(kOwnerWidth) : text;
    if (!table_->update(QStringLiteral("kIdentif"), identifier, field, value)) {
        error_ = table_->lastError();
        return false;
    }
    return true;
}

bool Registry::updateFields(const QString& identifier, const QList<std::pair<int, QString>>& fields) {
    if (!table_) return false;
    if (fields.isEmpty()) return true;
    if (!table_->transaction()) {
        error_ = table_->lastError();
        return false;
    }
    for (const auto& [position, text] : fields)
        if (!updateField(identifier, position, text)) {
            table_->rollback();
            return false;
        }
    if (!table_->commit()) {
        error_ = table_->lastError();
        table_->rollback();
        return false;
    }
    return true;
}

int Registry::updateConfig(const QString& identifier, const PointConfig& config) {
    const auto stored = find(identifier);
    if (stored.failed()) {
        error_ = stored.error();
        return -1;
    }
    if (!stored) return 0;
    QList<std::pair<int, QString>> changed;
    for (int i = 0; i < kConfigValues; ++i) {
        const QString value = i == config::Owner ? config[i].left(kOwnerWidth) : config[i];
        if (value != stored->config[i]) changed.append({kFirstConfigPosition + i, value});
    }
    return updateFields(identifier, changed) ? static_cast<int>(changed.size()) : -1;
}

QStringList Registry::pollingList() const {
    QStringList lines;
    if (!table_) return lines;
    // Only the four fields a line shows, row by row in the order all() gives: the console lists every
    // point at each start, and a whole point of each row is ten times the reading.
    const QList<FieldSpec>& fields = table_->fields();
    QStringList named;
    auto place = [&](int position) {
        if (position < 1 || position > fields.size()) return -1; // read as no value, as pointOf reads it
        named.append(fields.at(position - 1).name);
        return static_cast<int>(named.size() - 1);
    };
    const int identifier = place(2);
    const int serial = place(3);
    const int model = place(4);
    const int owner = place(kFirstConfigPosition + config::Owner);
    const bool read = table_->forEachRow(named, {}, {}, {}, [&](const RowValues& row) {
        auto text = [&row](int at) { return row.value(at).toString().trimmed(); };
        lines.append(text(model).leftJustified(kModelWidth, QLatin1Char(' '), true) + QStringLiteral(" №") +
                     text(serial) + QStringLiteral("  ") +
                     text(owner).leftJustified(kOwnerWidth, QLatin1Char(' '), true) +
                     text(identifier).rightJustified(kIdentifierWidth));
        return true;
    });
    // A registry that cannot be read lists no point, as a failed selection gives none.
    if (!read) lines.clear();
    return lines;
}

bool Registry::writePointList() const {
    QStringList ids;
    for (const Point& p : all())
        ids.append(p.identifier);
    return writeTextLines(root_.file(folder::Current, QStringLiteral("SynCor.000")), ids);
}

QString openDatabaseAtStart(const DataRoot& root, const Schemas& schemas, const QDate& today) {
    SqliteStorage storage(root, schemas);
    return openDatabaseAtStart(root, storage, today);
}

QString openDatabaseAtStart(const DataRoot& root, Storage& storage, const QDate& today) {
    for (TableKind kind : {TableKind::Registry, TableKind::Gas, TableKind::Join}) {
        Error why;
        const TableId id{kind, {}, today};
        if (!storage.openTable(id, why)) return storage.location(id) + QStringLiteral(": ") + why.detail;
    }
    if (QFile::exists(root.file(folder::Current, QStringLiteral("SynCor.000")))) return {};
    const Registry registry(root, storage);
    if (!registry.ok()) return registry.error();
    if (!registry.writePointList())
        return QStringLiteral("cannot write ") + root.file(folder::Current, QStringLiteral("SynCor.000"));
    return {};
}

LastStoredSummary lastStoredSummary(const DataRoot& root, const Schemas& schemas, const QString& identifier) {
    SqliteStorage storage(root, schemas);
    return lastStoredSummary(storage, identifier);
}

LastStoredSummary lastStoredSummary(Storage& storage, const QString& identifier) {
    LastStoredSummary summary;
    if (!isPointIdentifier(identifier)) return summary;
    for (std::size_t k = 0; k < kLastStoredKinds.size(); ++k) {
        const TableKind kind = kLastStoredKinds[k];
        const auto table = storage.openExistingPoint(kind, identifier);
        if (!table) continue;
        const QString prefix(tableInfo(kind).fieldPrefix);
        const auto rows = table->selectGreatest(prefix + QStringLiteral("Num"));
        if (rows.isEmpty()) continue;
        const QVariantList& row = rows.first();
        auto value = [&](const char* base) {
            const int p = table->position(prefix + QLatin1String(base));
            return p < 0 ? QVariant() : row.value(p);
        };
        LastStored& last = summary[k];
        last.identifier = value("Identif").toString().trimmed();
        if (kind == TableKind::Measurement) {
            last.stamp = QDateTime::fromString(value("DateTime").toString(), Qt::ISODate);
            last.number = QStringLiteral("00000");
        } else {
            last.stamp = QDateTime::fromString(value("DT_Corr").toString(), Qt::ISODate);
            last.number = QStringLiteral("%1").arg(value("NumWrCor").toInt(), 5, 10, QLatin1Char('0'));
        }
        last.date = last.stamp.toString(QStringLiteral("dd.MM.yyyy"));
        last.time = last.stamp.toString(QStringLiteral("HH:mm"));
    }
    return summary;
}

QDateTime newestStoredStamp(Storage& storage, const QString& identifier) {
    return newestStoredStamps(storage, {identifier}).value(identifier);
}

QHash<QString, QDateTime> newestStoredStamps(Storage& storage, const QStringList& identifiers,
                                             const std::function<bool()>& stopped) {
    QStringList points;
    points.reserve(identifiers.size());
    for (const QString& identifier : identifiers)
        if (isPointIdentifier(identifier)) points.append(identifier);
    QHash<QString, QDateTime> newest;
    if (points.isEmpty()) return newest;
    for (const TableKind kind : kLastStoredKinds) {
        if (stopped && stopped()) break;
        const QString prefix(tableInfo(kind).fieldPrefix);
        // The stamp field lastStoredSummary reads for the kind, parsed the same way.
        const QString stampField = prefix + (kind == TableKind::Measurement ? QStringLiteral("DateTime")
                                                                            : QStringLiteral("DT_Corr"));
        const QHash<QString, QVariant> values =
            storage.greatestRowValues(kind, points, prefix + QStringLiteral("Num"), stampField, stopped);
        for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
            const QDateTime stamp = QDateTime::fromString(it.value().toString(), Qt::ISODate);
            if (!stamp.isValid()) continue;
            QDateTime& kept = newest[it.key()];
            if (!kept.isValid() || stamp > kept) kept = stamp;
        }
    }
    return newest;
}

QString Registry::erase(const QString& identifier, const std::function<void(int, int)>& progress) {
    FolderGroupFiles groups(root_);
    return erase(identifier, groups, progress);
}

QString Registry::erase(const QString& identifier, GroupFiles& groups,
                        const std::function<void(int, int)>& progress) {
    if (!table_ || !isPointIdentifier(identifier) || !find(identifier))
        return QStringLiteral("Ошибка!!! НЕ ОПРЕДЕЛЕН КОРРЕКТОР");
    // The tables, the parameter file, the groups, the registry row and the point list.
    constexpr int kSteps = 15;
    int step = 0;
    auto advance = [&] {
        if (progress) progress(++step, kSteps);
    };
    auto removeFile = [](const QString& path) { return !QFile::exists(path) || QFile::remove(path); };
    // The erase order of the tables: the archives, the measurement, the request log, the heat energy.
    static constexpr TableKind kErased[] = {
        TableKind::Hourly,     TableKind::Daily,     TableKind::Monthly,  TableKind::Interference,
        TableKind::Alarm,      TableKind::Operative, TableKind::Service,  TableKind::Measurement,
        TableKind::RequestLog, TableKind::HeatDay,   TableKind::HeatMonth};
    for (TableKind kind : kErased) {
        if (const Error why = storage_.erasePointTable(kind, identifier); why.failed())
            return QStringLiteral("Ошибка при удалении файла ") + why.detail;
        advance();
    }
    const QString param =
        root_.file(folder::Param, QStringLiteral("p_") + identifier + QStringLiteral(".000"));
    if (!removeFile(param)) return QStringLiteral("Ошибка при удалении файла  ") + param;
    advance();

    // Its member lines in every polling group: "3*" lines that end in the identifier. Every group
    // changed goes in one change, so that on a server the groups lose the point together; made from the
    // groups as they are then, so a group another workstation saves meanwhile is not written back as it
    // was.
    const auto withoutPoint = [&](const GroupFilesReader& current, QList<GroupFileChange>& changes) {
        changes.clear();
        Error unread;
        const auto list = current(kGroupListName, unread);
        if (!list) return Error(); // no list, no groups to leave
        for (const QString& line : textLinesOf(*list)) {
            const QString file = line.section(QLatin1Char('/'), 1, 1).trimmed();
            if (file.isEmpty()) continue;
            const auto bytes = current(file, unread);
            if (!bytes) continue;
            const QStringList lines = textLinesOf(*bytes);
            QStringList kept;
            for (const QString& l : lines) {
                QString tail = l.right(10);
                tail.remove(QLatin1Char(' '));
                if (l.startsWith(QLatin1String("3*")) && tail == identifier) continue;
                kept.append(l);
            }
            if (kept.size() != lines.size()) changes.append({file, textFileBytes(kept)});
        }
        return Error();
    };
    QString failedName;
    if (const Error why = groups.changeFromCurrent(withoutPoint, &failedName); why.failed())
        return QStringLiteral("Ошибка! при копировании файла ") +
               groups.location(failedName.isEmpty() ? QString(kGroupListName) : failedName) +
               (why.detail.isEmpty() ? QString() : QStringLiteral(" (") + why.detail + QLatin1Char(')'));
    advance();
    if (!table_->remove(QStringLiteral("kIdentif"), identifier)) return table_->lastError();
    advance();
    writePointList();
    advance();
    return {};
}

} // namespace tarn::database
