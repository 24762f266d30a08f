#pragma once
// What a simulated corrector keeps: its identification, the 185-word parameter memory, the clock, the
// measurement and status blocks, its passwords and access level, and the two 64 KB archive banks. All
// values are encoded here from the simulator's own tables, little-endian like the corrector's.
#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <array>

namespace tarn::sim {

inline constexpr int kParameterWords = 185;
inline constexpr int kBankSize = 64 * 1024;
inline constexpr int kArchivePageSize = 256;

// Where the archives lie (page ranges of the two banks) and their record sizes. Records fill the pages
// in order and the area is a ring: after its last record the corrector writes record 0 again.
struct ArchiveArea {
    bool high; // upper bank
    int firstPage;
    int pages;
    int recordSize;
    int lastPageRecords; // records the area's last page holds, 0 when it is full
};
inline constexpr ArchiveArea kHourlyArea{false, 52, 204, 32, 0};
inline constexpr ArchiveArea kAbnormalArea{false, 0, 52, 16, 0};
inline constexpr ArchiveArea kDailyArea{true, 192, 32, 64, 0};
inline constexpr ArchiveArea kMonthlyArea{true, 224, 8, 64, 0};
inline constexpr ArchiveArea kInterferenceArea{true, 128, 64, 16, 0};
inline constexpr ArchiveArea kOperativeArea{true, 0, 128, 16, 8};
inline constexpr ArchiveArea kServiceArea{true, 232, 24, 8, 0};

// Records a page of the area holds, and the records of its whole ring.
int recordsPerPage(const ArchiveArea& area);
int ringRecords(const ArchiveArea& area);
// Records the given page of the area holds (the last page may hold fewer); 0 for a page outside it.
int recordsOnPage(const ArchiveArea& area, int page);
// The area a page of a bank belongs to; nullptr for a page no archive uses.
const ArchiveArea* areaOfPage(bool high, int page);
// Where record `number` of the area lies (wrapped in its ring): the page and the offset within it.
int recordPage(const ArchiveArea& area, int number);
int recordOffset(const ArchiveArea& area, int number);

// The newest-record pointers: the parameter word and byte of each archive's 16-bit field. Each holds the
// index of the archive's newest record within its ring (0 .. ringRecords − 1).
struct PointerPlace {
    int word;
    int byte;
};
inline constexpr PointerPlace kAbnormalPointer{16, 0};
inline constexpr PointerPlace kHourlyPointer{16, 2};
inline constexpr PointerPlace kOperativePointer{17, 0};
inline constexpr PointerPlace kInterferencePointer{18, 2};
inline constexpr PointerPlace kDailyPointer{19, 0};
inline constexpr PointerPlace kMonthlyPointer{19, 2};
inline constexpr PointerPlace kServicePointer{20, 0};

// Minutes since 01.01.2000 00:00, the corrector's time stamps (24 bits in the archive records).
quint32 deviceMinutes(const QDateTime& t);
inline constexpr quint32 kLastDeviceMinute = 0xFFFFFF;

// The simulator's own Windows-1251 encoder for the texts it keeps (ASCII and Cyrillic letters).
QByteArray encode1251(const QString& text);

// The coefficient table a model keeps in words 145..184.
enum class CoefficientTable {
    None,
    Meter,       // letter "W": meter constants and viscosity curve, words 145..184
    Calibration, // letters "F", "R", "f", "r": calibration curve, words 157..184
};

class CorrectorMemory {
public:
    CorrectorMemory();

    // Fills the memory from a scenario object; false with error on a malformed entry.
    bool load(const QJsonObject& config, QString& error);

    int address = 1;
    quint32 serial = 12345;
    QByteArray identification; // 32 characters
    QString preset;            // the preset the memory was filled from, empty for none
    qint64 clockOffsetSec = 0;
    std::array<QString, 7> passwords{}; // operator A, B, C, master E, F, configurator, verifier
    int accessLevel = 0;                // 0 none .. 4 verifier
    int restarts = 0;

    // Measurements.
    float pressure = 1.033f, temperature = 5.0f, compressibility = 0.998f, correction = 1.02f;
    float flow = 12.5f, standardFlow = 12.75f, batteryVoltage = 3.6f, batteryResource = 87.5f;
    quint16 state = 0;

    // Identification character 12, and the coefficient table that letter stands for.
    char modelLetter() const;
    CoefficientTable coefficientTable() const;

    // The parameter memory, word by word.
    QByteArray word(int index) const;
    float floatAt(int word) const;
    qint32 intAt(int word) const;
    void setWord(int index, const QByteArray& four);
    quint8 byteAt(int word, int byte) const;
    void setByteAt(int word, int byte, quint8 value);
    void setFloat(int word, float v);
    void setInt(int word, qint32 v);
    void setText(int firstWord, const QByteArray& text32);
    quint16 pointer(PointerPlace p) const;
    void setPointer(PointerPlace p, quint16 v);
    // 64 words from any start word; words past the memory read as zeros.
    QByteArray page(int startWord) const;

    // The pulse weight that word 2 byte 1 selects (pulses per m³ of the counters).
    double pulseWeight() const;
    // The running volumes of the current hour, day and month (working m³; standard = × the correction
    // factor), the meter and standard counters from the total, and, when word 42 holds a heat of
    // combustion, the heat energy of the hour, day, month and in total. Abnormal volumes are cleared.
    void setCurrentVolumes(double hour, double day, double month, double total);

    // The line's time when the request in hand came (the computer's until one has come): the corrector's
    // clock runs on the line's clock.
    QDateTime lineTime;
    QDateTime lineNow() const { return lineTime.isValid() ? lineTime : QDateTime::currentDateTime(); }
    QDateTime now() const;
    QByteArray clockBlock() const;       // 32 bytes
    QByteArray measurementBlock() const; // 46 bytes
    QByteArray statusBlock() const;      // 32 bytes

    // Archive banks.
    QByteArray archivePage(bool high, int page) const;
    // Writes record `number` of the area; numbers past the ring wrap round it.
    void putRecord(const ArchiveArea& area, int number, const QByteArray& record);
    void writeBank(bool high, int offset, const QByteArray& bytes);
    // Points the archive's pointer at the newest of `records` records written from record 0 on.
    void setNewest(const ArchiveArea& area, PointerPlace p, int records);

    // Generates hourly, daily and monthly records with consistent volumes: hours of flow from start,
    // each hour's working volume flow × profile[hour of day]. The archive pointers, the counters and the
    // current hour, day and month volumes follow the generated records (half of the next hour run).
    void generateArchives(const QDateTime& start, int hours, double flow, const QList<double>& profile);

    // Writes `count` operative records stepMinutes apart from start on: the pressure, temperature and
    // correction factor the memory holds, the raw flow value, and a meter counter that grows by
    // counterStep pulses a record and reaches the meter counter of word 97 in the newest record (the
    // oldest never below zero). The operative pointer follows.
    void generateOperative(const QDateTime& start, int count, int stepMinutes, quint16 flowValue,
                           qint32 counterStep);

    // The records of the archives that keep events, sealed. before and after are the 4 bytes the
    // corrector keeps for the changed value; changedBy is the low nibble of byte 6.
    static QByteArray abnormalRecord(const QDateTime& at, quint16 current, quint16 previous, float volume,
                                     float standardVolume);
    static QByteArray interferenceRecord(const QDateTime& at, quint8 changeCode, int changeKind,
                                         int changedBy, const QByteArray& before, const QByteArray& after);
    static QByteArray serviceRecord(const QDateTime& at, quint16 current, quint16 previous);
    QByteArray operativeRecord(const QDateTime& at, quint16 flowValue, qint32 counter) const;

    // The record's last byte makes the sum of all its bytes zero.
    static QByteArray sealRecord(QByteArray record);

private:
    bool loadEventRecords(const QJsonObject& config, QString& error);
    // Pressure × 1000, temperature × 100 and the correction factor as the archive records keep them.
    quint16 pressureWord() const;
    qint16 temperatureWord() const;
    quint16 correctionWord() const;

    QByteArray params_;
    QByteArray low_;
    QByteArray high_;
};

QByteArray floatBytes(float v);
QByteArray int32Bytes(qint32 v);
QByteArray uint16Bytes(quint16 v);

} // namespace tarn::sim
