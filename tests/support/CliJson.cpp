#include "support/CliJson.h"

#include "support/JsonSchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

#include <gtest/gtest.h>

namespace tarn::test {

namespace {

// tarn-cli's options that come before the command word and take a value: the value is no command.
const QStringList kGlobalOptionsWithValue = {
    QStringLiteral("--home"),         QStringLiteral("--port"),  QStringLiteral("--address"),
    QStringLiteral("--address-book"), QStringLiteral("--speed"), QStringLiteral("--timeout"),
    QStringLiteral("--retries"),      QStringLiteral("--phone"), QStringLiteral("--dial-wait"),
    QStringLiteral("--trace"),        QStringLiteral("--lang"),  QStringLiteral("--database")};

// The verb a command runs when none is given.
QString defaultVerb(const QString& command) {
    static const QMap<QString, QString> kDefaults = {{QStringLiteral("settings"), QStringLiteral("show")},
                                                     {QStringLiteral("port"), QStringLiteral("open")},
                                                     {QStringLiteral("clock"), QStringLiteral("get")},
                                                     {QStringLiteral("gas"), QStringLiteral("list")},
                                                     {QStringLiteral("group"), QStringLiteral("list")}};
    return kDefaults.value(command);
}

QString schemaDirectory() {
    return QStringLiteral(TARN_JSON_SCHEMA_DIR);
}

QString schemaFile(const QString& name) {
    return schemaDirectory() + QLatin1Char('/') + name + QStringLiteral(".schema.json");
}

} // namespace

QString cliSchemaPath(const QStringList& args) {
    qsizetype at = 0;
    QString command;
    for (; at < args.size(); ++at) {
        if (kGlobalOptionsWithValue.contains(args.at(at))) {
            ++at;
            continue;
        }
        if (!args.at(at).startsWith(QLatin1String("--"))) {
            command = args.at(at++);
            break;
        }
    }
    if (command.isEmpty()) return {};
    const bool hasVerbs = !QDir(schemaDirectory())
                               .entryList({command + QStringLiteral("-*.schema.json")}, QDir::Files)
                               .isEmpty();
    if (!hasVerbs) return schemaFile(command);
    for (; at < args.size(); ++at)
        if (!args.at(at).startsWith(QLatin1String("--")) &&
            QFile::exists(schemaFile(command + QLatin1Char('-') + args.at(at))))
            return schemaFile(command + QLatin1Char('-') + args.at(at));
    const QString verb = defaultVerb(command);
    return schemaFile(command + QLatin1Char('-') + (verb.isEmpty() ? QStringLiteral("NONE") : verb));
}

QStringList cliJsonFaults(const QStringList& args, const QByteArray& standardOutput) {
    if (!args.contains(QStringLiteral("--json")) || standardOutput.trimmed().isEmpty()) return {};
    const QString path = cliSchemaPath(args);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {QStringLiteral("no schema for this command (%1)").arg(path)};
    QJsonParseError error;
    const QJsonDocument schema = QJsonDocument::fromJson(file.readAll(), &error);
    if (!schema.isObject()) return {QStringLiteral("%1: %2").arg(path, error.errorString())};

    // One answer, or (a command that streams events) one compact object per line.
    QList<QByteArray> answers{standardOutput};
    if (const QJsonDocument whole = QJsonDocument::fromJson(standardOutput, &error); whole.isNull()) {
        answers.clear();
        for (const QByteArray& line : standardOutput.split('\n'))
            if (!line.trimmed().isEmpty()) answers.append(line);
    }
    QStringList faults;
    for (const QByteArray& answer : answers) {
        const QJsonDocument document = QJsonDocument::fromJson(answer, &error);
        if (!document.isObject()) {
            faults.append(QStringLiteral("not a JSON object (%1): %2")
                              .arg(error.errorString(), QString::fromUtf8(answer.left(200))));
            continue;
        }
        for (const QString& v : schemaViolations(document.object(), schema.object()))
            faults.append(QFileInfo(path).fileName() + QStringLiteral(" ") + v);
    }
    return faults;
}

void expectCliJsonFits(const QStringList& args, const QByteArray& standardOutput) {
    for (const QString& fault : cliJsonFaults(args, standardOutput))
        ADD_FAILURE() << "tarn-cli " << args.join(QLatin1Char(' ')).toStdString() << ": "
                      << fault.toStdString();
}

} // namespace tarn::test
