#pragma once
// The single-zone transfer unit on the parallel port: reading its copy of a corrector into a reading,
// and its write-and-read-back test. Both run one step at a time (a page, a line), so a window can
// show progress, let events run and stop between steps; the pauses are the window's.
#include "transfer/LptBus.h"
#include "transfer/ZoneImage.h"

#include <QString>
#include <memory>
#include <optional>

namespace tarn::corrector {
struct Reading;
}

namespace tarn::transfer {

inline constexpr int kLptImageBytes = kLptChips * kChipBytes; // the gauge of a read

class LptImageRead {
public:
    LptImageRead(LptBus& bus, corrector::Reading& reading, int languageIndex);
    ~LptImageRead();
    // The bus reset, then the identification and parameter area from chip 3: the message when the copy
    // cannot be taken ("Читайте ДТУ-1 программой QuonR", "ошибка контрольной суммы!!!", "Ошибка обмена
    // по LPT"); nothing when the archive pages may follow.
    std::optional<QString> begin();
    // One page through its archive's decoder (a page the decoder refuses is read again after a bus
    // reset). False when the read has ended: complete(), or failed with message().
    bool step();
    bool complete() const { return complete_; }
    const QString& message() const { return message_; }
    int bytesDone() const { return page_ * 256; }
    const QList<int>& kindsRead() const { return kinds_; }
    // The copy's parameters went into the reading (clearing it first), whether or not they were accepted.
    bool readingTouched() const { return touched_; }

private:
    LptBus& bus_;
    corrector::Reading& reading_;
    int lang_;
    bool touched_ = false;
    std::unique_ptr<ArchivePageWalk> walk_;
    int page_ = 0;
    int passes_ = 0;
    bool complete_ = false;
    QString message_;
    QList<int> kinds_;
};

enum class LptPattern { Address, Zeros, Ones };

// The 64 bytes written to a line: 32 words high byte first — a counter running on from word to word, or
// all zero bytes, or all 0xFF bytes.
QByteArray lptTestLine(LptPattern pattern, int firstWord);

// The pause after a write when nothing else says ("Тайм-аут по записи" follows the link settings' write
// time-out where there is one).
inline constexpr int kLptDefaultPauseMs = 20;
inline constexpr int kLptPauseMaxMs = 10000;

class LptUnitTest {
public:
    // pauseMs: the write time-out ("Тайм-аут по записи", at least 1): a chip takes a line in a write cycle
    // of its own and answers nothing meanwhile, so a line is read back only after this pause.
    LptUnitTest(LptBus& bus, LptPattern pattern, int languageIndex, int pauseMs = kLptDefaultPauseMs);
    // The bus reset and the probe line at chip 3, 0x7F00; false (finished, with the message) without an
    // acknowledge.
    bool begin();
    // The next write or check; false once the test has ended (message(), error() tells its kind).
    bool step();
    // How long the caller waits before the next step(): the pause after a write, none otherwise.
    int pauseBeforeNextStep() const { return afterWrite_ ? pauseMs_ : 0; }
    int pauseMs() const { return pauseMs_; }
    bool finished() const { return finished_; }
    bool succeeded() const { return succeeded_; }
    const QString& message() const { return message_; }
    int channelFailures() const { return channelFailures_; } // "Сбой канала"
    int writeFailures() const { return writeFailures_; }     // "Сбой записи"
    int linesDone() const { return lines_; }                 // of 2048

private:
    void end(bool ok, const QString& message);
    QString writeError() const;
    int lineNumber() const { return (chip_ * kChipBytes + address_) / kLptLine; }

    LptBus& bus_;
    LptPattern pattern_;
    int lang_;
    int pauseMs_;
    bool afterWrite_ = false;
    int chip_ = 0;
    int address_ = 0;
    int word_ = 0;
    bool checking_ = false;
    bool acknowledged_ = false;
    QByteArray written_;
    int mismatchesInRow_ = 0;
    int silentInRow_ = 0;
    int channelFailures_ = 0;
    int writeFailures_ = 0;
    int lines_ = 0;
    int steps_ = 0;
    bool finished_ = false;
    bool succeeded_ = false;
    QString message_;
};

} // namespace tarn::transfer
