#include "shell/windows/TarnApplication.h"

#include <cstdio>

namespace tarn::shell {

TarnApplication::TarnApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TarnApplication::notify(QObject* receiver, QEvent* event) {
    return deliverGuarded([&] { return QApplication::notify(receiver, event); },
                          [this](const ErrorReport& r) { report(r); });
}

void TarnApplication::report(const ErrorReport& report) {
    // The message box runs its own loop; the handler that threw is already unwound.
    if (notifier_)
        notifier_->message(MessageKind::Error, report.text);
    else
        std::fprintf(stderr, "%s\n", report.text.toUtf8().constData());
}

} // namespace tarn::shell
