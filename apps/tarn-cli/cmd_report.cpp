#include "Cli.h"

#include "common/Csv.h"
#include "common/Language.h"
#include "common/OutputFiles.h"
#include "common/TextFile.h"
#include "polling/GroupReport.h"
#include "reports/CommercialReport.h"
#include "reports/Paginator.h"
#include "reports/ParameterPrintout.h"
#include "reports/ReportHeaders.h"
#include "reports/ReportService.h"
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

// The installation's database as the reports read it: the schema files written when missing, then
// loaded once for the command. Nothing (the notifier has said why) when they do not load.
std::optional<reports::ReportService> reportService(CliRun& run) {
    if (!installationSchemas(run)) return std::nullopt;
    return reports::ReportService(run.context->root(), run.context->storage());
}

// The stored point of --point, with the service that found it.
struct StoredPoint {
    std::optional<reports::ReportService> service;
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
    out.service = reportService(run);
    if (!out.service) return kExitNoLink;
    const database::PointLookup point = out.service->point(id);
    if (!point) {
        run.notifier->message(MessageKind::Error, unknown);
        return kExitRefused;
    }
    out.point = *point;
    return kExitOk;
}

// The files of one request (--out, --pdf, --csv, --matrix-csv): every target checked first, then all of
// them written, or, when one cannot be, none of them left new.
bool writeAllOrNone(CliRun& run, const QList<OutputFile>& files) {
    const OutputsWritten written = writeOutputs(files);
    if (written.ok()) return true;
    run.notifier->message(MessageKind::Error, QStringLiteral("cannot write ") +
                                                  QFileInfo(written.path).absoluteFilePath() +
                                                  QStringLiteral(": ") + outputProblemText(written.problem) +
                                                  QStringLiteral("; no file written"));
    return false;
}

// The CSV file of --csv (or another option naming one), with the lines given.
void addCsvFile(CliRun& run, QList<OutputFile>& files, const QString& option, const QStringList& lines) {
    if (const auto path = run.value(option))
        files.append({QFileInfo(*path).absoluteFilePath(), textFileBytes(lines)});
}

// The report where it was asked for: on stdout as UTF-8, or in a file as the report window saves it; the
// pages as they would be printed in a PDF file; together with the other files of the request.
int deliver(CliRun& run, const reports::ReportLines& built, const reports::ReportHeader& header,
            QList<OutputFile> files = {}) {
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
        const std::optional<QByteArray> bytes = reports::pdfBytes(p.pages, page);
        if (!bytes) {
            run.notifier->message(MessageKind::Error, QStringLiteral("cannot write ") + path);
            return kExitUsage;
        }
        files.append({path, *bytes});
    }
    const auto out = run.value(QStringLiteral("--out"));
    if (out) files.append({QFileInfo(*out).absoluteFilePath(), textFileBytes(built.lines)});
    if (!files.isEmpty() && !writeAllOrNone(run, files)) return kExitUsage;
    if (out) {
        if (run.options.json)
            run.printJson({{QStringLiteral("file"), QFileInfo(*out).absoluteFilePath()},
                           {QStringLiteral("lines"), built.lines.size()}});
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
    o.newestStoredIntervention =
        stored.service->storedSource(stored.point.identifier)->newestInterventionTime();
    const reports::ParameterPrintout printout =
        reports::printPointParameters(run.context->root(), stored.point.identifier,
                                      stored.point.model.trimmed(), stored.point.serial, o, *run.notifier);
    if (!printout.ok) {
        if (!printout.message.isEmpty()) run.notifier->message(MessageKind::Warning, printout.message);
        return kExitRefused;
    }
    // A begin date that does not read stops the printout: what it has is delivered, and the message told.
    if (!printout.message.isEmpty()) run.notifier->message(MessageKind::Error, printout.message);
    const int code = deliver(run, {printout.lines, {}},
                             reports::headerFromPoint(stored.point, run.context->volumeDecimals));
    return code == kExitOk && !printout.message.isEmpty() ? kExitRefused : code;
}

// --columns: the columns by their titles or their numbers 1..18, in any order; the listing keeps its own.
// Without it the choice of Current\PutSet.000. False (after saying so) for a column not known.
bool columnsOption(CliRun& run, reports::StatColumns& columns) {
    const int lang = run.context->languageIndex();
    columns = reports::loadStatColumns(run.context->root());
    if (const auto chosen = run.value(QStringLiteral("--columns"))) {
        columns = {};
        for (const QString& word : chosen->split(QLatin1Char(','), Qt::SkipEmptyParts)) {
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
                return false;
            }
            columns.on[static_cast<std::size_t>(found)] = true;
        }
    }
    return true;
}

// The --period words of the reports and listings.
const QMap<QString, reports::ReportPeriod> kPeriods{{QStringLiteral("day"), reports::ReportPeriod::Day},
                                                    {QStringLiteral("month"), reports::ReportPeriod::Month},
                                                    {QStringLiteral("period"), reports::ReportPeriod::Range}};

// --from and --to of a report or a listing: a date, and an end date for a period.
template <class Options> bool periodDates(CliRun& run, Options& o, const char* command) {
    const auto from = dateOption(run, "--from");
    const auto to = dateOption(run, "--to");
    if (!from || !to) return false;
    if (!from->isValid() || (o.period == reports::ReportPeriod::Range && !to->isValid())) {
        run.notifier->message(MessageKind::Error,
                              QString::fromLatin1(command) +
                                  QStringLiteral(": --from is needed (and --to for a period)"));
        return false;
    }
    o.begin = *from;
    o.end = *to;
    return true;
}

// listing --group NAME --archive operative|service|measurement|alarm: each member's records as the point's
// listing prints them, closed by the group's "Итог:" (the alarm archive record by record; its table form
// is "group alarms").
int groupMembersListing(CliRun& run, const QString& name, reports::ListingArchive archive,
                        reports::ReportPeriod period) {
    const int lang = run.context->languageIndex();
    reports::ListingOptions o;
    o.archive = archive;
    o.period = period;
    o.ukrainian = lang != kRussian;
    o.unclosedDays = !run.has(QStringLiteral("--closed-days"));
    if (!periodDates(run, o, "listing")) return kExitUsage;
    const auto now = madeTime(run, "listing");
    if (!now) return kExitUsage;
    const std::optional<reports::ReportService> service = reportService(run);
    if (!service) return kExitNoLink;
    const polling::GroupMembersListing built = polling::groupMembersListing(
        service->root(), run.context->groupFiles(), service->storage(), *run.notifier, lang, name, o, *now);
    // A member without its parameter file: the notifier has said so.
    if (built.stopped) return kExitNoLink;
    if (!built.listing.error.isEmpty()) {
        run.notifier->message(MessageKind::Error, built.listing.error);
        return name.trimmed().isEmpty() ? kExitUsage : kExitRefused;
    }
    QList<OutputFile> files;
    addCsvFile(
        run, files, QStringLiteral("--csv"),
        reports::listingCsv(built.listing, service->csvDelimiter(), run.has(QStringLiteral("--totals"))));
    return deliver(run, {built.listing.text(), {}}, {}, files);
}

// listing --group NAME: the group's hourly or daily listing through the group summary selection, as the
// report window makes it; the other archives member by member.
int groupListing(CliRun& run, const QString& name) {
    const int lang = run.context->languageIndex();
    const QString archive = run.value(QStringLiteral("--archive")).value_or(QString());
    const QString period = run.value(QStringLiteral("--period")).value_or(QStringLiteral("period"));
    static const QMap<QString, reports::ListingArchive> kMemberArchives{
        {QStringLiteral("alarm"), reports::ListingArchive::Alarm},
        {QStringLiteral("operative"), reports::ListingArchive::Operative},
        {QStringLiteral("service"), reports::ListingArchive::Service},
        {QStringLiteral("measurement"), reports::ListingArchive::Measurement}};
    if (kMemberArchives.contains(archive) && kPeriods.contains(period))
        return groupMembersListing(run, name, kMemberArchives.value(archive), kPeriods.value(period));
    if ((archive != QLatin1String("hourly") && archive != QLatin1String("daily")) ||
        !kPeriods.contains(period)) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("listing --group: --archive "
                                             "hourly|daily|alarm|operative|service|measurement, --period "
                                             "day|month|period"));
        return kExitUsage;
    }
    const bool hourly = archive == QLatin1String("hourly");
    const QString fromText = run.value(QStringLiteral("--from")).value_or(QString());
    const QDateTime begin = polling::groupListingTime(fromText, false);
    const QDateTime end =
        polling::groupListingTime(run.value(QStringLiteral("--to")).value_or(fromText), true);
    if (!begin.isValid() || !end.isValid()) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("listing --group: --from and --to are \"dd.MM.yyyy\" or "
                                             "\"dd.MM.yyyy HH:mm\""));
        return kExitUsage;
    }
    polling::GroupReportOptions o;
    o.form = run.has(QStringLiteral("--breakdown")) ? polling::GroupReportForm::Breakdown
                                                    : polling::GroupReportForm::WholeGroup;
    o.dayTotals = run.has(QStringLiteral("--day-totals"));
    o.ukrainian = lang != kRussian;
    if (!columnsOption(run, o.columns)) return kExitUsage;
    if (!o.columns.any()) {
        run.notifier->message(MessageKind::Error,
                              uaRu(lang, "не визначено параметри!", "не определены параметры!!!"));
        return kExitRefused;
    }
    const reports::ReportPeriod kind = kPeriods.value(period);
    const polling::GroupListingPeriod days =
        polling::groupListingPeriod(kind, hourly, begin, end, o.ukrainian);
    if (!days.error.isEmpty()) {
        run.notifier->message(MessageKind::Error, days.error);
        return kExitRefused;
    }
    const auto now = madeTime(run, "listing");
    if (!now) return kExitUsage;
    const std::optional<reports::ReportService> service = reportService(run);
    if (!service) return kExitNoLink;
    const auto matrixFile = run.value(QStringLiteral("--matrix-csv"));
    polling::SummaryRequest request;
    request.groupName = name;
    request.archive = hourly ? polling::SummaryArchive::Hourly : polling::SummaryArchive::Daily;
    request.from = days.from;
    request.to = days.to;
    request.memberTables = matrixFile.has_value();
    polling::GroupSummary summary(service->root(), run.context->groupFiles(), service->storage(),
                                  *run.notifier, lang);
    if (const QString refused = summary.open(request); !refused.isEmpty()) {
        run.notifier->message(MessageKind::Error, refused);
        return name.trimmed().isEmpty() ? kExitUsage : kExitRefused;
    }
    while (summary.step()) {
    }
    // A member without its parameter file: the notifier has said so.
    if (!summary.finished()) return kExitNoLink;
    const polling::GroupReportTables tables = polling::GroupReportTables::of(summary);
    const QString title = polling::groupListingTitle(name, hourly, kind, days, *now, o.ukrainian);
    const QChar delimiter = service->csvDelimiter();
    const auto csv = run.value(QStringLiteral("--csv"));
    const polling::GroupListing listing =
        polling::buildGroupListing(tables, o, title, csv ? std::optional<QChar>(delimiter) : std::nullopt);
    QList<OutputFile> files;
    addCsvFile(run, files, QStringLiteral("--csv"), listing.csv);
    if (matrixFile)
        addCsvFile(run, files, QStringLiteral("--matrix-csv"),
                   QStringList{csvField(title, delimiter)} +
                       polling::groupMatrixCsv(tables, o.dayTotals, delimiter));
    return deliver(run, {listing.listing.text(), {}}, {}, files);
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
    if (!periodDates(run, o, "report")) return kExitUsage;
    o.parameters = run.has(QStringLiteral("--params"));
    o.codes = run.has(QStringLiteral("--codes"));
    o.shortAlarms = run.has(QStringLiteral("--short-alarms"));
    o.heat = run.has(QStringLiteral("--heat"));
    o.computeTotals = run.has(QStringLiteral("--compute-totals"));
    o.hourlyCalculation = run.has(QStringLiteral("--hourly-calc"));
    const auto now = madeTime(run, "report");
    if (!now) return kExitUsage;

    if (run.has(QStringLiteral("--from-corrector")))
        return withFreshArchives(run, [&](const corrector::Reading& reading, const QList<int>& kinds) {
            QList<corrector::Archive> read;
            for (int kind : kinds)
                if (const auto g = corrector::archiveGeometry(kind, reading.profile)) read.append(g->archive);
            const reports::ReportHeader header = reports::headerFromCorrector(reading, lang);
            const reports::ArchiveTableSource source(reading.archives, read, header.pressureUnit,
                                                     header.heatUnit);
            return deliver(run, reports::buildCommercialReport(source, header, o, *now), header);
        });

    StoredPoint stored;
    if (const int code = storedPointOf(run, stored); code != kExitOk) return code;
    const std::unique_ptr<reports::ReportSource> source =
        stored.service->storedSource(stored.point.identifier);
    // The meter, the contract load and the parameter block come from the point's parameter file.
    const reports::StoredPointHeader loaded = reports::storedPointHeader(
        run.context->root(), stored.point.identifier,
        reports::headerFromPoint(stored.point, run.context->volumeDecimals), lang, *run.notifier);
    if (!loaded.header) {
        if (!loaded.message.isEmpty()) run.notifier->message(MessageKind::Warning, loaded.message);
        return kExitRefused;
    }
    return deliver(run, reports::buildCommercialReport(*source, *loaded.header, o, *now), *loaded.header);
}

// listing --point ID --archive hourly|daily|alarm|operative|service|measurement --period day|month|period
// --from dd.MM.yyyy [--to dd.MM.yyyy] [--columns LIST] [--totals] [--closed-days] [--out FILE] [--csv FILE]:
// the statistical listing of a stored point ("Стат.дан."), as the report window builds it. With --group NAME
// (--archive hourly|daily, --period period by default, --from/--to with or without a time) the group's
// listing: the whole-group table, --breakdown by member, --day-totals every 24 rows, --matrix-csv FILE.
int cmdListing(CliRun& run) {
    if (const auto group = run.value(QStringLiteral("--group"))) return groupListing(run, *group);
    const int lang = run.context->languageIndex();
    static const QMap<QString, reports::ListingArchive> kArchives{
        {QStringLiteral("daily"), reports::ListingArchive::Daily},
        {QStringLiteral("hourly"), reports::ListingArchive::Hourly},
        {QStringLiteral("alarm"), reports::ListingArchive::Alarm},
        {QStringLiteral("operative"), reports::ListingArchive::Operative},
        {QStringLiteral("service"), reports::ListingArchive::Service},
        {QStringLiteral("measurement"), reports::ListingArchive::Measurement}};
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
    if (!periodDates(run, o, "listing")) return kExitUsage;
    if (!columnsOption(run, o.columns)) return kExitUsage;
    const auto now = madeTime(run, "listing");
    if (!now) return kExitUsage;
    StoredPoint stored;
    if (const int code = storedPointOf(run, stored); code != kExitOk) return code;
    const std::unique_ptr<reports::ReportSource> source =
        stored.service->storedSource(stored.point.identifier);
    const reports::ReportHeader header = reports::headerFromPoint(stored.point, run.context->volumeDecimals);
    if (const auto missing = reports::missingParameterFile(run.context->root(), stored.point.identifier,
                                                           header.model.trimmed(), header.serial.trimmed())) {
        run.notifier->message(MessageKind::Error, *missing);
        return kExitNoLink;
    }
    const reports::Listing listing = reports::buildPointListing(*source, header, o, *now);
    QList<OutputFile> files;
    addCsvFile(
        run, files, QStringLiteral("--csv"),
        reports::listingCsv(listing, stored.service->csvDelimiter(), run.has(QStringLiteral("--totals"))));
    return deliver(run, {listing.text(), listing.error}, header, files);
}

} // namespace tarn::cli
