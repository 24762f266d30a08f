#pragma once
// The tables of the archive database and their layouts. Each table's field list is read at start from a
// schema file in Work\ (one field per line: the name in characters 5..24, the type code in 25..26, the
// width in 27..28); the program addresses fields by their position, so a file must declare exactly the
// fields below, in this order, with these types. A file that does not is a format error, never a
// silent shift of columns.
#include "common/DataRoot.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace tarn::database {

enum class TableKind {
    Registry,
    Hourly,
    Daily,
    Monthly,
    Interference,
    Alarm,
    Operative,
    Service,
    Measurement,
    Gas,
    RequestLog,
    Join,
    HeatDay,
    HeatMonth,
};
inline constexpr int kTableKinds = 14;

// The order in which the schema files are loaded.
inline constexpr std::array<TableKind, kTableKinds> kSchemaLoadOrder = {
    TableKind::Registry,    TableKind::Monthly,   TableKind::Hourly,       TableKind::Daily,
    TableKind::Alarm,       TableKind::Operative, TableKind::Interference, TableKind::Service,
    TableKind::Measurement, TableKind::Gas,       TableKind::RequestLog,   TableKind::Join,
    TableKind::HeatDay,     TableKind::HeatMonth};

struct TableInfo {
    TableKind kind;
    quint32 mask;       // the table's bit in open and close operations
    const char* folder; // under the data root; the join table adds a folder per month
    const char* name;   // the file's base name, or the prefix before the point identifier
    bool perPoint;      // one table per metering point
    QChar fieldPrefix;  // the one-letter prefix of every field name
    int fieldCount;
    const char* schemaFile; // in the Work folder
};
const TableInfo& tableInfo(TableKind kind);

// Where a table's file lies: Hour/h_<id>.db, Data/Bd_Quon.DB, Join/j_YYMM/j_YYMMDD.db, … The identifier
// counts only for per-point tables, the date only for the join table.
QString tablePath(const DataRoot& root, TableKind kind, const QString& identifier = {},
                  const QDate& today = QDate::currentDate());

enum class FieldType { AutoIncrement, Integer, Float, Currency, Text, Date, Time, Timestamp };

struct FieldSpec {
    QString name;
    FieldType type = FieldType::Text;
    int width = 0; // text fields only

    bool operator==(const FieldSpec&) const = default;
};

// The field of that name in any letter case, as the tables' engines take field names; nothing when none.
const FieldSpec* fieldNamed(const QList<FieldSpec>& fields, const QString& name);

// The type of a schema file's code ("+", "N", "F", "C", "A", "D", "T", "@"); nothing for another code.
std::optional<FieldType> fieldTypeOfCode(const QString& code);
QString codeOfFieldType(FieldType type);

// The fields the program relies on, in their order, with the widths the shipped schema files give.
QList<FieldSpec> defaultFields(TableKind kind);
// A schema file as the installation ships it (Windows-1251, CR LF is the writer's business).
QStringList schemaFileLines(TableKind kind);

struct SchemaLoad {
    bool ok = false;
    QList<FieldSpec> fields;
    QString error; // "ОШИБКА !!! ФОРМАТА ФАЙЛА : " or "ОШИБКА !!! ОТКРЫТИЯ ФАЙЛА : " and the file's name
};
// The fields a schema file declares, checked against the table's own list: every field there, in its
// place, with its type; nothing more.
SchemaLoad parseSchema(TableKind kind, const QStringList& lines, const QString& fileName);
SchemaLoad loadSchema(const DataRoot& root, TableKind kind);

// All fourteen schema files, in their load order; the first failure stops and says why.
struct Schemas {
    bool ok = false;
    QString error;
    std::array<QList<FieldSpec>, kTableKinds> fields;
    const QList<FieldSpec>& of(TableKind kind) const { return fields[static_cast<int>(kind)]; }
};
Schemas loadSchemas(const DataRoot& root);
// Writes the schema files that are missing (a new installation); false when one could not be written.
bool writeMissingSchemaFiles(const DataRoot& root);

} // namespace tarn::database
