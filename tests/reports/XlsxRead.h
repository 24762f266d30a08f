#pragma once
// Reading a written workbook back, to check what a user's spreadsheet program would find in it: the zip
// container through its central directory (entries stored or deflated, inflated with zlib), then the sheet
// names of xl/workbook.xml and the cell texts of each xl/worksheets/sheetN.xml through the shared strings.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

namespace tarn::test {

// Every entry of a zip archive by name; nothing when the archive or an entry is damaged.
std::optional<QMap<QString, QByteArray>> unzipEntries(const QByteArray& zip);

struct SheetCells {
    QMap<int, QMap<int, QString>> cells; // row → column → text, from 0
    int rowCount() const { return cells.isEmpty() ? 0 : cells.lastKey() + 1; }
    int columnCount() const;
    QString cell(int row, int column) const { return cells.value(row).value(column); }
    // The rows as lists, each up to its last cell.
    QList<QStringList> rows() const;
};

struct WorkbookContents {
    QStringList sheetNames; // in the workbook's order
    QList<SheetCells> sheets;
};

std::optional<WorkbookContents> readWorkbook(const QString& path);

} // namespace tarn::test
