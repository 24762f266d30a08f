#include "shell/windows/MessageBoxNotifier.h"

#include <QApplication>
#include <QMessageBox>

namespace tarn::shell {

void MessageBoxNotifier::message(MessageKind kind, const QString& text) {
    const QString title = QApplication::applicationDisplayName();
    switch (kind) {
    case MessageKind::Error:
        QMessageBox::critical(parent_, title, text);
        break;
    case MessageKind::Warning:
        QMessageBox::warning(parent_, title, text);
        break;
    case MessageKind::Information:
        QMessageBox::information(parent_, title, text);
        break;
    }
}

bool MessageBoxNotifier::confirm(const QString& text) {
    return QMessageBox::question(parent_, QApplication::applicationDisplayName(), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

} // namespace tarn::shell
