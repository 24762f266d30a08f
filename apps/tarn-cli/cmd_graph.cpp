// graph --point ID | --group NAME --archive KIND --from … --to … [--params LIST] [--percent] --out FILE.jpg
// [--width N --height N]: the graph a graph window shows, drawn offscreen into a JPEG file with the
// picture quality of Work\Compr.000; the file is named as the window names it, FILE up to its first dot
// and ".jpg".
#include "Cli.h"

#include "common/DateTimeText.h"
#include "database/Registry.h"
#include "graphs/GraphSources.h"
#include "graphs/windows/GraphPanel.h"
#include "polling/GroupSummary.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonObject>

namespace tarn::cli {

namespace {

constexpr int kDefaultWidth = 1200;
constexpr int kDefaultHeight = 800;

// The picture drawn offscreen at that size: the legend above the chart, as the window shows it. The
// chart lays itself out from posted events, so the command lets them run once before grabbing it; it
// has no window and no work in hand that they could re-enter.
QImage renderGraph(const graphs::GraphPicture& picture, const QSize& size) {
    graphs::GraphPanel panel;
    panel.setAttribute(Qt::WA_DontShowOnScreen);
    panel.resize(size);
    panel.setPicture(picture);
    panel.show();
    QApplication::processEvents();
    QImage image = panel.image();
    panel.hide();
    return image;
}

std::optional<graphs::GraphArchive> archiveNamed(const QString& name) {
    static const QStringList kNames = {QStringLiteral("hourly"),      QStringLiteral("daily"),
                                       QStringLiteral("monthly"),     QStringLiteral("operative"),
                                       QStringLiteral("measurement"), QStringLiteral("flow")};
    const qsizetype i = kNames.indexOf(name.trimmed().toLower());
    return i < 0 ? std::nullopt : graphs::graphArchiveOf(static_cast<int>(i) + 1);
}

// "dd.MM.yyyy" or "dd.MM.yyyy HH:mm"; a date alone takes the given time.
QDateTime whenOf(const QString& text, const QTime& withoutTime) {
    if (const auto stamp = parseTimestamp(text.trimmed())) return *stamp;
    if (const auto date = parseDate(text.trimmed())) return QDateTime(*date, withoutTime);
    return {};
}

// The parameters named in LIST (names as the dialog lists them, or their numbers from 1), in list order;
// all of them when LIST is not given. Nothing when a name is unknown.
std::optional<QList<int>> parametersOf(const std::optional<QString>& list, const QStringList& names) {
    QList<int> out;
    if (!list) {
        for (int i = 0; i < std::min<int>(static_cast<int>(names.size()), graphs::kLineSeries); ++i)
            out.append(i);
        return out;
    }
    for (const QString& part : list->split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString name = part.trimmed();
        bool number = false;
        const int n = name.toInt(&number);
        const int index = number ? n - 1 : static_cast<int>(names.indexOf(name));
        if (index < 0 || index >= names.size()) return std::nullopt;
        if (!out.contains(index)) out.append(index);
    }
    std::sort(out.begin(), out.end());
    return out;
}

QJsonObject pictureJson(const graphs::GraphPicture& g, const QString& file, int quality) {
    QJsonArray curves;
    for (const graphs::GraphCurve& c : g.curves) {
        if (!c.inLegend) continue;
        QJsonObject o{{QStringLiteral("name"), c.name},
                      {QStringLiteral("colour"), c.colour.name()},
                      {QStringLiteral("points"), static_cast<int>(c.points.size())}};
        if (c.extremes.set) {
            o.insert(QStringLiteral("min"), c.extremes.min);
            o.insert(QStringLiteral("minAt"), formatTimestamp(c.extremes.minAt));
            o.insert(QStringLiteral("max"), c.extremes.max);
            o.insert(QStringLiteral("maxAt"), formatTimestamp(c.extremes.maxAt));
        }
        curves.append(o);
    }
    QJsonArray legend;
    for (const graphs::LegendLine& l : g.legend)
        legend.append(l.text);
    return {{QStringLiteral("file"), file},
            {QStringLiteral("quality"), quality},
            {QStringLiteral("title"), QJsonArray::fromStringList(g.title)},
            {QStringLiteral("percent"), g.percent},
            {QStringLiteral("curves"), curves},
            {QStringLiteral("legend"), legend}};
}

} // namespace

int cmdGraph(CliRun& run) {
    Notifier& notifier = *run.notifier;
    const auto pointId = run.value(QStringLiteral("--point"));
    const auto groupName = run.value(QStringLiteral("--group"));
    const auto out = run.value(QStringLiteral("--out"));
    const auto archive = archiveNamed(run.value(QStringLiteral("--archive")).value_or(QString()));
    auto usage = [&notifier](const char* text) {
        notifier.message(MessageKind::Error, QStringLiteral("graph: ") + QString::fromUtf8(text));
        return kExitUsage;
    };
    if (pointId.has_value() == groupName.has_value()) return usage("--point ID or --group NAME");
    if (!archive) return usage("--archive hourly|daily|monthly|operative|measurement|flow");
    if (!out || out->isEmpty()) return usage("--out FILE.jpg");
    const QDateTime from = whenOf(run.value(QStringLiteral("--from")).value_or(QString()), QTime(0, 0));
    const QDateTime to = whenOf(run.value(QStringLiteral("--to")).value_or(QString()), QTime(23, 59));
    if (!from.isValid() || !to.isValid())
        return usage("--from and --to are \"dd.MM.yyyy\" or \"dd.MM.yyyy HH:mm\"");
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    for (auto [flag, size] : {std::pair{"--width", &width}, std::pair{"--height", &height}}) {
        if (const auto v = run.value(QString::fromLatin1(flag))) {
            bool ok = false;
            *size = v->toInt(&ok);
            if (!ok || *size < 200 || *size > 8000) return usage("--width and --height are 200..8000 pixels");
        }
    }
    const bool percent = run.has(QStringLiteral("--percent"));
    if (percent && (groupName || *archive == graphs::GraphArchive::FlowClasses))
        return usage("--percent is for a point's graph of kinds hourly..measurement");
    if (groupName && *archive != graphs::GraphArchive::Hourly && *archive != graphs::GraphArchive::Daily)
        return usage("a group's graph is hourly or daily");
    if (!graphs::jpegSupported()) {
        notifier.message(MessageKind::Error, QStringLiteral("graph: this Qt has no JPEG image writer"));
        return kExitRefused;
    }

    const DataRoot& root = run.context->root();
    database::Storage* storage = loadedStorage(run);
    if (!storage) return kExitRefused;
    const graphs::GraphStyle style = graphs::loadGraphStyle(root);
    const graphs::GraphColours colours = graphs::loadGraphColours(root);
    graphs::GraphPicture picture;

    if (pointId) {
        QStringList names;
        for (const graphs::GraphParameter& p : graphs::graphParameters(*archive))
            names.append(QString::fromUtf8(p.name));
        const auto ticked = parametersOf(run.value(QStringLiteral("--params")), names);
        if (!ticked) return usage(("--params: names or numbers of " + names.join(QLatin1Char(','))).toUtf8());
        graphs::PointGraphRequest request;
        request.archive = *archive;
        request.ticked = *ticked;
        request.begin = from;
        request.end = to;
        request.language = run.context->languageIndex();
        const std::optional<database::Point> point = database::Registry(root, *storage).find(*pointId);
        const graphs::PointSelection selection =
            graphs::selectPointRecords(*storage, point.value_or(database::Point{}), request);
        if (!selection.refusal.isEmpty()) {
            notifier.message(MessageKind::Error, selection.refusal);
            return kExitRefused;
        }
        picture = graphs::buildPointGraph(selection.records, request, style, colours);
        if (percent) picture = graphs::buildPointGraph(selection.records, request, style, colours, &picture);
    } else {
        QStringList names;
        for (const graphs::GroupParameter& p : graphs::groupParameters())
            names.append(QString::fromUtf8(p.name));
        const auto ticked = parametersOf(run.value(QStringLiteral("--params")), names);
        if (!ticked) return usage(("--params: names or numbers of " + names.join(QLatin1Char(','))).toUtf8());
        if (const QString refusal = graphs::checkGroupRequest(*groupName, *ticked); !refusal.isEmpty()) {
            notifier.message(MessageKind::Error, refusal);
            return kExitUsage;
        }
        polling::SummaryRequest request;
        request.groupName = *groupName;
        request.archive = *archive == graphs::GraphArchive::Hourly ? polling::SummaryArchive::Hourly
                                                                   : polling::SummaryArchive::Daily;
        request.from = from;
        request.to = to;
        request.caller = polling::SummaryCaller::Graph;
        polling::GroupSummary summary(root, run.context->groupFiles(), *storage, notifier,
                                      run.context->languageIndex());
        if (const QString refused = polling::runGroupSummary(summary, request); !refused.isEmpty()) {
            if (!summary.failure().isEmpty()) return kExitRefused; // the notifier has said why
            notifier.message(MessageKind::Error, refused);
            return kExitRefused;
        }
        picture = graphs::buildGroupGraph(summary, *ticked, style, colours);
    }

    const int quality = graphs::loadJpegQuality(root);
    const QImage image = renderGraph(picture, QSize(width, height));
    // The name up to its first dot + ".jpg", as the graph window saves it.
    const QString written = image.isNull() ? QString() : graphs::writeJpegAs(image, *out, quality);
    if (written.isEmpty()) {
        notifier.message(MessageKind::Error,
                         QStringLiteral("graph: cannot write ") + graphs::jpegFileName(*out));
        return kExitRefused;
    }
    if (run.options.json) {
        run.printJson(pictureJson(picture, written, quality));
    } else {
        QTextStream& o = *run.out;
        for (const QString& line : picture.title)
            o << line << "\n";
        for (const graphs::LegendLine& l : picture.legend)
            o << l.text << "\n";
        o << written << "\n";
        o.flush();
    }
    return kExitOk;
}

} // namespace tarn::cli
