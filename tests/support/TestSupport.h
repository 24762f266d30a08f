#pragma once
#include "common/Clock.h"
#include "common/DataRoot.h"
#include "common/Notifier.h"

#include <QByteArray>
#include <QList>
#include <QTemporaryDir>
#include <functional>
#include <optional>
#include <ostream>
#include <utility>

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace tarn::test {

// Keeps every message for the test to look at; questions get the answer set in advance.
class RecordingNotifier final : public Notifier {
public:
    void message(MessageKind kind, const QString& text) override { messages.append({kind, text}); }
    bool confirm(const QString& text) override {
        questions.append(text);
        return answer;
    }
    QStringList texts() const {
        QStringList l;
        for (const auto& m : messages)
            l.append(m.second);
        return l;
    }
    QList<std::pair<MessageKind, QString>> messages;
    QStringList questions;
    bool answer = false;
};

// A fresh installation folder tree in a temporary directory, removed when the test ends.
class TempHome {
public:
    TempHome();
    const DataRoot& root() const { return root_; }
    QString path(const char* folderName, const QString& file) const { return root_.file(folderName, file); }
    // Writes raw bytes (a test states its file byte for byte).
    void write(const char* folderName, const QString& file, const QByteArray& bytes) const;
    QByteArray read(const char* folderName, const QString& file) const;
    bool exists(const char* folderName, const QString& file) const;

private:
    QTemporaryDir dir_;
    DataRoot root_;
};

// The records of a CSV text read as RFC 4180 reads them: a field in double quotes may hold the
// delimiter, CR, LF and doubled quotes; CR LF or LF ends a record outside quotes. Malformed text (a quote
// inside an unquoted field, an unclosed quote, text after a closing quote) gives nothing.
std::optional<QList<QStringList>> readCsv(const QString& text, QChar delimiter);
// Windows-1251 bytes as text, without the program's own decoder: the letters a test uses are enough.
QString fromCp1251(const QByteArray& bytes);
// A Windows-1251 CSV file read so.
std::optional<QList<QStringList>> readCsvFile(const QString& path, QChar delimiter);

// Bytes from a hexadecimal text with optional blanks ("02 00 20 DD").
QByteArray hex(const char* text);

// Runs the event loop until done() holds or limitMs have passed; returns done(). The limit only guards
// against a hang: a passing test returns as soon as the condition holds.
bool waitUntil(const std::function<bool()>& done, int limitMs = 5000);

// The system clock's timers under a wall time the test sets (the computer's until it does): for windows
// that run on real timers but show a chosen hour.
class WallClockAt final : public Clock {
public:
    void setNow(const QDateTime& t) { at_ = t; }
    QDateTime now() const override { return at_.isValid() ? at_ : system_.now(); }
    qint64 monotonicMs() const override { return system_.monotonicMs(); }
    std::unique_ptr<TimerBackend> makeBackend(ClockTimer& owner) override {
        return system_.makeBackend(owner);
    }

private:
    SystemClock system_;
    QDateTime at_;
};
// Runs what is already queued (zero-delay timers, posted events), without waiting for anything.
void runPending();

} // namespace tarn::test
