#include "shell/ErrorReport.h"

namespace tarn::shell {

namespace {
// SQLite result codes (the low byte of an extended code is its primary code).
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteConstraint = 19;
constexpr int kSqliteNotADatabase = 26;
constexpr int kSqliteConstraintPrimaryKey = 1555;
constexpr int kSqliteConstraintUnique = 2067;
} // namespace

DatabaseError::DatabaseError(Kind kind, int code, const QString& message)
    : std::runtime_error(message.toStdString()), kind_(kind), code_(code), message_(message) {}

DatabaseError DatabaseError::fromSqlite(int code, const QString& message) {
    Kind kind = Kind::Other;
    switch (code & 0xFF) {
    case kSqliteBusy:
        kind = Kind::RowLocked;
        break;
    case kSqliteLocked:
        kind = Kind::TableLocked;
        break;
    case kSqliteCorrupt:
    case kSqliteNotADatabase:
        kind = Kind::NotADatabase;
        break;
    case kSqliteConstraint:
        // Only a repeated key is a key violation; other constraints are errors of their own.
        if (code == kSqliteConstraintUnique || code == kSqliteConstraintPrimaryKey) kind = Kind::UniqueKey;
        break;
    default:
        break;
    }
    return DatabaseError(kind, code, message);
}

ErrorReport describeError(const DatabaseError& error) {
    switch (error.kind()) {
    case DatabaseError::Kind::UniqueKey:
        return {QStringLiteral("Ошибка Key violation!")};
    case DatabaseError::Kind::RowLocked:
        return {QStringLiteral("Запись блокирована другим пользователем")};
    case DatabaseError::Kind::TableLocked:
        return {QStringLiteral("Таблица блокирована кем-то еще")};
    case DatabaseError::Kind::NotADatabase:
    case DatabaseError::Kind::Other:
        break;
    }
    const QString text = QStringLiteral("Ошибка BDE - \"") + error.message() +
                         QStringLiteral("\" код ошибки ") + QString::number(error.code()) +
                         QStringLiteral(" : $") +
                         QStringLiteral("%1").arg(error.code() & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper();
    return {text, error.kind() == DatabaseError::Kind::NotADatabase};
}

ErrorReport describeError(const std::exception& error) {
    if (const auto* db = dynamic_cast<const DatabaseError*>(&error)) return describeError(*db);
    return {QStringLiteral("Ошибка!: ") + QString::fromUtf8(error.what())};
}

ErrorReport describeUnknownError() {
    return {QStringLiteral("Ошибка!: ") + QStringLiteral("неизвестная ошибка")};
}

bool deliverGuarded(const std::function<bool()>& deliver,
                    const std::function<void(const ErrorReport&)>& report) {
    try {
        return deliver();
    } catch (const std::exception& error) {
        report(describeError(error));
    } catch (...) {
        report(describeUnknownError());
    }
    return false;
}

} // namespace tarn::shell
