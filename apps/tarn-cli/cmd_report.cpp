#include "Cli.h"

#include "common/Language.h"
#include "common/TextFile.h"
#include "database/CsvSideOutput.h"
#include "database/Registry.h"
#include "reports/CommercialReport.h"
#include "reports/Paginator.h"
#include "reports/ParameterPrintout.h"
#include "reports/ReportHeaders.h"
#include "reports/StatListing.h"
#include "reports/print/ReportPrinter.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

namespace tarn::cli {

namespace {

std::optional<QDate> dateOption(CliRun& run, const char* name) {
    const auto text = run.value(QString::fromLatin1(name));
    if (!text) return QDate();
    const QDate d = QDate::fromString(*text, QStringLiteral("dd.MM.yyyy"));
    if (!d.isValid()) {
        run.notifier->message(
            MessageKind::Error,
            uaRu(run.context->languageIndex(), "ПОМИЛКА ФОРМАТУ ДАТИ : ", "ОШИБКА ФОРМАТА ДАТЫ : ") + *text);
        return std::nullopt;
    }
    return d;
}

// The time a report says it was made: now, or as --made gives it (a report made again to compare).
std::optional<QDateTime> madeTime(CliRun& run, const char* command) {
    const auto made = run.value(QStringLiteral("--made"));
    if (!made) return QDateTime::currentDateTime();
    const QDateTime at = QDateTime::fromString(*made, QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    if (!at.isValid()) {
        run.notifier->message(MessageKind::Error, QString::fromLatin1(command) +
                                                      QStringLiteral(": --made \"dd.MM.yyyy HH:mm:ss\""));
        return std::nullopt;
    }
    return at;
}

// The stored point of --point, with the database's layouts.
struct StoredPoint {
    database::Schemas schemas;
    database::Point point;
};
int storedPointOf(CliRun& run, StoredPoint& out) {
    const int lang = run.context->languageIndex();
    const QString id = run.value(QStringLiteral("--point")).value_or(QString());
    const QString unknown = uaRu(lang, "НЕ ВИЗНАЧЕНИЙ КОРЕКТОР", "НЕ ОПРЕДЕЛЕН КОРРЕКТОР");
    if (!database::isPointIdentifier(id)) {
        run.notifier->message(MessageKind::Error, unknown);
        return kExitUsage;
    }
    database::writeMissingSchemaFiles(run.context->root());
    out.schemas = database::loadSchemas(run.context->root());
    if (!out.schemas.ok) {
        run.notifier->message(MessageKind::Error, out.schemas.error);
        return kExitNoLink;
    }
    const auto point = database::Registry(run.context->root(), out.schemas).find(id);
    if (!point) {
        run.notifier->message(MessageKind::Error, unknown);
        return kExitRefused;
    }
    out.point = *point;
    return kExitOk;
}

// The report where it was asked for: on stdout as UTF-8, or in a file as the report window saves it; the
// pages as they would be printed in a PDF file.
int deliver(CliRun& run, const reports::ReportLines& built, const reports::ReportHeader& header) {
    if (!built.error.isEmpty()) {
        run.notifier->message(MessageKind::Error, built.error);
        return kExitRefused;
    }
    if (const auto pdf = run.value(QStringLiteral("--pdf"))) {
        const reports::PageSettings page =
            reports::loadPageSettings(run.context->root(), run.context->languageIndex());
        const reports::Pagination p =
            reports::paginate(built.lines, page,
                              {reports::ReportKind::Commercial, header.model, header.serial, header.complex});
        if (!p.ok()) {
            run.notifier->message(MessageKind::Error, p.error);
            return kExitRefused;
        }
        const QString path = QFileInfo(*pdf).absoluteFilePath();
        if (!reports::writePdf(path, p.pages, page)) {
            run.notifier->message(MessageKind::Error, QStringLiteral("cannot write ") + path);
            return kExitUsage;
        }
    }
    if (const auto out = run.value(QStringLiteral("--out"))) {
        const QString path = QFileInfo(*out).absoluteFilePath();
        if (!writeTextLines(path, built.lines)) {
            run.notifier->message(MessageKind::Error, QStringLiteral("cannot write ") + path);
            return kExitUsage;
        }
        if (run.options.json)
            run.printJson({{QStringLiteral("file"), path}, {QStringLiteral("lines"), built.lines.size()}});
        return kExitOk;
    }
    if (run.options.json) {
        run.printJson({{QStringLiteral("lines"), QJsonArray::fromStringList(built.lines)}});
        return kExitOk;
    }
    for (const QString& l : built.lines)
        *run.out << l << "\n";
    run.out->flush();
    return kExitOk;
}

// report --point ID --period params [--from dd.MM.yyyy] [--out FILE]: "ПРОГРАММИРУЕМЫЕ ПАРАМЕТРЫ" of a stored
// point, from its parameter file, as the report window prints it with "Пр.пар" (--from stands for the
// window's begin date, today by default).
int parameterPrintout(CliRun& run) {
    if (run.has(QStringLiteral("--from-corrector"))) {
        run.notifier->message(MessageKind::Error, QStringLiteral("report: --period params needs --point"));
        return kExitUsage;
    }
    const auto now = madeTime(run, "report");
    if (!now) return kExitUsage;
    reports::ParameterPrintoutOptions o;
    o.languageIndex = run.context->languageIndex();
    o.now = *now;
    o.beginDate =
        run.value(QStringLiteral("--from")).value_or(now->date().toString(QStringLiteral("dd.MM.yyyy")));
    StoredPoint stored;
    if (const int code = storedPointOf(run, stored); code != kExitOk) return code;
    const reports::DatabaseSource source(run.context->root(), stored.schemas, stored.point.identifier);
    o.newestStoredIntervention = source.newestInterventionTime();
    const reports::ParameterPrintout printout =
        reports::printPointParameters(run.context->root(), stored.point.identifier,
                                      stored.point.model.trimmed(), stored.point.serial, o, *run.notifier);
    if (!printout.ok) {
        if (!printout.message.isEmpty()) run.notifier->message(MessageKind::Warning, printout.message);
        return kExitRefused;
    }
    // A begin date that does not read stops the printout: what it has is delivered, and the message told.
    if (!printout.message.isEmpty()) run.notifier->message(MessageKind::Error, printout.message);
    const int code = deliver(run, {printout.lines, {}}, reports::headerFromPoint(stored.point));
    return code == kExitOk && !printout.message.isEmpty() ? kExitRefused : code;
}

} // namespace

// report --point ID | --from-corrector --period day|month|period --from dd.MM.yyyy [--to dd.MM.yyyy]
// [--content all|data|interventions|alarms] [--params] [--codes] [--short-alarms] [--heat]
// [--compute-totals] [--hourly-calc] [--out FILE]: the commercial report, as the report window builds it;
// --period params prints the programmed parameters instead.
int cmdReport(CliRun& run) {
    const int lang = run.context->languageIndex();
    reports::ReportOptions o;
    o.ukrainian = lang != kRussian;
    const QString period = run.value(QStringLiteral("--period")).value_or(QStringLiteral("month"));
    if (period == QStringLiteral("params")) return parameterPrintout(run);
    static const QMap<QString, reports::ReportPeriod> kPeriods{
        {QStringLiteral("day"), reports::ReportPeriod::Day},
        {QStringLiteral("month"), reports::ReportPeriod::Month},
        {QStringLiteral("period"), reports::ReportPeriod::Range}};
    static const QMap<QString, reports::ReportContent> kContents{
        {QStringLiteral("all"), reports::ReportContent::All},
        {QStringLiteral("data"), reports::ReportContent::Data},
        {QStringLiteral("interventions"), reports::ReportContent::Interventions},
        {QStringLiteral("alarms"), reports::ReportContent::Alarms}};
    const QString content = run.value(QStringLiteral("--content")).value_or(QStringLiteral("all"));
    if (!kPeriods.contains(period) || !kContents.contains(content)) {
        run.notifier->message(
            MessageKind::Error,
            QStringLiteral(
                "report: --period day|month|period|params, --content all|data|interventions|alarms"));
        return kExitUsage;
    }
    o.period = kPeriods.value(period);
    o.content = kContents.value(content);
    const auto from = dateOption(run, "--from");
    const auto to = dateOption(run, "--to");
    if (!from || !to) return kExitUsage;
    if (!from->isValid() || (o.period == reports::ReportPeriod::Range && !to->isValid())) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("report: --from is needed (and --to for a period)"));
        return kExitUsage;
    }
    o.begin = *from;
    o.end = *to;
    o.parameters = run.has(QStringLiteral("--params"));
    o.codes = run.has(QStringLiteral("--codes"));
    o.shortAlarms = run.has(QStringLiteral("--short-alarms"));
    o.heat = run.has(QStringLiteral("--heat"));
    o.computeTotals = run.has(QStringLiteral("--compute-totals"));
    o.hourlyCalculation = run.has(QStringLiteral("--hourly-calc"));
    const auto now = madeTime(run, "report");
    if (!now) return kExitUsage;

    if (run.has(QStringLiteral("--from-corrector")))
        return withFreshArchives(
            run, [&](const corrector::CorrectorWindowModel& model, const QList<int>& kinds) {
                QList<corrector::Archive> read;
                for (int kind : kinds)
                    if (const auto g = corrector::archiveGeometry(kind, model.state().profile))
                        read.append(g->archive);
                const reports::ReportHeader header = reports::headerFromCorrector(model, lang);
                const reports::ArchiveTableSource source(model.archives(), read, header.pressureUnit,
                                                         header.heatUnit);
                return deliver(run, reports::buildCommercialReport(source, header, o, *now), header);
            });

    StoredPoint stored;
    if (const int code = storedPointOf(run, stored); code != kExitOk) return code;
    const reports::DatabaseSource source(run.context->root(), stored.schemas, stored.point.identifier);
    const reports::ReportHeader header = reports::headerFromPoint(stored.point);
    return deliver(run, reports::buildCommercialReport(source, header, o, *now), header);
}

// listing --point ID --archive hourly|daily|alarm|operative|service|measurement --period day|month|period
// --from dd.MM.yyyy [--to dd.MM.yyyy] [--columns LIST] [--totals] [--closed-days] [--out FILE] [--csv FILE]:
// the statistical listing of a stored point ("Стат.дан."), as the report window builds it.
int cmdListing(CliRun& run) {
    const int lang = run.context->languageIndex();
    static const QMap<QString, reports::ListingArchive> kArchives{
        {QStringLiteral("daily"), reports::ListingArchive::Daily},
        {QStringLiteral("hourly"), reports::ListingArchive::Hourly},
        {QStringLiteral("alarm"), reports::ListingArchive::Alarm},
        {QStringLiteral("operative"), reports::ListingArchive::Operative},
        {QStringLiteral("service"), reports::ListingArchive::Service},
        {QStringLiteral("measurement"), reports::ListingArchive::Measurement}};
    static const QMap<QString, reports::ReportPeriod> kPeriods{
        {QStringLiteral("day"), reports::ReportPeriod::Day},
        {QStringLiteral("month"), reports::ReportPeriod::Month},
        {QStringLiteral("period"), reports::ReportPeriod::Range}};
    const QString archive = run.value(QStringLiteral("--archive")).value_or(QString());
    const QString period = run.value(QStringLiteral("--period")).value_or(QStringLiteral("month"));
    if (!kArchives.contains(archive) || !kPeriods.contains(period)) {
        run.notifier->message(
            MessageKind::Error,
            QStringLiteral("listing: --archive hourly|daily|alarm|operative|service|measurement, "
                           "--period day|month|period"));
        return kExitUsage;
    }
    reports::ListingOptions o;
    o.archive = kArchives.value(archive);
    o.period = kPeriods.value(period);
    o.ukrainian = lang != kRussian;
    o.unclosedDays = !run.has(QStringLiteral("--closed-days"));
    const auto from = dateOption(run, "--from");
    const auto to = dateOption(run, "--to");
    if (!from || !to) return kExitUsage;
    if (!from->isValid() || (o.period == reports::ReportPeriod::Range && !to->isValid())) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("listing: --from is needed (and --to for a period)"));
        return kExitUsage;
    }
    o.begin = *from;
    o.end = *to;
    o.columns = reports::loadStatColumns(run.context->root());
    if (const auto columns = run.value(QStringLiteral("--columns"))) {
        // The columns by their titles or their numbers 1..18, in any order; the listing keeps its own.
        o.columns = {};
        for (const QString& word : columns->split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool numeric = false;
            const int n = word.trimmed().toInt(&numeric);
            int found = numeric && n >= 1 && n <= reports::kStatColumns ? n - 1 : -1;
            for (int c = 0; c < reports::kStatColumns && found < 0; ++c)
                if (word.trimmed() == reports::StatColumns::title(c, false) ||
                    word.trimmed() == reports::StatColumns::title(c, true))
                    found = c;
            if (found < 0) {
                QStringList titles;
                for (int c = 0; c < reports::kStatColumns; ++c)
                    titles.append(reports::StatColumns::title(c, lang != kRussian));
                run.notifier->message(MessageKind::Error, QStringLiteral("listing: unknown column \"") +
                                                              word + QStringLiteral("\"; columns: ") +
                                                              titles.join(QLatin1Char(',')));
                return kExitUsage;
            }
            o.columns.on[static_cast<std::size_t>(found)] = true;
        }
    }
    const auto now = madeTime(run, "listing");
    if (!now) return kExitUsage;
    StoredPoint stored;
    if (const int code = storedPointOf(run, stored); code != kExitOk) return code;
    const reports::DatabaseSource source(run.context->root(), stored.schemas, stored.point.identifier);
    const reports::ReportHeader header = reports::headerFromPoint(stored.point);
    const reports::Listing listing = reports::buildPointListing(source, header, o, *now);
    if (const auto csv = run.value(QStringLiteral("--csv")); csv && listing.error.isEmpty()) {
        const QString path = QFileInfo(*csv).absoluteFilePath();
        if (!writeTextLines(path,
                            reports::listingCsv(listing, database::readCsvDelimiter(run.context->root()),
                                                run.has(QStringLiteral("--totals"))))) {
            run.notifier->message(MessageKind::Error, QStringLiteral("cannot write ") + path);
            return kExitUsage;
        }
    }
    return deliver(run, {listing.text(), listing.error}, header);
}

} // namespace tarn::cli
