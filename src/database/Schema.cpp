#include "database/Schema.h"

#include "common/TextFile.h"

#include <QDir>
#include <QFile>

namespace tarn::database {

namespace {

constexpr TableInfo kTables[kTableKinds] = {
    {TableKind::Registry, 1, "Data", "Bd_Quon.DB", false, QChar('k'), 27, "Bd_Quon.txt"},
    {TableKind::Hourly, 2, "Hour", "h_", true, QChar('h'), 25, "Bd_Hour.txt"},
    {TableKind::Daily, 4, "Day", "d_", true, QChar('d'), 27, "Bd_Day.txt"},
    {TableKind::Monthly, 8, "Mon", "m_", true, QChar('m'), 27, "Bd_Mon.txt"},
    {TableKind::Interference, 16, "Chang", "c_", true, QChar('c'), 15, "Bd_Chang.txt"},
    {TableKind::Alarm, 32, "Alarm", "a_", true, QChar('a'), 17, "Bd_Alarm.txt"},
    {TableKind::Operative, 64, "Oper", "o_", true, QChar('o'), 18, "Bd_Oper.txt"},
    {TableKind::Service, 128, "Spec", "s_", true, QChar('s'), 12, "Bd_Spec.txt"},
    {TableKind::Measurement, 256, "Meas", "i_", true, QChar('i'), 15, "Bd_Meas.txt"},
    {TableKind::Gas, 512, "Data", "Bd_Gas.DB", false, QChar('g'), 7, "Bd_Gas.txt"},
    {TableKind::RequestLog, 1024, "BookQ", "b_", true, QChar('b'), 47, "Bd_BookQ.txt"},
    {TableKind::Join, 2048, "Join", "j_", false, QChar('j'), 16, "Bd_Join.txt"},
    {TableKind::HeatDay, 4096, "Ed", "e_", true, QChar('e'), 12, "Bd_Ed.txt"},
    {TableKind::HeatMonth, 8192, "Em", "z_", true, QChar('z'), 12, "Bd_Em.txt"},
};

using T = FieldType;

struct Field {
    const char* name; // without the table's prefix
    FieldType type;
    int width;
};

// The five fields every per-point table starts with, and the three of tables that hold corrector records.
constexpr Field kCommon[] = {{"Num", T::AutoIncrement, 0},
                             {"Identif", T::Text, 10},
                             {"SerialNum", T::Text, 10},
                             {"TypeQuon", T::Text, 11},
                             {"DateTime", T::Timestamp, 0}};
constexpr Field kRecord[] = {{"NumWrCor", T::Integer, 0}, {"Date", T::Date, 0}, {"Time", T::Time, 0}};

constexpr Field kHourly[] = {
    {"Vwrk", T::Float, 0},        {"Vst", T::Float, 0},        {"Valwrk", T::Float, 0},
    {"Valst", T::Float, 0},       {"P", T::Float, 0},          {"T", T::Float, 0},
    {"Ksg", T::Float, 0},         {"Kkor", T::Float, 0},       {"Help", T::Text, 20},
    {"DT_Corr", T::Timestamp, 0}, {"Vwrk_alwrk", T::Float, 0}, {"Vst_alwrk", T::Float, 0},
    {"Flag", T::Text, 5},         {"fKgMPa", T::Text, 10},     {"fKgV", T::Text, 10},
    {"Gas", T::Text, 20},         {"Comment", T::Text, 40}};
constexpr Field kDaily[] = {
    {"Vwrk", T::Float, 0},       {"Vst", T::Float, 0},       {"Valwrk", T::Float, 0},
    {"Valst", T::Float, 0},      {"P", T::Float, 0},         {"T", T::Float, 0},
    {"Ksg", T::Float, 0},        {"Kkor", T::Float, 0},      {"Vmeter", T::Float, 0},
    {"Help", T::Text, 20},       {"OldData", T::Text, 40},   {"DT_Corr", T::Timestamp, 0},
    {"Vwrk_alwrk", T::Float, 0}, {"Vst_alwrk", T::Float, 0}, {"Flag", T::Text, 5},
    {"fKgMPa", T::Text, 10},     {"fKgV", T::Text, 10},      {"Gas", T::Text, 20},
    {"Comment", T::Text, 40}};
constexpr Field kAlarm[] = {{"CodeCur", T::Text, 8}, {"CodePrec", T::Text, 8},     {"Valwrk", T::Float, 0},
                            {"Valst", T::Float, 0},  {"DT_Corr", T::Timestamp, 0}, {"fKgMPa", T::Text, 10},
                            {"fKgV", T::Text, 10},   {"Gas", T::Text, 20},         {"Comment", T::Text, 40}};
constexpr Field kInterference[] = {
    {"Who", T::Text, 12},   {"NamePar", T::Text, 40},     {"ThereWas", T::Text, 30}, {"Became", T::Text, 30},
    {"P_hex", T::Text, 20}, {"DT_Corr", T::Timestamp, 0}, {"Comment", T::Text, 40}};
constexpr Field kOperative[] = {
    {"P", T::Float, 0},      {"T", T::Float, 0},           {"Kkor", T::Float, 0},   {"Qwrk", T::Float, 0},
    {"Vmeter", T::Float, 0}, {"DT_Corr", T::Timestamp, 0}, {"fKgMPa", T::Text, 10}, {"fKgV", T::Text, 10},
    {"Gas", T::Text, 20},    {"Comment", T::Text, 40}};
constexpr Field kService[] = {{"CodeCur", T::Text, 8},
                              {"CodePrec", T::Text, 8},
                              {"DT_Corr", T::Timestamp, 0},
                              {"Comment", T::Text, 40}};
constexpr Field kMeasurement[] = {{"P", T::Float, 0},       {"T", T::Float, 0},    {"Kkor", T::Float, 0},
                                  {"Ksg", T::Float, 0},     {"Qwrk", T::Float, 0}, {"Qstd", T::Float, 0},
                                  {"Battery", T::Float, 0}, {"Error", T::Text, 8}, {"fKgMPa", T::Text, 10},
                                  {"Comment", T::Text, 40}};
constexpr Field kHeatDay[] = {
    {"fE", T::Text, 10}, {"Ed", T::Float, 0}, {"DT_Corr", T::Timestamp, 0}, {"Comment", T::Text, 40}};
constexpr Field kHeatMonth[] = {
    {"fE", T::Text, 10}, {"Em", T::Float, 0}, {"DT_Corr", T::Timestamp, 0}, {"Comment", T::Text, 40}};
constexpr Field kRegistry[] = {{"Num", T::AutoIncrement, 0},
                               {"Identif", T::Text, 10},
                               {"SerialNum", T::Text, 10},
                               {"TypeQuon", T::Text, 11},
                               {"DateTime", T::Timestamp, 0},
                               {"NameOrg", T::Text, 32},
                               {"NameTube", T::Text, 32},
                               {"ArdQuon", T::Integer, 0},
                               {"AddrOrg", T::Text, 32},
                               {"TelOrg", T::Text, 20},
                               {"TyConnect", T::Text, 20},
                               {"NumPort", T::Text, 6},
                               {"Parole", T::Text, 10},
                               {"TelQuon", T::Text, 20},
                               {"SpeedRS", T::Text, 6},
                               {"TimeCorr", T::Integer, 0},
                               {"BreakConnect", T::Integer, 0},
                               {"RepOutCorr", T::Integer, 0},
                               {"TimeConnect", T::Integer, 0},
                               {"RepTaimOutMod", T::Integer, 0},
                               {"RepOutMod", T::Integer, 0},
                               {"LineInMod", T::Text, 40},
                               {"Gas", T::Text, 20},
                               {"FlagRdWrRS", T::Text, 20},
                               {"ResultRS", T::Text, 40},
                               {"Comment", T::Text, 40},
                               {"DateTimeRS", T::Timestamp, 0}};
constexpr Field kGas[] = {{"Num", T::AutoIncrement, 0}, {"DateTime", T::Timestamp, 0},
                          {"NameGas", T::Text, 20},     {"Den", T::Float, 0},
                          {"CO2", T::Float, 0},         {"N2", T::Float, 0},
                          {"Comment", T::Text, 40}};
constexpr Field kJoin[] = {
    {"Num", T::AutoIncrement, 0}, {"Group", T::Text, 40},     {"Identif", T::Text, 10},
    {"TypeQuon", T::Text, 11},    {"SerialNum", T::Text, 10}, {"DateTime", T::Timestamp, 0},
    {"nRegWrkCh", T::Integer, 0}, {"sRegWrkCh", T::Text, 40}, {"BegCh", T::Time, 0},
    {"EndCh", T::Time, 0},        {"NumStrT", T::Integer, 0}, {"FlagModif", T::Text, 2},
    {"DateModif", T::Time, 0},    {"Result", T::Text, 60},    {"IdJoin", T::Text, 2},
    {"Comment", T::Text, 40}};
constexpr Field kRequestLogHead[] = {{"Quest", T::Integer, 0},
                                     {"StrQuest", T::Text, 20},
                                     {"CurFlRdWr", T::Text, 20},
                                     {"CurFlWrBD", T::Text, 20},
                                     {"DT_Param", T::Timestamp, 0}};
constexpr const char* kRequestLogKinds[] = {"Hour", "Day", "Mon", "Chang", "Alarm", "Oper", "Spec"};
constexpr Field kRequestLogTail[] = {
    {"ContrWrGas", T::Timestamp, 0}, {"ContrWrTime", T::Timestamp, 0}, {"Meas", T::Timestamp, 0},
    {"TmBebConnM", T::Timestamp, 0}, {"TmEndConnM", T::Timestamp, 0},  {"TmConnect", T::Integer, 0},
    {"ErrConnect", T::Text, 60},     {"NameFile", T::Text, 80},        {"Comment", T::Text, 40}};

template <std::size_t N> void append(QList<FieldSpec>& list, QChar prefix, const Field (&fields)[N]) {
    for (const Field& f : fields)
        list.append({QString(prefix) + QString::fromLatin1(f.name), f.type, f.width});
}

QString formatError(const QString& fileName) {
    return QStringLiteral("ОШИБКА !!! ФОРМАТА ФАЙЛА : ") + fileName;
}

} // namespace

const TableInfo& tableInfo(TableKind kind) {
    return kTables[static_cast<int>(kind)];
}

QString tablePath(const DataRoot& root, TableKind kind, const QString& identifier, const QDate& today) {
    const TableInfo& t = tableInfo(kind);
    if (kind == TableKind::Join) {
        // Two digits each; a year of 100 or more is counted from 2000.
        const int year = today.year() >= 2000 ? today.year() - 2000 : today.year() % 100;
        const QString yymm = QStringLiteral("%1%2")
                                 .arg(year % 100, 2, 10, QLatin1Char('0'))
                                 .arg(today.month(), 2, 10, QLatin1Char('0'));
        const QString dd = QStringLiteral("%1").arg(today.day(), 2, 10, QLatin1Char('0'));
        return root.dir(t.folder) + QStringLiteral("/j_") + yymm + QStringLiteral("/j_") + yymm + dd +
               QStringLiteral(".db");
    }
    if (!t.perPoint) return root.file(t.folder, QString::fromLatin1(t.name));
    return root.file(t.folder, QString::fromLatin1(t.name) + identifier + QStringLiteral(".db"));
}

const FieldSpec* fieldNamed(const QList<FieldSpec>& fields, const QString& name) {
    for (const FieldSpec& f : fields)
        if (f.name.compare(name, Qt::CaseInsensitive) == 0) return &f;
    return nullptr;
}

std::optional<FieldType> fieldTypeOfCode(const QString& code) {
    if (code == QLatin1String("+")) return T::AutoIncrement;
    if (code == QLatin1String("N")) return T::Integer;
    if (code == QLatin1String("F")) return T::Float;
    if (code == QLatin1String("C")) return T::Currency;
    if (code == QLatin1String("A")) return T::Text;
    if (code == QLatin1String("D")) return T::Date;
    if (code == QLatin1String("T")) return T::Time;
    if (code == QLatin1String("@")) return T::Timestamp;
    return std::nullopt;
}

QString codeOfFieldType(FieldType type) {
    switch (type) {
    case T::AutoIncrement:
        return QStringLiteral("+");
    case T::Integer:
        return QStringLiteral("N");
    case T::Float:
        return QStringLiteral("F");
    case T::Currency:
        return QStringLiteral("C");
    case T::Text:
        return QStringLiteral("A");
    case T::Date:
        return QStringLiteral("D");
    case T::Time:
        return QStringLiteral("T");
    case T::Timestamp:
        return QStringLiteral("@");
    }
    return {};
}

QList<FieldSpec> defaultFields(TableKind kind) {
    const QChar p = tableInfo(kind).fieldPrefix;
    QList<FieldSpec> list;
    switch (kind) {
    case TableKind::Registry:
        append(list, p, kRegistry);
        break;
    case TableKind::Gas:
        append(list, p, kGas);
        break;
    case TableKind::Join:
        append(list, p, kJoin);
        break;
    case TableKind::Measurement:
        append(list, p, kCommon);
        append(list, p, kMeasurement);
        break;
    case TableKind::RequestLog:
        append(list, p, kCommon);
        append(list, p, kRequestLogHead);
        for (const char* k : kRequestLogKinds) {
            const QString kindName = QString::fromLatin1(k);
            list.append({QStringLiteral("bDbeg") + kindName, T::Timestamp, 0});
            list.append({QStringLiteral("bNbeg") + kindName, T::Integer, 0});
            list.append({QStringLiteral("bDend") + kindName, T::Timestamp, 0});
            list.append({QStringLiteral("bNend") + kindName, T::Integer, 0});
        }
        append(list, p, kRequestLogTail);
        break;
    default:
        append(list, p, kCommon);
        append(list, p, kRecord);
        switch (kind) {
        case TableKind::Hourly:
            append(list, p, kHourly);
            break;
        case TableKind::Daily:
        case TableKind::Monthly:
            append(list, p, kDaily);
            break;
        case TableKind::Alarm:
            append(list, p, kAlarm);
            break;
        case TableKind::Interference:
            append(list, p, kInterference);
            break;
        case TableKind::Operative:
            append(list, p, kOperative);
            break;
        case TableKind::Service:
            append(list, p, kService);
            break;
        case TableKind::HeatDay:
            append(list, p, kHeatDay);
            break;
        case TableKind::HeatMonth:
            append(list, p, kHeatMonth);
            break;
        default:
            break;
        }
        break;
    }
    return list;
}

QStringList schemaFileLines(TableKind kind) {
    QStringList lines;
    int number = 0;
    for (const FieldSpec& f : defaultFields(kind)) {
        // Characters 1..4 are not read: the field's number keeps the file readable.
        QString line = QStringLiteral("%1 ").arg(++number, 3);
        line += f.name.leftJustified(20, QLatin1Char(' '), true);
        line += codeOfFieldType(f.type).leftJustified(2);
        if (f.type == T::Text) line += QStringLiteral("%1").arg(f.width, 2);
        lines.append(line);
    }
    return lines;
}

SchemaLoad parseSchema(TableKind kind, const QStringList& lines, const QString& fileName) {
    SchemaLoad r;
    const QList<FieldSpec> expected = defaultFields(kind);
    auto squeeze = [](QString s) { return s.remove(QLatin1Char(' ')); };
    for (const QString& line : lines) {
        if (line.trimmed().isEmpty()) continue;
        const QString name = squeeze(line.mid(4, 20));
        const auto type = fieldTypeOfCode(squeeze(line.mid(24, 2)));
        bool widthOk = false;
        const int width = squeeze(line.mid(26, 2)).toInt(&widthOk);
        const qsizetype at = r.fields.size();
        // A field in another place, of another type, one too many or a text without its width would
        // shift what the program writes into the wrong columns.
        if (at >= expected.size() || !type || *type != expected.at(at).type ||
            name.compare(expected.at(at).name, Qt::CaseInsensitive) != 0 ||
            (*type == T::Text && (!widthOk || width < 1))) {
            r.error = formatError(fileName);
            return r;
        }
        r.fields.append({expected.at(at).name, *type, *type == T::Text ? width : 0});
    }
    if (r.fields.size() != expected.size()) {
        r.error = formatError(fileName);
        r.fields.clear();
        return r;
    }
    r.ok = true;
    return r;
}

SchemaLoad loadSchema(const DataRoot& root, TableKind kind) {
    const QString name = QString::fromLatin1(tableInfo(kind).schemaFile);
    const auto lines = readTextLines(root.file(folder::Work, name));
    if (!lines) {
        SchemaLoad r;
        r.error = QStringLiteral("ОШИБКА !!! ОТКРЫТИЯ ФАЙЛА : ") + name;
        return r;
    }
    return parseSchema(kind, *lines, name);
}

Schemas loadSchemas(const DataRoot& root) {
    Schemas s;
    for (TableKind kind : kSchemaLoadOrder) {
        SchemaLoad l = loadSchema(root, kind);
        if (!l.ok) {
            s.error = l.error;
            return s;
        }
        s.fields[static_cast<int>(kind)] = l.fields;
    }
    s.ok = true;
    return s;
}

bool writeMissingSchemaFiles(const DataRoot& root) {
    bool ok = true;
    for (TableKind kind : kSchemaLoadOrder) {
        const QString path = root.file(folder::Work, QString::fromLatin1(tableInfo(kind).schemaFile));
        if (QFile::exists(path)) continue;
        ok = writeTextLines(path, schemaFileLines(kind)) && ok;
    }
    return ok;
}

} // namespace tarn::database
