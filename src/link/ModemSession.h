#pragma once
// The modem in interactive use: the manual dial (initialise, 1.5 s later dial, count the seconds, read
// the reply) and, once the call is up, holding it: every frame sent reloads the hold countdown, and when
// it runs out — or the user hangs up — the call is dropped in order: the line quiet for the modem's
// guard time, "+++", 1.5 s later "ATH0", 1.5 s later the port re-opened. "NO CARRIER" on the line ends the
// connection at once. All waits come from the intervals below, so tests set them short.
#include "link/ExchangeEngine.h"
#include "link/LineHold.h"
#include "link/Transfer.h"

#include <QObject>

namespace tarn::link {

class LinkPort;
struct LinkSettings;

class ModemSession final : public QObject, public RawReceiver {
    Q_OBJECT
public:
    ModemSession(ExchangeEngine& engine, LinkPort& port, const LinkSettings& settings, int languageIndex);
    ~ModemSession() override;

    int initToDialMs = 1500;
    int secondMs = 1000;
    // The quiet line before "+++"; below 0, the modem's guard time read from the init string (S12, 1 s
    // unless set) with a margin: a "+++" inside the guard time is data to the modem, and the "ATH0" after
    // it would reach the corrector.
    int escapeGuardMs = -1;
    int escapeToHangUpMs = 1500;
    int hangUpToReopenMs = 1500;

    // "СОЕДИНЕНИЕ" with the chosen phone book entry. Empty when the dial started, else the message.
    QString dial(const QString& phoneEntry);
    // "СТОП": the reply cleared, the counting stopped, "ATH0" sent.
    void stop();
    // "СБРОС МОД", the hold countdown at 0, or leaving the program: drop the call in order.
    void drop();
    // A call holds the line from the dial until it has failed or been dropped (the port opened again),
    // so that a polling group falling due meanwhile waits.
    void setLineHold(LineHold* hold) { lineHold_ = hold; }
    bool holdingLine() const { return lineToken_.held(); }
    // The program is closing: no port re-opened after the drop.
    void setClosing(bool closing) { closing_ = closing; }

    bool counting() const { return counter_.isActive(); }
    int elapsedSeconds() const { return elapsed_; }
    const QString& reply() const { return reply_; }
    bool connected() const { return connected_; }
    bool droppingCall() const { return dropping_; }
    int holdLeft() const { return holdLeft_; }
    const QString& connectedTo() const { return phoneEntry_; }
    // The words of a connection, then the entry in double quotes.
    QString connectionLabel() const;

    void onRawBytes(const QByteArray& chunk) override;

signals:
    void changed();
    void connectedChanged(bool connected);

private:
    void sendText(const QByteArray& text);
    QString noticeText(ModemNotice notice) const;
    QString portFailedText() const;
    void onSecond();
    void onHoldSecond();
    void endConnection();
    void watchLine(const QByteArray& chunk);
    void sendEscape();
    int guardMs() const;

    ExchangeEngine& engine_;
    LinkPort& port_;
    const LinkSettings& settings_;
    int language_;
    LineClaim claim_;
    LineHold* lineHold_ = nullptr;
    LineHold::Token lineToken_;
    ClockTimer counter_{engine_.clock()};
    ClockTimer hold_{engine_.clock()};
    ClockTimer guard_{engine_.clock()};
    bool escapePending_ = false;
    QByteArray buffer_;
    QByteArray lastDial_;
    QByteArray tail_;
    QString reply_;
    QString phoneEntry_;
    int elapsed_ = 0;
    int holdLeft_ = 0;
    bool connected_ = false;
    bool dropping_ = false;
    bool closing_ = false;
};

} // namespace tarn::link
