#pragma once
// The check every test makes of what tarn-cli printed with --json: the answer parses and fits the schema of
// its command (docs/json/COMMAND.schema.json, or COMMAND-VERB.schema.json for a command with verbs).
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tarn::test {

// The schema file for a tarn-cli command line (its arguments without the program), found from the
// command word and its verb; empty when the line has no command.
QString cliSchemaPath(const QStringList& args);

// What is wrong with the standard output of tarn-cli run with args: nothing without --json or when nothing
// was printed (a command that failed before its answer); otherwise the output must be one JSON object, or
// one per line for the commands that stream events, each fitting its command's schema. A command without a
// schema is itself a fault.
QStringList cliJsonFaults(const QStringList& args, const QByteArray& standardOutput);

// cliJsonFaults as test failures, each naming the command line.
void expectCliJsonFits(const QStringList& args, const QByteArray& standardOutput);

} // namespace tarn::test
