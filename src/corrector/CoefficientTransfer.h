#pragma once
// A coefficient table read or written item by item. Each word goes out as its own item request through
// the item transfer (opRead count 6, or opWrite of the serial number and the 4 value bytes); after each
// answer a short pause lets the window show it before the next word goes (50 ms after a read, 150 ms
// after a write). A word that gets no valid answer, or that the corrector refuses, ends the sequence
// there: what was read so far stays read.
#include "common/Notifier.h"
#include "corrector/ItemTransfer.h"
#include "link/ExchangeEngine.h"

#include <QList>
#include <QObject>
#include <QTimer>

namespace tarn::corrector {

class CoefficientTransfer final : public QObject {
    Q_OBJECT
public:
    CoefficientTransfer(link::ExchangeEngine& engine, Notifier& notifier, QObject* parent = nullptr);
    ~CoefficientTransfer() override;

    // Reads the words in order. False when nothing is to be read or a sequence is already running.
    bool read(const QList<int>& words);
    // Writes each word's 4 value bytes under the corrector's serial number (its low 16 bits go out).
    bool write(const QList<int>& words, const QList<QByteArray>& values, quint32 serialNumber);
    // Nothing more is sent; an answer still on its way is let go.
    void stop();

    bool running() const { return running_; }
    bool writing() const { return write_; }
    // The word under way, or where the sequence stopped.
    int currentWord() const { return words_.value(position_); }

    int readPauseMs = 50;
    int writePauseMs = 150;

signals:
    // A word's 4 value bytes have come.
    void wordRead(int word, const QByteArray& value);
    // The corrector has accepted a word's value.
    void wordWritten(int word, const QByteArray& value);
    // A word's write goes out (the status label shows its item code and the cell text).
    void writingWord(int word, quint8 itemCode);
    // The sequence has ended: with every word, or stopped at currentWord().
    void finished(bool completed);

private:
    void sendCurrent();
    void next();
    void fail();

    link::ExchangeEngine& engine_;
    ItemTransfer item_;
    QTimer pause_;
    QList<int> words_;
    QList<QByteArray> values_;
    quint32 serial_ = 0;
    int position_ = 0;
    bool running_ = false;
    bool write_ = false;
};

} // namespace tarn::corrector
