#include "portscan/ScanLog.h"

namespace tarn::portscan {

void ScanLog::LogLine(const QString& text, LogColour colour) {
    entries_.append({text, colour});
    emit lineAdded(entries_.back());
}

void ScanLog::clear() {
    entries_.clear();
    emit cleared();
}

QStringList ScanLog::texts() const {
    QStringList out;
    for (const LogEntry& e : entries_)
        out.append(e.text);
    return out;
}

} // namespace tarn::portscan
