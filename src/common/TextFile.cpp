#include "common/TextFile.h"

#include "common/Cp1251.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tarn {

std::optional<QStringList> readTextLines(const QString& path, qint64 maxBytes) {
    Error ignored;
    return readTextLines(path, ignored, maxBytes);
}

std::optional<QStringList> readTextLines(const QString& path, Error& error, qint64 maxBytes) {
    error = {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = {QFileInfo::exists(path) ? ErrorKind::Io : ErrorKind::NotFound,
                 path + QStringLiteral(": ") + file.errorString()};
        return std::nullopt;
    }
    if (file.size() > maxBytes) {
        error = {ErrorKind::Invalid, path + QStringLiteral(": larger than %1 bytes").arg(maxBytes)};
        return std::nullopt;
    }
    return textLinesOf(file.readAll());
}

QStringList textLinesOf(const QByteArray& bytes) {
    // Each line is decoded straight from its span of the bytes: no copy of the line's bytes first.
    QStringList lines;
    const char* const data = bytes.constData();
    const qsizetype size = bytes.size();
    qsizetype begin = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (c != '\r' && c != '\n') continue;
        lines.append(fromCp1251(QByteArrayView(data + begin, i - begin)));
        if (c == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
        begin = i + 1;
    }
    // A last line without its ending still counts.
    if (begin < size) lines.append(fromCp1251(QByteArrayView(data + begin, size - begin)));
    return lines;
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QByteArray textFileBytes(const QStringList& lines) {
    // A listing's CSV copy is a year of lines: the whole file's room is made once.
    qsizetype size = 0;
    for (const QString& line : lines)
        size += line.size() + 2;
    QByteArray bytes;
    bytes.reserve(size);
    for (const QString& line : lines) {
        appendCp1251(bytes, line);
        bytes.append("\r\n", 2);
    }
    return bytes;
}

AppendingTextFile::AppendingTextFile() = default;
AppendingTextFile::~AppendingTextFile() = default;

bool AppendingTextFile::open(const QString& path) {
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    file_ = std::move(file);
    failed_ = false;
    return true;
}

bool AppendingTextFile::isOpen() const {
    return file_ && file_->isOpen();
}

bool AppendingTextFile::append(const QString& line) {
    if (!isOpen() || failed_) return false;
    const QByteArray bytes = toCp1251(line) + "\r\n";
    failed_ = file_->write(bytes) != bytes.size() || !file_->flush();
    return !failed_;
}

bool writeTextLines(const QString& path, const QStringList& lines) {
    return writeFileAtomically(path, textFileBytes(lines));
}

bool rewriteTextLinesWithBackup(const QString& path, const QStringList& lines) {
    const QString backup = path + QStringLiteral(".bak");
    const bool hadFile = QFile::exists(path);
    if (hadFile) {
        QFile::remove(backup);
        if (!QFile::copy(path, backup)) return false;
    }
    if (!writeTextLines(path, lines)) return false;
    if (hadFile) QFile::remove(backup);
    return true;
}

QString collapseSpaces(const QString& text) {
    QString out;
    out.reserve(text.size());
    bool lastSpace = false;
    for (QChar c : text) {
        if (c == QLatin1Char(' ')) {
            if (lastSpace) continue;
            lastSpace = true;
        } else {
            lastSpace = false;
        }
        out.append(c);
    }
    return out;
}

QString removeSpaces(const QString& text) {
    QString out = text;
    out.remove(QLatin1Char(' '));
    return out;
}

} // namespace tarn
