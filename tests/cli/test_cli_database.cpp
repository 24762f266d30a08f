// tarn-cli --database: a server URL is read and checked like every global option, but no command runs
// against a server yet, so it is refused before the command touches the installation, and a password
// given in it is never repeated in what the program prints.
#include "support/CliRunner.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Result = tarn::test::CliResult;

Result cli(const QStringList& args) {
    return tarn::test::runCli(args);
}

} // namespace

TEST(CliDatabase, AServerUrlIsCheckedThenRefusedAsNotYetAvailable) {
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/inst");
    struct Case {
        const char* value;
        const char* says;
    };
    const Case cases[] = {
        {"postgresql://meter@db.example.org/gas?schema=plant",
         "(postgresql://meter@db.example.org/gas?schema=plant) is not yet available"},
        {"postgres://meter@%2Ftmp%2Fpg/gas?schema=plant",
         "(postgresql://meter@/gas?host=/tmp/pg&schema=plant) is not yet available"},
        {"postgresql://meter:s3cret-word@db/gas?schema=plant", "~/.pgpass"},
        {"postgresql://db/gas?schema=plant&password=s3cret-word", "PGPASSWORD"},
        {"postgresql://db/gas?schema=x%22%3BDROP%20SCHEMA%20public%3B--", "only lower-case"},
        {"postgresql://db/gas", "no schema"},
        {"/var/lib/tarn", "takes a PostgreSQL URL"},
    };
    for (const Case& c : cases) {
        const Result r = cli({QStringLiteral("--home"), home, QStringLiteral("--database"),
                              QString::fromUtf8(c.value), QStringLiteral("points"), QStringLiteral("list")});
        EXPECT_EQ(r.code, 2) << c.value;
        EXPECT_TRUE(r.out.isEmpty()) << c.value << ": " << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << c.value << ": " << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("s3cret")) << c.value << ": " << r.err.toStdString();
    }
    // Refused before the command ran: no installation was laid out.
    EXPECT_FALSE(QDir(home).exists());

    const Result missing = cli({QStringLiteral("--database")});
    EXPECT_EQ(missing.code, 2);
    EXPECT_TRUE(missing.err.contains("--database needs a value")) << missing.err.toStdString();
    const Result help = cli({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.contains("--database URL")) << help.out.toStdString();
}
