#pragma once
// What a read of the transfer unit leaves on disk and how a zone becomes corrector data. The zones of the
// last read lie in Current\DTU_0.000 … DTU_3.000, one file per 32 KB region of the corrector's memory,
// zone after zone; Current\StatDtu.000 records which zones they are and what each held.
#include "common/DataRoot.h"
#include "common/Notifier.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace tarn::corrector {
struct Reading;
class ArchivePageCheck;
} // namespace tarn::corrector

namespace tarn::transfer {

QString imageFilePath(const DataRoot& root, int region);
QString stateFilePath(const DataRoot& root);

// One zone of the last read as the state file keeps it.
struct ZoneRecord {
    quint8 status = 0;
    QString serial; // decimal, "" when the zone was not a checked complete copy
    QString name;
};

// Current\StatDtu.000: 64-byte records of NUL-padded text — the unit's kind ("0": 8 zones, "1": 16), the
// first zone read, then status, serial number (or "0") and name (or "0") of each zone read.
struct UnitStateFile {
    bool sixteenZones = true;
    int firstZone = 1; // 1-based
    QList<ZoneRecord> zones;
};
QByteArray stateFileBytes(const UnitStateFile& state);
// A file of 255 bytes or less holds no zones (a read that did not finish); nothing then.
std::optional<UnitStateFile> parseStateFile(const QByteArray& bytes);
std::optional<UnitStateFile> loadStateFile(const DataRoot& root);

// The zones of one read in memory: four regions per zone. A block's 256 bytes are the 64-byte rows at
// block × 64 of regions 0, 1, 2 and 3.
class ZoneImages {
public:
    void resize(int zones);
    int zoneCount() const { return static_cast<int>(zones_.size()); }
    void putBlock(int zoneIndex, int block, const QByteArray& memoryBytes);
    // A region of a zone, 32768 bytes.
    const QByteArray& region(int zoneIndex, int region) const { return zones_.at(zoneIndex).at(region); }
    // The contents of image file r: zone after zone.
    QByteArray fileBytes(int region) const;

private:
    QList<std::array<QByteArray, 4>> zones_;
};

// The image files and the state file written whole, or not at all (the last good read stays).
bool saveImageFiles(const DataRoot& root, const ZoneImages& images, const QByteArray& stateFile);

// What the unit's copy says of itself (region 3 of the zone): the identification the program accepts,
// the parameter area's sum, the coefficient area's sum where the model has a coefficient table, and the
// serial number and name of a good copy.
struct ZoneCheck {
    quint8 status = 0;
    QString serial;
    QString name;
};
ZoneCheck checkZone(const QByteArray& region3, int languageIndex);
// The 702 parameter bytes add up to the sum in their last two bytes.
bool parameterAreaSumOk(const QByteArray& region3);

// Logical page k (0..511) of a zone: page k mod 128 of region k div 128.
inline constexpr int kLogicalPages = 512;

// The identification, parameters and coefficients of a copy (its region 3, or the start of it up to the
// parameter area's end) into a reading, cleared first; the version check's message when the corrector
// is not one the program serves.
std::optional<QString> loadParameters(const QByteArray& region3, corrector::Reading& reading,
                                      int languageIndex);

// The archive pages of a copy handed to the archive decoders in logical page order (0..511), as a
// direct read hands them: every record checked, a page that does not check rejected (taking it again
// three times blanks its bad records).
class ArchivePageWalk {
public:
    ArchivePageWalk(corrector::Reading& reading, int languageIndex);
    ~ArchivePageWalk();
    enum class Result { Taken, Rejected };
    Result take(int logicalPage, const QByteArray& page);
    // `Ошибка данных в архиве "<archive>-№зап.<records so far>" … Остановить чтение?`
    QString rejectionQuestion(int logicalPage) const;
    int walked() const { return walked_; }
    // The reading's fields filled from what was taken; the read kinds of the archives walked to their end.
    QList<int> finish();

private:
    corrector::Reading& reading_;
    int lang_;
    int entry_ = -1;
    std::unique_ptr<corrector::ArchivePageCheck> check_;
    int walked_ = 0;
    QList<int> kinds_;
};

// Loading zone n (1-based, a zone of the last read) into a reading: identification,
// parameters, coefficients, then every archive page through the archive decoders. askStop is asked when
// a page's records do not check; true ends the walk.
// Only a zone of the last read that holds a complete, checked copy is offered for loading: nothing for
// such a zone, otherwise the text its row shows ("Нет данных" for a zone the last read did not reach).
std::optional<QString> zoneNotLoadable(const DataRoot& root, int zone, int languageIndex);

struct ZoneLoad {
    bool complete = false; // every page walked: the data may be stored
    QString message;       // why not, when not ("Ошибка открытия файла!!!", …)
    QList<int> kindsRead;  // the archive read kinds whose pages were walked
    // The reading was cleared for the copy; a copy that never opened leaves it as it was.
    bool readingTaken = false;
};
ZoneLoad loadZone(const DataRoot& root, int zone, corrector::Reading& reading, int languageIndex,
                  const std::function<bool(const QString& question)>& askStop);

} // namespace tarn::transfer
