#include "database/CsvSideOutput.h"

#include "common/Csv.h"
#include "common/TextFile.h"
#include "common/TuningFiles.h"

#include <QDir>
#include <QFileInfo>

namespace tarn::database {

namespace {
constexpr char kLetters[] = {'h', 'd', 'm', 'o', 'i'};
} // namespace

QChar readCsvDelimiter(const DataRoot& root) {
    return loadDelimiter(root);
}

CsvSideOutput readCsvSideOutput(const DataRoot& root) {
    const Tuning tuning = loadTuning(root);
    CsvSideOutput out;
    out.delimiter = loadDelimiter(root);
    out.on = tuning.csv;
    out.kinds = tuning.csvKinds;
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
