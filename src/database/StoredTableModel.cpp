#include "database/StoredTableModel.h"

#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace tarn::database {

QString displayedValue(const QVariant& value, FieldType type) {
    const QString text = value.toString();
    switch (type) {
    case FieldType::Date: {
        const QDate d = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
        return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : text;
    }
    case FieldType::Time: {
        const QTime t = QTime::fromString(text, QStringLiteral("HH:mm:ss"));
        return t.isValid() ? t.toString(QStringLiteral("HH:mm")) : text;
    }
    case FieldType::Timestamp: {
        const QDateTime t = QDateTime::fromString(text, Qt::ISODate);
        return t.isValid() ? t.toString(QStringLiteral("dd.MM.yyyy HH:mm")) : text;
    }
    default:
        // A stored volume or meter reading reads in plain decimals: 100000, never "1e+05".
        if (value.typeId() == QMetaType::Double)
            return QString::number(value.toDouble(), 'f', QLocale::FloatingPointShortest);
        return text;
    }
}

StoredTableModel::StoredTableModel(QObject* parent) : QSqlQueryModel(parent) {}

StoredTableModel::~StoredTableModel() {
    release();
}

bool StoredTableModel::show(Storage& storage, const TableId& id) {
    release();
    error_.clear();
    // A missing table is created with its layout and seed record, as the writer would create it.
    Error why;
    table_ = storage.openTable(id, why);
    if (!table_) {
        error_ = why.detail;
        return false;
    }
    shown_ = id;
    kind_ = id.kind;
    fields_ = table_->fields();
    refresh();
    return error_.isEmpty();
}

void StoredTableModel::refresh() {
    if (!table_) return;
    auto query = table_->listing();
    if (!query) {
        error_ = table_->lastError();
        clear();
        return;
    }
    setQuery(std::move(*query));
    // A query the model cannot take (one that runs only forward) leaves the grid empty: said, not hidden.
    if (lastError().isValid()) error_ = lastError().text();
    for (qsizetype i = 0; i < fields_.size(); ++i)
        setHeaderData(static_cast<int>(i), Qt::Horizontal, fields_.at(i).name);
}

void StoredTableModel::release() {
    // The query goes first: it holds the table's connection, and even a cleared query keeps a result
    // made by the connection's driver, so it is replaced by one that belongs to no connection.
    clear();
    setQuery(QSqlQuery());
    table_.reset();
    shown_.reset();
}

QVariant StoredTableModel::value(int row, const QString& field) const {
    return record(row).value(field);
}

QVariant StoredTableModel::data(const QModelIndex& index, int role) const {
    const QVariant v = QSqlQueryModel::data(index, role);
    if (role != Qt::DisplayRole || index.column() >= fields_.size()) return v;
    return displayedValue(v, fields_.at(index.column()).type);
}

} // namespace tarn::database
