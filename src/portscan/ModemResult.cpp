#include "portscan/ModemResult.h"

namespace tarn::portscan {

int ModemResult(const QByteArray& received) {
    if (received.contains("+++")) return 9;

    // The last non-empty line, without line ends and blanks.
    QByteArray line;
    QByteArray current;
    for (char c : received) {
        if (c == '\r' || c == '\n') {
            if (!current.isEmpty()) line = current;
            current.clear();
        } else if (c != ' ') {
            current.append(c);
        }
    }
    if (!current.isEmpty()) line = current;

    qsizetype from = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (QByteArrayView("+>BCENOR").contains(line.at(i))) {
            from = i;
            break;
        }
    }
    const QByteArrayView text = QByteArrayView(line).sliced(from);

    struct Word {
        const char* text;
        int result;
    };
    static constexpr Word kWords[] = {{"CONNECT", 2}, {"OK", 0},         {"RING", 3}, {"NOCARRIER", 4},
                                      {"ERROR", 5},   {"NODIALTONE", 6}, {"BUSY", 7}, {"NOANSWER", 8}};
    for (const Word& w : kWords)
        if (text.startsWith(w.text)) return w.result;
    return -1;
}

} // namespace tarn::portscan
