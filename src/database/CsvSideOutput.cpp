#include "database/CsvSideOutput.h"

#include "common/Csv.h"
#include "common/TextFile.h"

#include <QDir>
#include <QFileInfo>

namespace tarn::database {

namespace {
constexpr int kAllSwitchLine = 8; // 1-based, as the settings file counts
constexpr char kLetters[] = {'h', 'd', 'm', 'o', 'i'};
} // namespace

QChar readCsvDelimiter(const DataRoot& root) {
    const auto lines = readTextLines(root.file(folder::Current, QStringLiteral("Delim.000")));
    if (!lines || lines->isEmpty()) return QLatin1Char(',');
    const QString first = removeSpaces(lines->first());
    return first.isEmpty() ? QLatin1Char(',') : usableCsvDelimiter(first.at(0));
}

CsvSideOutput readCsvSideOutput(const DataRoot& root) {
    CsvSideOutput out;
    out.delimiter = readCsvDelimiter(root);
    const auto lines = readTextLines(root.file(folder::Work, QStringLiteral("Tuning.000")));
    if (!lines) return out;
    auto on = [&lines](int line) {
        return removeSpaces(collapseSpaces(lines->value(line - 1))) == QLatin1String("1");
    };
    out.on = on(kAllSwitchLine);
    for (int k = 0; k < 5; ++k)
        out.kinds[static_cast<std::size_t>(k)] = on(kAllSwitchLine + 1 + k);
    return out;
}

CsvSideFile::CsvSideFile(const DataRoot& root, CsvKind kind, const QString& identifier, QChar delimiter,
                         const QDateTime& now)
    : delimiter_(delimiter) {
    path_ = root.file(folder::QuesCsv, QString(QLatin1Char(kLetters[static_cast<int>(kind)])) +
                                           now.toString(QStringLiteral("yyMMddHHmm")) + QLatin1Char('_') +
                                           identifier + QStringLiteral(".csv"));
}

void CsvSideFile::addRow(const QStringList& cells) {
    lines_.append(csvLine(cells, delimiter_));
}

bool CsvSideFile::write() const {
    if (path_.isEmpty()) return false;
    QDir().mkpath(QFileInfo(path_).absolutePath());
    return writeTextLines(path_, lines_);
}

} // namespace tarn::database
