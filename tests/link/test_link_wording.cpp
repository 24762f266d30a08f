// The link names what happened and the corrector layer words it: no link source carries Cyrillic text
// outside its comments, save the files listed here, each for the reason given.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStringList>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

// Where a file's own text is not a message to the user, or has not yet moved up.
const QMap<QString, const char*> kFilesWithCyrillic = {
    {QStringLiteral("LinkLog.cpp"),
     "the exchange log file's lines: a file format, pinned by its golden lines"},
    {QStringLiteral("LinkSettings.cpp"), "the speeds as the settings file stores them (\"230Kбод\")"},
    {QStringLiteral("ModemTerminal.cpp"), "the modem command book file's header line: a file format"},
};

bool isCyrillic(QChar c) {
    return c.unicode() >= 0x0400 && c.unicode() <= 0x04FF;
}

// The source's lines with comments blanked out; string and character literals are kept, so a "//" inside
// a literal is no comment.
QStringList codeLines(const QString& source) {
    QString code;
    code.reserve(source.size());
    enum class State { Code, LineComment, BlockComment, String, Char } state = State::Code;
    for (qsizetype i = 0; i < source.size(); ++i) {
        const QChar c = source.at(i);
        const QChar next = i + 1 < source.size() ? source.at(i + 1) : QChar();
        switch (state) {
        case State::Code:
            if (c == QLatin1Char('/') && next == QLatin1Char('/')) {
                state = State::LineComment;
                continue;
            }
            if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
                state = State::BlockComment;
                ++i;
                continue;
            }
            if (c == QLatin1Char('"')) state = State::String;
            if (c == QLatin1Char('\'')) state = State::Char;
            break;
        case State::LineComment:
            if (c != QLatin1Char('\n')) continue;
            state = State::Code;
            break;
        case State::BlockComment:
            if (c == QLatin1Char('*') && next == QLatin1Char('/')) {
                state = State::Code;
                ++i;
            }
            if (c != QLatin1Char('\n')) continue;
            break;
        case State::String:
        case State::Char:
            if (c == QLatin1Char('\\')) {
                code += c;
                code += next;
                ++i;
                continue;
            }
            if (c == QLatin1Char(state == State::String ? '"' : '\'')) state = State::Code;
            break;
        }
        code += c;
    }
    return code.split(QLatin1Char('\n'));
}

// "file:line: text" for each line of code with Cyrillic in it.
QStringList cyrillicLines(const QString& name, const QString& source) {
    QStringList found;
    const QStringList lines = codeLines(source);
    for (qsizetype n = 0; n < lines.size(); ++n)
        if (std::any_of(lines[n].begin(), lines[n].end(), isCyrillic))
            found.append(QStringLiteral("%1:%2: %3").arg(name).arg(n + 1).arg(lines[n].trimmed()));
    return found;
}

} // namespace

TEST(LinkWording, TheScanSeesCodeAndNotComments) {
    EXPECT_TRUE(
        cyrillicLines(QStringLiteral("a"), QStringLiteral("// Порт\nint a; /* Порт\n Порт */ int b;\n"))
            .isEmpty());
    EXPECT_EQ(cyrillicLines(QStringLiteral("a"), QStringLiteral("int a; // x\nf(\"//Порт\");\n")),
              QStringList{QStringLiteral("a:2: f(\"//Порт\");")});
    // An escaped quote does not end the literal, and a quote in a character literal opens none.
    EXPECT_EQ(
        cyrillicLines(QStringLiteral("a"), QStringLiteral("f('\"'); g(\"\\\" Порт\"); // Порт\n")).size(), 1);
    EXPECT_EQ(cyrillicLines(QStringLiteral("a"), QStringLiteral("x = \"a\"; /* */ y = \"Порт\";")).size(), 1);
}

TEST(LinkWording, NoLinkSourceWordsAMessageOfItsOwn) {
    const QDir link(QStringLiteral(TARN_SOURCE_DIR "/src/link"));
    const QFileInfoList files =
        link.entryInfoList({QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files, QDir::Name);
    ASSERT_GT(files.size(), 20);
    QStringList unexpected;
    QStringList listedButClean;
    for (const QFileInfo& file : files) {
        QFile f(file.filePath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << file.filePath().toStdString();
        const QStringList found = cyrillicLines(file.fileName(), QString::fromUtf8(f.readAll()));
        if (kFilesWithCyrillic.contains(file.fileName())) {
            // The list shrinks as texts move: a file that no longer needs its place loses it.
            if (found.isEmpty()) listedButClean.append(file.fileName());
        } else {
            unexpected += found;
        }
    }
    EXPECT_TRUE(unexpected.isEmpty()) << unexpected.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(listedButClean.isEmpty()) << listedButClean.join(QLatin1Char(' ')).toStdString();
    for (const QString& name : kFilesWithCyrillic.keys())
        EXPECT_TRUE(link.exists(name)) << name.toStdString();
}
