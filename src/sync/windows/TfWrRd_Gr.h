#pragma once
// A group's packages: "Группа - cохранить *.tbd" packs every member of the group chosen in the console,
// "Группа - открыть *.tbd" opens the ticked packages of a folder. The log winStep shows each point's lines
// in their colours; one point every 50 ms. F10 sets the stop flag; Escape sets it and closes the window.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "database/Storage.h"
#include "link/LinkSettings.h"
#include "sync/GroupPackages.h"

#include <QDialog>
#include <QTimer>
#include <memory>

class QListWidget;
class QPushButton;
class QTextEdit;
class QTreeView;
class QFileSystemModel;

namespace tarn::sync {

class TfWrRd_Gr final : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Save, Open };
    struct Input {
        DataRoot root;
        database::Storage* storage = nullptr; // the run's
        int language = kRussian;
        link::LinkSettings settings;
        QString groupName;   // save: the group
        QString startFolder; // open: the folder tree's root (the desktop when empty)
    };
    TfWrRd_Gr(Mode mode, Input input, Notifier& notifier, QWidget* parent = nullptr);

    // Open mode: lists the folder's packages, all ticked.
    void chooseFolder(const QString& folder);
    // "Открыть файлы  *.tbd" (open mode); the save run starts when the window is shown.
    bool startOpen();
    bool startSave();
    void stop() { stopFlag_ = true; }
    bool running() const { return timer_.isActive(); }
    // The points whose data arrived (open mode).
    QStringList openedPoints() const;

    QTextEdit* winStep() const { return winStep_; }
    QListWidget* packageList() const { return packages_; }
    QPushButton* openButton() const { return open_; }
    int stepIntervalMs = 50;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void log(const QString& line, LogColour colour);
    void tick();

    Mode mode_;
    Input input_;
    Notifier& notifier_;
    QTextEdit* winStep_;
    QTreeView* tree_ = nullptr;
    QFileSystemModel* files_ = nullptr;
    QListWidget* packages_ = nullptr;
    QPushButton* open_ = nullptr;
    QString folder_;
    QTimer timer_;
    std::unique_ptr<GroupSaveRun> save_;
    std::unique_ptr<GroupOpenRun> openRun_;
    bool stopFlag_ = false;
    bool started_ = false;
};

} // namespace tarn::sync
