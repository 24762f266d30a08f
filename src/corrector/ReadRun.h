#pragma once
// The read window's logic: it asks "ЧИТАТЬ ?", then reads the queued kinds one after the other, with a
// gauge, "СТОП", Esc and "НЕТ". Each kind is started through a hook (the session knows which transfer
// reads it) and reported back through kindEnded.
#include "corrector/ReadQueue.h"
#include "link/ExchangeEngine.h"
#include "link/LinkSettings.h"

#include <QObject>
#include <QTimer>
#include <functional>

namespace tarn::corrector {

class ReadRun : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Asking, Running, Finished };

    struct Hooks {
        // Starts the first request of the kind; false when the kind has no reader yet.
        std::function<bool(int kind)> startKind;
        // The window has closed after a run; the data read go to the database from here.
        std::function<void(bool completed)> closed;
    };

    ReadRun(link::ExchangeEngine& engine, const link::LinkSettings& settings, QObject* parent = nullptr);
    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }
    void setLanguage(int languageIndex) { language_ = languageIndex; }

    // OpenReadWindow: the question for the kind, buttons in their start state.
    void open(int kind);
    // "ДА" (or Enter while it is enabled).
    void yes();
    // "СТОП" (or Enter while running): the block in flight completes, then the queue ends.
    void stop();
    // Esc: the queue ends and the window closes 500 ms later.
    void escape();
    // "НЕТ": the queue ends and the window closes.
    void no();

    // The kind's transfer has ended: the next kind starts, or the run ends. A kind that failed (no link)
    // ends the run.
    void kindEnded(int kind, bool completed);
    // One more block of the kind is in.
    void stepGauge();
    // The blocks of the kind being started (the archive's pages).
    void setGaugeMax(int blocks);

    State state() const { return state_; }
    const ReadQueue& queue() const { return queue_; }
    bool yesEnabled() const { return state_ == State::Asking; }
    bool noEnabled() const { return state_ == State::Asking; }
    bool stopEnabled() const { return state_ == State::Running; }
    int gauge() const { return gauge_; }
    int gaugeMax() const { return gaugeMax_; }
    // The label of the kind being read (or asked for).
    QString label() const { return label_; }
    bool readToEmptyLine = true; // "ЧИТАТЬ ДО ПУСТОЙ СТРОКИ"
    // The kinds that ran to their end in this run, in order.
    const QList<int>& completedKinds() const { return completed_; }

    // Texts of the window.
    QString questionText() const;
    QString emptyLineText() const;
    QString yesText() const;
    QString noText() const;
    QString stopText() const;

    int startDelayMs = 200;
    int closeDelayMs = 200;
    int escapeCloseDelayMs = 500;

signals:
    void changed();
    // The window is to close now.
    void closeRequested();

private:
    void startQueue();
    bool startNextPendingKind();
    void startKind(int kind);
    void skipKind(int kind);
    void markKindDone(int kind);
    void setGaugeFull();
    void finishRun(bool completed);
    void closeLater(int ms);

    link::ExchangeEngine& engine_;
    const link::LinkSettings& settings_;
    Hooks hooks_;
    ReadQueue queue_;
    State state_ = State::Closed;
    int language_ = 1;
    int gauge_ = 0;
    int gaugeMax_ = 1;
    QString label_;
    QList<int> completed_;
    bool stopped_ = false;
    bool failed_ = false;
    ClockTimer startTimer_{engine_.clock()};
    ClockTimer closeTimer_{engine_.clock()};
    int nextKind_ = 0;
    int requestedKind_ = 0;
};

} // namespace tarn::corrector
