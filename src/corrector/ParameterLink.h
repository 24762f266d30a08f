#pragma once
#include <QByteArray>
#include <QtGlobal>

namespace tarn::corrector {

// The requests of the corrector window. The engine sends them (one outstanding at a time) and reports
// the outcome through the window model's on* methods.
class ParameterLink {
public:
    virtual ~ParameterLink() = default;
    // opRead of one item: 6 bytes, 64 for text items.
    virtual void readItem(quint8 code, int count) = 0;
    // opWrite of one item; passwordOp marks a password entry (a refusal then names the password).
    virtual void writeItem(quint8 code, const QByteArray& data, bool passwordOp) = 0;
    // opPageRead of the 64 words from word.
    virtual void readPage(quint16 word) = 0;
    // opWrite at address 0 with 1E E1, one try.
    virtual void writeRestart() = 0;
};

} // namespace tarn::corrector
