#include "common/TuningFiles.h"

#include "common/Csv.h"
#include "common/TextFile.h"

#include <QFile>

namespace tarn {

namespace {

QString lineValue(const QStringList& lines, int line) {
    return removeSpaces(collapseSpaces(lines.value(line - 1)));
}

bool switchOn(const QStringList& lines, int line) {
    return lineValue(lines, line) == QLatin1String("1");
}

QString switchText(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

QString tuningPath(const DataRoot& root) {
    return root.file(folder::Work, QStringLiteral("Tuning.000"));
}

std::optional<Tuning> readTuningFile(const DataRoot& root) {
    const auto lines = readTextLines(tuningPath(root));
    if (!lines) return std::nullopt;
    Tuning t;
    t.soundFile = lineValue(*lines, 1);
    t.toolTips = switchOn(*lines, 2);
    t.alarm = switchOn(*lines, 3);
    t.sound = switchOn(*lines, 4);
    t.autorun = switchOn(*lines, 5);
    t.analogClock = switchOn(*lines, 6);
    t.rebuildAtStart = switchOn(*lines, 7);
    t.csv = switchOn(*lines, 8);
    for (int k = 0; k < 5; ++k)
        t.csvKinds[static_cast<std::size_t>(k)] = switchOn(*lines, 9 + k);
    t.extraRecordCheck = switchOn(*lines, 14);
    return t;
}

Tuning loadTuning(const DataRoot& root) {
    return readTuningFile(root).value_or(Tuning{});
}

QStringList tuningLines(const Tuning& t) {
    QStringList lines{t.soundFile,           switchText(t.toolTips),       switchText(t.alarm),
                      switchText(t.sound),   switchText(t.autorun),        switchText(t.analogClock),
                      switchText(t.rebuildAtStart), switchText(t.csv)};
    for (bool on : t.csvKinds)
        lines.append(switchText(on));
    lines.append(switchText(t.extraRecordCheck));
    return lines;
}

bool saveTuning(const DataRoot& root, const Tuning& tuning) {
    return writeTextLines(tuningPath(root), tuningLines(tuning));
}

QString delimiterPath(const DataRoot& root) {
    return root.file(folder::Current, QStringLiteral("Delim.000"));
}

std::optional<QChar> delimiterOfText(const QString& text) {
    const QString bare = removeSpaces(text);
    if (bare.isEmpty()) return std::nullopt;
    return bare.at(0);
}

QChar loadDelimiter(const DataRoot& root) {
    const auto lines = readTextLines(delimiterPath(root));
    if (!lines || lines->isEmpty()) return QLatin1Char(',');
    return usableCsvDelimiter(delimiterOfText(lines->first()).value_or(QLatin1Char(',')));
}

bool saveDelimiter(const DataRoot& root, QChar delimiter) {
    return writeTextLines(delimiterPath(root), {QString(delimiter)});
}

QString panelSizesPath(const DataRoot& root) {
    return root.file(folder::Current, QStringLiteral("track.000"));
}

PanelSizes loadPanelSizes(const DataRoot& root) {
    PanelSizes sizes;
    const auto lines = readTextLines(panelSizesPath(root));
    if (!lines) return sizes;
    const auto height = [&lines](int line, int fallback) {
        bool ok = false;
        const int h = lineValue(*lines, line).toInt(&ok);
        return ok && h > 0 ? h : fallback;
    };
    sizes.pointList = height(1, sizes.pointList);
    sizes.messages = height(2, sizes.messages);
    sizes.databaseUpper = height(3, sizes.databaseUpper);
    return sizes;
}

bool savePanelSizes(const DataRoot& root, const PanelSizes& sizes) {
    return writeTextLines(panelSizesPath(root), {QString::number(sizes.pointList), QString::number(sizes.messages),
                                                 QString::number(sizes.databaseUpper)});
}

bool resetPanelSizes(const DataRoot& root) {
    const QString path = panelSizesPath(root);
    return !QFile::exists(path) || QFile::remove(path);
}

} // namespace tarn
