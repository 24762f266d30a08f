#pragma once
// The link debugger "ОТЛАДЧИК RS-232": the send and receive panes of the link log and the options that
// shape its entries. The window only shows the log (LinkLog), which keeps its panes and options whether
// or not the window is open.
#include "link/LinkLog.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tarn::link {

class TDebug_RS final : public QDialog {
    Q_OBJECT
public:
    explicit TDebug_RS(LinkLog& log, QWidget* parent = nullptr);

    // "СБРОС ЭКРАНОВ".
    void ClearScreensClick();

    QPlainTextEdit* sendPane() const { return sendPane_; }
    QPlainTextEdit* receivePane() const { return receivePane_; }

private:
    struct RowBoxes {
        QCheckBox* hex;
        QCheckBox* chars;
        QCheckBox* time;
    };
    RowBoxes makeRow(LinkLogRow& row);
    void refreshPanes();

    LinkLog& log_;
    QPlainTextEdit* sendPane_;
    QPlainTextEdit* receivePane_;
    QLineEdit* bytesPerLine_ = nullptr;

public:
    // The LPT zone dump controls (the dump itself comes with the LPT loader).
    QLineEdit* firstZone = nullptr;
    QLineEdit* lastZone = nullptr;
    QPushButton* lptStart = nullptr;
    QPushButton* lptStop = nullptr;
};

} // namespace tarn::link
