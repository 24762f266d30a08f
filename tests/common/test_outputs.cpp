// The CSV field quoting every CSV file shares, and writing a request's files all together or not at all.
#include "common/Csv.h"
#include "common/OutputFiles.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn;

TEST(Csv, FieldsWithTheDelimiterQuotesOrLineEndsAreQuotedAndReadBackWhole) {
    struct Case {
        QChar delimiter;
        QString field;
        QString written;
    };
    const QList<Case> cases{
        {QLatin1Char(','), QStringLiteral("ГРП-1, нитка 1"), QStringLiteral("\"ГРП-1, нитка 1\"")},
        {QLatin1Char(';'), QStringLiteral("ГРП-1, нитка 1"), QStringLiteral("ГРП-1, нитка 1")},
        {QLatin1Char(';'), QStringLiteral("ТОВ \"Газ\""), QStringLiteral("\"ТОВ \"\"Газ\"\"\"")},
        {QLatin1Char(';'), QStringLiteral("a\r\nb"), QStringLiteral("\"a\r\nb\"")},
        {QLatin1Char(';'), QStringLiteral("a\nb"), QStringLiteral("\"a\nb\"")},
        {QLatin1Char('|'), QStringLiteral("*|-"), QStringLiteral("\"*|-\"")},
        {QLatin1Char(';'), QStringLiteral("  12.5  "), QStringLiteral("  12.5  ")},
        {QLatin1Char(';'), QString(), QString()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(csvField(c.field, c.delimiter), c.written) << c.field.toStdString();
        // Added to a line already begun, the field is written the same and what was there stays.
        QString line = QStringLiteral("x") + c.delimiter;
        appendCsvField(line, c.field, c.delimiter);
        EXPECT_EQ(line, QStringLiteral("x") + c.delimiter + c.written) << c.field.toStdString();
        EXPECT_EQ(csvFieldNeedsQuotes(c.field, c.delimiter), c.written != c.field) << c.field.toStdString();
        // A line of three fields reads back as the same three fields and the empty one after the last
        // delimiter.
        const QStringList fields{QStringLiteral("x"), c.field, QStringLiteral("y")};
        const auto read = test::readCsv(csvLine(fields, c.delimiter) + QStringLiteral("\r\n"), c.delimiter);
        ASSERT_TRUE(read) << c.field.toStdString();
        ASSERT_EQ(read->size(), 1);
        EXPECT_EQ(read->first(), fields + QStringList{QString()});
    }
    EXPECT_EQ(usableCsvDelimiter(QLatin1Char(';')), QLatin1Char(';'));
    EXPECT_EQ(usableCsvDelimiter(QLatin1Char('"')), QLatin1Char(','));
    EXPECT_EQ(usableCsvDelimiter(QLatin1Char('\t')), QLatin1Char('\t'));
    EXPECT_EQ(usableCsvDelimiter(QLatin1Char('\n')), QLatin1Char(','));
}

namespace {
QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}
} // namespace

TEST(OutputFiles, EveryTargetIsCheckedBeforeAnyIsWritten) {
    QTemporaryDir dir;
    const QString old = dir.filePath(QStringLiteral("report.txt"));
    QFile f(old);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old");
    f.close();
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    struct Case {
        QString bad;
        OutputProblem problem;
    };
    const QList<Case> cases{
        {dir.filePath(QStringLiteral("missing/listing.csv")), OutputProblem::NoFolder},
        {dir.filePath(QStringLiteral("folder")), OutputProblem::IsFolder},
        {dir.filePath(QStringLiteral("folder/")), OutputProblem::NoFileName},
        {dir.filePath(QStringLiteral("a?b.csv")), OutputProblem::NoFileName},
        {QString(), OutputProblem::NoFileName},
        {old, OutputProblem::Twice},
    };
    for (const Case& c : cases) {
        const OutputsWritten w = writeOutputs(
            {{old, "new text"}, {dir.filePath(QStringLiteral("pages.pdf")), "%PDF"}, {c.bad, "csv"}});
        EXPECT_EQ(w.problem, c.problem) << c.bad.toStdString();
        EXPECT_EQ(w.path, c.bad);
        // Nothing new and nothing left beside: the old file as it was, no PDF, no temporary file.
        EXPECT_EQ(contentOf(old), QByteArray("old"));
        EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("report.txt")});
    }
    const OutputsWritten good =
        writeOutputs({{old, "new text"}, {dir.filePath(QStringLiteral("pages.pdf")), "%PDF"}});
    EXPECT_TRUE(good.ok());
    EXPECT_EQ(contentOf(old), QByteArray("new text"));
    EXPECT_EQ(entries(dir.path()), (QStringList{QStringLiteral("pages.pdf"), QStringLiteral("report.txt")}));
}

TEST(OutputFiles, ARenameThatFailsPutsBackWhatTheRunHadAlreadyReplaced) {
    QTemporaryDir dir;
    const QString replaced = dir.filePath(QStringLiteral("a.txt"));
    const QString added = dir.filePath(QStringLiteral("b.pdf"));
    const QString third = dir.filePath(QStringLiteral("c.csv"));
    QFile f(replaced);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("before");
    f.close();
    // The third file cannot take its place: the first two are in place by then.
    int renames = 0;
    const RenameOver failingThird = [&renames](const QString& from, const QString& to) {
        return ++renames != 3 && renameOver(from, to);
    };
    const OutputsWritten w =
        writeOutputs({{replaced, "after"}, {added, "%PDF"}, {third, "x;y;"}}, failingThird);
    EXPECT_EQ(w.problem, OutputProblem::RenameFailed);
    EXPECT_EQ(w.path, third);
    EXPECT_EQ(contentOf(replaced), QByteArray("before"));
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("a.txt")});
}
