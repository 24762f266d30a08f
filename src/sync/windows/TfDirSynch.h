#pragma once
// The synchronisation window: "д.син.- " and the master's folder, "д.раб.- " and this installation's, a
// gauge of the files copied, a bar that moves every 500 ms while it works, and "Стоп". It runs the rules
// of Work\SynDir.000 a file per event-loop turn and says at the end whether loading is to go on.
#include "common/Notifier.h"
#include "sync/FolderSync.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tarn::sync {

class TfDirSynch final : public QDialog {
    Q_OBJECT
public:
    TfDirSynch(const DataRoot& root, const QString& sourceFolder, int language, Notifier& notifier,
               QWidget* parent = nullptr);

    // Runs the synchronisation and returns whether the caller is to go on loading the database: yes after
    // a complete run, the user's answer after a stop or when the path holds no installation.
    bool runModal();
    // "Стоп".
    void stop() { sync_.stop(); }

    QLabel* sourceLabel() const { return source_; }
    QLabel* targetLabel() const { return target_; }
    QProgressBar* gauge() const { return gauge_; }
    QPushButton* stopButton() const { return stopButton_; }
    FolderSync& run() { return sync_; }
    int stepIntervalMs = 0;
    int barIntervalMs = 500;

private:
    void tick();
    void finish();

    FolderSync sync_;
    Notifier& notifier_;
    QLabel* source_;
    QLabel* target_;
    QProgressBar* gauge_;
    QProgressBar* bar_;
    QPushButton* stopButton_;
    QTimer steps_;
    QTimer barTimer_;
    bool goOn_ = true;
};

} // namespace tarn::sync
