#pragma once
// The scanner's log: lines of text, each in one of the four colours. The window shows it, the
// command-line tool prints it; "ОЧИСТКА" empties it.
#include "portscan/ScanTexts.h"

#include <QList>
#include <QObject>
#include <QStringList>

namespace tarn::portscan {

struct LogEntry {
    QString text;
    LogColour colour = LogColour::Black;
};

class ScanLog : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void LogLine(const QString& text, LogColour colour);
    void clear();

    const QList<LogEntry>& entries() const { return entries_; }
    QStringList texts() const;

signals:
    void lineAdded(const tarn::portscan::LogEntry& entry);
    void cleared();

private:
    QList<LogEntry> entries_;
};

} // namespace tarn::portscan
