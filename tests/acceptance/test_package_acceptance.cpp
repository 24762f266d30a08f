// The Debian packages checked against what the README and the manual promise their users: the files'
// names, the control data, where each file goes, and the programs run from the packages unpacked into a
// scratch folder. Everything is read back with tools of its own (dpkg-deb, gzip, bash) or parsed here.
#include "support/SimProcess.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

namespace {

const QString packagesDir = QStringLiteral(TARN_PACKAGES_DIR);
const QString sourceDir = QStringLiteral(TARN_SOURCE_DIR);

struct Finished {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// A minute is generous for any of these programs; it only keeps a hung one from stalling the suite.
Finished run(const QString& program, const QStringList& arguments,
             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Finished result;
    if (!process.waitForStarted(10000)) return result;
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The names a document gives the two packages, e.g. "tarn_2.55_amd64.deb"; several names of one package
// are all kept, so that a stale one shows.
std::multimap<QString, QString> packageNamesIn(const QString& document) {
    const QString text = QString::fromUtf8(readAll(sourceDir + QLatin1Char('/') + document));
    std::multimap<QString, QString> names;
    const QRegularExpression debName(QStringLiteral(R"(\b((tarn|tarn-sim)_[0-9][^_\s]*_amd64\.deb)\b)"));
    for (auto it = debName.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        names.emplace(match.captured(2), match.captured(1));
    }
    return names;
}

// "dpkg-deb -f": RFC 822-like fields, continuation lines begin with a blank.
std::map<QString, QString> controlFields(const QString& deb) {
    const Finished fields = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb});
    std::map<QString, QString> result;
    QString last;
    for (const QString& line : QString::fromUtf8(fields.out).split(QLatin1Char('\n'))) {
        if (line.isEmpty()) continue;
        if (line.front().isSpace() && !last.isEmpty()) {
            result[last] += QLatin1Char('\n') + line.trimmed();
            continue;
        }
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0) continue;
        last = line.left(colon);
        result[last] = line.mid(colon + 1).trimmed();
    }
    return result;
}

// A relation field ("a (>= 1), b | c") as the package names it mentions, alternatives included; nullopt
// when an entry does not have the form dpkg gives it.
std::optional<QStringList> relationNames(const QString& field) {
    const QRegularExpression entry(
        QStringLiteral(R"(^([a-z0-9][a-z0-9+.\-]+)(:[a-z0-9]+)?\s*(\((<<|<=|=|>=|>>)\s*[^\s()]+\))?$)"));
    QStringList names;
    for (const QString& item : field.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        for (const QString& alternative : item.split(QLatin1Char('|'))) {
            const auto match = entry.match(alternative.trimmed());
            if (!match.hasMatch()) return std::nullopt;
            names << match.captured(1);
        }
    }
    return names;
}

struct Entry {
    QString mode;
    QString path;
};

// "dpkg-deb -c": mode, owner, size, date, time, then the path ("./usr/bin/x"), maybe "-> target".
std::optional<std::map<QString, Entry>> contents(const QString& deb) {
    const Finished listing = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
    if (listing.exitCode != 0) return std::nullopt;
    std::map<QString, Entry> entries;
    const QRegularExpression line(
        QStringLiteral(R"(^(\S{10})\s+\S+/\S+\s+\d+\s+\S+\s+\S+\s+\./(.*?)(\s+->\s+.*)?$)"));
    for (const QString& text : QString::fromUtf8(listing.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const auto match = line.match(text);
        if (!match.hasMatch()) return std::nullopt;
        QString path = match.captured(2);
        if (path.endsWith(QLatin1Char('/'))) path.chop(1);
        if (path.isEmpty()) continue;
        entries.emplace(path, Entry{match.captured(1), path});
    }
    return entries;
}

// An INI-like file (systemd unit, desktop entry): section -> key -> values (a key may repeat).
using Ini = std::map<QString, std::multimap<QString, QString>>;
std::optional<Ini> readIni(const QByteArray& bytes) {
    Ini ini;
    QString section;
    for (QString line : QString::fromUtf8(bytes).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2);
            ini[section];
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (section.isEmpty() || equals <= 0) return std::nullopt;
        ini[section].emplace(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return ini;
}

QStringList values(const Ini& ini, const QString& section, const QString& key) {
    QStringList result;
    const auto found = ini.find(section);
    if (found == ini.end()) return result;
    const auto [begin, end] = found->second.equal_range(key);
    for (auto it = begin; it != end; ++it)
        result << it->second;
    return result;
}

QString debPath(const QString& package, const QString& version) {
    return packagesDir + QStringLiteral("/%1_%2_amd64.deb").arg(package, version);
}

// The version the packaged tarn-cli reports; the packages are named and versioned after it.
QString versionOf(const QString& cli) {
    const Finished version = run(cli, {QStringLiteral("--version")});
    const auto match =
        QRegularExpression(QStringLiteral(R"(^tarn-cli (\S+)\s*$)")).match(QString::fromUtf8(version.out));
    return version.exitCode == 0 && match.hasMatch() ? match.captured(1) : QString();
}

// The first word of each command line under "commands:" in tarn-cli --help.
QStringList helpCommands(const QByteArray& help) {
    QStringList commands;
    bool inCommands = false;
    const QRegularExpression commandLine(QStringLiteral(R"(^  ([a-z][a-z0-9-]*)\b)"));
    for (const QString& line : QString::fromUtf8(help).split(QLatin1Char('\n'))) {
        if (line == QStringLiteral("commands:")) {
            inCommands = true;
            continue;
        }
        if (!inCommands) continue;
        const auto match = commandLine.match(line);
        if (match.hasMatch() && !commands.contains(match.captured(1))) commands << match.captured(1);
    }
    return commands;
}

// Both packages unpacked, as dpkg would install them, under one scratch root; shared by a test program's
// tests in one process.
class UnpackedPackages : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = std::make_unique<QTemporaryDir>();
        root_ = scratch_->path() + QStringLiteral("/root");
        for (const QFileInfo& deb : QDir(packagesDir).entryInfoList({QStringLiteral("*.deb")}, QDir::Files)) {
            const Finished unpack =
                run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb.filePath(), root_});
            unpacked_ = unpack.exitCode == 0 && unpacked_.value_or(true);
        }
    }
    static void TearDownTestSuite() { scratch_.reset(); }
    void SetUp() override {
        ASSERT_TRUE(unpacked_.value_or(false)) << "no package unpacked from " << packagesDir.toStdString();
    }

    static QString cli() { return root_ + QStringLiteral("/usr/bin/tarn-cli"); }
    static QString sim() { return root_ + QStringLiteral("/usr/bin/corrector-sim"); }
    static QString scratch() { return scratch_->path(); }

    static QProcessEnvironment withoutHome() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("TARN_HOME"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return environment;
    }

    static inline std::unique_ptr<QTemporaryDir> scratch_;
    static inline QString root_;
    static inline std::optional<bool> unpacked_;
};

// ---- The package files themselves ------------------------------------------------------------------------

using PackageFiles = UnpackedPackages;

TEST_F(PackageFiles, NamedAsTheReadmeSaysAndVersionedAsTheProgram) {
    const QString version = versionOf(cli());
    ASSERT_FALSE(version.isEmpty());
    const auto readme = packageNamesIn(QStringLiteral("README.md"));
    const auto manual = packageNamesIn(QStringLiteral("docs/manual/Tarn.md"));
    for (const QString& package : {QStringLiteral("tarn"), QStringLiteral("tarn-sim")}) {
        SCOPED_TRACE(package.toStdString());
        for (const auto* named : {&readme, &manual}) {
            ASSERT_TRUE(named->count(package)) << "a document names no file of this package";
            const auto [begin, end] = named->equal_range(package);
            for (auto it = begin; it != end; ++it)
                EXPECT_EQ(it->second, QStringLiteral("%1_%2_amd64.deb").arg(package, version))
                    << "a document names another version than the program's";
        }
        EXPECT_TRUE(QFileInfo::exists(debPath(package, version)));

        auto fields = controlFields(debPath(package, version));
        EXPECT_EQ(fields[QStringLiteral("Package")], package);
        EXPECT_EQ(fields[QStringLiteral("Version")], version);
        EXPECT_EQ(fields[QStringLiteral("Architecture")], QStringLiteral("amd64"));
        EXPECT_FALSE(fields[QStringLiteral("Maintainer")].isEmpty());
        EXPECT_FALSE(fields[QStringLiteral("Description")].isEmpty());
        const auto depends = relationNames(fields[QStringLiteral("Depends")]);
        ASSERT_TRUE(depends.has_value()) << fields[QStringLiteral("Depends")].toStdString();
        // Both programs are Qt programs on serial lines or pseudo-terminals.
        EXPECT_TRUE(depends->contains(QStringLiteral("libqt6core6")));
        EXPECT_TRUE(depends->contains(QStringLiteral("libc6")));
        for (const QString& relation : {QStringLiteral("Recommends"), QStringLiteral("Suggests")})
            EXPECT_TRUE(relationNames(fields[relation]).has_value()) << relation.toStdString();
    }
}

TEST_F(PackageFiles, TheProgramsPackageStandsWithoutTheSimulator) {
    const QString version = versionOf(cli());
    ASSERT_FALSE(version.isEmpty());
    auto fields = controlFields(debPath(QStringLiteral("tarn"), version));
    const auto depends = relationNames(fields[QStringLiteral("Depends")]);
    const auto recommends = relationNames(fields[QStringLiteral("Recommends")]);
    ASSERT_TRUE(depends && recommends);
    // An office computer or a polling server has no simulator pulled in.
    EXPECT_FALSE(depends->contains(QStringLiteral("tarn-sim")));
    EXPECT_FALSE(recommends->contains(QStringLiteral("tarn-sim")));
    // Qt's own dialogs in Ukrainian or Russian; the postinst makes a system user; the database is SQLite.
    EXPECT_TRUE(recommends->contains(QStringLiteral("qt6-translations-l10n")));
    EXPECT_TRUE(depends->contains(QStringLiteral("adduser")) || depends->contains(QStringLiteral("passwd")));
    EXPECT_TRUE(depends->contains(QStringLiteral("libqt6serialport6")));
    EXPECT_TRUE(depends->contains(QStringLiteral("libqt6sql6-sqlite")));
}

TEST_F(PackageFiles, EachFileWhereTheReadmeSays) {
    const QString version = versionOf(cli());
    ASSERT_FALSE(version.isEmpty());
    const auto tarn = contents(debPath(QStringLiteral("tarn"), version));
    const auto tarnSim = contents(debPath(QStringLiteral("tarn-sim"), version));
    ASSERT_TRUE(tarn && tarnSim);

    const QStringList programs{QStringLiteral("Tarn_B"), QStringLiteral("PortScan"),
                               QStringLiteral("tarn-cli")};
    QStringList expected{QStringLiteral("usr/share/bash-completion/completions/tarn-cli"),
                         QStringLiteral("usr/share/applications/example.tarn.Tarn_B.desktop"),
                         QStringLiteral("usr/share/applications/example.tarn.PortScan.desktop"),
                         QStringLiteral("usr/share/icons/hicolor/scalable/apps/example.tarn.Tarn_B.svg"),
                         QStringLiteral("usr/share/icons/hicolor/scalable/apps/example.tarn.PortScan.svg"),
                         QStringLiteral("usr/share/tarn/Tarn.pdf"),
                         QStringLiteral("lib/systemd/system/tarn-poll.service")};
    for (const QString& program : programs) {
        expected << QStringLiteral("usr/bin/") + program
                 << QStringLiteral("usr/share/man/man1/%1.1.gz").arg(program);
        ASSERT_TRUE(tarn->count(QStringLiteral("usr/bin/") + program));
        EXPECT_TRUE(
            tarn->at(QStringLiteral("usr/bin/") + program).mode.startsWith(QStringLiteral("-rwxr-xr-x")))
            << program.toStdString();
    }
    for (const QString& path : expected)
        EXPECT_TRUE(tarn->count(path)) << "tarn lacks " << path.toStdString();
    // The programs are stripped on the way into the package: no symbol table, no debugging sections.
    for (const QString& program : programs + QStringList{QStringLiteral("corrector-sim")}) {
        const Finished sections =
            run(QStringLiteral("readelf"), {QStringLiteral("-S"), QStringLiteral("--wide"),
                                            root_ + QStringLiteral("/usr/bin/") + program});
        ASSERT_EQ(sections.exitCode, 0) << program.toStdString();
        EXPECT_TRUE(sections.out.contains(".text")) << program.toStdString();
        EXPECT_FALSE(sections.out.contains(".symtab") || sections.out.contains(".debug_"))
            << program.toStdString();
    }
    const bool hasMetainfo = std::any_of(tarn->begin(), tarn->end(), [](const auto& entry) {
        return entry.first.startsWith(QStringLiteral("usr/share/metainfo/")) &&
               entry.first.endsWith(QStringLiteral(".metainfo.xml"));
    });
    EXPECT_TRUE(hasMetainfo);

    EXPECT_TRUE(tarnSim->count(QStringLiteral("usr/bin/corrector-sim")));
    EXPECT_TRUE(tarnSim->count(QStringLiteral("usr/share/man/man1/corrector-sim.1.gz")));
    // Every scenario the simulator comes with, and the simulator only in its own package.
    const QStringList scenarios = QDir(sourceDir + QStringLiteral("/tools/corrector-sim/scenarios"))
                                      .entryList({QStringLiteral("*.json")}, QDir::Files);
    ASSERT_FALSE(scenarios.isEmpty());
    for (const QString& scenario : scenarios)
        EXPECT_TRUE(tarnSim->count(QStringLiteral("usr/share/tarn-sim/scenarios/") + scenario))
            << scenario.toStdString();
    EXPECT_FALSE(tarn->count(QStringLiteral("usr/bin/corrector-sim")));
    for (const QString& program : programs)
        EXPECT_FALSE(tarnSim->count(QStringLiteral("usr/bin/") + program));

    // The service comes disabled, and no package carries a user's installation or the service's data.
    for (const auto* listing : {&*tarn, &*tarnSim}) {
        for (const auto& [path, entry] : *listing) {
            EXPECT_FALSE(path.contains(QStringLiteral(".wants"))) << path.toStdString();
            EXPECT_FALSE(path.startsWith(QStringLiteral("home")) || path.startsWith(QStringLiteral("root")) ||
                         path.startsWith(QStringLiteral("var/lib/tarn")))
                << path.toStdString();
        }
    }
}

TEST_F(PackageFiles, TheMaintainerScriptsMakeTheUserAndNeverStartTheService) {
    const QString version = versionOf(cli());
    ASSERT_FALSE(version.isEmpty());
    const QString control = scratch() + QStringLiteral("/control");
    ASSERT_EQ(run(QStringLiteral("dpkg-deb"),
                  {QStringLiteral("-e"), debPath(QStringLiteral("tarn"), version), control})
                  .exitCode,
              0);
    const QString postinst = QString::fromUtf8(readAll(control + QStringLiteral("/postinst")));
    ASSERT_FALSE(postinst.isEmpty());
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"((adduser|useradd)\b[^\n]*\btarn\b)"))
                    .match(postinst)
                    .hasMatch());
    EXPECT_TRUE(postinst.contains(QStringLiteral("/var/lib/tarn")));
    EXPECT_TRUE(postinst.contains(QStringLiteral("0750")) || postinst.contains(QStringLiteral("750")));
    EXPECT_TRUE(postinst.contains(QStringLiteral("daemon-reload")));

    // No script enables or starts the unit, and none removes the user or the service's data.
    const QRegularExpression startsUnit(QStringLiteral(
        R"((systemctl|deb-systemd-helper|deb-systemd-invoke)\b[^\n]*\b(enable|start|restart)\b)"));
    const QRegularExpression removesData(QStringLiteral(R"((deluser|userdel)\b|rm\s[^\n]*/var/lib/tarn)"));
    for (const QString& script : QDir(control).entryList(QDir::Files)) {
        const QString text = QString::fromUtf8(readAll(control + QLatin1Char('/') + script));
        EXPECT_FALSE(startsUnit.match(text).hasMatch()) << script.toStdString();
        EXPECT_FALSE(removesData.match(text).hasMatch()) << script.toStdString();
    }
}

TEST_F(PackageFiles, TheManualTheIconsTheDesktopEntriesAndTheMetainfoReadBack) {
    EXPECT_TRUE(readAll(root_ + QStringLiteral("/usr/share/tarn/Tarn.pdf")).startsWith("%PDF-"));
    for (const QString& id :
         {QStringLiteral("example.tarn.Tarn_B"), QStringLiteral("example.tarn.PortScan")}) {
        SCOPED_TRACE(id.toStdString());
        QXmlStreamReader svg(
            readAll(root_ + QStringLiteral("/usr/share/icons/hicolor/scalable/apps/%1.svg").arg(id)));
        ASSERT_TRUE(svg.readNextStartElement());
        EXPECT_EQ(svg.name(), QStringLiteral("svg"));
        while (!svg.atEnd())
            svg.readNext();
        EXPECT_FALSE(svg.hasError()) << svg.errorString().toStdString();

        const auto desktop =
            readIni(readAll(root_ + QStringLiteral("/usr/share/applications/%1.desktop").arg(id)));
        ASSERT_TRUE(desktop.has_value());
        const QString group = QStringLiteral("Desktop Entry");
        EXPECT_EQ(values(*desktop, group, QStringLiteral("Type")),
                  QStringList{QStringLiteral("Application")});
        EXPECT_EQ(values(*desktop, group, QStringLiteral("Icon")), QStringList{id});
        // The menu entries the manual tells its readers to look for.
        EXPECT_EQ(values(*desktop, group, QStringLiteral("Name")),
                  QStringList{id.endsWith(QStringLiteral("Tarn_B")) ? QStringLiteral("Tarn")
                                                                    : QStringLiteral("Tarn PortScan")});
        const QStringList exec = values(*desktop, group, QStringLiteral("Exec"));
        ASSERT_EQ(exec.size(), 1);
        // The program named is one the package installs.
        const QString program = exec.front().split(QLatin1Char(' ')).front();
        EXPECT_TRUE(
            QFileInfo(root_ + QStringLiteral("/usr/bin/") + QFileInfo(program).fileName()).isExecutable())
            << program.toStdString();
        EXPECT_TRUE(id.endsWith(QFileInfo(program).fileName()));
    }

    const QStringList metainfo = QDir(root_ + QStringLiteral("/usr/share/metainfo"))
                                     .entryList({QStringLiteral("*.metainfo.xml")}, QDir::Files);
    ASSERT_FALSE(metainfo.isEmpty());
    for (const QString& file : metainfo) {
        QXmlStreamReader xml(readAll(root_ + QStringLiteral("/usr/share/metainfo/") + file));
        QStringList launchables;
        QString componentId;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) continue;
            if (xml.name() == QStringLiteral("launchable"))
                launchables << xml.readElementText();
            else if (xml.name() == QStringLiteral("id") && componentId.isEmpty())
                componentId = xml.readElementText();
        }
        EXPECT_FALSE(xml.hasError()) << file.toStdString() << ": " << xml.errorString().toStdString();
        EXPECT_EQ(file, componentId + QStringLiteral(".metainfo.xml"));
        for (const QString& launchable : launchables)
            EXPECT_TRUE(QFileInfo::exists(root_ + QStringLiteral("/usr/share/applications/") + launchable))
                << launchable.toStdString();
    }
}

// ---- The programs run from the unpacked tree -------------------------------------------------------------

using UnpackedPrograms = UnpackedPackages;

TEST_F(UnpackedPrograms, HelpManualPageAndCompletionAgreeOnTheCommands) {
    const Finished help = run(cli(), {QStringLiteral("--help")});
    ASSERT_EQ(help.exitCode, 0);
    const QStringList commands = helpCommands(help.out);
    // The commands the README and the manual lean on.
    for (const QString& command : {QStringLiteral("init"), QStringLiteral("identify"), QStringLiteral("poll"),
                                   QStringLiteral("group"), QStringLiteral("db")})
        ASSERT_TRUE(commands.contains(command)) << command.toStdString();

    // The README lists them too (init apart, which it names on its own).
    const QString readme = QString::fromUtf8(readAll(sourceDir + QStringLiteral("/README.md"))).simplified();
    const auto listed =
        QRegularExpression(QStringLiteral(R"(`tarn-cli --help` lists the commands \(([^)]*)\))"))
            .match(readme);
    ASSERT_TRUE(listed.hasMatch());
    QStringList readmeCommands = listed.captured(1).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString& command : readmeCommands)
        command = command.trimmed();
    QStringList helpWithoutInit = commands;
    helpWithoutInit.removeAll(QStringLiteral("init"));
    readmeCommands.sort();
    helpWithoutInit.sort();
    EXPECT_EQ(readmeCommands, helpWithoutInit);

    const Finished page =
        run(QStringLiteral("gzip"),
            {QStringLiteral("-dc"), root_ + QStringLiteral("/usr/share/man/man1/tarn-cli.1.gz")});
    ASSERT_EQ(page.exitCode, 0);
    // Troff writes a hyphen as "\-" and fonts as "\fB"; the words are what a reader sees.
    QString text = QString::fromUtf8(page.out);
    text.replace(QStringLiteral("\\-"), QStringLiteral("-"))
        .remove(QRegularExpression(QStringLiteral(R"(\\f[BIRP])")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^\.TH\s+"?TARN-CLI"?\s+1\b)"),
                                   QRegularExpression::MultilineOption)
                    .match(text)
                    .hasMatch());
    for (const QString& command : commands)
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral(R"((^|[\s\[|])%1\b)").arg(QRegularExpression::escape(command)),
                               QRegularExpression::MultilineOption)
                .match(text)
                .hasMatch())
            << "the manual page lacks " << command.toStdString();

    // The completion as bash would call it: the function "complete -p" names, the words typed so far.
    const QString completion = root_ + QStringLiteral("/usr/share/bash-completion/completions/tarn-cli");
    auto offered = [&](const QString& typed) {
        const QString script =
            QStringLiteral("source \"$1\" || exit 2\n"
                           "spec=$(complete -p tarn-cli) || exit 3\n"
                           "fn=$(sed -n 's/.*-F \\([^ ]*\\).*/\\1/p' <<<\"$spec\")\n"
                           "[ -n \"$fn\" ] || exit 4\n"
                           "COMP_WORDS=(tarn-cli \"$2\"); COMP_CWORD=1; COMP_LINE=\"tarn-cli $2\"; "
                           "COMP_POINT=${#COMP_LINE}; COMPREPLY=()\n"
                           "\"$fn\" tarn-cli \"$2\" tarn-cli\n"
                           "printf '%s\\n' \"${COMPREPLY[@]}\"\n");
        const Finished bash = run(QStringLiteral("bash"),
                                  {QStringLiteral("-c"), script, QStringLiteral("bash"), completion, typed});
        EXPECT_EQ(bash.exitCode, 0) << bash.err.toStdString();
        return QString::fromUtf8(bash.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    const QStringList everything = offered(QString());
    for (const QString& command : commands)
        EXPECT_TRUE(everything.contains(command))
            << "the completion does not offer " << command.toStdString();
    const QStringList fromPo = offered(QStringLiteral("po"));
    EXPECT_TRUE(fromPo.contains(QStringLiteral("poll")) && fromPo.contains(QStringLiteral("points")));
    for (const QString& word : fromPo)
        EXPECT_TRUE(word.startsWith(QStringLiteral("po"))) << word.toStdString();
}

TEST_F(UnpackedPrograms, TheServiceUnitRunsDutyPollingAsTheManualSays) {
    const auto unit = readIni(readAll(root_ + QStringLiteral("/lib/systemd/system/tarn-poll.service")));
    ASSERT_TRUE(unit.has_value());
    const QString service = QStringLiteral("Service");
    EXPECT_EQ(values(*unit, service, QStringLiteral("User")), QStringList{QStringLiteral("tarn")});
    EXPECT_TRUE(values(*unit, service, QStringLiteral("Environment"))
                    .contains(QStringLiteral("TARN_HOME=/var/lib/tarn")));

    const QStringList start = values(*unit, service, QStringLiteral("ExecStart"));
    ASSERT_EQ(start.size(), 1);
    const QStringList words = start.front().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    ASSERT_FALSE(words.isEmpty());
    EXPECT_EQ(words.front(), QStringLiteral("/usr/bin/tarn-cli"));
    EXPECT_TRUE(QFileInfo(root_ + words.front()).isExecutable());
    EXPECT_EQ(words.mid(1),
              (QStringList{QStringLiteral("poll"), QStringLiteral("--schedule"), QStringLiteral("--duty")}));

    // reload sends SIGHUP; 130 after SIGTERM counts as success; the ports are the dialout group's.
    const QStringList reload = values(*unit, service, QStringLiteral("ExecReload"));
    ASSERT_EQ(reload.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(kill\s+(-HUP|-SIGHUP|-s\s+(SIG)?HUP)\s+\$MAINPID)"))
                    .match(reload.front())
                    .hasMatch())
        << reload.front().toStdString();
    const QStringList success = values(*unit, service, QStringLiteral("SuccessExitStatus"))
                                    .join(QLatin1Char(' '))
                                    .split(QLatin1Char(' '));
    EXPECT_TRUE(success.contains(QStringLiteral("130")));
    const QStringList killSignal = values(*unit, service, QStringLiteral("KillSignal"));
    EXPECT_TRUE(killSignal.isEmpty() || killSignal == QStringList{QStringLiteral("SIGTERM")});
    const QString groups = (values(*unit, service, QStringLiteral("Group")) +
                            values(*unit, service, QStringLiteral("SupplementaryGroups")))
                               .join(QLatin1Char(' '));
    EXPECT_TRUE(groups.split(QLatin1Char(' ')).contains(QStringLiteral("dialout"))) << groups.toStdString();
    EXPECT_FALSE(values(*unit, QStringLiteral("Install"), QStringLiteral("WantedBy")).isEmpty());
}

TEST_F(UnpackedPrograms, InitLaysOutAnInstallationWhereverItIsTold) {
    auto isInstallation = [](const QString& home) {
        for (const QString& folder :
             {QStringLiteral("Work"), QStringLiteral("Current"), QStringLiteral("Data")})
            if (!QFileInfo(home + QLatin1Char('/') + folder).isDir()) return false;
        return readAll(home + QStringLiteral("/Doc/Tarn.pdf")).startsWith("%PDF-");
    };

    // --home, a folder that does not exist yet.
    const QString byOption = scratch() + QStringLiteral("/by-option");
    ASSERT_EQ(
        run(cli(), {QStringLiteral("--home"), byOption, QStringLiteral("init")}, withoutHome()).exitCode, 0);
    EXPECT_TRUE(isInstallation(byOption));

    // TARN_HOME.
    QProcessEnvironment environment = withoutHome();
    const QString byVariable = scratch() + QStringLiteral("/by-variable");
    environment.insert(QStringLiteral("TARN_HOME"), byVariable);
    ASSERT_EQ(run(cli(), {QStringLiteral("init")}, environment).exitCode, 0);
    EXPECT_TRUE(isInstallation(byVariable));

    // Neither: the user's $XDG_DATA_HOME/tarn.
    environment = withoutHome();
    const QString dataHome = scratch() + QStringLiteral("/xdg");
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    environment.insert(QStringLiteral("HOME"), scratch() + QStringLiteral("/user"));
    ASSERT_EQ(run(cli(), {QStringLiteral("init")}, environment).exitCode, 0);
    EXPECT_TRUE(isInstallation(dataHome + QStringLiteral("/tarn")));
    EXPECT_FALSE(QFileInfo::exists(scratch() + QStringLiteral("/user")));

    // Nor $XDG_DATA_HOME: ~/.local/share/tarn.
    environment = withoutHome();
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    const QString user = scratch() + QStringLiteral("/another-user");
    environment.insert(QStringLiteral("HOME"), user);
    ASSERT_EQ(run(cli(), {QStringLiteral("init")}, environment).exitCode, 0);
    EXPECT_TRUE(isInstallation(user + QStringLiteral("/.local/share/tarn")));
}

// The packaged simulator plays a corrector and the packaged tarn-cli identifies it.
TEST_F(UnpackedPrograms, ThePackagedSimulatorIsIdentifiedByThePackagedCli) {
    const QString home = scratch() + QStringLiteral("/home");
    ASSERT_EQ(run(cli(), {QStringLiteral("--home"), home, QStringLiteral("init")}, withoutHome()).exitCode,
              0);

    // The version each preset plays, as the simulator lists them.
    const Finished presets = run(sim(), {QStringLiteral("--list-presets")});
    ASSERT_EQ(presets.exitCode, 0);
    std::map<QString, QString> presetVersion;
    const QRegularExpression presetLine(QStringLiteral(R"(^(\S+)\s+.*\bversion (\w+)\b)"),
                                        QRegularExpression::MultilineOption);
    for (auto it = presetLine.globalMatch(QString::fromUtf8(presets.out)); it.hasNext();) {
        const auto match = it.next();
        presetVersion[match.captured(1)] = match.captured(2);
    }
    ASSERT_TRUE(presetVersion.count(QStringLiteral("series1")));

    auto cliAt = [&](int address, const QString& link, const QStringList& command) {
        return run(cli(),
                   QStringList{QStringLiteral("--home"), home, QStringLiteral("--port"), link,
                               QStringLiteral("--address"), QString::number(address),
                               QStringLiteral("--timeout"), QStringLiteral("500"),
                               QStringLiteral("--retries"), QStringLiteral("2")} +
                       command + QStringList{QStringLiteral("--json")},
                   withoutHome());
    };

    {
        // A corrector of our own: address, serial and preset chosen here.
        const QByteArray scenario =
            R"({"devices":[{"role":"corrector","preset":"series1","address":3,"serial":40417,
            "passwords":["1111","2222","3333","4444","5555","6666","7777"]}]})";
        const QString link = scratch() + QStringLiteral("/line-own");
        tarn::test::SimProcess corrector;
        ASSERT_TRUE(corrector.start(sim(), scratch() + QStringLiteral("/own.json"), scenario, link));

        const Finished identify = cliAt(3, link, {QStringLiteral("identify")});
        ASSERT_EQ(identify.exitCode, 0) << identify.err.toStdString();
        const QJsonObject identification = QJsonDocument::fromJson(identify.out).object();
        EXPECT_EQ(identification.value(QStringLiteral("version")).toString(),
                  presetVersion.at(QStringLiteral("series1")));

        const Finished params = cliAt(3, link, {QStringLiteral("params")});
        ASSERT_EQ(params.exitCode, 0) << params.err.toStdString();
        EXPECT_EQ(QJsonDocument::fromJson(params.out).object().value(QStringLiteral("serial")).toString(),
                  QStringLiteral("40417"));

        // Nobody answers at another address.
        EXPECT_NE(cliAt(2, link, {QStringLiteral("identify")}).exitCode, 0);
    }
    {
        // The scenario the package ships, as a training room would start it.
        const QString shipped = root_ + QStringLiteral("/usr/share/tarn-sim/scenarios/corrector.json");
        const QJsonObject device = QJsonDocument::fromJson(readAll(shipped))
                                       .object()
                                       .value(QStringLiteral("devices"))
                                       .toArray()
                                       .at(0)
                                       .toObject();
        const QString preset = device.value(QStringLiteral("preset")).toString();
        const int address = device.value(QStringLiteral("address")).toInt(1);
        ASSERT_TRUE(presetVersion.count(preset)) << preset.toStdString();

        const QString link = scratch() + QStringLiteral("/line-shipped");
        tarn::test::SimProcess corrector;
        ASSERT_TRUE(
            corrector.start(sim(), scratch() + QStringLiteral("/shipped.json"), readAll(shipped), link));
        const Finished identify = cliAt(address, link, {QStringLiteral("identify")});
        ASSERT_EQ(identify.exitCode, 0) << identify.err.toStdString();
        EXPECT_EQ(QJsonDocument::fromJson(identify.out).object().value(QStringLiteral("version")).toString(),
                  presetVersion.at(preset));
    }
}

// A backup made as the manual shows (the whole folder in a tar archive) and unpacked elsewhere is the
// same installation, with the original gone: the programs find every file relative to the folder.
TEST_F(UnpackedPrograms, ABackedUpInstallationMovesAsTheManualSays) {
    const QString original = scratch() + QStringLiteral("/office/tarn");
    ASSERT_EQ(
        run(cli(), {QStringLiteral("--home"), original, QStringLiteral("init")}, withoutHome()).exitCode, 0);

    // Two days of hourly records from a corrector the scenario describes.
    const int hours = 48;
    const QByteArray scenario =
        QStringLiteral(R"({"devices":[{"role":"corrector","preset":"series1","address":1,
        "serial":40417,"passwords":["1111","2222","3333","4444","5555","6666","7777"],
        "archive":{"start":"01.03.2024 00:00","hours":%1,"flow":10.0,"profile":[1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,
        1,1,1,1,1,1]}}]})")
            .arg(hours)
            .toUtf8();
    const QString link = scratch() + QStringLiteral("/line-office");
    {
        // The point keeps its port as a COM name, which the port map ties to the simulator's line.
        QFile portMap(original + QStringLiteral("/Work/PortMap.000"));
        ASSERT_TRUE(portMap.open(QIODevice::WriteOnly));
        portMap.write(QStringLiteral("COM1 %1\r\n").arg(link).toLatin1());
    }
    {
        tarn::test::SimProcess corrector;
        ASSERT_TRUE(corrector.start(sim(), scratch() + QStringLiteral("/office.json"), scenario, link));
        const Finished store =
            run(cli(),
                {QStringLiteral("--home"), original, QStringLiteral("--port"), link, QStringLiteral("store"),
                 QStringLiteral("--archives"), QStringLiteral("hourly,daily"), QStringLiteral("--json")},
                withoutHome());
        ASSERT_EQ(store.exitCode, 0) << store.err.toStdString();
    }
    auto json = [&](const QString& home, const QStringList& command) {
        const Finished answer =
            run(cli(),
                QStringList{QStringLiteral("--home"), home} + command + QStringList{QStringLiteral("--json")},
                withoutHome());
        EXPECT_EQ(answer.exitCode, 0)
            << command.join(QLatin1Char(' ')).toStdString() << ": " << answer.err.toStdString();
        return QJsonDocument::fromJson(answer.out).object();
    };
    const QStringList hourlyRows{QStringLiteral("rows"), QStringLiteral("--point"), QStringLiteral("40417"),
                                 QStringLiteral("--archive"), QStringLiteral("hourly")};
    const QStringList dailyRows{QStringLiteral("rows"), QStringLiteral("--point"), QStringLiteral("40417"),
                                QStringLiteral("--archive"), QStringLiteral("daily")};
    const QJsonObject points = json(original, {QStringLiteral("points"), QStringLiteral("list")});
    const QJsonObject hourly = json(original, hourlyRows);
    const QJsonObject daily = json(original, dailyRows);
    ASSERT_EQ(hourly.value(QStringLiteral("rows")).toArray().size(), hours);
    ASSERT_FALSE(daily.value(QStringLiteral("rows")).toArray().isEmpty());

    const QString backup = scratch() + QStringLiteral("/tarn-backup.tar.gz");
    ASSERT_EQ(run(QStringLiteral("tar"), {QStringLiteral("-C"), scratch() + QStringLiteral("/office"),
                                          QStringLiteral("-czf"), backup, QStringLiteral("tarn")})
                  .exitCode,
              0);
    ASSERT_TRUE(QDir(scratch() + QStringLiteral("/office")).removeRecursively());
    const QString elsewhere = scratch() + QStringLiteral("/other-computer");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_EQ(run(QStringLiteral("tar"), {QStringLiteral("-C"), elsewhere, QStringLiteral("-xzf"), backup})
                  .exitCode,
              0);
    const QString moved = elsewhere + QStringLiteral("/tarn");

    EXPECT_EQ(json(moved, {QStringLiteral("points"), QStringLiteral("list")}), points);
    EXPECT_EQ(json(moved, hourlyRows), hourly);
    EXPECT_EQ(json(moved, dailyRows), daily);
    const QJsonObject check = json(moved, {QStringLiteral("db"), QStringLiteral("check")});
    EXPECT_TRUE(check.value(QStringLiteral("findings")).toArray().isEmpty());
    EXPECT_GT(check.value(QStringLiteral("tables")).toInt(), 0);
}

} // namespace
