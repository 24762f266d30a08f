#pragma once
// The program's application object: an error that reaches the event loop is shown to the user and the
// program goes on, instead of ending it silently.
#include "common/Notifier.h"
#include "shell/ErrorReport.h"

#include <QApplication>

namespace tarn::shell {

class TarnApplication final : public QApplication {
    Q_OBJECT
public:
    TarnApplication(int& argc, char** argv);
    // Where the messages go (the program's notifier, once there is one); nothing shown before.
    void setNotifier(Notifier* notifier) { notifier_ = notifier; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    void report(const ErrorReport& report);
    Notifier* notifier_ = nullptr;
};

} // namespace tarn::shell
