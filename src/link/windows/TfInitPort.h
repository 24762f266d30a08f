#pragma once
// The small window that (re)opens the port: it shows the address, port and speed, opens the port 5 ms
// after it is shown and closes itself 250 ms later.
#include "link/LinkPort.h"
#include "link/LinkSettings.h"

#include <QDialog>

class QLabel;

namespace tarn::link {

class TfInitPort final : public QDialog {
    Q_OBJECT
public:
    TfInitPort(LinkPort& port, const LinkSettings& settings, int languageIndex, int corrAddress,
               QWidget* parent = nullptr);

    // ReinitPort: closes the port and shows the window modally, which opens it again. Does nothing
    // while the window is already showing. Returns whether the port is open afterwards.
    bool reinit();
    bool opened() const { return opened_; }

    // Shortened for tests.
    int openDelayMs = 5;
    int closeDelayMs = 250;

private:
    void Timer_Open();

    LinkPort& port_;
    const LinkSettings& settings_;
    int language_;
    int address_;
    QLabel* addressLabel_;
    QLabel* portLabel_;
    QLabel* speedLabel_;
    bool busy_ = false;
    bool opened_ = false;
};

} // namespace tarn::link
