#pragma once
// The about box of the port scanner.
#include <QDialog>

class QLabel;
class QPushButton;

namespace tarn::portscan {

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(int languageIndex, QWidget* parent = nullptr);

    QLabel* title = nullptr;
    QLabel* software = nullptr;
    QLabel* version = nullptr;
    QLabel* systems = nullptr;
    QPushButton* ok = nullptr;

    // Sets the texts in the language (done 50 ms after the box opens).
    void setTexts();

protected:
    void showEvent(QShowEvent* event) override;

private:
    int language_;
};

} // namespace tarn::portscan
