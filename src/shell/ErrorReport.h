#pragma once
// What the application's error handler tells the user about an error that reached the event loop: a
// database error by its kind, anything else as "Ошибка!: " and its message. These texts are Russian in
// both languages. Only a database that is not one (or is damaged) ends the program, after its message.
#include <QString>
#include <functional>
#include <stdexcept>

namespace tarn::shell {

// An error of the database, carried up to the application's error handler.
class DatabaseError : public std::runtime_error {
public:
    enum class Kind {
        UniqueKey,    // a record with the same key is there already
        RowLocked,    // the database is busy: another user holds the record
        TableLocked,  // another user holds the table
        NotADatabase, // the file is not a database, or it is damaged
        Other,
    };
    DatabaseError(Kind kind, int code, const QString& message);
    // From the SQLite result code (primary or extended) and its message.
    static DatabaseError fromSqlite(int code, const QString& message);

    Kind kind() const { return kind_; }
    int code() const { return code_; }
    const QString& message() const { return message_; }

private:
    Kind kind_;
    int code_;
    QString message_;
};

struct ErrorReport {
    QString text;
    bool endsProgram = false;
};

ErrorReport describeError(const DatabaseError& error);
ErrorReport describeError(const std::exception& error);
// Something thrown that is not an exception at all.
ErrorReport describeUnknownError();

// Delivers an event (the application object's notify) and turns whatever is thrown out of it into a
// report instead of letting it end the program; false when it threw.
bool deliverGuarded(const std::function<bool()>& deliver,
                    const std::function<void(const ErrorReport&)>& report);

} // namespace tarn::shell
