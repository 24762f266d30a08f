// The version the programs show: the About window and "tarn-cli --version" say the version of the
// project, as the top CMakeLists.txt sets it.
#include "shell/windows/TAboutForm.h"
#include "support/CliRunner.h"

#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace tarn;

namespace {

// "project(Tarn … VERSION x.y …)" read from the source tree, the one place the version is written.
QString projectVersion() {
    QFile f(QStringLiteral(TARN_SOURCE_DIR "/CMakeLists.txt"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    static const QRegularExpression project(QStringLiteral("project\\(Tarn[^)]*\\bVERSION\\s+([0-9.]+)"));
    return project.match(QString::fromUtf8(f.readAll())).captured(1);
}

} // namespace

TEST(ProgramVersion, AboutWindowAndCliShowTheProjectVersion) {
    const QString version = projectVersion();
    ASSERT_FALSE(version.isEmpty());

    const test::CliText cli = test::runCli({QStringLiteral("--version")}).text();
    EXPECT_EQ(cli.code, 0);
    EXPECT_EQ(cli.out, QStringLiteral("tarn-cli ") + version + "\n");

    // Both languages: the word differs, the number does not.
    const struct {
        int language;
        const char* text;
    } cases[] = {{1, "Версія "}, {2, "Версия "}};
    for (const auto& c : cases) {
        shell::TAboutForm about(c.language);
        const auto* label = about.findChild<QLabel*>(QStringLiteral("version"));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QString::fromUtf8(c.text) + version) << c.language;
    }
}
