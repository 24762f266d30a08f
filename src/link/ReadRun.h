#pragma once
// The read window's logic: it asks "ЧИТАТЬ ?", then reads the queued kinds one after the other through the
// exchange engine, with a gauge, "СТОП", Esc and "НЕТ". The engine tells it when a kind has ended.
#include "link/ExchangeConsumers.h"
#include "link/ExchangeEngine.h"
#include "link/LinkSettings.h"
#include "link/ReadQueue.h"

#include <QObject>
#include <QTimer>
#include <functional>

namespace tarn::link {

class ReadRun : public QObject, public ReadQueueConsumer {
    Q_OBJECT
public:
    enum class State { Closed, Asking, Running, Finished };

    struct Hooks {
        // Kind 1: the page-by-page parameter read from word 0.
        std::function<void()> startFullRead;
        // Archive kinds: the kind's reader starts its first request; false when there is no reader yet.
        std::function<bool(int kind)> startArchive;
        std::function<void()> stopItemTransfer;
        // The window has closed after a run; the data read go to the database from here.
        std::function<void(bool completed)> closed;
    };

    ReadRun(ExchangeEngine& engine, const LinkSettings& settings, QObject* parent = nullptr);
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

    // The engine's side.
    void setGaugeFull() override;
    void stepGauge() override;
    void markKindDone(int archiveKind) override;
    bool startNextPendingKind() override;
    void closeReadWindow() override;
    void startReadQueue() override;

signals:
    void changed();
    // The window is to close now.
    void closeRequested();

private:
    void startKind(int kind);
    void skipKind(int kind);
    void finishRun();
    void closeLater(int ms);

    ExchangeEngine& engine_;
    const LinkSettings& settings_;
    Hooks hooks_;
    ReadQueue queue_;
    State state_ = State::Closed;
    int language_ = 1;
    int gauge_ = 0;
    int gaugeMax_ = 1;
    QString label_;
    QList<int> completed_;
    bool stopped_ = false;
    QTimer startTimer_;
    QTimer closeTimer_;
    int nextKind_ = 0;
    int requestedKind_ = 0;
};

} // namespace tarn::link
