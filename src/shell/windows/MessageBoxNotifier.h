#pragma once
#include "common/Notifier.h"

class QWidget;

namespace tarn::shell {

// Messages as the platform's standard message boxes, with a single OK button; questions Yes/No.
class MessageBoxNotifier final : public Notifier {
public:
    explicit MessageBoxNotifier(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void message(MessageKind kind, const QString& text) override;
    bool confirm(const QString& text) override;

private:
    QWidget* parent_;
};

} // namespace tarn::shell
