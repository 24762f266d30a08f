#pragma once
// tarn-cli as a process, run as every test that talks to the program runs it: in the installation named
// (--home first), without the TARN_HOME of the test's own environment, the test's event loop served while
// it runs (an in-process simulator line keeps answering), its standard output checked against the schema
// of its command when it answers with --json.
#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

namespace tarn::test {

// What tarn-cli printed as text, for the tests that read its lines and messages as text.
struct CliText {
    int code = -1;
    QString out;
    QString err;

    QString all() const { return out + err; }
    QJsonObject json() const;
};

struct CliResult {
    // The exit code; -1 when the program did not start, did not end normally or was ended as hung.
    int code = -1;
    QByteArray out;
    QByteArray err;

    QString outText() const { return QString::fromUtf8(out); }
    QString errText() const { return QString::fromUtf8(err); }
    CliText text() const { return {code, outText(), errText()}; }
    // The standard output as one JSON object (empty when it is none).
    QJsonObject json() const;
};

// A guard against a hung program only: no test bounds how long a command takes.
inline constexpr int kCliGuardMs = 300000;

// The program the test build names (TARN_CLI_PROGRAM).
QString cliProgram();

// Variables set for the program beside the test's own environment (a clock for the viewer, say).
using CliEnvironment = QMap<QString, QString>;

// tarn-cli with args as they are.
CliResult runCli(const QStringList& args, const CliEnvironment& environment = {});
// tarn-cli in the installation at home: "--home home", then args.
CliResult runCliIn(const QString& home, const QStringList& args, const CliEnvironment& environment = {});

} // namespace tarn::test
