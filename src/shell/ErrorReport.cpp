#include "shell/ErrorReport.h"

namespace tarn::shell {

ErrorReport describeError(const std::exception& error) {
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
