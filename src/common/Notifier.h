#pragma once
// One way for every message to reach the user: a message box in the windows, the console log during a
// polling run, stderr or JSON in the command-line tool. Texts arrive already in the current language.
#include <QString>

namespace tarn {

enum class MessageKind { Error, Warning, Information };

class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void message(MessageKind kind, const QString& text) = 0;
    // A Yes/No question; the caller acts only on yes. Unattended notifiers answer no.
    virtual bool confirm(const QString& text) = 0;
};

} // namespace tarn
