#include "reports/XlsxRead.h"

#include <QFile>
#include <QXmlStreamReader>

#include <zlib.h>

namespace tarn::test {

namespace {

quint32 le(const QByteArray& b, qsizetype at, int bytes) {
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<quint8>(b.at(at + i));
    return v;
}

std::optional<QByteArray> inflateRaw(const QByteArray& data, qsizetype size) {
    QByteArray out(size, '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return std::nullopt;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int r = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    if (r != Z_STREAM_END || z.total_out != static_cast<uLong>(size)) return std::nullopt;
    return out;
}

// Column letters of a cell reference ("AB12") as a number from 0, and its row from 0.
std::pair<int, int> cellPosition(const QString& reference) {
    int column = 0;
    qsizetype i = 0;
    for (; i < reference.size() && reference.at(i).isLetter(); ++i)
        column = column * 26 + (reference.at(i).toUpper().unicode() - 'A' + 1);
    return {reference.mid(i).toInt() - 1, column - 1};
}

QStringList sharedStrings(const QByteArray& xml) {
    QStringList out;
    QXmlStreamReader r(xml);
    QString current;
    bool inItem = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("si")) {
            inItem = true;
            current.clear();
        } else if (inItem && r.isStartElement() && r.name() == QLatin1String("t")) {
            current += r.readElementText();
        } else if (r.isEndElement() && r.name() == QLatin1String("si")) {
            inItem = false;
            out.append(current);
        }
    }
    return out;
}

SheetCells sheetCells(const QByteArray& xml, const QStringList& strings) {
    SheetCells sheet;
    QXmlStreamReader r(xml);
    QString reference, type;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("c")) {
            reference = r.attributes().value(QLatin1String("r")).toString();
            type = r.attributes().value(QLatin1String("t")).toString();
        } else if (r.isStartElement() && (r.name() == QLatin1String("v") || r.name() == QLatin1String("t"))) {
            const QString value = r.readElementText();
            const auto [row, column] = cellPosition(reference);
            sheet.cells[row][column] = type == QLatin1String("s") ? strings.value(value.toInt()) : value;
        }
    }
    return sheet;
}

} // namespace

int SheetCells::columnCount() const {
    int widest = 0;
    for (const auto& row : cells)
        if (!row.isEmpty()) widest = std::max(widest, row.lastKey() + 1);
    return widest;
}

QList<QStringList> SheetCells::rows() const {
    QList<QStringList> out;
    for (int r = 0; r < rowCount(); ++r) {
        const QMap<int, QString> row = cells.value(r);
        QStringList texts;
        for (int c = 0; !row.isEmpty() && c <= row.lastKey(); ++c)
            texts.append(row.value(c));
        out.append(texts);
    }
    return out;
}

std::optional<QMap<QString, QByteArray>> unzipEntries(const QByteArray& zip) {
    // The end-of-central-directory record: the last 22 bytes when the archive has no comment.
    const qsizetype end = zip.lastIndexOf(QByteArray::fromHex("504b0506"));
    if (end < 0 || end + 22 > zip.size()) return std::nullopt;
    const int count = static_cast<int>(le(zip, end + 10, 2));
    qsizetype at = le(zip, end + 16, 4);
    QMap<QString, QByteArray> entries;
    for (int i = 0; i < count; ++i) {
        if (at + 46 > zip.size() || le(zip, at, 4) != 0x02014b50) return std::nullopt;
        const quint32 method = le(zip, at + 10, 2);
        const qsizetype packed = le(zip, at + 20, 4);
        const qsizetype size = le(zip, at + 24, 4);
        const qsizetype nameLength = le(zip, at + 28, 2);
        const qsizetype extra = le(zip, at + 30, 2);
        const qsizetype comment = le(zip, at + 32, 2);
        const qsizetype local = le(zip, at + 42, 4);
        const QString name = QString::fromUtf8(zip.mid(at + 46, nameLength));
        at += 46 + nameLength + extra + comment;
        if (local + 30 > zip.size() || le(zip, local, 4) != 0x04034b50) return std::nullopt;
        const qsizetype data = local + 30 + le(zip, local + 26, 2) + le(zip, local + 28, 2);
        const QByteArray raw = zip.mid(data, packed);
        if (method == 0) {
            entries.insert(name, raw);
        } else if (method == 8) {
            const auto inflated = inflateRaw(raw, size);
            if (!inflated) return std::nullopt;
            entries.insert(name, *inflated);
        } else {
            return std::nullopt;
        }
    }
    return entries;
}

std::optional<WorkbookContents> readWorkbook(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const auto entries = unzipEntries(file.readAll());
    if (!entries || !entries->contains(QStringLiteral("xl/workbook.xml"))) return std::nullopt;
    WorkbookContents book;
    QXmlStreamReader r(entries->value(QStringLiteral("xl/workbook.xml")));
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("sheet"))
            book.sheetNames.append(r.attributes().value(QLatin1String("name")).toString());
    }
    const QStringList strings = sharedStrings(entries->value(QStringLiteral("xl/sharedStrings.xml")));
    for (int i = 1; i <= book.sheetNames.size(); ++i) {
        const QString name = QStringLiteral("xl/worksheets/sheet%1.xml").arg(i);
        if (!entries->contains(name)) return std::nullopt;
        book.sheets.append(sheetCells(entries->value(name), strings));
    }
    return book;
}

} // namespace tarn::test
