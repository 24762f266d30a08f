#pragma once
// One corrector session: the corrector window's model, its bridge to the exchange engine, the operation
// start and the read run, wired together. The window and tarn-cli each make one; they differ only in how
// the port window, the identification window and the read window appear (Ui). The session owns the
// model as its presenter; what the session has read is reading(), for those that only take the data.
#include "corrector/EngineParameterLink.h"
#include "corrector/OperationStart.h"
#include "corrector/ReadRun.h"
#include "link/LineHold.h"

#include <QDateTime>
#include <functional>
#include <memory>
#include <optional>

namespace tarn::corrector {

// The block a read kind is read from, for the kinds read whole; nothing for the others.
std::optional<BlockAddress> blockOfKind(int kind);

class CorrectorWindowModel;
struct Reading;

class CorrectorSession : public QObject {
    Q_OBJECT
public:
    struct Ui {
        // ReinitPort (the port window in the program).
        std::function<bool()> reinitPort;
        // OpenReadWindow: the read window for the kind (modal in the program; answered "ДА" in the CLI).
        std::function<void(int kind)> openReadWindow;
        std::function<void()> identificationShown;
        std::function<void()> identificationClosed;
        // Operations 13..16 (the coefficient windows).
        std::function<void(int code)> runDirect;
    };

    CorrectorSession(link::ExchangeEngine& engine, link::LinkPort& port, link::LinkSettings& settings,
                     Notifier& notifier, OperationStart& gate, ReadRun& readRun, int languageIndex,
                     QObject* parent = nullptr);
    ~CorrectorSession() override;

    void setUi(Ui ui) { ui_ = std::move(ui); }
    CorrectorWindowModel& model() { return *model_; }
    const Reading& reading() const;
    EngineParameterLink& link() { return link_; }
    OperationStart& gate() { return gate_; }
    ReadRun& readRun() { return readRun_; }

    // StartOperation from the corrector window's menu.
    OperationStart::StartResult startOperation(int code);
    // "ДА" of the selective reading window: the last days of the hourly and daily archives, then the
    // monthly, abnormal-situation and interference archives.
    OperationStart::StartResult startSelectiveRead(int days);
    bool selectiveMode() const { return selectiveDays_ > 0; }
    // The clock of the selective plan (tests set their own).
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    // What each operation does once the corrector is identified.
    void runOperation(int code);
    // The coefficient window open now runs operations 13..16 (its reads and writes) when the operation
    // start lets them through; an empty function when none is open.
    void setCoefficientRunner(std::function<void(int code)> run) { coefficientRunner_ = std::move(run); }

    // The user's operations started here hold the line from their start to their end (identification
    // refused or stopped, the read window closed, a coefficient transfer ended), so that a polling group
    // falling due meanwhile waits. The window and tarn-cli give the application's hold; none: no holding.
    void setLineHold(link::LineHold* hold) { lineHold_ = hold; }
    bool holdingLine() const { return hold_.held(); }
    // A coefficient window's read or write has ended, however it ended.
    void operationEnded() { hold_.release(); }

signals:
    // The read window has closed after a run (completed or not).
    void readRunClosed(bool completed);

private:
    bool startKind(int kind);
    void endSelectiveMode();
    void runDirect(int code);

    link::ExchangeEngine& engine_;
    link::LinkPort& port_;
    link::LinkSettings& settings_;
    OperationStart& gate_;
    ReadRun& readRun_;
    Notifier& notifier_;
    EngineParameterLink link_;
    std::unique_ptr<CorrectorWindowModel> model_;
    Ui ui_;
    std::function<void(int code)> coefficientRunner_;
    int selectiveDays_ = 0; // the days of a selective read under way; 0 otherwise
    link::LineHold* lineHold_ = nullptr;
    link::LineHold::Token hold_;
};

} // namespace tarn::corrector
