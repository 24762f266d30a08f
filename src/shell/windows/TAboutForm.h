#pragma once
#include <QDialog>

namespace tarn::shell {

// The about box: program, version, contacts. "ТАК" / "ДА", Enter or Esc closes it; the e-mail and web
// labels open what their hints hold.
class TAboutForm final : public QDialog {
    Q_OBJECT
public:
    TAboutForm(int languageIndex, QWidget* parent = nullptr);
};

} // namespace tarn::shell
