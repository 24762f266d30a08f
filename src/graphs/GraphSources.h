#pragma once
// Where the graphs' data comes from and where their pictures go: a point's records of the chosen archive
// and period (refused when nothing is ticked, the point has no identifier or the period holds fewer than
// two records), the group request's checks, and the JPEG file of a picture.
#include "database/Registry.h"
#include "database/StoredRecords.h"
#include "graphs/GraphPicture.h"

#include <QImage>

namespace tarn::graphs {

inline constexpr const char* kNothingTicked = "Не выбран график!";
inline constexpr const char* kNoData = "В БД нет данных!";
inline constexpr const char* kNoGroup = "Не выбрана группа!";

struct PointSelection {
    QString refusal; // empty when the records may be drawn
    database::StoredRecords records;
};
// The point's records for the request (the request's model, serial and organisation are taken from the
// point).
PointSelection selectPointRecords(database::Storage& storage, const database::Point& point,
                                  PointGraphRequest& request);

// "Не выбрана группа!" without a name, "Не выбран график!" without a ticked parameter; else empty.
QString checkGroupRequest(const QString& groupName, const QList<int>& ticked);

// The file a picture is saved in: the chosen name up to the first dot of its file name, then ".jpg".
QString jpegFileName(const QString& chosen);
// "Файл "<path>"уже существует, перезаписать?"
QString overwriteQuestion(const QString& path);
// Writes the image as JPEG with the quality (5..100); false when it could not be written.
bool writeJpeg(const QImage& image, const QString& path, int quality);
// Writes the image as JPEG under the name the user chose, made into jpegFileName(chosen) (a name typed as
// "day.png" gives "day.jpg": the file's name says what it holds). The path written, or empty.
QString writeJpegAs(const QImage& image, const QString& chosen, int quality);
// True when this Qt can write JPEG pictures at all (its image format plugin is installed).
bool jpegSupported();

} // namespace tarn::graphs
