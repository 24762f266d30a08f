#include "common/Cp1251.h"

#include <QHash>

namespace tarn {
namespace {

// Characters of the bytes 0x80..0xFF; 0x98 has none.
constexpr char16_t kHigh[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

const QHash<char16_t, unsigned char>& reverseTable() {
    static const QHash<char16_t, unsigned char> table = [] {
        QHash<char16_t, unsigned char> t;
        for (int i = 0; i < 128; ++i)
            if (kHigh[i] != 0xFFFD) t.insert(kHigh[i], static_cast<unsigned char>(0x80 + i));
        return t;
    }();
    return table;
}

} // namespace

QChar cp1251Char(unsigned char byte) {
    return byte < 0x80 ? QChar(byte) : QChar(kHigh[byte - 0x80]);
}

QString fromCp1251(const QByteArray& bytes) {
    return fromCp1251(QByteArrayView(bytes));
}

QString fromCp1251(QByteArrayView bytes) {
    // One character a byte: the string is sized once and written in place (settings files and group
    // files of a thousand lines are read line by line at every start).
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* to = reinterpret_cast<char16_t*>(out.data());
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *to++ = byte < 0x80 ? char16_t(byte) : kHigh[byte - 0x80];
    }
    return out;
}

QByteArray toCp1251(const QString& text) {
    QByteArray out;
    appendCp1251(out, text);
    return out;
}

void appendCp1251(QByteArray& out, QStringView text) {
    // One byte a character: the room is made once and written in place.
    const qsizetype start = out.size();
    out.resize(start + text.size());
    char* to = out.data() + start;
    const auto& rev = reverseTable();
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80) {
            *to++ = static_cast<char>(u);
            continue;
        }
        auto it = rev.constFind(u);
        *to++ = it == rev.constEnd() ? '?' : static_cast<char>(it.value());
    }
}

} // namespace tarn
