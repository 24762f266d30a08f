#pragma once
// "МОДЕМ": the manual dial. The phone book's entries to choose from, "СОЕДИНЕНИЕ" (initialise, dial),
// the seconds until the connection, the modem's reply, "СТОП" (hang up) and "ВЫХОД". Once the call is up
// the window closes; the call is then held by the modem session.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "link/ModemSession.h"

#include <QDialog>

class QComboBox;
class QLineEdit;

namespace tarn::link {

class TModC final : public QDialog {
    Q_OBJECT
public:
    TModC(ModemSession& modem, const DataRoot& root, int languageIndex, Notifier& notifier,
          QWidget* parent = nullptr);
    QComboBox* phones() const { return phones_; }
    QLineEdit* replyField() const { return reply_; }
    QLineEdit* elapsedField() const { return elapsed_; }
    void connectCall();
    void stopCall();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showState();

    ModemSession& modem_;
    int language_;
    Notifier& notifier_;
    QComboBox* phones_;
    QLineEdit* reply_;
    QLineEdit* elapsed_;
};

// The phone book's entries a dial list offers: lines with a number once the comment and blanks are gone.
QStringList dialEntries(const QStringList& bookLines);

} // namespace tarn::link
