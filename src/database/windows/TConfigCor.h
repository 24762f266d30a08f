#pragma once
// "Конфигуратор корректора": the sixteen polling settings of a metering point. In new-point mode it
// shows the corrector in hand and offers defaults; "СОХРАНИТЬ" needs a link kind; "ВЫХОД" or Esc leaves
// without saving. The telephone panel shows only for the link kind "телефон".
#include "common/Notifier.h"
#include "database/Registry.h"

#include <QDialog>
#include <array>

class QComboBox;
class QLineEdit;
class QWidget;

namespace tarn::database {

class TConfigCor final : public QDialog {
    Q_OBJECT
public:
    TConfigCor(const Point& point, const QStringList& gasNames, Notifier& notifier,
               QWidget* parent = nullptr);
    // The values as the form holds them (the owner kept to 32 characters).
    PointConfig config() const;
    QLineEdit* field(int value) const { return edits_[value]; }
    QComboBox* linkKind() const { return linkKind_; }
    QWidget* phonePanel() const { return phonePanel_; }
    // "СОХРАНИТЬ": true when the form was accepted; values out of their ranges are refused with what
    // does not fit, as the command line refuses them.
    bool save();

private:
    void showPhonePanel();

    Notifier& notifier_;
    std::array<QLineEdit*, kConfigValues> edits_{};
    QComboBox* linkKind_;
    QComboBox* gas_;
    QWidget* phonePanel_;
};

// The three link kinds, as the registry stores them.
QStringList linkKinds();

} // namespace tarn::database
