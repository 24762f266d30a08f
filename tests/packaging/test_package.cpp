// The Debian packages made by scripts/package.sh from this build: what they hold and where, the control
// data and scripts, the desktop entries, metainfo, icons, manual pages and the service unit read back by
// their own tools and parsers, and the programs run from a scratch root the packages were unpacked into.
#include "support/CliRunner.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

// Failure messages name paths and programs as they are.
static std::ostream& operator<<(std::ostream& os, const QString& s) {
    return os << s.toStdString();
}

namespace {

const QString kPackageDir = QStringLiteral(TARN_PACKAGE_DIR);

struct Ran {
    int code = -1;
    QString out;
    QString err;
};

Ran runProgram(const QString& program, const QStringList& args, const QProcessEnvironment& env = {},
               const QString& workingDir = {}) {
    QProcess p;
    if (!env.isEmpty()) p.setProcessEnvironment(env);
    if (!workingDir.isEmpty()) p.setWorkingDirectory(workingDir);
    p.start(program, args);
    // A guard against a hung program, not a measure of speed.
    if (!p.waitForFinished(240000)) p.kill();
    p.waitForFinished();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

QString buildVersion() {
    return tarn::test::runCli({QStringLiteral("--version")})
        .text()
        .out.trimmed()
        .section(QLatin1Char(' '), 1);
}

QString debFile(const QString& package) {
    return kPackageDir + QLatin1Char('/') + package + QLatin1Char('_') + buildVersion() +
           QStringLiteral("_amd64.deb");
}

struct Entry {
    QString mode;
    QString owner;
    QString path; // without the leading "./"
};

// "dpkg-deb -c": mode, owner/group, size, date, time, path (and "-> target" for a link).
QList<Entry> contents(const QString& deb) {
    const Ran r = runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    QList<Entry> list;
    for (const QString& line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (f.size() < 6) continue;
        QString path = f.at(5);
        if (path.startsWith(QLatin1String("./"))) path = path.mid(2);
        if (path.endsWith(QLatin1Char('/'))) path.chop(1);
        if (!path.isEmpty()) list.append({f.at(0), f.at(1), path});
    }
    return list;
}

QString controlField(const QString& deb, const char* field) {
    return runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QString::fromLatin1(field)})
        .out.trimmed();
}

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// A desktop entry or a systemd unit: "[Group]" headers, "Key=Value" lines, "#" comments.
QMap<QString, QMap<QString, QString>> readKeyFile(const QString& path) {
    QMap<QString, QMap<QString, QString>> groups;
    QString group;
    for (const QString& raw : readText(path).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0) groups[group][line.left(eq).trimmed()] = line.mid(eq + 1).trimmed();
    }
    return groups;
}

// The packages unpacked with "dpkg -x" into a scratch root, once for the tests that need them.
class Unpacked : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new QTemporaryDir;
        for (const char* package : {"tarn", "tarn-sim"}) {
            const Ran r = runProgram(QStringLiteral("dpkg"),
                                     {QStringLiteral("-x"), debFile(QString::fromLatin1(package)), root()});
            ASSERT_EQ(r.code, 0) << package << ": " << r.err.toStdString();
        }
    }
    static void TearDownTestSuite() {
        delete scratch_;
        scratch_ = nullptr;
    }
    static QString root() { return scratch_->path() + QStringLiteral("/root"); }
    static QString at(const QString& path) { return root() + QLatin1Char('/') + path; }

    static QTemporaryDir* scratch_;
};
QTemporaryDir* Unpacked::scratch_ = nullptr;

QProcessEnvironment userEnvironment(const QString& userHome) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TARN_HOME"));
    env.insert(QStringLiteral("HOME"), userHome);
    env.insert(QStringLiteral("XDG_DATA_HOME"), userHome + QStringLiteral("/.local/share"));
    return env;
}

QStringList filesUnder(const QString& dir) {
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    return files;
}

} // namespace

TEST(PackageFiles, EachPackageHoldsItsFilesWhereDebianLooksForThem) {
    const QString version = buildVersion();
    ASSERT_FALSE(version.isEmpty());
    const QString tarn = debFile(QStringLiteral("tarn"));
    const QString sim = debFile(QStringLiteral("tarn-sim"));
    ASSERT_TRUE(QFile::exists(tarn)) << tarn;
    ASSERT_TRUE(QFile::exists(sim)) << sim;

    const struct {
        QString deb;
        QStringList files;
        QStringList executables;
    } packages[] = {
        {tarn,
         {QStringLiteral("usr/bin/Tarn_B"), QStringLiteral("usr/bin/PortScan"),
          QStringLiteral("usr/bin/tarn-cli"), QStringLiteral("usr/share/man/man1/Tarn_B.1.gz"),
          QStringLiteral("usr/share/man/man1/PortScan.1.gz"),
          QStringLiteral("usr/share/man/man1/tarn-cli.1.gz"),
          QStringLiteral("usr/share/bash-completion/completions/tarn-cli"),
          QStringLiteral("usr/share/applications/example.tarn.Tarn_B.desktop"),
          QStringLiteral("usr/share/applications/example.tarn.PortScan.desktop"),
          QStringLiteral("usr/share/icons/hicolor/scalable/apps/example.tarn.Tarn_B.svg"),
          QStringLiteral("usr/share/icons/hicolor/scalable/apps/example.tarn.PortScan.svg"),
          QStringLiteral("usr/share/metainfo/example.tarn.Tarn_B.metainfo.xml"),
          QStringLiteral("usr/share/tarn/Tarn.pdf"), QStringLiteral("usr/share/doc/tarn/copyright"),
          QStringLiteral("usr/share/doc/tarn/changelog.gz"),
          QStringLiteral("lib/systemd/system/tarn-poll.service")},
         {QStringLiteral("usr/bin/Tarn_B"), QStringLiteral("usr/bin/PortScan"),
          QStringLiteral("usr/bin/tarn-cli")}},
        {sim,
         {QStringLiteral("usr/bin/corrector-sim"), QStringLiteral("usr/share/man/man1/corrector-sim.1.gz"),
          QStringLiteral("usr/share/tarn-sim/scenarios/corrector.json"),
          QStringLiteral("usr/share/doc/tarn-sim/copyright"),
          QStringLiteral("usr/share/doc/tarn-sim/changelog.gz")},
         {QStringLiteral("usr/bin/corrector-sim")}},
    };
    for (const auto& p : packages) {
        const QList<Entry> entries = contents(p.deb);
        QMap<QString, Entry> byPath;
        for (const Entry& e : entries)
            byPath.insert(e.path, e);
        for (const QString& f : p.files) {
            ASSERT_TRUE(byPath.contains(f)) << p.deb << ": " << f;
            EXPECT_TRUE(byPath.value(f).mode.startsWith(QLatin1Char('-'))) << f;
        }
        for (const QString& x : p.executables)
            EXPECT_EQ(byPath.value(x).mode, QStringLiteral("-rwxr-xr-x")) << x;
        for (const Entry& e : entries) {
            EXPECT_EQ(e.owner, QStringLiteral("root/root")) << e.path;
            // Files go under /usr and /lib only; no user's installation, no data of the service's.
            EXPECT_TRUE(e.path == QLatin1String("usr") || e.path == QLatin1String("lib") ||
                        e.path.startsWith(QLatin1String("usr/")) || e.path.startsWith(QLatin1String("lib/")))
                << e.path;
            EXPECT_FALSE(e.path.startsWith(QLatin1String("var/"))) << e.path;
            EXPECT_FALSE(e.path.contains(QLatin1String(".wants")))
                << "the unit is installed disabled: " << e.path;
            if (e.mode.startsWith(QLatin1Char('-')) && !p.executables.contains(e.path)) {
                EXPECT_EQ(e.mode, QStringLiteral("-rw-r--r--")) << e.path;
            }
        }
    }
    // The simulator is its own package: the programs' package does not carry it, nor the other way round.
    QStringList tarnPaths, simPaths;
    for (const Entry& e : contents(tarn))
        tarnPaths.append(e.path);
    for (const Entry& e : contents(sim))
        simPaths.append(e.path);
    EXPECT_FALSE(tarnPaths.contains(QStringLiteral("usr/bin/corrector-sim")));
    EXPECT_FALSE(simPaths.contains(QStringLiteral("usr/bin/tarn-cli")));
}

TEST(PackageFiles, ControlDataNameTheVersionAndWhatThePackageNeeds) {
    const QString version = buildVersion();
    const QString tarn = debFile(QStringLiteral("tarn"));
    EXPECT_EQ(controlField(tarn, "Package"), QStringLiteral("tarn"));
    EXPECT_EQ(controlField(tarn, "Version"), version);
    EXPECT_EQ(controlField(tarn, "Architecture"), QStringLiteral("amd64"));
    const QStringList depends = controlField(tarn, "Depends").split(QStringLiteral(", "));
    const auto dependsOn = [&depends](const QString& name) {
        for (const QString& d : depends)
            if (d == name || d.startsWith(name + QLatin1Char(' '))) return true;
        return false;
    };
    // Found by the shared-library scan, and the two that no program links: the database driver plug-in
    // and adduser for the service's user.
    EXPECT_TRUE(dependsOn(QStringLiteral("libqt6core6"))) << depends.join(QLatin1Char('|'));
    EXPECT_TRUE(dependsOn(QStringLiteral("libqt6sql6-sqlite")));
    EXPECT_TRUE(dependsOn(QStringLiteral("adduser")));
    EXPECT_TRUE(controlField(tarn, "Recommends").contains(QStringLiteral("qt6-translations-l10n")));
    const QString sim = debFile(QStringLiteral("tarn-sim"));
    EXPECT_EQ(controlField(sim, "Package"), QStringLiteral("tarn-sim"));
    EXPECT_EQ(controlField(sim, "Version"), version);

    // The maintainer scripts: the service's user and folder made, the unit never enabled or started, the
    // service's data never deleted.
    QTemporaryDir control;
    ASSERT_EQ(
        runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-e"), tarn, control.path() + "/c"}).code, 0);
    const QString postinst = readText(control.path() + QStringLiteral("/c/postinst"));
    const QString postrm = readText(control.path() + QStringLiteral("/c/postrm"));
    const QString prerm = readText(control.path() + QStringLiteral("/c/prerm"));
    ASSERT_FALSE(postinst.isEmpty());
    EXPECT_TRUE(QFileInfo(control.path() + QStringLiteral("/c/postinst")).isExecutable());
    EXPECT_TRUE(
        postinst.contains(QRegularExpression(QStringLiteral("adduser --system[^\\n]*\\\\?\\n?[^\\n]*tarn"))));
    EXPECT_TRUE(postinst.contains(QStringLiteral("/var/lib/tarn")));
    for (const QString& script : {postinst, postrm, prerm}) {
        EXPECT_FALSE(script.contains(
            QRegularExpression(QStringLiteral("\\b(enable|start|restart)\\b[^\\n]*tarn-poll"))));
        EXPECT_FALSE(script.contains(QRegularExpression(QStringLiteral("rm [^\\n]*/var/lib/tarn"))));
        // Each script parses as a POSIX shell script.
        QTemporaryDir d;
        QFile f(d.path() + QStringLiteral("/s"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(script.toUtf8());
        f.close();
        EXPECT_EQ(runProgram(QStringLiteral("sh"), {QStringLiteral("-n"), f.fileName()}).code, 0);
    }
}

TEST_F(Unpacked, DesktopEntriesValidateAndNameTheirProgramsAndIcons) {
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    for (const char* id : {"example.tarn.Tarn_B", "example.tarn.PortScan"}) {
        const QString path = at(QStringLiteral("usr/share/applications/%1.desktop").arg(QLatin1String(id)));
        if (!validator.isEmpty()) {
            const Ran r = runProgram(validator, {path});
            EXPECT_EQ(r.code, 0) << id << r.out.toStdString() << r.err.toStdString();
            EXPECT_TRUE(r.out.trimmed().isEmpty()) << r.out.toStdString();
        }
        const auto entry = readKeyFile(path).value(QStringLiteral("Desktop Entry"));
        EXPECT_EQ(entry.value(QStringLiteral("Type")), QStringLiteral("Application"));
        const QString program = entry.value(QStringLiteral("Exec")).section(QLatin1Char(' '), 0, 0);
        EXPECT_TRUE(QFileInfo(at(QStringLiteral("usr/bin/") + program)).isExecutable()) << program;
        // Each icon an SVG picture, its root element "svg" with a view box.
        const QString icon = at(QStringLiteral("usr/share/icons/hicolor/scalable/apps/") +
                                entry.value(QStringLiteral("Icon")) + QStringLiteral(".svg"));
        QFile svg(icon);
        ASSERT_TRUE(svg.open(QIODevice::ReadOnly)) << icon;
        QXmlStreamReader xml(&svg);
        ASSERT_TRUE(xml.readNextStartElement());
        EXPECT_EQ(xml.name(), QStringLiteral("svg"));
        EXPECT_FALSE(xml.attributes().value(QStringLiteral("viewBox")).isEmpty());
        while (!xml.atEnd())
            xml.readNext();
        EXPECT_FALSE(xml.hasError()) << icon << xml.errorString();
    }
    if (validator.isEmpty()) GTEST_SKIP() << "desktop-file-validate is not installed (desktop-file-utils)";
}

TEST_F(Unpacked, MetainfoValidatesAndMatchesTheDesktopEntryAndVersion) {
    const QString path = at(QStringLiteral("usr/share/metainfo/example.tarn.Tarn_B.metainfo.xml"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QString id, launchable, release;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("id"))
            id = xml.readElementText();
        else if (xml.name() == QLatin1String("launchable"))
            launchable = xml.readElementText();
        else if (xml.name() == QLatin1String("release"))
            release = xml.attributes().value(QStringLiteral("version")).toString();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString();
    EXPECT_EQ(id, QStringLiteral("example.tarn.Tarn_B"));
    EXPECT_TRUE(QFile::exists(at(QStringLiteral("usr/share/applications/") + launchable))) << launchable;
    EXPECT_EQ(release, buildVersion());

    const QString appstream = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
    if (appstream.isEmpty()) GTEST_SKIP() << "appstreamcli is not installed (appstream)";
    const Ran r = runProgram(appstream, {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                         QStringLiteral("--pedantic"), path});
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
}

TEST_F(Unpacked, EveryProgramHasAManualPageThatFormatsCleanly) {
    const QString man = QStandardPaths::findExecutable(QStringLiteral("man"));
    const QString lexgrog = QStandardPaths::findExecutable(QStringLiteral("lexgrog"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("MANROFFSEQ"), QString());
    env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
    for (const char* program : {"Tarn_B", "PortScan", "tarn-cli", "corrector-sim"}) {
        const QString page = at(QStringLiteral("usr/share/man/man1/%1.1.gz").arg(QLatin1String(program)));
        ASSERT_TRUE(QFile::exists(page)) << program;
        ASSERT_TRUE(QFile::exists(at(QStringLiteral("usr/bin/") + QLatin1String(program)))) << program;
        if (man.isEmpty()) continue;
        // As man(1) shows it, every warning on: none may come, and the page names its program.
        const Ran r = runProgram(man,
                                 {QStringLiteral("--warnings"), QStringLiteral("-E"), QStringLiteral("UTF-8"),
                                  QStringLiteral("-l"), QStringLiteral("-Tutf8"), page},
                                 env);
        EXPECT_EQ(r.code, 0) << program;
        EXPECT_TRUE(r.err.isEmpty()) << program << ": " << r.err.toStdString();
        const Ran text =
            runProgram(man, {QStringLiteral("-l"), QStringLiteral("-P"), QStringLiteral("cat"), page}, env);
        EXPECT_TRUE(text.out.contains(QLatin1String(program))) << program;
        EXPECT_TRUE(text.out.contains(QStringLiteral("NAME"))) << program;
        if (!lexgrog.isEmpty()) {
            // The whatis line apropos and lintian read: "program - what it is".
            const Ran w = runProgram(lexgrog, {page}, env);
            EXPECT_EQ(w.code, 0) << program << w.out.toStdString();
            EXPECT_TRUE(w.out.contains(QLatin1String(program) + QStringLiteral(" - ")))
                << w.out.toStdString();
        }
    }
    if (man.isEmpty()) GTEST_SKIP() << "man is not installed";
}

TEST_F(Unpacked, ServiceUnitRunsDutyPollingAsTheTarnUser) {
    const QString unit = at(QStringLiteral("lib/systemd/system/tarn-poll.service"));
    const auto groups = readKeyFile(unit);
    const auto service = groups.value(QStringLiteral("Service"));
    EXPECT_EQ(service.value(QStringLiteral("User")), QStringLiteral("tarn"));
    EXPECT_EQ(service.value(QStringLiteral("Environment")), QStringLiteral("TARN_HOME=/var/lib/tarn"));
    EXPECT_EQ(service.value(QStringLiteral("ExecReload")), QStringLiteral("/bin/kill -HUP $MAINPID"));
    EXPECT_TRUE(service.value(QStringLiteral("SuccessExitStatus"))
                    .split(QLatin1Char(' '))
                    .contains(QStringLiteral("130")));
    EXPECT_EQ(groups.value(QStringLiteral("Install")).value(QStringLiteral("WantedBy")),
              QStringLiteral("multi-user.target"));
    // The command is the packaged tarn-cli, and its parser takes the command's options.
    const QStringList exec =
        service.value(QStringLiteral("ExecStart")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    ASSERT_GE(exec.size(), 2);
    EXPECT_EQ(exec.first(), QStringLiteral("/usr/bin/tarn-cli"));
    EXPECT_EQ(exec.mid(1),
              (QStringList{QStringLiteral("poll"), QStringLiteral("--schedule"), QStringLiteral("--duty")}));
    const Ran help = runProgram(at(QStringLiteral("usr/bin/tarn-cli")),
                                exec.mid(1) + QStringList{QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0) << help.err.toStdString();

    // systemd's own reading of the unit, its tarn-cli the unpacked one (the unit names the installed path).
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty()) GTEST_SKIP() << "systemd-analyze is not installed";
    QTemporaryDir units;
    QFile copy(units.path() + QStringLiteral("/tarn-poll.service"));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(readText(unit)
                   .replace(QStringLiteral("ExecStart=/usr/bin/tarn-cli"),
                            QStringLiteral("ExecStart=") + at(QStringLiteral("usr/bin/tarn-cli")))
                   .toUtf8());
    copy.close();
    const Ran verify =
        runProgram(analyze, {QStringLiteral("verify"), QStringLiteral("--man=no"), copy.fileName()});
    EXPECT_EQ(verify.code, 0) << verify.out << verify.err;
    EXPECT_TRUE(verify.err.trimmed().isEmpty()) << verify.err;
}

TEST_F(Unpacked, ProgramsRunFromTheScratchRoot) {
    QTemporaryDir user;
    const QProcessEnvironment env = userEnvironment(user.path());
    const QString cli = at(QStringLiteral("usr/bin/tarn-cli"));

    const Ran version = runProgram(cli, {QStringLiteral("--version")}, env);
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, QStringLiteral("tarn-cli ") + buildVersion() + QLatin1Char('\n'));
    const Ran help = runProgram(cli, {QStringLiteral("--help")}, env);
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("commands:")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("  init ")));

    // The packaged programs keep a user's installation in the user's data folder; the package's own
    // folders stay as they were unpacked.
    const QStringList packaged = filesUnder(root());
    const Ran init = runProgram(cli, {QStringLiteral("--json"), QStringLiteral("init")}, env, user.path());
    EXPECT_EQ(init.code, 0) << init.err.toStdString();
    const QString home = user.path() + QStringLiteral("/.local/share/tarn");
    EXPECT_TRUE(init.out.contains(home)) << init.out.toStdString();
    EXPECT_TRUE(QFile::exists(home + QStringLiteral("/Work/Type_Leng.000")));
    EXPECT_EQ(filesUnder(root()), packaged);
    // The installation's manual is the packaged one, a whole PDF file.
    QFile manual(home + QStringLiteral("/Doc/Tarn.pdf"));
    QFile shared(at(QStringLiteral("usr/share/tarn/Tarn.pdf")));
    ASSERT_TRUE(manual.open(QIODevice::ReadOnly));
    ASSERT_TRUE(shared.open(QIODevice::ReadOnly));
    const QByteArray pdf = manual.readAll();
    EXPECT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_TRUE(pdf.trimmed().endsWith("%%EOF"));
    EXPECT_EQ(pdf, shared.readAll());

    // The simulator from its own package: its presets, then a corrector on a pseudo-terminal that the
    // packaged tarn-cli identifies.
    const QString sim = at(QStringLiteral("usr/bin/corrector-sim"));
    const Ran presets = runProgram(sim, {QStringLiteral("--list-presets")}, env);
    EXPECT_EQ(presets.code, 0);
    EXPECT_FALSE(presets.out.trimmed().isEmpty());
    QProcess line;
    line.setProcessEnvironment(env);
    line.start(sim, {QStringLiteral("--scenario"),
                     at(QStringLiteral("usr/share/tarn-sim/scenarios/corrector.json"))});
    QString pty;
    ASSERT_TRUE(tarn::test::waitUntil(
        [&] {
            line.waitForReadyRead(50);
            const QString text = QString::fromUtf8(line.peek(4096));
            const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("pty (\\S+)\\n")).match(text);
            if (m.hasMatch()) pty = m.captured(1);
            return !pty.isEmpty() || line.state() == QProcess::NotRunning;
        },
        60000));
    ASSERT_FALSE(pty.isEmpty()) << line.readAllStandardError().toStdString();
    const Ran identify = runProgram(
        cli, {QStringLiteral("--port"), pty, QStringLiteral("--json"), QStringLiteral("identify")}, env);
    line.terminate();
    line.waitForFinished(30000);
    EXPECT_EQ(identify.code, 0) << identify.err.toStdString();
    const QJsonObject answer = QJsonDocument::fromJson(identify.out.toUtf8()).object();
    EXPECT_FALSE(answer.value(QStringLiteral("identification")).toString().isEmpty())
        << identify.out.toStdString();
    EXPECT_FALSE(answer.value(QStringLiteral("modelName")).toString().isEmpty());
}

// From the desktop menu there is no terminal to run "tarn-cli init" in: the packaged Tarn_B lays out the
// user's installation on its first start, but never a folder named by TARN_HOME that is not there.
TEST_F(Unpacked, MainProgramLaysOutTheUsersFirstInstallation) {
    QTemporaryDir user;
    QProcessEnvironment env = userEnvironment(user.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString program = at(QStringLiteral("usr/bin/Tarn_B"));
    const QString home = user.path() + QStringLiteral("/.local/share/tarn");
    const QStringList packaged = filesUnder(root());

    QProcess main;
    main.setProcessEnvironment(env);
    main.start(program, {});
    // Running once its lock file is there; a guard against a program that never gets so far.
    ASSERT_TRUE(tarn::test::waitUntil(
        [&] {
            main.waitForFinished(20);
            return QFile::exists(home + QStringLiteral("/Current/Tarn_B.lock")) ||
                   main.state() == QProcess::NotRunning;
        },
        120000));
    EXPECT_EQ(main.state(), QProcess::Running) << main.readAllStandardError().toStdString();
    main.terminate();
    main.waitForFinished(60000);
    EXPECT_TRUE(QFile::exists(home + QStringLiteral("/Work/Type_Leng.000")));
    EXPECT_TRUE(QFile::exists(home + QStringLiteral("/Doc/Tarn.pdf")));
    EXPECT_TRUE(QFileInfo(home + QStringLiteral("/Data")).isDir());
    EXPECT_EQ(filesUnder(root()), packaged);

    const QString missing = user.path() + QStringLiteral("/elsewhere");
    env.insert(QStringLiteral("TARN_HOME"), missing);
    const Ran refused = runProgram(program, {}, env);
    EXPECT_EQ(refused.code, 0);
    EXPECT_FALSE(refused.err.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST(Lintian, PackagesHaveNoErrors) {
    const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
    if (lintian.isEmpty()) GTEST_SKIP() << "lintian is not installed";
    const Ran r = runProgram(lintian, {QStringLiteral("--fail-on"), QStringLiteral("error"),
                                       QStringLiteral("--tag-display-limit"), QStringLiteral("0"),
                                       debFile(QStringLiteral("tarn")), debFile(QStringLiteral("tarn-sim"))});
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    for (const QString& line : r.out.split(QLatin1Char('\n')))
        EXPECT_FALSE(line.startsWith(QStringLiteral("E: "))) << line.toStdString();
}
