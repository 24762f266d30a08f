#pragma once
// What the application's error handler tells the user about an error that reached the event loop:
// "Ошибка!: " and its message, Russian in both languages. The database layer reports its own failures
// where they happen and throws nothing, so no error here ends the program.
#include <QString>
#include <exception>
#include <functional>

namespace tarn::shell {

struct ErrorReport {
    QString text;
};

ErrorReport describeError(const std::exception& error);
// Something thrown that is not an exception at all.
ErrorReport describeUnknownError();

// Delivers an event (the application object's notify) and turns whatever is thrown out of it into a
// report instead of letting it end the program; false when it threw.
bool deliverGuarded(const std::function<bool()>& deliver,
                    const std::function<void(const ErrorReport&)>& report);

} // namespace tarn::shell
