#pragma once
// "ГРАФИК": the graph window (maximised). It builds the curves when it is first shown (the style and the
// picture quality read then) on a worker, asked every 150 records whether to go on, so that the window
// can be closed while a long period is drawn. Menu: "ПЕЧАТЬ", "ФАЙЛ" (the picture as JPEG), "МАСШТАБ" (the
// percentage scale, once, corrector graphs of kinds 1–5), "ВЫХОД" (closes a moment later). Check boxes:
// "Маркер" (value marks), "Прозр." (shown with the marks), "3D" (shows "Повор."), "Повор." (two scroll bars
// 0..360 turn and tilt the chart).
#include "common/BackgroundRun.h"
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "graphs/GraphPicture.h"

#include <QDialog>
#include <functional>

class QAction;
class QCheckBox;
class QPrinter;
class QScrollBar;
class QWidget;

namespace tarn::graphs {

class GraphPanel;

class TfGraf final : public QDialog {
    Q_OBJECT
public:
    // Builds the curves with the style read on showing; with absolute, the percentage scale over it.
    using Build = std::function<GraphPicture(const GraphStyle& style, const GraphPicture* absolute,
                                             const KeepGoing& keepGoing)>;
    struct Input {
        DataRoot root;
        int language = 2;
        Build build;
        // The file dialog of "ФАЙЛ" (folder Graph\, filter) and the printer choice of "ПЕЧАТЬ"; tests
        // put in their own.
        std::function<QString(const QString& folder, const QString& filter)> askSavePath;
        std::function<bool(QPrinter& printer)> choosePrinter;
        std::function<bool(int& quality)> askQuality;
    };
    TfGraf(Input input, Notifier& notifier, QWidget* parent = nullptr);

    // Starts building the curves (what showing the window does the first time); the picture is shown
    // when the build has ended (`built`).
    void buildGraph();
    // "МАСШТАБ": starts the percentage scale over the curves. False when it is not offered (any more).
    bool scaleToPercent();
    bool building() const { return run_.running(); }
    BackgroundRun& run() { return run_; }
    // "ФАЙЛ": the quality, the file, the overwrite question, the picture.
    bool savePicture();
    // The picture into the file as "ФАЙЛ" names it from the chosen name; asks before overwriting.
    bool savePictureAs(const QString& chosen, int quality);
    // "ПЕЧАТЬ".
    bool printGraph();
    bool printOn(QPrinter& printer);

    const GraphPicture& picture() const;
    GraphPanel* panel() const { return panel_; }
    QAction* scaleAction() const { return scale_; }
    QCheckBox* marksBox() const { return marks_; }
    QCheckBox* transparentBox() const { return transparent_; }
    QCheckBox* view3dBox() const { return view3d_; }
    QCheckBox* rotateBox() const { return rotate_; }
    QScrollBar* rotationBar() const { return rotation_; }
    QScrollBar* elevationBar() const { return elevation_; }
    QWidget* marksPanel() const { return marksPanel_; }
    const GraphStyle& style() const { return style_; }
    int quality() const { return quality_; }

    int closeDelayMs = 250; // "ВЫХОД"

signals:
    void built();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void resetMarks();
    void apply3d();
    void startBuild(const GraphPicture* absolute);
    void buildEnded();

    Input in_;
    Notifier& notifier_;
    GraphStyle style_;
    int quality_ = kDefaultJpegQuality;
    GraphPicture absolute_;
    bool built_ = false;
    bool closing_ = false;
    GraphPanel* panel_;
    QAction* scale_;
    QWidget* marksPanel_;
    QCheckBox* marks_;
    QCheckBox* transparent_;
    QCheckBox* view3d_;
    QCheckBox* rotate_;
    QScrollBar* rotation_;
    QScrollBar* elevation_;
    bool buildingPercent_ = false;
    GraphPicture result_; // the worker's, taken when the build has ended
    // Last: it goes first, so a build still going ends before the members it writes to.
    BackgroundRun run_;
};

} // namespace tarn::graphs
