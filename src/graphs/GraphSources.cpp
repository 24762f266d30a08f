#include "graphs/GraphSources.h"

#include "common/TextFile.h"
#include "database/GraphQueries.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>

namespace tarn::graphs {

PointSelection selectPointRecords(database::Storage& storage, const database::Point& point,
                                  PointGraphRequest& request) {
    PointSelection s;
    if (request.archive != GraphArchive::FlowClasses && request.ticked.isEmpty()) {
        s.refusal = QString::fromUtf8(kNothingTicked);
        return s;
    }
    request.model = point.model;
    request.serial = point.serial;
    request.organisation = point.organisation;
    if (database::isPointIdentifier(point.identifier)) {
        // Only what the curves draw is read: the ticked parameters' fields (the flow classes are in the
        // status text).
        QStringList fields;
        const QList<GraphParameter> all = graphParameters(request.archive);
        for (int index : request.ticked)
            if (index >= 0 && index < all.size()) fields.append(QLatin1String(all.at(index).field));
        if (request.archive == GraphArchive::FlowClasses)
            fields = {QStringLiteral("DT_Corr"), QStringLiteral("Help")};
        s.records = database::graphRecords(storage, graphTable(request.archive), point.identifier,
                                           request.begin, request.end, fields);
    }
    if (s.records.rows.size() < 2) {
        s.refusal = QString::fromUtf8(kNoData);
        s.records.rows.clear();
    }
    return s;
}

QString checkGroupRequest(const QString& groupName, const QList<int>& ticked) {
    if (groupName.trimmed().isEmpty()) return QString::fromUtf8(kNoGroup);
    if (ticked.isEmpty()) return QString::fromUtf8(kNothingTicked);
    return {};
}

QString jpegFileName(const QString& chosen) {
    const QFileInfo info(chosen);
    const QString name = info.fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? name : name.left(dot);
    const QString folder = chosen.left(chosen.size() - name.size());
    return folder + base + QStringLiteral(".jpg");
}

QString overwriteQuestion(const QString& path) {
    return QStringLiteral("Файл \"") + path + QStringLiteral("\"уже существует, перезаписать?");
}

bool writeJpeg(const QImage& image, const QString& path, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpg");
    writer.setQuality(std::clamp(quality, kMinJpegQuality, kMaxJpegQuality));
    if (!writer.write(image)) return false;
    return writeFileAtomically(path, bytes);
}

QString writeJpegAs(const QImage& image, const QString& chosen, int quality) {
    const QString path = jpegFileName(chosen);
    return writeJpeg(image, path, quality) ? path : QString();
}

bool jpegSupported() {
    return QImageWriter::supportedImageFormats().contains("jpg");
}

} // namespace tarn::graphs
