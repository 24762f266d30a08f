#pragma once
// The program's copy of the corrector's parameter memory: 185 words of 4 bytes, each kept as its raw
// bytes together with its display text. Words 0..144 exist on every model; words 145..184 hold the
// coefficient table of the models that have one.
#include "corrector/ModelProfile.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <bitset>

namespace tarn::corrector {

enum class WordClass {
    Packed,        // 0..31: raw bytes, interpreted byte by byte where shown
    Float,         // 32..96 except 70
    Minutes,       // 70
    Int32,         // 97..104
    Text,          // 105..136: 4 characters each
    Uninterpreted, // 137..144
    Coefficient,   // 145..184
};
WordClass wordClass(int index);

// The word's name in the language; words past 136 have none.
QString WordName(int index, int languageIndex);

// Running numbers of the newest record of each archive (words 16..20).
struct ArchivePointers {
    quint16 alarm = 0;        // word 16 bytes 0..1
    quint16 hourly = 0;       // word 16 bytes 2..3
    quint16 operative = 0;    // word 17 bytes 0..1
    quint16 interference = 0; // word 18 bytes 2..3
    quint16 daily = 0;        // word 19 bytes 0..1
    quint16 monthly = 0;      // word 19 bytes 2..3
    quint16 service = 0;      // word 20 bytes 0..1
};

// ConfigBits (word 2 byte 0) and UnitBits (word 6 byte 1).
namespace config_bit {
inline constexpr quint8 SummerTime = 0x01;
inline constexpr quint8 PressureMpa = 0x02;
inline constexpr quint8 Terminator1 = 0x04;
inline constexpr quint8 QminSubstitute = 0x08;
inline constexpr quint8 Terminator2 = 0x10;
inline constexpr quint8 ThermometerW1385 = 0x80;
} // namespace config_bit
namespace unit_bit {
inline constexpr quint8 ButtonsLocked = 0x01;
inline constexpr quint8 MassAccounting = 0x02;
inline constexpr quint8 HeatGj = 0x10;
} // namespace unit_bit

class ParameterImage {
public:
    static constexpr int kWords = 185;
    static constexpr int kCommonWords = 145;
    static constexpr int kPageBytes = 256;

    // All words empty and unread, as before a full read.
    void clear();

    // Splits a 256-byte page payload into 64 words stored from startWord on. Words beyond 144 are
    // stored only when the profile has a coefficient table; words beyond 184 are ignored.
    void DecodePage(int startWord, const QByteArray& payload, const ModelProfile& profile);

    // Display text of a word: packed, uninterpreted and coefficient words as 8 hexadecimal digits of
    // their bytes in memory order, numbers per their class, text words as their 4 characters. Empty for
    // a word not read.
    QString WordText(int index) const;
    // Numeric value in the stored unit: floats (non-finite as 0), integers, the minutes of word 70, the
    // little-endian 32-bit value of raw words; 0 for text words and words not read.
    double WordValue(int index) const;

    // The word as the corrector's data files keep it: the 4 raw bytes of the packed words 1..31, the
    // text words and the coefficient words, the display text of the number words, nothing for words that
    // hold nothing (0 and 137..144) or were not read.
    QByteArray storedText(int index) const;
    // Takes a word back from its stored text; number words are read from their display text (pressures
    // in MPa when word 2 says so). Empty or unreadable content leaves the word unread.
    void setStoredText(int index, const QByteArray& content);

    bool isRead(int index) const;
    QByteArray wordBytes(int index) const;
    quint8 byteAt(int index, int byte) const;
    quint32 wordU32(int index) const;
    qint32 wordInt32(int index) const;
    float wordFloat(int index) const;

    // Updates from a single-item read; every text that depends on the change is rendered again.
    void setWordBytes(int index, const QByteArray& bytes);
    void setByte(int index, int byte, quint8 value);
    void setBit(int index, int byte, quint8 mask, bool on);

    // Packed values.
    quint8 configBits() const { return byteAt(2, 0); }
    quint8 unitBits() const { return byteAt(6, 1); }
    bool pressureInMpa() const { return configBits() & config_bit::PressureMpa; }
    bool heatInGj() const { return unitBits() & unit_bit::HeatGj; }
    bool massAccounting() const { return unitBits() & unit_bit::MassAccounting; }
    quint8 displayTime() const { return byteAt(1, 0); }
    quint8 contractHour() const { return byteAt(1, 2); }
    qint8 contractDay() const { return static_cast<qint8>(byteAt(1, 3)); }
    quint8 pulseWeightIndex() const { return byteAt(2, 1); }
    quint8 methodIndex() const { return byteAt(2, 2); }
    quint8 operArchiveIndex() const { return byteAt(2, 3); }
    int linkAddress() const { return byteAt(3, 0) + 1; }
    quint8 baudIndex() const { return byteAt(3, 1); }
    quint8 interfaceTypeIndex() const { return byteAt(3, 2); }
    quint8 baudIndex2() const { return byteAt(3, 3); }
    int averagingSeconds() const { return byteAt(4, 0) * 2 + 2; }
    bool calibrationPermitted() const { return byteAt(4, 1) & 0x02; }
    quint8 sensorOffIndex() const { return byteAt(4, 3); }
    quint8 typesizeIndex() const { return byteAt(5, 0); }
    qint8 timeCorrection() const { return static_cast<qint8>(byteAt(5, 1)); }
    quint8 batteryCapacity() const { return byteAt(6, 2); }
    quint8 messageLanguageIndex() const { return byteAt(6, 3); }
    quint8 meterOutputIndex() const { return byteAt(7, 2); }
    quint8 gasIndex() const { return byteAt(7, 3); }
    quint16 alarmChangeMask() const { return static_cast<quint16>(wordU32(26) & 0xFFFF); }
    quint16 secondAlarmMask() const { return static_cast<quint16>(wordU32(26) >> 16); }
    qint32 serialNumber() const { return wordInt32(99); }
    ArchivePointers archivePointers() const;

    // The pulse weight as a number (the PulseWeights5 entry of word 2 byte 1; 1 beyond the list).
    double pulseWeight() const;
    // A text item of 8 words from firstWord: control characters dropped, blanks trimmed.
    QString textItem(int firstWord) const;
    // Battery consumption (word 101), 1 decimal.
    QString batteryText() const;
    // Volumes shown in kg: the model offers gas selection, mass accounting is on and the gas is not natural.
    bool showsMass(const ModelProfile& profile) const;

private:
    void store(int index, const QByteArray& bytes);
    void render(int index);
    void renderAll();

    std::array<std::array<quint8, 4>, kWords> raw_{};
    std::array<QString, kWords> text_;
    std::bitset<kWords> read_;
};

} // namespace tarn::corrector
