#include "database/StoredTableModel.h"

#include "database/TableFile.h"

#include <QFileInfo>
#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <atomic>

namespace tarn::database {

namespace {

std::atomic<int> viewCounter{0};

QString quoted(const QString& identifier) {
    return QLatin1Char('"') + identifier + QLatin1Char('"');
}

// The field that carries the point's identifier (the gas table's is its name); the seed record has "0".
QString keyField(const QList<FieldSpec>& fields) {
    for (const FieldSpec& f : fields)
        if (f.name.mid(1) == QLatin1String("Identif") || f.name == QLatin1String("gNameGas")) return f.name;
    return {};
}

} // namespace

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

StoredTableModel::StoredTableModel(QObject* parent)
    : QSqlQueryModel(parent), connection_(QStringLiteral("tarn-view-%1").arg(++viewCounter)) {}

StoredTableModel::~StoredTableModel() {
    release();
}

bool StoredTableModel::show(const QString& path, TableKind kind, const QList<FieldSpec>& fields) {
    release();
    error_.clear();
    // The writer creates a missing file with its layout and seed record; the view only reads.
    if (!TableFile::open(path, kind, fields, &error_)) return false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            error_ = db.lastError().text();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connection_);
            return false;
        }
    }
    path_ = path;
    kind_ = kind;
    fields_ = fields;
    sql_ = QStringLiteral("SELECT * FROM ") + quoted(QFileInfo(path).completeBaseName());
    const QString key = keyField(fields);
    if (!key.isEmpty()) sql_ += QStringLiteral(" WHERE ") + quoted(key) + QStringLiteral(" <> '0'");
    sql_ += QStringLiteral(" ORDER BY ") + quoted(fields.first().name);
    refresh();
    return error_.isEmpty();
}

void StoredTableModel::refresh() {
    if (path_.isEmpty()) return;
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    if (!query.exec(sql_)) {
        error_ = query.lastError().text();
        clear();
        return;
    }
    setQuery(std::move(query));
    for (qsizetype i = 0; i < fields_.size(); ++i)
        setHeaderData(static_cast<int>(i), Qt::Horizontal, fields_.at(i).name);
}

void StoredTableModel::release() {
    // The query goes first: it holds the connection, and even a cleared query keeps a result made by the
    // connection's driver, so it is replaced by one that belongs to no connection.
    clear();
    setQuery(QSqlQuery());
    if (QSqlDatabase::contains(connection_)) {
        {
            QSqlDatabase db = QSqlDatabase::database(connection_, false);
            if (db.isOpen()) db.close();
        }
        QSqlDatabase::removeDatabase(connection_);
    }
    path_.clear();
    sql_.clear();
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
