#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

namespace tarn::test {

std::optional<QList<QStringList>> readCsv(const QString& text, QChar delimiter) {
    QList<QStringList> records;
    QStringList record;
    QString field;
    enum { Start, Plain, Quoted, QuoteInQuoted } state = Start;
    bool recordOpen = false;
    auto endField = [&] {
        record.append(field);
        field.clear();
        state = Start;
    };
    auto endRecord = [&] {
        endField();
        records.append(record);
        record.clear();
        recordOpen = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool lineEnd = c == QLatin1Char('\n') ||
                             (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'));
        switch (state) {
        case Start:
        case Plain:
            if (c == QLatin1Char('"')) {
                if (state == Plain) return std::nullopt;
                state = Quoted;
                recordOpen = true;
            } else if (c == delimiter) {
                endField();
                recordOpen = true;
            } else if (lineEnd) {
                if (c == QLatin1Char('\r')) ++i;
                endRecord();
            } else if (c == QLatin1Char('\r')) {
                return std::nullopt;
            } else {
                field.append(c);
                state = Plain;
                recordOpen = true;
            }
            break;
        case Quoted:
            if (c == QLatin1Char('"'))
                state = QuoteInQuoted;
            else
                field.append(c);
            break;
        case QuoteInQuoted:
            if (c == QLatin1Char('"')) {
                field.append(c);
                state = Quoted;
            } else if (c == delimiter) {
                endField();
            } else if (lineEnd) {
                if (c == QLatin1Char('\r')) ++i;
                endRecord();
            } else {
                return std::nullopt;
            }
            break;
        }
    }
    if (state == Quoted) return std::nullopt;
    if (recordOpen) endRecord();
    return records;
}

QString fromCp1251(const QByteArray& bytes) {
    QString text;
    for (char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        if (u < 0x80)
            text.append(QChar(u));
        else if (u >= 0xC0)
            text.append(QChar(0x0410 + (u - 0xC0)));
        else if (u == 0xA8)
            text.append(QChar(0x0401));
        else if (u == 0xB8)
            text.append(QChar(0x0451));
        else if (u == 0xB2)
            text.append(QChar(0x0406));
        else if (u == 0xB3)
            text.append(QChar(0x0456));
        else if (u == 0xAA)
            text.append(QChar(0x0404));
        else if (u == 0xBA)
            text.append(QChar(0x0454));
        else if (u == 0xAF)
            text.append(QChar(0x0407));
        else if (u == 0xBF)
            text.append(QChar(0x0457));
        else if (u == 0xB9)
            text.append(QChar(0x2116));
        else
            text.append(QChar(0xFFFD));
    }
    return text;
}

std::optional<QList<QStringList>> readCsvFile(const QString& path, QChar delimiter) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QString text = fromCp1251(file.readAll());
    return readCsv(text, delimiter);
}

TempHome::TempHome() : root_(dir_.path()) {
    root_.createFolders();
}

void TempHome::write(const char* folderName, const QString& file, const QByteArray& bytes) const {
    QFile f(path(folderName, file));
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

QByteArray TempHome::read(const char* folderName, const QString& file) const {
    QFile f(path(folderName, file));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool TempHome::exists(const char* folderName, const QString& file) const {
    return QFile::exists(path(folderName, file));
}

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

bool waitUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

void runPending() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace tarn::test
