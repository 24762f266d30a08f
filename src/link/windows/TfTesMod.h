#pragma once
// "ИНИЦИАЛИЗАЦИЯ МОДЕМА": the modem terminal. The AT command book in a grid ("Пуск", "Команда",
// "Примечание": a click on "Пуск" sends the row's command), the "AT", "СИМ" and "HEX" fields, the line
// test, the sent and received panes, "Сохранить" and "Добавить" for the book.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "link/ModemTerminal.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;

namespace tarn::link {

// What the window says, on opening and in its status line, of a command book that is there but cannot be
// read: it shows no commands, and the file is left as it is.
QString unreadableAtBookText(int languageIndex, const QString& path);

class TfTesMod final : public QDialog {
    Q_OBJECT
public:
    TfTesMod(ModemTerminal& terminal, const DataRoot& root, int languageIndex, Notifier& notifier,
             QWidget* parent = nullptr);
    QTableWidget* book() const { return book_; }
    QPlainTextEdit* sentPane() const { return sent_; }
    QPlainTextEdit* receivedPane() const { return received_; }
    // Empty and hidden unless the command book could not be read.
    QLabel* statusLine() const { return status_; }
    // "Пуск" of a grid row: the row marked, its command sent, the grid waits 250 ms.
    void runRow(int row);
    bool saveBook();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showPanes();

    ModemTerminal& terminal_;
    DataRoot root_;
    int language_;
    Notifier& notifier_;
    QTableWidget* book_;
    QLabel* status_;
    QLineEdit* at_;
    QLineEdit* characters_;
    QLineEdit* hex_;
    QPlainTextEdit* sent_;
    QPlainTextEdit* received_;
};

} // namespace tarn::link
