// tarn-cli's manual page and bash completion as the build writes them, against the program's own help:
// every command and option the parser takes is documented and completed, and nothing else is.
#include "support/CliRunner.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Failure messages name paths and programs as they are.
static std::ostream& operator<<(std::ostream& os, const QString& s) {
    return os << s.toStdString();
}

namespace {

const QString kPackagingDir = QStringLiteral(TARN_PACKAGING_DIR);

struct Ran {
    int code = -1;
    QString out;
    QString err;
};

Ran runProgram(const QString& program, const QStringList& args, const QByteArray& input = {}) {
    QProcess p;
    p.start(program, args);
    if (!input.isEmpty()) p.write(input);
    p.closeWriteChannel();
    // A guard against a hung program, not a measure of speed.
    if (!p.waitForFinished(120000)) p.kill();
    p.waitForFinished();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// What a help or a manual page documents: the global options, and each command's options in order.
struct Documented {
    QStringList globalOptions;
    QStringList commands;
    QMap<QString, QStringList> options;
};

// The full help ("tarn-cli --help"): global options indented by two, each command's usage by two with its
// options under it by six.
Documented fromHelp(const QString& help) {
    Documented d;
    static const QRegularExpression globalOption(QStringLiteral("^  (--[a-z0-9-]+)"));
    static const QRegularExpression command(QStringLiteral("^  ([a-z]+)\\b"));
    static const QRegularExpression commandOption(QStringLiteral("^      (--[a-z0-9-]+)"));
    bool inCommands = false;
    QString current;
    for (const QString& line : help.split(QLatin1Char('\n'))) {
        if (line == QLatin1String("commands:")) {
            inCommands = true;
            continue;
        }
        if (!inCommands) {
            if (const auto m = globalOption.match(line); m.hasMatch()) d.globalOptions.append(m.captured(1));
            continue;
        }
        if (const auto m = commandOption.match(line); m.hasMatch() && !current.isEmpty()) {
            d.options[current].append(m.captured(1));
        } else if (const auto c = command.match(line); c.hasMatch()) {
            current = c.captured(1);
            d.commands.append(current);
            d.options[current];
        }
    }
    return d;
}

// Roff text as a reader sees it: \- and \e are characters, font changes and \& print nothing.
QString unroff(QString text) {
    static const QRegularExpression font(QStringLiteral("\\\\f[BIRP]"));
    text.replace(font, QString());
    text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    text.replace(QStringLiteral("\\e"), QStringLiteral("\\"));
    text.replace(QStringLiteral("\\&"), QString());
    return text;
}

// The manual page: ".SH GLOBAL OPTIONS" and ".SS command" sections, each option the first word of the
// line after a ".TP".
Documented fromManPage(const QString& page) {
    Documented d;
    QString section;
    QString command;
    bool tagNext = false;
    for (const QString& line : page.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String(".SH "))) {
            section = unroff(line.mid(4)).remove(QLatin1Char('"'));
            command.clear();
        } else if (line.startsWith(QLatin1String(".SS ")) && section == QLatin1String("COMMANDS")) {
            command = unroff(line.mid(4));
            d.commands.append(command);
            d.options[command];
        } else if (line == QLatin1String(".TP")) {
            tagNext = true;
        } else if (tagNext) {
            tagNext = false;
            const QString option = unroff(line).section(QLatin1Char(' '), 0, 0);
            if (section == QLatin1String("GLOBAL OPTIONS"))
                d.globalOptions.append(option);
            else if (!command.isEmpty())
                d.options[command].append(option);
        }
    }
    return d;
}

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

TEST(CliManPage, ListsEveryCommandAndOptionTheParserTakes) {
    const tarn::test::CliText help = tarn::test::runCli({QStringLiteral("--help")}).text();
    ASSERT_EQ(help.code, 0);
    const Documented fromParser = fromHelp(help.out);
    ASSERT_GT(fromParser.commands.size(), 20);
    ASSERT_TRUE(fromParser.globalOptions.contains(QStringLiteral("--version")));

    const QString page = readText(kPackagingDir + QStringLiteral("/tarn-cli.1"));
    ASSERT_FALSE(page.isEmpty()) << "the build writes " << kPackagingDir << "/tarn-cli.1";
    const Documented fromPage = fromManPage(page);
    EXPECT_EQ(fromPage.globalOptions, fromParser.globalOptions);
    EXPECT_EQ(fromPage.commands, fromParser.commands);
    for (const QString& c : fromParser.commands)
        EXPECT_EQ(fromPage.options.value(c), fromParser.options.value(c)) << c;
    // A command's own help and the page agree too: "poll --help" lists what the page's "poll" lists.
    const tarn::test::CliText pollHelp =
        tarn::test::runCli({QStringLiteral("poll"), QStringLiteral("--help")}).text();
    for (const QString& option : fromPage.options.value(QStringLiteral("poll")))
        EXPECT_TRUE(pollHelp.out.contains(option)) << option;

    // The page is the program's: "tarn-cli --man" writes it, with the version of --version.
    const tarn::test::CliText man = tarn::test::runCli({QStringLiteral("--man")}).text();
    EXPECT_EQ(man.out, page);
    const tarn::test::CliText version = tarn::test::runCli({QStringLiteral("--version")}).text();
    const QString number = version.out.trimmed().section(QLatin1Char(' '), 1);
    ASSERT_FALSE(number.isEmpty());
    EXPECT_TRUE(page.contains(QStringLiteral("\"Tarn ") + number + QLatin1Char('"')));
}

// groff reads the page as man(1) will, with every warning on: none may come.
TEST(CliManPage, FormatsWithoutAWarning) {
    const QString groff = QStandardPaths::findExecutable(QStringLiteral("groff"));
    if (groff.isEmpty()) GTEST_SKIP() << "groff is not installed";
    const QString path = kPackagingDir + QStringLiteral("/tarn-cli.1");
    const Ran r =
        runProgram(groff, {QStringLiteral("-Tutf8"), QStringLiteral("-K"), QStringLiteral("utf-8"),
                           QStringLiteral("-man"), QStringLiteral("-ww"), QStringLiteral("-P-cbou"), path});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    // The formatted page shows the options as typed, dashes and all.
    EXPECT_TRUE(r.out.contains(QStringLiteral("--until-empty")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("ЧИТАТЬ ДО ПУСТОЙ СТРОКИ")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("TARN_HOME")));
}

namespace {

// The words bash offers after the command line typed so far (the last word is the one completed).
QStringList complete(const QStringList& typed) {
    const QString script = kPackagingDir + QStringLiteral("/tarn-cli.bash-completion");
    QString words;
    for (const QString& w : typed)
        words += QLatin1Char('\'') + QString(w).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
                 QStringLiteral("' ");
    const QString program = QStringLiteral("source '") + script + QStringLiteral("'\n") +
                            QStringLiteral("COMP_WORDS=(") + words + QStringLiteral(")\n") +
                            QStringLiteral("COMP_CWORD=%1\n").arg(typed.size() - 1) +
                            QStringLiteral("_tarn_cli\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n");
    const Ran r =
        runProgram(QStringLiteral("bash"), {QStringLiteral("--norc"), QStringLiteral("-c"), program});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    QStringList offered = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    offered.sort();
    return offered;
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

QStringList startingWith(const QStringList& list, const QString& prefix) {
    QStringList r;
    for (const QString& s : list)
        if (s.startsWith(prefix)) r.append(s);
    return sorted(r);
}

} // namespace

TEST(CliCompletion, OffersTheCommandsVerbsAndOptionsOfTheParser) {
    const Documented parser = fromHelp(tarn::test::runCli({QStringLiteral("--help")}).text().out);
    ASSERT_FALSE(parser.commands.isEmpty());
    const QString tarnCli = QStringLiteral("tarn-cli");

    // The command word, also after global options and their values.
    EXPECT_EQ(complete({tarnCli, QString()}), sorted(parser.commands));
    EXPECT_EQ(complete({tarnCli, QStringLiteral("po")}),
              (QStringList{QStringLiteral("points"), QStringLiteral("poll"), QStringLiteral("port")}));
    EXPECT_EQ(complete({tarnCli, QStringLiteral("--home"), QStringLiteral("/srv/x"), QStringLiteral("--json"),
                        QStringLiteral("rea")}),
              QStringList{QStringLiteral("read")});
    EXPECT_EQ(complete({tarnCli, QStringLiteral("--")}), sorted(parser.globalOptions));

    // Every command's options after "--", with the switches the parser takes after the command word.
    for (const QString& c : parser.commands) {
        const QStringList expected =
            sorted(parser.options.value(c) + QStringList{QStringLiteral("--json"), QStringLiteral("--help")});
        EXPECT_EQ(complete({tarnCli, c, QStringLiteral("--")}), expected) << c;
    }
    EXPECT_EQ(complete({tarnCli, QStringLiteral("poll"), QStringLiteral("--gr")}),
              QStringList{QStringLiteral("--group")});

    // A verb where the command takes one, nothing once it is there; an option's value is no verb.
    EXPECT_EQ(complete({tarnCli, QStringLiteral("dtu"), QString()}),
              sorted({QStringLiteral("state"), QStringLiteral("read"), QStringLiteral("zones"),
                      QStringLiteral("load"), QStringLiteral("test"), QStringLiteral("erase")}));
    EXPECT_EQ(complete({tarnCli, QStringLiteral("group"), QStringLiteral("--archive"),
                        QStringLiteral("daily"), QStringLiteral("sa")}),
              QStringList{QStringLiteral("save")});
    EXPECT_EQ(complete({tarnCli, QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("clock"),
                        QStringLiteral("c")}),
              QStringList{QStringLiteral("correct")});
    // A value that is no file name gets no guess.
    EXPECT_TRUE(complete({tarnCli, QStringLiteral("poll"), QStringLiteral("--group"), QString()}).isEmpty());
}

TEST(CliCompletion, FileValuesGetTheFilesOfTheFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"night.txt", "night.tbd"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("nights")));
    const QString prefix = dir.path() + QStringLiteral("/nig");
    const QStringList files{dir.filePath(QStringLiteral("night.tbd")),
                            dir.filePath(QStringLiteral("night.txt")),
                            dir.filePath(QStringLiteral("nights"))};
    EXPECT_EQ(
        complete({QStringLiteral("tarn-cli"), QStringLiteral("report"), QStringLiteral("--out"), prefix}),
        startingWith(files, prefix));
    // --home takes a folder: only the folder is offered.
    EXPECT_EQ(complete({QStringLiteral("tarn-cli"), QStringLiteral("--home"), prefix}),
              QStringList{dir.filePath(QStringLiteral("nights"))});
    // A package's FILE words after "read" are files too.
    EXPECT_EQ(
        complete({QStringLiteral("tarn-cli"), QStringLiteral("package"), QStringLiteral("read"), prefix}),
        startingWith(files, prefix));
}
