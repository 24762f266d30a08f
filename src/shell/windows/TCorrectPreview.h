#pragma once
// The working window that "КОРРЕКТОР" opens until the full corrector window takes its place: it shows
// the link the program will use and opens the port. Closing it ends the program.
#include "shell/AppContext.h"

#include <QDialog>

class QLabel;

namespace tarn::shell {

class TCorrectPreview final : public QDialog {
    Q_OBJECT
public:
    TCorrectPreview(AppContext& ctx, QWidget* parent = nullptr);
    void refresh();

signals:
    void reinitRequested();

private:
    AppContext& ctx_;
    QLabel* status_;
};

} // namespace tarn::shell
