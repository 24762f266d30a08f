#include "CliLink.h"

#include "common/Language.h"
#include "corrector/LinkTexts.h"
#include "corrector/OperationStart.h"

#include <QJsonObject>

namespace tarn::cli {

namespace {
QJsonObject profileJson(const corrector::ModelProfile& p) {
    return {{QStringLiteral("series2Model"), p.series2Model},
            {QStringLiteral("meterCoefModel"), p.meterCoefModel},
            {QStringLiteral("calibModel"), p.calibModel},
            {QStringLiteral("calibModel2"), p.calibModel2},
            {QStringLiteral("hfModel"), p.hfModel},
            {QStringLiteral("secondPort"), p.secondPort},
            {QStringLiteral("languageSetting"), p.languageSetting},
            {QStringLiteral("heatEnergy"), p.heatEnergy},
            {QStringLiteral("gasSelection"), p.gasSelection},
            {QStringLiteral("archiveDepth"), p.archiveDepth},
            {QStringLiteral("archivePages"), p.archivePages}};
}
} // namespace

QJsonObject identificationJson(const corrector::IdentificationString& id, const corrector::ModelProfile& p) {
    return {{QStringLiteral("identification"), id.text()},
            {QStringLiteral("modelLetter"), QString(p.modelLetter)},
            {QStringLiteral("version"), p.versionCode},
            {QStringLiteral("modelName"), p.modelName},
            {QStringLiteral("profile"), profileJson(p)}};
}

int runIdentification(CliRun& run, CliLink& link, corrector::OperationStart& gate) {
    shell::AppContext& ctx = *run.context;
    gate.setLanguage(ctx.languageIndex());
    gate.stepIntervalMs = 20;
    bool finished = false;
    bool accepted = false;
    QObject::connect(&gate, &corrector::OperationStart::identificationFinished, &link.scope(), [&](bool ok) {
        finished = true;
        accepted = ok;
    });
    corrector::OperationStart::Hooks hooks;
    hooks.reinitPort = [&ctx] {
        ctx.linkPort().closePort();
        return ctx.linkPort().applyAndOpen(ctx.settings());
    };
    gate.setHooks(hooks);
    const auto started = gate.startOperation(corrector::operation::Parameters);
    if (started == corrector::OperationStart::StartResult::Refused) {
        if (!ctx.linkPort().portExists(ctx.settings().corrPort)) return kExitNoLink;
        return ctx.linkPort().linkBroken() ? kExitNoLink : kExitRefused;
    }
    link.waitUntil([&] { return finished; });
    if (accepted) return kExitOk;
    // A refused version has said why, and so have reads that never agreed; silence shows the no-link text.
    if (gate.identified()) return kExitRefused;
    if (gate.gaveUpOnDisagreement()) return kExitNoLink;
    run.notifier->message(MessageKind::Error, corrector::noLinkText(ctx.languageIndex()));
    return kExitNoLink;
}

// identify [--json]: the identification of the operation start (two agreeing reads, version check).
int cmdIdentify(CliRun& run) {
    CliLink link(run);
    shell::AppContext& ctx = *run.context;
    corrector::OperationStart gate(ctx.engine(), ctx.linkPort(), ctx.settings(), ctx.notifier());
    const int code = runIdentification(run, link, gate);
    if (code != kExitOk) return code;
    const QJsonObject o = identificationJson(gate.identification(), gate.profile());
    if (run.options.json) {
        run.printJson(o);
    } else {
        *run.out << o.value(QStringLiteral("identification")).toString() << "\n"
                 << gate.profile().modelName << " " << gate.identification().versionTag() << "\n";
    }
    return kExitOk;
}

} // namespace tarn::cli
