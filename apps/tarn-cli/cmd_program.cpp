// program --point ID: a point's saved parameter file written into the corrector on the line, as the
// programming window does it: the file loaded into the corrector window's model, the configurator
// password, the identification, then the steps; each step's label goes to stderr.
#include "CliLink.h"

#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorSession.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/LinkTexts.h"
#include "corrector/ProgramFromFile.h"
#include "database/Registry.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>

namespace tarn::cli {

int cmdProgram(CliRun& run) {
    using corrector::ProgramFromFile;
    shell::AppContext& ctx = *run.context;
    const int lang = ctx.languageIndex();
    const QString point = run.value(QStringLiteral("--point")).value_or(QString());
    if (!database::isPointIdentifier(point)) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("--point: a point identifier, for example w04870"));
        return kExitUsage;
    }
    const QDateTime now = QDateTime::currentDateTime();
    corrector::ProgramFields fields;
    fields.date = run.value(QStringLiteral("--date")).value_or(now.toString(QStringLiteral("dd.MM.yyyy")));
    fields.time = run.value(QStringLiteral("--time")).value_or(now.toString(QStringLiteral("HH:mm")));

    CliLink link(run);
    corrector::CorrectorSession session(ctx.engine(), ctx.linkPort(), ctx.settings(), ctx.notifier(),
                                        ctx.operationStart(), ctx.readRun(), lang);
    session.setLineHold(&ctx.lineHold());
    ctx.operationStart().setLanguage(lang);
    ctx.operationStart().stepIntervalMs = 20;
    auto& model = session.model();
    model.afterWriteDelayMs = 50;
    model.setVolumeDecimals(ctx.volumeDecimals);

    const QString path = corrector::pointParameterFilePath(ctx.root(), point);
    if (!corrector::loadPointParameterFile(model, path, ctx.notifier()) ||
        !corrector::hasDataToSave(model.reading())) {
        run.notifier->message(MessageKind::Error, corrector::noDataText(lang) + QStringLiteral(": ") + path);
        return kExitUsage;
    }
    fields.meterReading =
        run.value(QStringLiteral("--meter-reading")).value_or(model.text(corrector::Field::MeterCounter));
    fields.totalVolume = run.value(QStringLiteral("--total-volume"))
                             .value_or(model.text(corrector::Field::TotalStandardVolume));

    // The port as the operation start opens it.
    if (!ctx.linkPort().portExists(ctx.settings().corrPort)) {
        run.notifier->message(MessageKind::Error,
                              ctx.operationStart().portOpenErrorText(ctx.settings().corrPort));
        return kExitNoLink;
    }
    ctx.linkPort().closePort();
    if (!ctx.linkPort().applyAndOpen(ctx.settings())) return kExitNoLink;

    ProgramFromFile program(model, ctx.engine(), ctx.operationStart(), ctx.notifier());
    program.setLineHold(&ctx.lineHold());
    program.stepDelayMs = 50;
    program.fields = [&fields] { return fields; };
    QJsonArray labels;
    QObject::connect(&program, &ProgramFromFile::stepLabelChanged, &link.scope(), [&](const QString& label) {
        if (label.isEmpty()) return;
        labels.append(label);
        std::fprintf(stderr, "%s\n", label.toUtf8().constData());
        std::fflush(stderr);
    });

    auto noLink = [&] {
        // Identification reads that never agreed have said so; the line answered.
        if (!ctx.operationStart().gaveUpOnDisagreement())
            run.notifier->message(MessageKind::Error, corrector::noLinkText(lang));
        return kExitNoLink;
    };
    if (!program.sendPassword(run.value(QStringLiteral("--password"))
                                  .value_or(QString::fromLatin1(corrector::kDefaultConfiguratorPassword))))
        return kExitRefused;
    link.waitUntil([&] { return program.phase() != ProgramFromFile::Phase::Password; });
    if (!program.writeEnabled())
        return model.lastItem().result == corrector::ItemOutcome::Result::Refused ? kExitRefused : noLink();

    if (!program.startWriting()) return kExitRefused;
    link.waitUntil([&] {
        const auto p = program.phase();
        return p != ProgramFromFile::Phase::Identifying && p != ProgramFromFile::Phase::Writing;
    });
    const bool written = program.phase() == ProgramFromFile::Phase::Done;
    if (run.options.json)
        run.printJson({{QStringLiteral("written"), written},
                       {QStringLiteral("step"), program.step()},
                       {QStringLiteral("steps"), labels}});
    switch (program.phase()) {
    case ProgramFromFile::Phase::Done:
        return kExitOk;
    case ProgramFromFile::Phase::Mismatch:
        return kExitRefused;
    case ProgramFromFile::Phase::Stalled:
        // A refusal has been told; a corrector that stopped answering shows the no-link text.
        return session.link().noLinkShown() ? noLink() : kExitRefused;
    default:
        // The identification did not accept the corrector: a refused version has said why.
        return ctx.operationStart().identified() ? kExitRefused : noLink();
    }
}

} // namespace tarn::cli
