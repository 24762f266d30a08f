#include "transfer/ZoneImage.h"

#include "common/Cp1251.h"
#include "common/Language.h"
#include "common/TextFile.h"
#include "corrector/Archives.h"
#include "corrector/Identification.h"
#include "corrector/ModelProfile.h"
#include "corrector/ReadQueue.h"
#include "corrector/Reading.h"
#include "transfer/TransferUnit.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <memory>

namespace tarn::transfer {

using corrector::Archive;

namespace {

constexpr int kStateRecord = 64;
constexpr qint64 kMaxStateFile = kStateRecord * (2 + 3 * kMaxZones);

// Where the corrector keeps what the unit checks, as offsets in region 3 of a zone.
constexpr int kCoefficientArea = 0x7C00; // 28 values and their 16-bit sum in the last two bytes
constexpr int kCoefficientAreaBytes = 256;
constexpr int kIdentification = 0x7D00;
constexpr int kParameterArea = 32064; // 702 bytes and their 16-bit sum
constexpr int kParameterAreaBytes = 704;
constexpr int kSerialBytes = 32448 + 12; // characters 13 and 14 of the row at 0x7EC0
constexpr int kNameBytes = 0x7F00 + 4;   // characters 5 … 24 of the row at 0x7F00
constexpr int kNameLength = 20;
constexpr int kCoefficientValues = 28;

QByteArray record(const QByteArray& text) {
    return text.left(kStateRecord).leftJustified(kStateRecord, '\0');
}

QString recordText(const QByteArray& bytes, int index) {
    QByteArray r = bytes.mid(index * kStateRecord, kStateRecord);
    const qsizetype end = r.indexOf('\0');
    if (end >= 0) r.truncate(end);
    return fromCp1251(r).trimmed();
}

quint16 byteSum(const QByteArray& bytes, int from, int count) {
    quint16 sum = 0;
    for (int i = from; i < from + count; ++i)
        sum = static_cast<quint16>(sum + static_cast<quint8>(bytes.at(i)));
    return sum;
}

quint16 littleEndian16(const QByteArray& bytes, int at) {
    return static_cast<quint16>(static_cast<quint8>(bytes.at(at)) |
                                (static_cast<quint8>(bytes.at(at + 1)) << 8));
}

struct ArchivePages {
    int first;
    int last;
    Archive archive;
    const char* russian;
    const char* ukrainian;
};
// The logical pages of each archive in the copy, in the order the walk meets them.
constexpr ArchivePages kArchivePages[] = {
    {0, 51, Archive::Abnormal, "аварийный", "аварійний"},
    {52, 255, Archive::Hourly, "часовой", "годинний"},
    {256, 383, Archive::Operative, "оперативный", "оперативний"},
    {384, 447, Archive::Interference, "вмешательств", "втручань"},
    {448, 479, Archive::Daily, "суточный", "добовий"},
    {480, 487, Archive::Monthly, "месячный", "місячний"},
    {488, 511, Archive::Service, "служебный", "службовий"},
};

} // namespace

QString imageFilePath(const DataRoot& root, int region) {
    return root.file(folder::Current, QStringLiteral("DTU_%1.000").arg(region));
}

QString stateFilePath(const DataRoot& root) {
    return root.file(folder::Current, QStringLiteral("StatDtu.000"));
}

QByteArray stateFileBytes(const UnitStateFile& state) {
    QByteArray out = record(state.sixteenZones ? "1" : "0") + record(QByteArray::number(state.firstZone));
    for (const ZoneRecord& z : state.zones) {
        out += record(QByteArray::number(z.status));
        out += record(z.serial.isEmpty() ? QByteArray("0") : toCp1251(z.serial));
        out += record(z.name.isEmpty() ? QByteArray("0") : toCp1251(z.name));
    }
    return out;
}

std::optional<UnitStateFile> parseStateFile(const QByteArray& bytes) {
    if (bytes.size() <= 255) return std::nullopt;
    UnitStateFile s;
    s.sixteenZones = recordText(bytes, 0) != QStringLiteral("0");
    bool ok = false;
    s.firstZone = recordText(bytes, 1).toInt(&ok);
    if (!ok || s.firstZone < 1 || s.firstZone > kMaxZones) return std::nullopt;
    const int records = static_cast<int>(bytes.size() / kStateRecord);
    for (int r = 2; r + 2 < records && s.firstZone + s.zones.size() <= kMaxZones; r += 3) {
        ZoneRecord z;
        z.status = static_cast<quint8>(recordText(bytes, r).toUInt());
        const QString serial = recordText(bytes, r + 1);
        const QString name = recordText(bytes, r + 2);
        z.serial = serial == QStringLiteral("0") ? QString() : serial;
        z.name = name == QStringLiteral("0") ? QString() : name;
        s.zones.append(z);
    }
    return s;
}

std::optional<UnitStateFile> loadStateFile(const DataRoot& root) {
    QFile f(stateFilePath(root));
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxStateFile) return std::nullopt;
    return parseStateFile(f.readAll());
}

void ZoneImages::resize(int zones) {
    zones_.resize(zones);
    for (auto& z : zones_)
        for (QByteArray& r : z)
            if (r.size() != kRegionBytes) r = QByteArray(kRegionBytes, '\0');
}

void ZoneImages::putBlock(int zoneIndex, int block, const QByteArray& memoryBytes) {
    if (zoneIndex < 0 || zoneIndex >= zoneCount() || block < 0 || block >= kZoneBlocks) return;
    const QByteArray bytes = memoryBytes.left(kBlockBytes).leftJustified(kBlockBytes, '\0');
    for (int r = 0; r < kRegions; ++r)
        zones_[zoneIndex][r].replace(block * kRowBytes, kRowBytes, bytes.mid(r * kRowBytes, kRowBytes));
}

QByteArray ZoneImages::fileBytes(int region) const {
    QByteArray out;
    out.reserve(kRegionBytes * zoneCount());
    for (const auto& z : zones_)
        out += z.at(region);
    return out;
}

bool saveImageFiles(const DataRoot& root, const ZoneImages& images, const QByteArray& stateFile) {
    QDir().mkpath(root.dir(folder::Current));
    // All five are prepared before any is committed, so a failure leaves the last read whole.
    std::array<std::unique_ptr<QSaveFile>, kRegions + 1> files;
    for (int r = 0; r <= kRegions; ++r) {
        files[r] = std::make_unique<QSaveFile>(r < kRegions ? imageFilePath(root, r) : stateFilePath(root));
        const QByteArray bytes = r < kRegions ? images.fileBytes(r) : stateFile;
        if (!files[r]->open(QIODevice::WriteOnly) || files[r]->write(bytes) != bytes.size()) return false;
    }
    for (auto& f : files)
        if (!f->commit()) return false;
    return true;
}

bool parameterAreaSumOk(const QByteArray& region3) {
    if (region3.size() < kRegionBytes) return false;
    return byteSum(region3, kParameterArea, kParameterAreaBytes - 2) ==
           littleEndian16(region3, kParameterArea + kParameterAreaBytes - 2);
}

ZoneCheck checkZone(const QByteArray& region3, int languageIndex) {
    ZoneCheck c;
    if (region3.size() < kRegionBytes) return c;
    const corrector::IdentificationString id(
        region3.mid(kIdentification, corrector::IdentificationString::kSize));
    if (!corrector::CheckVersion(id, languageIndex).accepted()) {
        c.status = ZoneOldVersion;
        return c;
    }
    if (!parameterAreaSumOk(region3)) {
        c.status = ZoneDataChecksum;
        return c;
    }
    const corrector::ModelProfile profile = corrector::DeriveModelProfile(id, 0);
    if (profile.hasCoefficientTable() &&
        byteSum(region3, kCoefficientArea, kCoefficientAreaBytes - 2) !=
            littleEndian16(region3, kCoefficientArea + kCoefficientAreaBytes - 2)) {
        c.status = ZoneDataChecksum;
        return c;
    }
    c.status = ZoneComplete;
    c.serial = QString::number(littleEndian16(region3, kSerialBytes));
    QByteArray name = region3.mid(kNameBytes, kNameLength);
    const qsizetype end = name.indexOf('\0');
    if (end >= 0) name.truncate(end);
    c.name = fromCp1251(name).trimmed();
    return c;
}

std::optional<QString> loadParameters(const QByteArray& region3, corrector::Reading& reading, int lang) {
    reading.clear();
    reading.source = corrector::SourceKind::TransferUnit;
    const QByteArray top = region3.leftJustified(kRegionBytes, '\0', true);
    const corrector::IdentificationString id(
        top.mid(kIdentification, corrector::IdentificationString::kSize));
    const corrector::VersionCheck version = corrector::CheckVersion(id, lang);
    if (!version.accepted()) return version.message;
    reading.identification = id;
    reading.profile = corrector::DeriveModelProfile(id, littleEndian16(top, kSerialBytes));
    // The parameter area in the corrector's 256-byte pages; the last one ends with the copy (it holds 704
    // bytes of parameters, not 768).
    corrector::ParameterImage& image = reading.image;
    const corrector::ModelProfile& profile = reading.profile;
    for (int piece = 0; piece < 3; ++piece) {
        const int from = kParameterArea + piece * corrector::ParameterImage::kPageBytes;
        image.DecodePage(piece * corrector::ParameterImage::kPageBytes / 4,
                         top.mid(from, qMin(corrector::ParameterImage::kPageBytes, kRegionBytes - from)),
                         profile);
    }
    if (profile.hasCoefficientTable()) {
        const int first = corrector::ParameterImage::kWords - kCoefficientValues;
        for (int i = 0; i < kCoefficientValues; ++i)
            image.setWordBytes(first + i, top.mid(kCoefficientArea + 4 * i, 4));
    }
    // The parameters are in hand as after a parameter read: storing writes the point's parameter file.
    reading.markKindRead(corrector::read_kind::Parameters);
    return std::nullopt;
}

ArchivePageWalk::ArchivePageWalk(corrector::Reading& reading, int languageIndex)
    : reading_(reading), lang_(languageIndex) {}

ArchivePageWalk::~ArchivePageWalk() = default;

ArchivePageWalk::Result ArchivePageWalk::take(int k, const QByteArray& page) {
    int entry = 0;
    while (entry + 1 < int(std::size(kArchivePages)) && k > kArchivePages[entry].last)
        ++entry;
    const ArchivePages& a = kArchivePages[entry];
    const std::optional<corrector::ArchiveGeometry> geometry =
        corrector::archiveGeometry(a.archive, reading_.profile);
    if (entry != entry_ || !check_) {
        entry_ = entry;
        check_ = geometry ? std::make_unique<corrector::ArchivePageCheck>(*geometry, reading_.archives, false)
                          : nullptr;
    }
    // The corrector's own page address: the low half of the memory, then the high half.
    const int address = k < 256 ? k : k - 256;
    if (check_ && address >= geometry->firstPage && address < geometry->firstPage + geometry->pages &&
        check_->check(address, page, reading_.archiveContext()) ==
            corrector::ArchivePageCheck::Verdict::Reject)
        return Result::Rejected;
    ++walked_;
    if (k == a.last && geometry) {
        kinds_.append(geometry->kind);
        reading_.markKindRead(geometry->kind);
    }
    return Result::Taken;
}

QString ArchivePageWalk::rejectionQuestion(int k) const {
    int entry = 0;
    while (entry + 1 < int(std::size(kArchivePages)) && k > kArchivePages[entry].last)
        ++entry;
    const ArchivePages& a = kArchivePages[entry];
    return QStringLiteral("Ошибка данных в архиве \"") + uaRu(lang_, a.ukrainian, a.russian) +
           QStringLiteral("-№зап.") + QString::number(check_ ? check_->rowCount() : 0) +
           QStringLiteral("\" возможен неверный коммерческий отчет!!! Остановить чтение?");
}

QList<int> ArchivePageWalk::finish() {
    // A copy holds no clock and no measurement: those of an earlier reading do not belong to it.
    reading_.clock.reset();
    reading_.measurement.reset();
    corrector::completeFullRead(reading_);
    return kinds_;
}

std::optional<QString> zoneNotLoadable(const DataRoot& root, int zone, int lang) {
    const std::optional<UnitStateFile> state = loadStateFile(root);
    const int index = state ? zone - state->firstZone : -1;
    if (!state || index < 0 || index >= state->zones.size()) return zoneText(ZoneEmpty, false, {}, {}, lang);
    const ZoneRecord& z = state->zones.at(index);
    if ((z.status & 0x07) == ZoneComplete) return std::nullopt;
    return zoneText(z.status, false, z.serial, z.name, lang);
}

ZoneLoad loadZone(const DataRoot& root, int zone, corrector::Reading& reading, int lang,
                  const std::function<bool(const QString&)>& askStop) {
    ZoneLoad out;
    const QString openFailure = QStringLiteral("Ошибка открытия файла!!!");
    const std::optional<UnitStateFile> state = loadStateFile(root);
    const int index = state ? zone - state->firstZone : -1;
    if (!state || index < 0 || index >= state->zones.size()) {
        out.message = openFailure;
        return out;
    }
    // Only the zone's 32 KB of each file is read.
    auto readRegion = [&](int region) -> std::optional<QByteArray> {
        QFile f(imageFilePath(root, region));
        if (!f.open(QIODevice::ReadOnly) || !f.seek(qint64(index) * kRegionBytes)) return std::nullopt;
        QByteArray bytes = f.read(kRegionBytes);
        if (bytes.size() != kRegionBytes) return std::nullopt;
        return bytes;
    };
    std::array<std::optional<QByteArray>, kRegions> regions;
    regions[3] = readRegion(3);
    if (!regions[3]) {
        out.message = openFailure;
        return out;
    }
    out.readingTaken = true;
    if (const auto refused = loadParameters(*regions[3], reading, lang)) {
        out.message = *refused;
        return out;
    }
    for (int r = 0; r < 3; ++r)
        regions[r] = readRegion(r);
    // The pages are walked only with every image file at hand: a copy that lacks one is refused as a
    // whole, before any page is offered to the user.
    const bool allOpen = regions[0] && regions[1] && regions[2];
    ArchivePageWalk walk(reading, lang);
    bool stopped = false;
    for (int k = 0; k < kLogicalPages && !stopped && allOpen; ++k) {
        const QByteArray page = regions[k / 128]->mid((k % 128) * kBlockBytes, kBlockBytes);
        // A page that does not check is offered to the user once; going on blanks its bad records. The
        // checker wants a page refused a few times before it blanks (a corrector read retries the page),
        // and the copy's bytes cannot change, so the page is handed over again without asking again.
        if (walk.take(k, page) == ArchivePageWalk::Result::Rejected) {
            if (askStop && askStop(walk.rejectionQuestion(k))) {
                stopped = true;
            } else {
                while (walk.take(k, page) == ArchivePageWalk::Result::Rejected) {
                }
            }
        }
    }
    out.kindsRead = walk.finish();
    out.complete = !stopped && walk.walked() >= kLogicalPages;
    if (!out.complete)
        out.message =
            stopped || regions[0] ? QStringLiteral("Чтение данных корректора прервано!!!") : openFailure;
    return out;
}

} // namespace tarn::transfer
